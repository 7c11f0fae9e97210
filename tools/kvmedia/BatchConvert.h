// kvmedia convert IN... --to TYPE --outdir DIR [-j N] [--region X,Y,W,H]: many pictures at
// once, each into DIR under its own name with TYPE's extension, over N threads.
#pragma once

#include "Commands.h"

namespace kvtool {

// Whether convert's arguments ask for the batch: --to or --outdir among the options.
bool IsBatchConvert(const Args& args);
int RunBatchConvert(const Args& args);

}  // namespace kvtool
