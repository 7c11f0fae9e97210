// Shared main for the benchmark programs: runs Google Benchmark with repetitions and, after
// the run, prints the ratios and throughputs that were declared with the calls below,
// computed from the median of the repetitions.
#pragma once

#include <string>

namespace kvbench {

// After the run, print median(ours) / median(peer). A limit above 0 is printed beside it
// with "ok" or "OVER", so that a reader sees at once whether the target holds.
void Ratio(const std::string& ours, const std::string& peer, double limit = 0.0,
           const std::string& note = "");

// After the run, print the median bytes per second of a benchmark that calls
// SetBytesProcessed, against a floor in bytes per second (0: no floor).
void Throughput(const std::string& name, double floorBytesPerSecond = 0.0,
                const std::string& note = "");

// After the run, print the median items per second (frames, for players) of a benchmark
// that calls SetItemsProcessed, against a floor (0: no floor).
void Rate(const std::string& name, double floorPerSecond = 0.0, const std::string& note = "");

// A free line printed with the summary (sizes, ratios measured by hand, and the like).
void Note(const std::string& line);
// Removes a folder of plain files made by a bench (no sub-folders), and the folder.
void RemoveFlatFolder(const std::string& path);

}  // namespace kvbench

#define KVBENCH_CAT2(a, b) a##b
#define KVBENCH_CAT(a, b) KVBENCH_CAT2(a, b)
// Runs a statement once at start-up, for declaring ratios beside the benchmarks.
#define KVBENCH_AT_START(stmt) \
  static const bool KVBENCH_CAT(kvbench_decl_, __LINE__) = ((stmt), true)
