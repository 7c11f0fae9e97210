// The suite's video standard: SD is 720 x 576, HD 1920 x 1080, UHD 3840 x 2160. The host sets
// which; HD by default.
#pragma once

#include "platform/Geometry.h"

enum EKvVideoStandard : int {
  KV_STD_SD = 0,
  KV_STD_HD = 1,
  KV_STD_UHD = 2,
};

class KV_HOST_API CKvVideoStd {
 public:
  // TRUE for HD and for UHD: callers that only ask "HD or not" take UHD as HD.
  static BOOL IsHD();
  static BOOL IsUHD();
  // TRUE chooses HD, FALSE SD, whatever was chosen before (also after UHD): a host that
  // asks for HD gets the 1920 x 1080 raster it has always got.
  static void SetHD(BOOL hd);
  // Any other value leaves the standard as it was.
  static void SetStandard(EKvVideoStandard standard);
  static EKvVideoStandard GetStandard();
  static int GetResWidth();
  static int GetResHeight();
  static CRect GetResRect();
};
