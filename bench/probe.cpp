// Measures a running tool from outside.
//
//   qs_probe startup --name NAME [--runs N] [--summary=FILE] -- COMMAND...
//     Starts COMMAND N times (default 9) and times each start up to the
//     line "Running..." on its output; reports the median and the fastest.
//   qs_probe idle --name NAME [--seconds S] [--cpu-goal PCT] [--rss-goal MB]
//                 [--summary=FILE] -- COMMAND...
//     Starts COMMAND, waits for "Running...", lets it settle for two
//     seconds, then measures the CPU time of all its threads and its
//     resident memory over S seconds (default 60) with no input.
//
// The figures are printed, and appended to FILE, as Markdown table lines.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "probe_process.h"

namespace {

constexpr const char* kReadyLine = "Running...";
constexpr auto kStartTimeout = std::chrono::seconds(20);

struct Options {
  std::string mode;
  std::map<std::string, std::string> flags;
  std::vector<std::string> command;
};

bool Parse(int argc, char** argv, Options* out) {
  if (argc < 2) return false;
  out->mode = argv[1];
  int i = 2;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg.rfind("--summary=", 0) == 0) {
      out->flags["summary"] = arg.substr(10);
    } else if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
      out->flags[arg.substr(2)] = argv[++i];
    } else {
      return false;
    }
  }
  for (++i; i < argc; ++i) out->command.push_back(argv[i]);
  return !out->command.empty() && out->flags.count("name") != 0;
}

double Number(const Options& o, const std::string& key, double fallback) {
  const auto it = o.flags.find(key);
  return it == o.flags.end() ? fallback : std::atof(it->second.c_str());
}

// Appends one Markdown table line to the summary (when named) and prints it.
void Row(const Options& o, const std::string& figure, const std::string& value,
         const std::string& goal, const char* met) {
  const std::string line =
      "| " + figure + " | " + value + " | " + (goal.empty() ? "-" : goal) + " | " + met + " |\n";
  std::fputs(line.c_str(), stdout);
  const auto it = o.flags.find("summary");
  if (it == o.flags.end()) return;
  if (std::FILE* f = std::fopen(it->second.c_str(), "a")) {
    std::fputs(line.c_str(), f);
    std::fclose(f);
  }
}

std::string Fixed(double value, int decimals, const char* unit) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f%s", decimals, value, unit);
  return text;
}

// Reports a start that never reached the ready line, with what it said.
int Failed(const bench::Child& child, const std::string& what) {
  std::fprintf(stderr,
               "qs_probe: %s never printed \"%s\" (another instance holding the lock, or a"
               " missing build?). Its output:\n%s\n",
               what.c_str(), kReadyLine, child.output().c_str());
  return 1;
}

// Starts the command and waits for its ready line; null, after saying why,
// when it cannot be started or never gets there.
std::unique_ptr<bench::Child> StartReady(const Options& o) {
  std::string error;
  auto child = bench::Child::Start(o.command, &error);
  if (!child) {
    std::fprintf(stderr, "qs_probe: %s\n", error.c_str());
    return nullptr;
  }
  if (!child->WaitForLine(kReadyLine, kStartTimeout)) {
    Failed(*child, o.command[0]);
    return nullptr;
  }
  return child;
}

int Startup(const Options& o) {
  const int runs = std::max(1, static_cast<int>(Number(o, "runs", 9)));
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    auto child = StartReady(o);
    if (!child) return 1;
    const auto took = std::chrono::steady_clock::now() - child->started();
    ms.push_back(std::chrono::duration<double, std::milli>(took).count());
    child->Stop();
  }
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  const std::string goal = o.flags.count("goal-ms") ? "<= " + o.flags.at("goal-ms") + " ms" : "";
  const char* met = goal.empty() ? "" : median <= Number(o, "goal-ms", 0) ? "yes" : "NO";
  Row(o, o.flags.at("name"),
      Fixed(median, 1, " ms") + " median of " + std::to_string(runs) + " (fastest " +
          Fixed(ms.front(), 1, " ms") + ")",
      goal, met);
  return 0;
}

int Idle(const Options& o) {
  const double seconds = std::max(1.0, Number(o, "seconds", 60));
  auto child = StartReady(o);
  if (!child) return 1;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto cpu0 = child->CpuNs();
  const auto switches0 = child->StatusNumber("voluntary_ctxt_switches");
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const auto cpu1 = child->CpuNs();
  const auto switches1 = child->StatusNumber("voluntary_ctxt_switches");
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const auto rss = child->StatusKb("VmRSS");
  const auto hwm = child->StatusKb("VmHWM");
  const auto threads = child->StatusNumber("Threads");
  if (!cpu0 || !cpu1 || !rss) {
    std::fprintf(stderr, "qs_probe: %s ended during the measurement. Its output:\n%s\n",
                 o.command[0].c_str(), child->output().c_str());
    return 1;
  }
  child->Stop();

  const std::string name = o.flags.at("name");
  const double cpu_pct = static_cast<double>(*cpu1 - *cpu0) / 1e9 / wall * 100.0;
  const double rss_mb = static_cast<double>(*rss) / 1024.0;
  const double cpu_goal = Number(o, "cpu-goal", -1);
  const double rss_goal = Number(o, "rss-goal", -1);
  Row(o, name + ": CPU over " + Fixed(wall, 0, " s"),
      Fixed(cpu_pct, 3, " % of one core") + " (" +
          Fixed(static_cast<double>(*cpu1 - *cpu0) / 1e6, 1, " ms") + ")",
      cpu_goal < 0 ? "" : "<= " + Fixed(cpu_goal, 1, " %"),
      cpu_goal < 0          ? ""
      : cpu_pct <= cpu_goal ? "yes"
                            : "NO");
  Row(o, name + ": resident memory (VmRSS)",
      Fixed(rss_mb, 1, " MB") + (hwm ? " (peak " + Fixed(*hwm / 1024.0, 1, " MB") + ")" : ""),
      rss_goal < 0 ? "" : "<= " + Fixed(rss_goal, 0, " MB"),
      rss_goal < 0         ? ""
      : rss_mb <= rss_goal ? "yes"
                           : "NO");
  if (switches0 && switches1) {
    Row(o, name + ": main-thread wake-ups",
        Fixed(static_cast<double>(*switches1 - *switches0) / wall, 1, " per s") +
            (threads ? ", " + std::to_string(*threads) + " threads" : ""),
        "", "");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options) || (options.mode != "startup" && options.mode != "idle")) {
    std::fprintf(stderr,
                 "usage: qs_probe startup|idle --name NAME [--runs N] [--seconds S]"
                 " [--goal-ms MS] [--cpu-goal PCT] [--rss-goal MB] [--summary=FILE]"
                 " -- COMMAND...\n");
    return 2;
  }
  return options.mode == "startup" ? Startup(options) : Idle(options);
}
