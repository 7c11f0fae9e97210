// kvmedia convert IN... --to TYPE --outdir DIR [-j N] [--region X,Y,W,H]: many pictures at
// once, each into DIR under its own name with TYPE's extension, over N threads.
#pragma once

#include "Commands.h"

namespace kvtool {

// Whether convert's arguments ask for the batch: --to or --outdir among the options.
bool IsBatchConvert(const Parsed& args);
int RunBatchConvert(const Parsed& args);

// The safe writer keeps 32 temporary files for the signal handler to remove; one writer per
// thread stays within them.
constexpr long kMostJobs = 32;

}  // namespace kvtool
