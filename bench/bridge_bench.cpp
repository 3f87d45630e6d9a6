// The two roads of a script call, each beside its anchor measured in the same run, with the real executable, its
// real renderer process and this program as the host (bench_host.h):
//   page to host: page script calls a host method with a callback; the host answers each call (event 0x0A) at once
//                 with command 7 naming the callback, and the callback runs. The callback calls the host again, as
//                 a page calling from its callback does, so the calls follow one another without anyone else's help;
//   host to page: the host calls a page function (command 7) and waits for its result (event 0x0B) before the next;
//   anchor:       one synchronous channel round trip (a command the browser ignores) plus one round trip between the
//                 browser and its renderer over the hops of a process message (the CEF layer's renderer_ping): the
//                 two hops every bridge call needs.
// Each is in round trips per second; each ratio is the median of the rounds' ratios. Also the time from the host's
// command to the page function running (the renderer's own journal stamp against the host's clock).
//
// Fair play: the page side is played through the CEF layer's control pipe, but only to set a round up (register the
// page function, place the callback, make the first call); nothing of it runs inside a measured span. The measured
// view's renderer starts with the journal paused, so no test traffic rides along with its messages either.
//
//   brivelo_bridge_bench [calls per round [rounds]]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_host.h"
#include "bench/bench_report.h"
#include "bench/bridge_roads.h"
#include "bench/page_control.h"
#include "engine/journal.h"

namespace {

using bench::BenchHost;

const char kBench[] = "bridge";
// The first view's renderer journals (for the page function's own time stamps); the second is measured.
using bench::kFirstView;
const uint32_t kView = bench::kSecondView;
// A command code the browser ignores: a bare synchronous channel round trip.
const uint32_t kIgnoredCommand = 8;
const double kTarget = 0.8;

int Fail(const std::string& what) {
  bench::ReportNote(kBench, "failed: " + what);
  return 1;
}

// The anchor's channel hop: `count` synchronous round trips of an ignored command; the seconds of each.
bool ChannelRoundTrips(BenchHost& host, int count, std::vector<double>* seconds) {
  for (int i = 0; i < count; ++i) {
    const double start = bench::Now();
    if (!host.Send(kView, static_cast<client::HostCommand>(kIgnoredCommand), {}, true)) return false;
    seconds->push_back(bench::Now() - start);
  }
  return true;
}

// The anchor's renderer hop: `count` round trips; the seconds of each.
bool RendererRoundTrips(bench::PageControl& page, int browser, int count, std::vector<double>* seconds) {
  Json::Value args;
  args["browser"] = browser;
  args["count"] = count;
  Json::Value trips;
  if (!page.Call("renderer_ping", args, &trips) || trips.size() != static_cast<Json::ArrayIndex>(count)) return false;
  for (const Json::Value& trip : trips) seconds->push_back(static_cast<double>(trip.asInt64()) / 1e6);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int calls = argc >= 2 ? std::max(10, _wtoi(argv[1])) : 200;
  const int rounds = argc >= 3 ? std::max(1, _wtoi(argv[2])) : 9;
  bench::ScratchFolder scratch(L"bridge");
  SetEnvironmentVariableW(L"TMP", scratch.path().c_str());
  SetEnvironmentVariableW(L"TEMP", scratch.path().c_str());
  const std::wstring pipe = L"brivelo-bridge-bench-" + std::to_wstring(GetCurrentProcessId());

  BenchHost host(L"bridge");
  hostsim::BrowserLaunch launch;
  launch.exe = bench::ExeFolder() + L"Brivelo.exe";
  launch.url = L"data:text/html,<title>first</title>";
  if (!host.Launch(launch, {{L"BRIVELO_CEF_CONTROL", pipe}})) return Fail("Brivelo.exe did not start");
  if (!host.WaitForEvent(client::MsgToHostBrowserCreated, kFirstView, bench::kRoadStepMs) ||
      !host.WaitForEvent(client::MsgToHostLoadEnd, kFirstView, bench::kRoadStepMs))
    return Fail("the first view did not load");
  bench::PageControl page;
  if (!page.Connect(pipe, bench::kRoadStepMs)) return Fail("no control pipe");
  // The measured view's renderer starts while the journal is paused: it records nothing and sends nothing along.
  if (!page.CallJson("record_journal", R"({"on": false})")) return Fail(page.error());
  const std::wstring second_url = L"data:text/html,<title>second</title>";
  if (!bench::CreateView(host, kView, second_url, host.window())) return Fail("the second view did not load");
  const int first_browser = page.BrowserShowing(bench::Utf8(launch.url));
  const int browser = page.BrowserShowing(bench::Utf8(second_url));
  if (!first_browser || !browser) return Fail("the views' browsers are not listed");
  // The page's function for the host to call, in both views.
  if (!bench::RegisterPageSum(page, first_browser) || !bench::RegisterPageSum(page, browser))
    return Fail("pageSum not registered");
  bench::AnswerPageCalls(host, kView);

  const bench::MachineLoad load;
  int64_t next_id = 1000;
  std::vector<double> to_page, to_host, anchor, to_page_ratios, to_host_ratios;
  for (int round = 0; round < rounds; ++round) {
    // A rate is the reciprocal of the median round trip: a shared machine's stalls lengthen a few round trips by
    // milliseconds, and the mean would follow them.
    std::vector<double> host_to_page, page_to_host, channel, renderer;
    if (!bench::HostToPage(host, kView, calls, &next_id, &host_to_page)) return Fail("a host call went unanswered");
    if (!ChannelRoundTrips(host, calls, &channel)) return Fail("a channel round trip failed");
    if (!bench::PageToHost(host, page, browser, kView, calls, &page_to_host))
      return Fail("a page call went unanswered");
    if (!RendererRoundTrips(page, browser, calls, &renderer)) return Fail(page.error() + " (renderer round trips)");
    host.ClearEvents();
    const double anchor_rate = 1 / (bench::Median(channel) + bench::Median(renderer));
    to_page.push_back(1 / bench::Median(host_to_page));
    to_host.push_back(1 / bench::Median(page_to_host));
    anchor.push_back(anchor_rate);
    to_page_ratios.push_back(to_page.back() / anchor_rate);
    to_host_ratios.push_back(to_host.back() / anchor_rate);
    if (GetEnvironmentVariableW(L"BRIVELO_BENCH_VERBOSE", nullptr, 0))
      std::fprintf(stderr, "round %d: page to host %.0f/s, host to page %.0f/s, channel %.0f us, renderer %.0f us\n",
                   round, to_host.back(), to_page.back(), bench::Median(channel) * 1e6,
                   bench::Median(renderer) * 1e6);
  }
  host.SetEventHook(nullptr);

  // The host's command to the page function running, in the first view (its renderer journals): the host's clock
  // when it sent, the renderer's when the function ran.
  if (!page.CallJson("record_journal", R"({"on": true})")) return Fail(page.error());
  std::vector<int64_t> sent_us;
  Json::Value mark_entries;
  if (!page.Call("journal", Json::Value(), &mark_entries)) return Fail(page.error());
  const uint64_t mark = mark_entries.empty() ? 0 : mark_entries[mark_entries.size() - 1]["seq"].asUInt64() + 1;
  for (int i = 0; i < calls; ++i) {
    const int64_t id = next_id++;
    sent_us.push_back(cefengine::JournalTimeUs());
    if (!bench::CallPage(host, kFirstView, id, L"pageSum", {L"40", L"2"}) ||
        !bench::WaitForResult(host, kFirstView, id))
      return Fail("a host call of the first view went unanswered");
  }
  Json::Value from;
  from["from"] = Json::UInt64(mark);
  Json::Value entries;
  if (!page.Call("journal", from, &entries)) return Fail(page.error());
  std::vector<double> to_function;
  for (const Json::Value& entry : entries) {
    if (entry["kind"] != "PageFn" || entry["args"][0] != "pageSum" || entry["browser"].asInt() != first_browser)
      continue;
    if (to_function.size() < sent_us.size())
      to_function.push_back(static_cast<double>(entry["time_us"].asInt64() - sent_us[to_function.size()]) / 1000);
  }
  if (to_function.size() != sent_us.size()) return Fail("the page function's calls are not all in the journal");

  const double target = kTarget;
  bool met = bench::ReportRatio(kBench, "page to host round trips", bench::Median(to_host), bench::Median(anchor),
                                "round trips/s", bench::Median(to_host_ratios), bench::Target::kAtLeast, target);
  met &= bench::ReportRatio(kBench, "host to page round trips", bench::Median(to_page), bench::Median(anchor),
                            "round trips/s", bench::Median(to_page_ratios), bench::Target::kAtLeast, target);
  bench::ReportValue(kBench, "host command to page function running", bench::Median(to_function), "ms");
  bench::ReportLoad(kBench, load);

  if (!host.Send(kView, client::MsgToBrowserClose, {}) || !host.Send(kFirstView, client::MsgToBrowserClose, {}) ||
      !host.WaitForExit(bench::kRoadStepMs))
    bench::ReportNote(kBench, "note: the browser did not end in order after its views were closed");
  return met ? 0 : 3;
}
