// KvMediaFile: the media-file library of the titling suite. This header brings in the whole
// exported API and the host types it is expressed in.
#pragma once

#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvMediaApi.h"
#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "host/Color.h"
#include "host/MemBlock.h"
#include "platform/Geometry.h"
#include "platform/GlobalMemory.h"
#include "platform/String.h"
