// The suite's video standard: SD is 720 x 576, HD 1920 x 1080. The host sets which; HD by
// default.
#pragma once

#include "platform/Geometry.h"

class KV_HOST_API CKvVideoStd {
 public:
  static BOOL IsHD();
  static void SetHD(BOOL hd);
  static int GetResWidth();
  static int GetResHeight();
  static CRect GetResRect();
};
