#include "host/VideoStd.h"

#include <atomic>

namespace {

std::atomic<EKvVideoStandard> g_standard{KV_STD_HD};

// Indexed by the standard; GetResRect reads the standard once so that a host switching at
// the same time never yields a width of one standard and a height of another.
constexpr CSize kRaster[] = {{720, 576}, {1920, 1080}, {3840, 2160}};

}  // namespace

BOOL CKvVideoStd::IsHD() { return g_standard.load() != KV_STD_SD ? TRUE : FALSE; }
BOOL CKvVideoStd::IsUHD() { return g_standard.load() == KV_STD_UHD ? TRUE : FALSE; }
void CKvVideoStd::SetHD(BOOL hd) { g_standard.store(hd != FALSE ? KV_STD_HD : KV_STD_SD); }

void CKvVideoStd::SetStandard(EKvVideoStandard standard) {
  if (standard == KV_STD_SD || standard == KV_STD_HD || standard == KV_STD_UHD)
    g_standard.store(standard);
}

EKvVideoStandard CKvVideoStd::GetStandard() { return g_standard.load(); }
int CKvVideoStd::GetResWidth() { return kRaster[g_standard.load()].cx; }
int CKvVideoStd::GetResHeight() { return kRaster[g_standard.load()].cy; }

CRect CKvVideoStd::GetResRect() {
  const CSize size = kRaster[g_standard.load()];
  return CRect(0, 0, size.cx, size.cy);
}
