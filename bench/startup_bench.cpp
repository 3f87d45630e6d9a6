// Start-up of the browser beside the CEF layer's own start, both started by the same host the way the host
// simulator starts the browser (bench_host.h), for several rounds; each ratio is the median of the rounds' ratios.
//
//   ours:   Brivelo.exe with an about:blank view: launch -> event 1 (synchronous) and launch -> its load end;
//   anchor: brivelo_cef_startup_probe.exe, the CEF layer alone with the same settings and one browser in a child
//           of the host's window: launch -> browser created and launch -> its load end.
//
// Both publish the CEF layer's start-up stamps (engine/startup_trace.h); from them comes the browser's own work
// before CefInitialize (from the C runtime's start-up to CefInitialize: process entry, settings, channel, product
// information, statistics), and the breakdown printed after the figures.
//
//   brivelo_startup_bench [rounds]      (BRIVELO_BENCH_VERBOSE=1: each round's figures on standard error)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_host.h"
#include "bench/bench_report.h"
#include "engine/startup_trace.h"

namespace {

using bench::BenchHost;
using bench::HostEvent;
using cefengine::StartupTraceBlock;

const char kBench[] = "startup";
const DWORD kStepMs = 30000;

struct Start {
  bool ok = false;
  double launch = 0;    // bench::Now() just before the process was made
  double created = 0;   // launch -> event 1 / browser created, seconds
  double load_end = 0;  // launch -> the view's load end
  StartupTraceBlock trace = {};

  // Seconds from the launch to a stamp of the trace.
  double At(int64_t stamp) const { return bench::TicksToSeconds(stamp) - launch; }
};

// The phases of a start, each from the stamp before it.
enum Phase { kLoader, kOwnWork, kInitialize, kBrowser, kReport, kPhaseCount };
const char* const kPhaseNames[kPhaseCount] = {
    "launch to C runtime start", "C runtime start to CefInitialize", "CefInitialize",
    "CefInitialize returned to browser created", "browser created to the host's event"};

double PhaseOf(const Start& start, Phase phase) {
  const StartupTraceBlock& t = start.trace;
  switch (phase) {
    case kLoader: return start.At(t.image_start);
    case kOwnWork: return start.At(t.initialize_begin) - start.At(t.image_start);
    case kInitialize: return start.At(t.initialize_end) - start.At(t.initialize_begin);
    case kBrowser: return start.At(t.first_browser_created) - start.At(t.initialize_end);
    case kReport: return start.created - start.At(t.first_browser_created);
    default: return 0;
  }
}

// Copies the block the started program published under `name`.
bool ReadTrace(const std::wstring& name, StartupTraceBlock* trace) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
  if (!mapping) return false;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(StartupTraceBlock));
  bool ok = false;
  if (view) {
    *trace = *static_cast<const StartupTraceBlock*>(view);
    ok = trace->size == sizeof(StartupTraceBlock);
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return ok;
}

// One start of `exe` in `host`: its first view's event 1 and load end, and its trace. Ours is then closed in order,
// as a host closes it, so that the next start finds what a real one would; the probe is ended.
Start RunOnce(BenchHost& host, const std::wstring& exe, bool ours, int round) {
  Start start;
  const std::wstring trace_name = L"BriveloStartupTrace." + std::to_wstring(GetCurrentProcessId()) + L"." +
                                  std::to_wstring(round) + (ours ? L".ours" : L".probe");
  hostsim::BrowserLaunch launch;
  launch.exe = exe;
  host.ClearEvents();
  if (!host.Launch(launch, {{L"BRIVELO_CEF_STARTUP_TRACE", trace_name}})) return start;
  HostEvent created, load_end;
  if (!host.WaitForEvent(client::MsgToHostBrowserCreated, 256, kStepMs, &created) || !created.sync ||
      !host.WaitForEvent(client::MsgToHostLoadEnd, 256, kStepMs, &load_end)) {
    host.Kill();
    return start;
  }
  start.launch = host.launch_time();
  start.created = created.time - host.launch_time();
  start.load_end = load_end.time - host.launch_time();
  start.ok = ReadTrace(trace_name, &start.trace);
  if (ours && host.Send(256, client::MsgToBrowserClose, {}) &&
      host.WaitForEvent(client::MsgToHostWindowDestroyed, 256, kStepMs) && host.WaitForExit(kStepMs)) {
    return start;
  }
  host.Kill();
  return start;
}

double Ms(double seconds) { return seconds * 1000; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc >= 2 ? std::max(1, _wtoi(argv[1])) : 15;
  bench::ScratchFolder scratch(L"startup");
  SetEnvironmentVariableW(L"TMP", scratch.path().c_str());
  SetEnvironmentVariableW(L"TEMP", scratch.path().c_str());
  const std::wstring ours_exe = bench::ExeFolder() + L"Brivelo.exe";
  const std::wstring probe_exe = bench::ExeFolder() + L"brivelo_cef_startup_probe.exe";
  BenchHost host(L"startup");
  const bench::MachineLoad load;

  // One start of each first: the first start of a program reads its files from disk.
  if (!RunOnce(host, ours_exe, true, -1).ok || !RunOnce(host, probe_exe, false, -1).ok) {
    bench::ReportNote(kBench, "failed: a first start did not report its view (or its start-up trace)");
    return 1;
  }

  std::vector<double> created_ratios, load_ratios, ours_created, probe_created, ours_load, probe_load;
  std::vector<double> ours_phase[kPhaseCount], probe_phase[kPhaseCount];
  for (int round = 0; round < rounds; ++round) {
    // Who goes first alternates, so neither always finds the other's leftovers.
    Start ours, probe;
    if (round % 2 == 0) {
      ours = RunOnce(host, ours_exe, true, round);
      probe = RunOnce(host, probe_exe, false, round);
    } else {
      probe = RunOnce(host, probe_exe, false, round);
      ours = RunOnce(host, ours_exe, true, round);
    }
    if (!ours.ok || !probe.ok) {
      bench::ReportNote(kBench, "failed: a start did not report its view (or its start-up trace) in round " +
                                    std::to_string(round));
      return 1;
    }
    if (GetEnvironmentVariableW(L"BRIVELO_BENCH_VERBOSE", nullptr, 0)) {
      std::fprintf(stderr, "round %d: ours %.1f/%.1f ms, probe %.1f/%.1f ms;", round, Ms(ours.created),
                   Ms(ours.load_end), Ms(probe.created), Ms(probe.load_end));
      for (int phase = 0; phase < kPhaseCount; ++phase)
        std::fprintf(stderr, " %.1f/%.1f", Ms(PhaseOf(ours, static_cast<Phase>(phase))),
                     Ms(PhaseOf(probe, static_cast<Phase>(phase))));
      std::fprintf(stderr, "\n");
    }
    ours_created.push_back(ours.created);
    probe_created.push_back(probe.created);
    created_ratios.push_back(ours.created / probe.created);
    ours_load.push_back(ours.load_end);
    probe_load.push_back(probe.load_end);
    load_ratios.push_back(ours.load_end / probe.load_end);
    for (int phase = 0; phase < kPhaseCount; ++phase) {
      ours_phase[phase].push_back(PhaseOf(ours, static_cast<Phase>(phase)));
      probe_phase[phase].push_back(PhaseOf(probe, static_cast<Phase>(phase)));
    }
  }

  bool met = bench::ReportRatio(kBench, "launch to event 1", Ms(bench::Median(ours_created)),
                                Ms(bench::Median(probe_created)), "ms", bench::Median(created_ratios),
                                bench::Target::kAtMost, 1.2);
  bench::ReportRatio(kBench, "launch to first load end", Ms(bench::Median(ours_load)), Ms(bench::Median(probe_load)),
                     "ms", bench::Median(load_ratios));
  met &= bench::ReportValue(kBench, "own work before CefInitialize", Ms(bench::Median(ours_phase[kOwnWork])), "ms",
                            bench::Target::kAtMost, 20);
  // Where the time goes (medians of each phase; they need not add up to the median of the whole).
  for (int phase = 0; phase < kPhaseCount; ++phase) {
    const double ours_ms = Ms(bench::Median(ours_phase[phase]));
    const double probe_ms = Ms(bench::Median(probe_phase[phase]));
    bench::ReportRatio(kBench, std::string("phase ") + kPhaseNames[phase], ours_ms, probe_ms, "ms",
                       probe_ms > 0 ? ours_ms / probe_ms : 0);
  }
  bench::ReportLoad(kBench, load);
  return met ? 0 : 3;
}
