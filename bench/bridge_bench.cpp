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
#include "bench/page_control.h"
#include "engine/journal.h"

namespace {

using bench::BenchHost;
using bench::HostEvent;
using client::PayloadItem;

const char kBench[] = "bridge";
const DWORD kStepMs = 30000;
// The first view, whose renderer journals (for the page function's own time stamps), and the measured one.
const uint32_t kFirstView = 256;
const uint32_t kView = 512;
// A command code the browser ignores: a bare synchronous channel round trip.
const uint32_t kIgnoredCommand = 8;
const double kTarget = 0.8;

int Fail(const std::string& what) {
  bench::ReportNote(kBench, "failed: " + what);
  return 1;
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c < 0x80 ? c : '?');
  return out;
}

std::wstring Hex(HWND window) { return hostsim::HandleHex(window); }

// Command 7: the page function `name` with the execute id and the texts.
bool CallPage(BenchHost& host, uint32_t view, int64_t id, const std::wstring& name,
              const std::vector<std::wstring>& args) {
  std::vector<PayloadItem> items = {BenchHost::Int(id, 'l'), BenchHost::Text(name)};
  for (const std::wstring& arg : args) items.push_back(BenchHost::Text(arg));
  return host.Send(view, client::MsgToBrowserCallFunction, items, true);
}

// The event 0x0B with execute id `id`.
bool WaitForResult(BenchHost& host, uint32_t view, int64_t id, HostEvent* event = nullptr) {
  return host.WaitForEvent(client::MsgToHostCallResult, static_cast<int>(view), kStepMs, event,
                           [id](const HostEvent& e) { return e.Number(0) == id; });
}

// Host to page: `calls` calls of pageSum, each waited for; the seconds of each. False when a result was missing or
// wrong.
bool HostToPage(BenchHost& host, int calls, int64_t* next_id, std::vector<double>* seconds) {
  for (int i = 0; i < calls; ++i) {
    const int64_t id = (*next_id)++;
    const double start = bench::Now();
    HostEvent result;
    if (!CallPage(host, kView, id, L"pageSum", {L"40", L"2"}) || !WaitForResult(host, kView, id, &result) ||
        result.Number(1) != 0 || result.Text(2) != L"42")
      return false;
    seconds->push_back(result.time - start);
  }
  return true;
}

// Page to host: one call from the page, then `calls` more, each made by the callback the host's answer ran; the
// seconds between one call's event and the next one's. The host answers from its event hook.
bool PageToHost(BenchHost& host, bench::PageControl& page, int browser, int calls, std::vector<double>* seconds) {
  Json::Value callback = bench::ParseJson(R"({"fn": {"name": "onAnswer", "returns": {"str": "thanks"},
      "then": {"path": "external.Execute", "args": [{"str": "hostMethod"}, {"global": "onAnswer"}, {"str": "a1"}]}}})");
  callback["fn"]["then"]["times"] = calls;
  Json::Value assign;
  assign["browser"] = browser;
  assign["path"] = "onAnswer";
  assign["value"] = callback;
  Json::Value first = bench::ParseJson(R"({"path": "external.Execute",
      "args": [{"str": "hostMethod"}, {"global": "onAnswer"}, {"str": "a1"}]})");
  first["browser"] = browser;
  Json::Value ran;
  host.ClearEvents();
  if (!page.Call("renderer_assign", assign) || !page.Call("renderer_call", first, &ran) || !ran["ran"].asBool() ||
      ran["threw"].asBool())
    return false;
  HostEvent previous, next;
  if (!host.WaitForEvent(client::MsgToHostCallHost, kView, kStepMs, &previous)) return false;
  for (int i = 0; i < calls; ++i) {
    if (!host.WaitForEvent(client::MsgToHostCallHost, kView, kStepMs, &next)) return false;
    seconds->push_back(next.time - previous.time);
    previous = next;
  }
  // Every call was answered and every callback's result came back.
  return host.PumpUntil([&] { return host.CountEvents(client::MsgToHostCallResult, kView) >= size_t(calls) + 1; },
                        kStepMs) &&
         host.CountEvents(client::MsgToHostCallHost, kView) == size_t(calls) + 1;
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
  if (!host.WaitForEvent(client::MsgToHostBrowserCreated, kFirstView, kStepMs) ||
      !host.WaitForEvent(client::MsgToHostLoadEnd, kFirstView, kStepMs))
    return Fail("the first view did not load");
  bench::PageControl page;
  if (!page.Connect(pipe, kStepMs)) return Fail("no control pipe");
  // The measured view's renderer starts while the journal is paused: it records nothing and sends nothing along.
  if (!page.CallJson("record_journal", R"({"on": false})")) return Fail(page.error());
  const std::wstring second_url = L"data:text/html,<title>second</title>";
  if (!host.Send(0, client::MsgToBrowserCreateWebView,
                 {BenchHost::Text(L"--url=" + second_url + L" --parent_wnd=" + Hex(host.window()) +
                                  L" --web_view_id=" + std::to_wstring(kView) + L" --tab_rect=0,0,320,200")}) ||
      !host.WaitForEvent(client::MsgToHostBrowserCreated, kView, kStepMs) ||
      !host.WaitForEvent(client::MsgToHostLoadEnd, kView, kStepMs))
    return Fail("the second view did not load");
  const int first_browser = page.BrowserShowing(Utf8(launch.url));
  const int browser = page.BrowserShowing(Utf8(second_url));
  if (!first_browser || !browser) return Fail("the views' browsers are not listed");

  // The page's function for the host to call, in both views.
  for (int id : {first_browser, browser}) {
    Json::Value args = bench::ParseJson(R"({"path": "external.RegisterFunction",
        "args": [{"fn": {"name": "pageSum", "returns": {"str": "42"}}}]})");
    args["browser"] = id;
    Json::Value ran;
    if (!page.Call("renderer_call", args, &ran) || !ran["ran"].asBool()) return Fail("pageSum not registered");
  }
  // The host answers every call of the page at once, naming the call's callback.
  host.SetEventHook([&host](const HostEvent& event) {
    if (event.code != client::MsgToHostCallHost || event.view != kView) return;
    (void)CallPage(host, kView, event.Number(0), event.Text(2), {L"host says"});
  });

  const bench::MachineLoad load;
  int64_t next_id = 1000;
  std::vector<double> to_page, to_host, anchor, to_page_ratios, to_host_ratios;
  for (int round = 0; round < rounds; ++round) {
    // A rate is the reciprocal of the median round trip: a shared machine's stalls lengthen a few round trips by
    // milliseconds, and the mean would follow them.
    std::vector<double> host_to_page, page_to_host, channel, renderer;
    if (!HostToPage(host, calls, &next_id, &host_to_page)) return Fail("a host call went unanswered");
    if (!ChannelRoundTrips(host, calls, &channel)) return Fail("a channel round trip failed");
    if (!PageToHost(host, page, browser, calls, &page_to_host)) return Fail("a page call went unanswered");
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
    if (!CallPage(host, kFirstView, id, L"pageSum", {L"40", L"2"}) || !WaitForResult(host, kFirstView, id))
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
      !host.WaitForExit(kStepMs))
    bench::ReportNote(kBench, "note: the browser did not end in order after its views were closed");
  return met ? 0 : 3;
}
