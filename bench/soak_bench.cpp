// Soak: one browser process lives through many cycles of a second view's life, and nothing it holds may grow.
// Each cycle: the host creates a second view (in a second host window), loads a page of a "zip" package into it,
// calls a page function of it (host to page) and answers as many calls of its page (page to host), sets cookies and
// reads them back, and closes the view. At the start and every 100 cycles the browser's and its renderers' figures
// are read (process_figures.h: what Wine cannot give is named there and printed as such).
//
// Target: from cycle 100 on (the first sample after the start), every figure stays within 5% of its value at cycle 100 (counts within a small
// constant: handles 16, threads 2, windows 2, GDI and USER objects 16), and every event the host expects arrives.
// Printed: one line per figure with its values at each sample and its largest drift, then the events counted.
//
//   brivelo_soak_bench [cycles [calls each way [cycles between samples]]]        (defaults 1000, 100 and 100)
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/string_cipher.h"
#include "bench/bench_host.h"
#include "bench/bench_report.h"
#include "bench/bridge_roads.h"
#include "bench/page_control.h"
#include "bench/process_figures.h"
#include "tools/pkgmaker/package_builder.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

using bench::BenchHost;
using bench::HostEvent;
using bench::ProcessFigures;

const char kBench[] = "soak";
using bench::kFirstView;
const uint32_t kView = bench::kSecondView;
const double kMemoryShare = 0.05;

int g_sample_every = 100;

int Fail(const std::string& what, int cycle) {
  bench::ReportNote(kBench, "failed in cycle " + std::to_string(cycle) + ": " + what);
  return 1;
}

// One figure across the samples; its target is a share of its value at the first sample taken after the warm-up,
// or a constant (for counts), whichever is larger.
struct Series {
  std::string name;
  std::string unit;
  double divisor;        // shown value = raw / divisor
  double share;          // allowed drift as a share of the reference
  double constant;       // allowed drift as an absolute count (raw units)
  std::vector<double> values;  // raw; negative: not reported
};

void Report(const Series& series, size_t reference, bool* all_met) {
  std::string text = series.name + ":";
  bool reported = false;
  for (size_t i = 0; i < series.values.size(); ++i) {
    char value[32];
    if (series.values[i] < 0) {
      std::snprintf(value, sizeof(value), " -");
    } else {
      reported = true;
      std::snprintf(value, sizeof(value), series.divisor > 1 ? " %.1f" : " %.0f", series.values[i] / series.divisor);
    }
    text += (i == 0 ? " at cycle 0" : i % 5 == 0 ? " | " : ",") + std::string(value);
  }
  text += " " + series.unit;
  if (!reported) {
    bench::ReportNote(kBench, text + "; not reported by this system");
    return;
  }
  if (reference >= series.values.size() || series.values[reference] < 0) {
    bench::ReportNote(kBench, text + "; too few cycles for a target");
    return;
  }
  const double base = series.values[reference];
  const double allowed = std::max(base * series.share, series.constant);
  double drift = 0;
  for (size_t i = reference; i < series.values.size(); ++i) {
    if (series.values[i] >= 0 && std::fabs(series.values[i] - base) > std::fabs(drift)) drift = series.values[i] - base;
  }
  char tail[160];
  std::snprintf(tail, sizeof(tail), "; largest drift from cycle %d %+.1f %s, target within %.1f %s: %s",
                static_cast<int>(reference) * g_sample_every, drift / series.divisor, series.unit.c_str(),
                allowed / series.divisor, series.unit.c_str(), std::fabs(drift) <= allowed ? "met" : "MISSED");
  *all_met &= std::fabs(drift) <= allowed;
  bench::ReportNote(kBench, text + tail);
}

// The figures of one process kind.
struct ProcessSeries {
  Series memory, handles, threads, gdi, user, windows;
  explicit ProcessSeries(const std::string& who)
      : memory{who + " private bytes", "MB", 1024.0 * 1024.0, kMemoryShare, 0, {}},
        handles{who + " handles", "", 1, 0, 16, {}},
        threads{who + " threads", "", 1, 0, 2, {}},
        gdi{who + " GDI objects", "", 1, 0, 16, {}},
        user{who + " USER objects", "", 1, 0, 16, {}},
        windows{who + " windows", "", 1, 0, 2, {}} {}
  void Add(const ProcessFigures& f) {
    memory.values.push_back(f.alive ? f.private_bytes : -1);
    handles.values.push_back(f.alive ? f.handles : -1);
    threads.values.push_back(f.alive ? f.threads : -1);
    gdi.values.push_back(f.alive ? f.gdi_objects : -1);
    user.values.push_back(f.alive ? f.user_objects : -1);
    windows.values.push_back(f.alive ? f.windows : -1);
  }
  void Report(size_t reference, bool* met) const {
    for (const Series* s : {&memory, &handles, &threads, &gdi, &user, &windows}) ::Report(*s, reference, met);
  }
};

// The renderer process of browser `browser` as the control pipe lists it; 0 when none runs.
DWORD RendererOf(bench::PageControl& page, int browser) {
  Json::Value children;
  if (!page.Call("child_processes", Json::Value(), &children)) return 0;
  for (const Json::Value& child : children) {
    if (child["browser"].asInt() == browser && !child["ended"].asBool()) return child["pid"].asUInt();
  }
  return 0;
}

// A package with one page, as the package maker makes it; its URL.
bool MakePackage(const std::wstring& folder, std::wstring* url) {
  ZipBuildEntry entry;
  entry.name = "index.html";
  entry.data = "<html><head><title>Soak page</title></head><body>soak</body></html>";
  std::string package;
  const std::wstring path = folder + L"\\soak.pak";
  if (!BuildPlainPackage(BuildZipArchive({entry}), "soak-key", &package) ||
      !StringCipher::WriteFileData(path.c_str(), package))
    return false;
  *url = L"zip://soak-key|" + path + L"|/index.html";
  return true;
}

LRESULT CALLBACK PlainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd, msg, wp, lp); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int cycles = argc >= 2 ? std::max(1, _wtoi(argv[1])) : 1000;
  const int calls = argc >= 3 ? std::max(1, _wtoi(argv[2])) : 100;
  g_sample_every = argc >= 4 ? std::max(1, _wtoi(argv[3])) : 100;
  bench::ScratchFolder scratch(L"soak");
  SetEnvironmentVariableW(L"TMP", scratch.path().c_str());
  SetEnvironmentVariableW(L"TEMP", scratch.path().c_str());
  std::wstring zip_url;
  if (!MakePackage(scratch.path(), &zip_url)) return Fail("the package could not be made", 0);
  const std::wstring pipe = L"brivelo-soak-bench-" + std::to_wstring(GetCurrentProcessId());

  BenchHost host(L"soak");
  // The second view lives in a host window of its own, as a second tab of the host would.
  const HWND second_window = hostsim::CreateHostWindow(PlainWindowProc);
  hostsim::BrowserLaunch launch;
  launch.exe = bench::ExeFolder() + L"Brivelo.exe";
  launch.url = L"data:text/html,<title>first</title>";
  if (!host.Launch(launch, {{L"BRIVELO_CEF_CONTROL", pipe}})) return Fail("Brivelo.exe did not start", 0);
  if (!host.WaitForEvent(client::MsgToHostBrowserCreated, kFirstView, bench::kRoadStepMs) ||
      !host.WaitForEvent(client::MsgToHostLoadEnd, kFirstView, bench::kRoadStepMs))
    return Fail("the first view did not load", 0);
  bench::PageControl page;
  if (!page.Connect(pipe, bench::kRoadStepMs)) return Fail("no control pipe", 0);
  // The journal of the test layer would grow with every call: it stays off, and so in every renderer started later.
  if (!page.CallJson("record_journal", R"({"on": false})") || !page.Call("clear_journal", Json::Value()))
    return Fail(page.error(), 0);
  const int first_browser = page.BrowserShowing(bench::Utf8(launch.url));
  const DWORD first_renderer = RendererOf(page, first_browser);
  if (!first_browser || !first_renderer) return Fail("the first view's renderer is not listed", 0);
  bench::AnswerPageCalls(host, kView);

  ProcessSeries browser_series("browser"), first_renderer_series("first view's renderer"),
      cycle_renderer_series("second view's renderer (each cycle's own, read before it closes)");
  Series live_renderers{"renderer processes running between cycles", "", 1, 0, 0, {}};
  auto sample = [&](DWORD cycle_renderer) {
    browser_series.Add(bench::MeasureProcess(host.process_id()));
    first_renderer_series.Add(bench::MeasureProcess(first_renderer));
    cycle_renderer_series.Add(cycle_renderer ? bench::MeasureProcess(cycle_renderer) : ProcessFigures());
  };
  // The renderers the browser runs between cycles: the first view's alone, once the last cycle's has ended.
  auto count_renderers = [&]() {
    Json::Value children;
    if (!page.Call("child_processes", Json::Value(), &children)) return -1.0;
    double running = 0;
    for (const Json::Value& child : children) {
      if (!child["ended"].asBool()) ++running;
    }
    return running;
  };
  sample(0);
  live_renderers.values.push_back(count_renderers());

  const bench::MachineLoad load;
  const double start = bench::Now();
  long long expected = 0, arrived = 0;
  int64_t next_id = 1;
  const std::string zip_utf8 = bench::Utf8(zip_url);
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    host.ClearEvents();
    // The view, and the page loaded into it by the host.
    expected += 3;
    if (!bench::CreateView(host, kView, L"about:blank", second_window)) return Fail("no second view", cycle);
    arrived += 2;
    if (!host.Send(kView, client::MsgToBrowserLoadUrl, {BenchHost::Text(zip_url), BenchHost::Text(L"")}) ||
        !host.WaitForEvent(client::MsgToHostLoadEnd, kView, bench::kRoadStepMs,
                           nullptr, [&](const HostEvent& e) { return e.Text(0) == zip_url; }))
      return Fail("the zip page did not load", cycle);
    ++arrived;
    const int browser = page.BrowserShowing(zip_utf8);
    if (!browser || !bench::RegisterPageSum(page, browser)) return Fail("the page is not reachable", cycle);

    // Calls each way.
    std::vector<double> ignored;
    expected += calls;
    if (!bench::HostToPage(host, kView, calls, &next_id, &ignored)) return Fail("a host call went unanswered", cycle);
    arrived += calls;
    expected += 2 * (calls + 1);
    if (!bench::PageToHost(host, page, browser, kView, calls, &ignored))
      return Fail("a page call or its callback's result went missing", cycle);
    arrived += 2 * (calls + 1);

    // Cookies set by the host and read back by the host.
    expected += 1;
    HostEvent cookies;
    if (!host.Send(0, client::MsgToBrowserSetCookie,
                   {BenchHost::Text(L"http://soak.test/"), BenchHost::Text(L"a=1; b=2")}) ||
        !host.Send(kView, client::MsgToBrowserGetCookies,
                   {BenchHost::Text(L"http://soak.test/"), BenchHost::Int(0)}) ||
        !host.WaitForEvent(client::MsgToHostCookies, kView, bench::kRoadStepMs, &cookies) || cookies.Text(1) != L"a=1;b=2;")
      return Fail("the cookies did not come back", cycle);
    ++arrived;

    const DWORD cycle_renderer = cycle % g_sample_every == 0 ? RendererOf(page, browser) : 0;
    if (cycle % g_sample_every == 0) cycle_renderer_series.Add(bench::MeasureProcess(cycle_renderer));

    // The view closes and says so.
    expected += 1;
    if (!host.Send(kView, client::MsgToBrowserClose, {}) ||
        !host.WaitForEvent(client::MsgToHostWindowDestroyed, kView, bench::kRoadStepMs))
      return Fail("the second view did not report its end", cycle);
    ++arrived;

    if (cycle % g_sample_every == 0) {
      // Its renderer ends with it.
      HANDLE renderer = cycle_renderer ? OpenProcess(SYNCHRONIZE, FALSE, cycle_renderer) : nullptr;
      if (renderer) {
        (void)host.PumpUntil([renderer] { return WaitForSingleObject(renderer, 0) == WAIT_OBJECT_0; }, bench::kRoadStepMs,
                             renderer);
        CloseHandle(renderer);
      }
      browser_series.Add(bench::MeasureProcess(host.process_id()));
      first_renderer_series.Add(bench::MeasureProcess(first_renderer));
      live_renderers.values.push_back(count_renderers());
      char progress[96];
      std::snprintf(progress, sizeof(progress), "cycle %d of %d after %.0f s", cycle, cycles, bench::Now() - start);
      std::fprintf(stderr, "%s %s\n", kBench, progress);
    }
  }
  bench::AnswerPageCalls(host, 0);
  host.SetEventHook(nullptr);

  bool met = true;
  const size_t reference = 1;  // the sample after the first interval (cycle 100)
  std::printf("%s: %d cycles of %d calls each way, samples at cycle 0 and every %d\n", kBench, cycles, calls,
              g_sample_every);
  browser_series.Report(reference, &met);
  first_renderer_series.Report(reference, &met);
  cycle_renderer_series.Report(reference, &met);
  Report(live_renderers, reference, &met);
  const bool events_met = arrived == expected;
  char events[128];
  std::snprintf(events, sizeof(events), "events: expected %lld, arrived %lld, target all: %s", expected, arrived,
                events_met ? "met" : "MISSED");
  bench::ReportNote(kBench, events);
  met &= events_met;
  bench::ReportLoad(kBench, load);

  if (!host.Send(kFirstView, client::MsgToBrowserClose, {}) || !host.WaitForExit(bench::kRoadStepMs))
    bench::ReportNote(kBench, "note: the browser did not end in order after its last view closed");
  DestroyWindow(second_window);
  return met ? 0 : 3;
}
