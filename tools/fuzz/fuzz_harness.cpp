#include "tools/fuzz/fuzz_harness.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>

#include "engine/pace.h"

namespace fuzz {

namespace {

// Values that decoders take as counts, sizes and offsets.
const uint32_t kHostileValues[] = {0,          1,          2,          0x7F,       0x80,       0xFF,
                                   0x100,      0x7FFF,     0x8000,     0xFFFF,     0x10000,    0x100000,
                                   0x1000000,  0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF, 0x00FFFFFF};

// Time limits follow the session's pace (BRIVELO_CEF_PACE), 10 in the 32-bit lane's emulated
// guest, so slowness there is not taken for a decoder that loops.
double Pace() { return static_cast<double>(cefengine::Pace()); }

// The case running now, for the watchdog and the crash report.
std::atomic<const char*> g_pDriverName{nullptr};
std::atomic<uint64_t> g_nCase{0};
std::atomic<uint64_t> g_nSeed{0};
std::atomic<ULONGLONG> g_nCaseStart{0};  // GetTickCount64 at the start; 0 between cases

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "fuzz: %s crashed (exception 0x%08lX) in case %llu of seed %llu\n",
               g_pDriverName.load() ? g_pDriverName.load() : "?",
               static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
               static_cast<unsigned long long>(g_nCase.load()), static_cast<unsigned long long>(g_nSeed.load()));
  std::fflush(stderr);
  ExitProcess(4);
}

DWORD WINAPI Watchdog(LPVOID) {
  for (;;) {
    Sleep(1000);
    const ULONGLONG start = g_nCaseStart.load();
    if (start != 0 && GetTickCount64() - start > static_cast<ULONGLONG>(kHangSeconds * Pace() * 1000)) {
      std::fprintf(stderr, "fuzz: %s hangs in case %llu of seed %llu\n", g_pDriverName.load(),
                   static_cast<unsigned long long>(g_nCase.load()), static_cast<unsigned long long>(g_nSeed.load()));
      std::fflush(stderr);
      ExitProcess(3);
    }
  }
}

void StartGuards() {
  static bool started = false;
  if (started) return;
  started = true;
  SetUnhandledExceptionFilter(&ReportCrash);
  HANDLE thread = CreateThread(nullptr, 0, &Watchdog, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PutValue(std::string* bytes, size_t at, uint32_t value, int width) {
  for (int k = 0; k < width && at + k < bytes->size(); ++k) (*bytes)[at + k] = static_cast<char>(value >> (8 * k));
}

}  // namespace

std::string Mutate(const std::vector<std::string>& seeds, std::mt19937* random) {
  std::mt19937& r = *random;
  std::string bytes = seeds[r() % seeds.size()];
  const int edits = 1 + static_cast<int>(r() % 4);
  for (int e = 0; e < edits; ++e) {
    const size_t at = bytes.empty() ? 0 : r() % bytes.size();
    switch (r() % 9) {
      case 0:  // flip bits
        if (!bytes.empty()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << (r() % 8)));
        break;
      case 1:  // a random byte
        if (!bytes.empty()) bytes[at] = static_cast<char>(r());
        break;
      case 2:  // a hostile count, 8, 16 or 32 bits wide, either byte order
      case 3: {
        const int widths[] = {1, 2, 4};
        const int width = widths[r() % 3];
        uint32_t value = kHostileValues[r() % (sizeof(kHostileValues) / sizeof(kHostileValues[0]))];
        if (r() % 4 == 0) value = static_cast<uint32_t>(bytes.size() + (r() % 16)) - 8;
        if (r() % 2) value = ((value & 0xFF) << 24) | ((value & 0xFF00) << 8) | ((value >> 8) & 0xFF00) | (value >> 24);
        PutValue(&bytes, at, value, width);
        break;
      }
      case 4:  // truncation
        bytes.resize(at);
        break;
      case 5: {  // extension with random bytes
        const size_t extra = 1 + r() % 64;
        for (size_t k = 0; k < extra; ++k) bytes.push_back(static_cast<char>(r()));
        break;
      }
      case 6: {  // a piece repeated in place
        if (bytes.empty()) break;
        const size_t length = 1 + r() % std::min<size_t>(bytes.size() - at, 64);
        const std::string piece = bytes.substr(at, length);
        const int times = 1 + static_cast<int>(r() % 8);
        for (int k = 0; k < times; ++k) bytes.insert(at, piece);
        break;
      }
      case 7: {  // a piece of another seed spliced in
        const std::string& other = seeds[r() % seeds.size()];
        if (other.empty()) break;
        const size_t from = r() % other.size();
        const size_t length = 1 + r() % std::min<size_t>(other.size() - from, 256);
        bytes.replace(at, std::min(length, bytes.size() - at), other, from, length);
        break;
      }
      default: {  // a piece removed
        if (bytes.empty()) break;
        bytes.erase(at, 1 + r() % std::min<size_t>(bytes.size() - at, 32));
        break;
      }
    }
  }
  return bytes;
}

RunResult RunDriver(const Driver& driver, uint64_t cases, uint64_t seed) {
  StartGuards();
  g_pDriverName = driver.name;
  g_nSeed = seed;
  RunResult result;
  if (driver.run) {
    const double start = Now();
    result.cases = cases;
    result.violations = driver.run(cases, seed);
    std::printf("fuzz: %-12s %10llu cases, %llu violations (%.1f s)\n", driver.name,
                static_cast<unsigned long long>(result.cases), static_cast<unsigned long long>(result.violations),
                Now() - start);
    return result;
  }

  const std::vector<std::string> seeds = driver.seeds();
  const std::vector<std::string> crafted = driver.crafted ? driver.crafted() : std::vector<std::string>();
  std::mt19937 random(static_cast<uint32_t>(seed));
  const double runStart = Now();
  int printed = 0;
  for (uint64_t n = 0; n < crafted.size() + cases; ++n) {
    std::string input = n < crafted.size() ? crafted[n] : Mutate(seeds, &random);
    CaseReport report;
    g_nCase = n;
    const size_t base = LiveBytes();
    ResetPeak();
    const double start = Now();
    g_nCaseStart = GetTickCount64();
    try {
      driver.check(input, &report);
    } catch (const std::exception& e) {
      report.Violation(std::string("exception escaped: ") + e.what());
    } catch (...) {
      report.Violation("exception escaped");
    }
    g_nCaseStart = 0;
    const double seconds = Now() - start;
    const size_t peak = PeakBytes() > base ? PeakBytes() - base : 0;
    const size_t limit = kAllocationFactor * input.size() + driver.allowance;
    if (peak > limit) {
      report.Violation("allocated " + std::to_string(peak) + " bytes for " + std::to_string(input.size()));
    }
    if (seconds > kCaseSeconds * Pace()) report.Violation("took " + std::to_string(seconds) + " s");
    result.slowestSeconds = std::max(result.slowestSeconds, seconds);
    result.largestPeak = std::max(result.largestPeak, peak);
    if (!input.empty()) result.largestPeakRatio = std::max(result.largestPeakRatio, double(peak) / double(input.size()));
    ++result.cases;
    if (!report.Violations().empty()) {
      ++result.violations;
      if (printed++ < 10) {
        std::printf("fuzz: %s %s %llu (%zu bytes): %s\n", driver.name, n < crafted.size() ? "crafted" : "case",
                    static_cast<unsigned long long>(n < crafted.size() ? n : n - crafted.size()), input.size(),
                    report.Violations().front().c_str());
      }
    }
  }
  std::printf("fuzz: %-12s %10llu cases (%zu crafted), %llu violations (%.1f s; slowest case %.3f s, "
              "largest peak %zu bytes, %.1fx its input)\n",
              driver.name, static_cast<unsigned long long>(result.cases), crafted.size(),
              static_cast<unsigned long long>(result.violations), Now() - runStart, result.slowestSeconds,
              result.largestPeak, result.largestPeakRatio);
  std::fflush(stdout);
  return result;
}

}  // namespace fuzz
