#include "host/VideoStd.h"

#include <atomic>

namespace {
std::atomic<bool> g_hd{true};
}

BOOL CKvVideoStd::IsHD() { return g_hd.load() ? TRUE : FALSE; }
void CKvVideoStd::SetHD(BOOL hd) { g_hd.store(hd != FALSE); }
int CKvVideoStd::GetResWidth() { return IsHD() ? 1920 : 720; }
int CKvVideoStd::GetResHeight() { return IsHD() ? 1080 : 576; }
CRect CKvVideoStd::GetResRect() { return CRect(0, 0, GetResWidth(), GetResHeight()); }
