// Runs the registered benchmarks and keeps, for each, the median over its
// repetitions, so that a binary can print its figures against their goals
// after the run.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Measured {
  double cpu_ns = 0;                       // median CPU time of the benchmark thread per iteration
  double real_ns = 0;                      // median wall-clock time per iteration
  std::map<std::string, double> counters;  // median of each user counter
};

// Initialises Google Benchmark with `argc`/`argv` (defaults of this project
// first: 7 repetitions of at least 0.1 s, medians reported), runs every
// registered benchmark and returns the medians by benchmark name. Flags
// given on the command line override the defaults. `--summary=PATH` (taken
// out before the library sees the flags) names the file the figures go to;
// `SummaryPath` returns it.
std::map<std::string, Measured> RunAll(int argc, char** argv);
const std::string& SummaryPath();

// One line of the figures table.
struct Row {
  std::string figure;
  std::string value;
  std::string goal;         // "" when the figure has no goal
  std::optional<bool> met;  // none when there is no goal to meet
};

// Appends the rows as Markdown table lines ("| figure | value | goal | met |")
// to the summary file when one was named, and always to standard output.
// False when the summary file cannot be written.
bool WriteRows(const std::vector<Row>& rows);

// "12.3 ns", "4.56 us", "7.89 ms": three significant digits.
std::string FormatNs(double ns);
// "1.23x".
std::string FormatRatio(double ratio);

}  // namespace bench
