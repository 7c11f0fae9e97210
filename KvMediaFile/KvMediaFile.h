// KvMediaFile: the media-file library of the titling suite. This header brings in the whole
// exported API and the host types it is expressed in.
#pragma once

// Said first, and alone: the headers below would fail in C++17 with errors of their own.
#if __cplusplus < 202002L
#error "KvMediaFile needs C++20: compile with -std=c++20 or later"
#else
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
#endif
