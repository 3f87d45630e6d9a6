#include "bench/bench_report.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

// Three significant digits where the value needs them, no more.
std::string Number(double value) {
  char text[32];
  const double magnitude = value < 0 ? -value : value;
  std::snprintf(text, sizeof(text), magnitude >= 100 ? "%.0f" : magnitude >= 10 ? "%.1f" : "%.2f", value);
  return text;
}

const char* Op(Target op) { return op == Target::kAtLeast ? ">=" : "<="; }

bool Met(double value, Target op, double target) { return op == Target::kAtLeast ? value >= target : value <= target; }

void Line(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Figure(const std::string& bench, const std::string& figure, double ours, const std::string& unit) {
  return bench + " " + figure + ": ours " + Number(ours) + " " + unit;
}

std::string WithAnchor(const std::string& bench, const std::string& figure, double ours, double anchor,
                       const std::string& unit, double ratio) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f", ratio);
  return Figure(bench, figure, ours, unit) + ", anchor " + Number(anchor) + " " + unit + ", ratio " + text + "x";
}

}  // namespace

double Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return TicksToSeconds(now.QuadPart);
}

double TicksToSeconds(long long ticks) {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  return static_cast<double>(ticks) / frequency;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool ReportRatio(const std::string& bench, const std::string& figure, double ours, double anchor,
                 const std::string& unit, double ratio, Target op, double target) {
  char text[48];
  std::snprintf(text, sizeof(text), ", target %s %.2gx: ", Op(op), target);
  const bool met = Met(ratio, op, target);
  Line(WithAnchor(bench, figure, ours, anchor, unit, ratio) + text + (met ? "met" : "MISSED"));
  return met;
}

void ReportRatio(const std::string& bench, const std::string& figure, double ours, double anchor,
                 const std::string& unit, double ratio) {
  Line(WithAnchor(bench, figure, ours, anchor, unit, ratio) + ", no target");
}

bool ReportValue(const std::string& bench, const std::string& figure, double ours, const std::string& unit,
                 Target op, double target) {
  const bool met = Met(ours, op, target);
  Line(Figure(bench, figure, ours, unit) + ", target " + Op(op) + " " + Number(target) + " " + unit + ": " +
       (met ? "met" : "MISSED"));
  return met;
}

void ReportValue(const std::string& bench, const std::string& figure, double ours, const std::string& unit) {
  Line(Figure(bench, figure, ours, unit));
}

void ReportNote(const std::string& bench, const std::string& text) { Line(bench + " " + text); }

namespace {

bool SystemTimes(unsigned long long* idle, unsigned long long* total) {
  FILETIME idle_time, kernel_time, user_time;
  if (!GetSystemTimes(&idle_time, &kernel_time, &user_time)) return false;
  auto value = [](const FILETIME& t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  *idle = value(idle_time);
  // Kernel time includes the idle time.
  *total = value(kernel_time) + value(user_time);
  return true;
}

}  // namespace

MachineLoad::MachineLoad() { SystemTimes(&idle_, &total_); }

double MachineLoad::BusyShare() const {
  unsigned long long idle = 0, total = 0;
  if (!SystemTimes(&idle, &total) || total <= total_) return -1;
  return 1.0 - static_cast<double>(idle - idle_) / static_cast<double>(total - total_);
}

void ReportLoad(const std::string& bench, const MachineLoad& load) {
  const double busy = load.BusyShare();
  if (busy < 0) return;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  char text[96];
  std::snprintf(text, sizeof(text), "machine: %u processors, %.0f%% busy during the run", static_cast<unsigned>(info.dwNumberOfProcessors),
                busy * 100);
  ReportNote(bench, text);
}

}  // namespace bench
