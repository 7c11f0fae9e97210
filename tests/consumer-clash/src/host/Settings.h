// A header of the consumer's own, found through its include path.
#pragma once

constexpr int kClashWidth = 3;
