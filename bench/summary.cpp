#include "summary.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace bench {
namespace {

std::string g_summary_path;

// The console reporter, which also keeps the median of every benchmark
// (or its only run, without repetitions).
class KeepingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration;
      if (!median && !single) continue;
      const std::string name = run.run_name.str();
      if (single && medians_.count(name) != 0 && from_median_[name]) continue;
      Measured m;
      m.cpu_ns = run.GetAdjustedCPUTime() * Scale(run.time_unit);
      m.real_ns = run.GetAdjustedRealTime() * Scale(run.time_unit);
      for (const auto& [key, counter] : run.counters) m.counters[key] = counter.value;
      medians_[name] = m;
      from_median_[name] = median;
    }
  }
  std::map<std::string, Measured> medians_;

 private:
  static double Scale(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1;
      case benchmark::kMicrosecond:
        return 1e3;
      case benchmark::kMillisecond:
        return 1e6;
      case benchmark::kSecond:
        return 1e9;
    }
    return 1;
  }
  std::map<std::string, bool> from_median_;
};

std::string Format(double value, const char* unit) {
  char text[64];
  if (value >= 100) {
    std::snprintf(text, sizeof text, "%.0f %s", value, unit);
  } else if (value >= 10) {
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
  } else {
    std::snprintf(text, sizeof text, "%.2f %s", value, unit);
  }
  return text;
}

}  // namespace

std::map<std::string, Measured> RunAll(int argc, char** argv) {
  std::vector<char*> args;
  args.push_back(argv[0]);
  static char repetitions[] = "--benchmark_repetitions=7";
  static char min_time[] = "--benchmark_min_time=0.1";
  static char aggregates[] = "--benchmark_report_aggregates_only=true";
  args.push_back(repetitions);
  args.push_back(min_time);
  args.push_back(aggregates);
  const char* kSummary = "--summary=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kSummary, std::strlen(kSummary)) == 0) {
      g_summary_path = argv[i] + std::strlen(kSummary);
    } else {
      args.push_back(argv[i]);  // later flags override the defaults
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  KeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.medians_;
}

const std::string& SummaryPath() {
  return g_summary_path;
}

bool WriteRows(const std::vector<Row>& rows) {
  std::FILE* file = nullptr;
  if (!g_summary_path.empty()) {
    file = std::fopen(g_summary_path.c_str(), "a");
    if (file == nullptr) {
      std::fprintf(stderr, "cannot write %s: check the folder exists and is writable\n",
                   g_summary_path.c_str());
      return false;
    }
  }
  std::printf("\n");
  for (const Row& row : rows) {
    const char* met = !row.met ? "" : *row.met ? "yes" : "NO";
    const std::string goal = row.goal.empty() ? "-" : row.goal;
    std::printf("| %s | %s | %s | %s |\n", row.figure.c_str(), row.value.c_str(), goal.c_str(),
                met);
    if (file != nullptr) {
      std::fprintf(file, "| %s | %s | %s | %s |\n", row.figure.c_str(), row.value.c_str(),
                   goal.c_str(), met);
    }
  }
  if (file != nullptr) std::fclose(file);
  return true;
}

std::string FormatNs(double ns) {
  if (ns < 1e3) return Format(ns, "ns");
  if (ns < 1e6) return Format(ns / 1e3, "us");
  return Format(ns / 1e6, "ms");
}

std::string FormatRatio(double ratio) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2fx", ratio);
  return text;
}

}  // namespace bench
