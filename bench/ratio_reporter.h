// A console reporter that also keeps each benchmark's real time per
// iteration (seconds, by function name, and by full name with its arguments
// such as "load/20000"), so a program can print ratios of two runs at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        const double perIteration = run.real_accumulated_time / static_cast<double>(run.iterations);
        seconds[run.run_name.function_name] = perIteration;
        if (!run.run_name.args.empty()) seconds[run.run_name.function_name + "/" + run.run_name.args] = perIteration;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Seconds per iteration of a benchmark that ran, else 0.
  double of(const std::string& name) const {
    auto it = seconds.find(name);
    return it == seconds.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> seconds;
};
