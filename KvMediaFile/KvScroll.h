// Scrolls: the scroll file, the scroll players and the one-shot scroll functions.
#pragma once

#include "scroll/ScrollFile.h"
#include "scroll/ScrollPlayer.h"
