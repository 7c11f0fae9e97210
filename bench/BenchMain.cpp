#include <dirent.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace kvbench {
namespace {

struct RatioDecl {
  std::string ours, peer, note;
  double limit;
};
struct ThroughputDecl {
  std::string name, note;
  double floor;
};

std::vector<RatioDecl>& Ratios() {
  static std::vector<RatioDecl> v;
  return v;
}
std::vector<ThroughputDecl>& Throughputs() {
  static std::vector<ThroughputDecl> v;
  return v;
}
std::vector<ThroughputDecl>& Rates() {
  static std::vector<ThroughputDecl> v;
  return v;
}
std::vector<std::string>& Notes() {
  static std::vector<std::string> v;
  return v;
}

struct Measured {
  double realNs = 0;
  double bytesPerSecond = 0;
  double itemsPerSecond = 0;
};

// Keeps the median of each benchmark (or its single run, without repetitions).
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      if (run.error_occurred) continue;
      Measured m;
      m.realNs = run.GetAdjustedRealTime() *
                 benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                 benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) m.bytesPerSecond = it->second.value;
      auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) m.itemsPerSecond = items->second.value;
      results[run.run_name.str()] = m;
    }
  }
  std::map<std::string, Measured> results;
};

const Measured* Find(const CollectingReporter& r, const std::string& name) {
  auto it = r.results.find(name);
  return it == r.results.end() ? nullptr : &it->second;
}

}  // namespace

void Ratio(const std::string& ours, const std::string& peer, double limit,
           const std::string& note) {
  Ratios().push_back({ours, peer, note, limit});
}

void Throughput(const std::string& name, double floorBytesPerSecond, const std::string& note) {
  Throughputs().push_back({name, note, floorBytesPerSecond});
}

void Rate(const std::string& name, double floorPerSecond, const std::string& note) {
  Rates().push_back({name, note, floorPerSecond});
}

void Note(const std::string& line) { Notes().push_back(line); }

void RemoveFlatFolder(const std::string& path) {
  if (DIR* d = ::opendir(path.c_str())) {
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') ::unlink((path + "/" + e->d_name).c_str());
    ::closedir(d);
  }
  ::rmdir(path.c_str());
}

}  // namespace kvbench

int main(int argc, char** argv) {
  // Medians of five repetitions unless the caller asks otherwise: the machines are shared.
  std::vector<char*> args(argv, argv + argc);
  bool hasRepetitions = false;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0) hasRepetitions = true;
  static char repetitions[] = "--benchmark_repetitions=5";
  static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
  if (!hasRepetitions) {
    args.push_back(repetitions);
    args.push_back(aggregatesOnly);
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;

  kvbench::CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n== summary (medians) ==\n");
  for (const auto& r : kvbench::Ratios()) {
    const auto* a = kvbench::Find(reporter, r.ours);
    const auto* b = kvbench::Find(reporter, r.peer);
    if (!a || !b || b->realNs <= 0) continue;
    const double ratio = a->realNs / b->realNs;
    std::printf("ratio %-48s / %-40s = %6.3f", r.ours.c_str(), r.peer.c_str(), ratio);
    if (r.limit > 0) std::printf("  (limit %.2f: %s)", r.limit, ratio <= r.limit ? "ok" : "OVER");
    if (!r.note.empty()) std::printf("  %s", r.note.c_str());
    std::printf("\n");
  }
  for (const auto& t : kvbench::Throughputs()) {
    const auto* a = kvbench::Find(reporter, t.name);
    if (!a) continue;
    std::printf("throughput %-48s = %8.1f MB/s", t.name.c_str(), a->bytesPerSecond / 1e6);
    if (t.floor > 0)
      std::printf("  (floor %.0f MB/s: %s)", t.floor / 1e6,
                  a->bytesPerSecond >= t.floor ? "ok" : "UNDER");
    if (!t.note.empty()) std::printf("  %s", t.note.c_str());
    std::printf("\n");
  }
  for (const auto& r : kvbench::Rates()) {
    const auto* a = kvbench::Find(reporter, r.name);
    if (!a) continue;
    // Pixels and the like come by the million; frames and files one at a time.
    if (a->itemsPerSecond >= 1e6)
      std::printf("rate %-48s = %10.1f M/s", r.name.c_str(), a->itemsPerSecond / 1e6);
    else
      std::printf("rate %-48s = %10.1f /s (%.3f ms each)", r.name.c_str(), a->itemsPerSecond,
                  a->itemsPerSecond > 0 ? 1e3 / a->itemsPerSecond : 0.0);
    if (r.floor > 0)
      std::printf("  (floor %.0f /s: %s)", r.floor, a->itemsPerSecond >= r.floor ? "ok" : "UNDER");
    if (!r.note.empty()) std::printf("  %s", r.note.c_str());
    std::printf("\n");
  }
  for (const auto& line : kvbench::Notes()) std::printf("%s\n", line.c_str());
  return 0;
}
