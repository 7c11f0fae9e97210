// Picture information from the headers of the formats whose codecs keep no reader of their
// own for it: size and the bit figure, without decoding. 1 when the header is accepted.
#pragma once

#include "platform/Geometry.h"
#include "platform/String.h"

int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits);
int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits);
int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits);
