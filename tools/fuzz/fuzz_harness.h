// Mutation runs over the decoders of untrusted bytes. Each driver gives valid inputs (seeds), a
// few crafted hostile ones, and a check of one input; the harness feeds it the crafted inputs
// and then `cases` seeded mutations of the seeds, and counts violations of what every decoder
// promises:
//   - no exception leaves the decoder (a crash ends the run, with the case that caused it);
//   - no case runs longer than kCaseSeconds (a case still running after kHangSeconds ends it),
//     both times the session's pace (BRIVELO_CEF_PACE) on a machine that runs under emulation;
//   - the allocation peak of a case stays within kAllocationFactor times its input plus the
//     driver's allowance (live memory is capped at 2 GiB, as for the 32-bit product);
//   - the driver's own contract (its check reports violations itself).
// Runs are reproducible: case n of a seed is always the same input.
//
// Single-threaded: one run at a time, on the thread that calls RunDriver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace fuzz {

constexpr double kCaseSeconds = 1.0;
constexpr double kHangSeconds = 60.0;
constexpr size_t kAllocationFactor = 64;
constexpr size_t kLiveMemoryCap = size_t(2) << 30;

// What a check reports; the harness records the case that was running.
class CaseReport {
 public:
  void Violation(const std::string& what) { m_vecViolations.push_back(what); }
  const std::vector<std::string>& Violations() const { return m_vecViolations; }

 private:
  std::vector<std::string> m_vecViolations;
};

struct Driver {
  const char* name;
  size_t allowance;  // bytes a case may allocate beyond kAllocationFactor times its input
  std::vector<std::string> (*seeds)();
  std::vector<std::string> (*crafted)();  // may be null
  void (*check)(const std::string& input, CaseReport* report);
  // A driver that generates its own cases (null for the common loop): returns the violations.
  uint64_t (*run)(uint64_t cases, uint64_t seed) = nullptr;
};

// Seeded edits of valid inputs: byte flips, hostile 8/16/32-bit counts and sizes written at
// random offsets, truncation, extension, duplication and splicing of pieces (also from another
// seed).
std::string Mutate(const std::vector<std::string>& seeds, std::mt19937* random);

struct RunResult {
  uint64_t cases = 0;       // crafted and mutated inputs run
  uint64_t violations = 0;  // cases with at least one violation
  double slowestSeconds = 0;
  size_t largestPeak = 0;        // largest allocation peak of a case, bytes
  double largestPeakRatio = 0;   // largest peak over its input size
};

// Runs the driver; prints a line for each of the first violations and a summary line.
RunResult RunDriver(const Driver& driver, uint64_t cases, uint64_t seed);

// Allocation accounting of this process (operator new and delete are replaced in the fuzz
// executable).
size_t LiveBytes();
size_t PeakBytes();
void ResetPeak();

}  // namespace fuzz
