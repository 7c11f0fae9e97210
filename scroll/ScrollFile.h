// What the scroll file's reader and writer share, and what the tests' writer lays out.
#pragma once

#include <array>

#include "KvMediaFile/KvScroll.h"

constexpr std::size_t kKvScrollHeaderSize = 32;
constexpr DWORD kKvScrollMagic = 0x43535653;  // "SVSC"

std::array<BYTE, kKvScrollHeaderSize> KvScrollHeaderBytes(const SKvScrollHeader& header);
SKvScrollHeader KvParseScrollHeader(const std::array<BYTE, kKvScrollHeaderSize>& bytes);
// Whether this library reads a file with this header; records why not.
bool KvAcceptScrollHeader(const SKvScrollHeader& header);
