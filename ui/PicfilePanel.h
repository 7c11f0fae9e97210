// The picture panel's fixed rules, apart from its window: the type lists and listing
// patterns, the information texts and the value steps.
#pragma once

#include <vector>

#include "platform/String.h"

// String ids of the type box for an open flag and a type filter.
std::vector<unsigned> KvPanelTypeTextIds(int openFlag, int typeFilter);
// The extensions listed for a position in the type box; "" lists nothing.
CString KvPanelPattern(int openFlag, int index);
// "%dKB" of the low half of the size, in whole KB.
CString KvFileSizeText(unsigned long long size);
CString KvPicSizeText(int width, int height, int bits);
int KvClampLevel(int value);
// A spin step: up (-1) adds one, down (+1) takes one away, clamped to 0..255.
int KvSpinLevel(int value, int delta);
