// The figures of the benches, one line each, and the arithmetic they share.
//
//   <bench> <figure>: ours <value> <unit>, anchor <value> <unit>, ratio <r>x, target <op> <t>x: met|MISSED
//   <bench> <figure>: ours <value> <unit>, anchor <value> <unit>, ratio <r>x, no target
//   <bench> <figure>: ours <value> <unit>, target <op> <t> <unit>: met|MISSED
//   <bench> <figure>: ours <value> <unit>
//
// The ratio is always ours / anchor, the median of the rounds' own ratios: a round compares two
// loops run moments apart, so the load of other processes skews it less than a ratio of medians.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Seconds on the performance counter (comparable between the processes of one machine).
double Now();
// Seconds from a performance-counter difference.
double TicksToSeconds(long long ticks);
// The middle value (the upper one of the two middles); 0 for none.
double Median(std::vector<double> values);

enum class Target { kAtLeast, kAtMost };

// A figure beside its anchor; true when the target was met.
bool ReportRatio(const std::string& bench, const std::string& figure, double ours, double anchor,
                 const std::string& unit, double ratio, Target op, double target);
// A figure beside its anchor that has no target of its own.
void ReportRatio(const std::string& bench, const std::string& figure, double ours, double anchor,
                 const std::string& unit, double ratio);
// A figure without an anchor, against an absolute target in its own unit; true when met.
bool ReportValue(const std::string& bench, const std::string& figure, double ours, const std::string& unit,
                 Target op, double target);
// A figure without an anchor or a target.
void ReportValue(const std::string& bench, const std::string& figure, double ours, const std::string& unit);
// How busy the machine's processors were since it was made (all processes, this one included): the context of
// the figures on a shared machine.
class MachineLoad {
 public:
  MachineLoad();
  // Busy share of all processors since construction, 0 to 1; negative when the system does not tell.
  double BusyShare() const;

 private:
  unsigned long long idle_ = 0, total_ = 0;
};
// "<bench> machine: processors N% busy during the run".
void ReportLoad(const std::string& bench, const MachineLoad& load);

// Any other line of a bench (what a figure could not be measured from, say), prefixed with the bench's name.
void ReportNote(const std::string& bench, const std::string& text);

}  // namespace bench
