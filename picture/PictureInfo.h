// Picture information and header facts from the headers of the formats whose codecs read a
// file they are handed: the codecs parse, these open the file for them. Without decoding.
#pragma once

#include "platform/Geometry.h"
#include "platform/String.h"

struct SKvPicFacts;

// Size and the bit figure; 1 when the header is accepted.
int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits);
int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits);
int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits);

// The facts of KvMediaGetPicFacts but the type; 1 when the header is accepted.
int KvBmpPictureFacts(const CString& path, SKvPicFacts& facts);
int KvTgaPictureFacts(const CString& path, SKvPicFacts& facts);
int KvPcxPictureFacts(const CString& path, SKvPicFacts& facts);
