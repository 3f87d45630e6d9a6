#include "bench/bridge_roads.h"

#include "bench/bench_report.h"

namespace bench {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

bool CallPage(BenchHost& host, uint32_t view, int64_t id, const std::wstring& name,
              const std::vector<std::wstring>& args) {
  std::vector<client::PayloadItem> items = {BenchHost::Int(id, 'l'), BenchHost::Text(name)};
  for (const std::wstring& arg : args) items.push_back(BenchHost::Text(arg));
  return host.Send(view, client::MsgToBrowserCallFunction, items, true);
}

bool WaitForResult(BenchHost& host, uint32_t view, int64_t id, HostEvent* event) {
  return host.WaitForEvent(client::MsgToHostCallResult, static_cast<int>(view), kRoadStepMs, event,
                           [id](const HostEvent& e) { return e.Number(0) == id; });
}

bool RegisterPageSum(PageControl& page, int browser) {
  Json::Value args = ParseJson(R"({"path": "external.RegisterFunction",
      "args": [{"fn": {"name": "pageSum", "returns": {"str": "42"}}}]})");
  args["browser"] = browser;
  Json::Value ran;
  return page.Call("renderer_call", args, &ran) && ran["ran"].asBool() && !ran["threw"].asBool();
}

void AnswerPageCalls(BenchHost& host, uint32_t view) {
  host.SetEventHook([&host, view](const HostEvent& event) {
    if (event.code == client::MsgToHostCallHost && event.view == view)
      (void)CallPage(host, view, event.Number(0), event.Text(2), {L"host says"});
  });
}

bool HostToPage(BenchHost& host, uint32_t view, int calls, int64_t* next_id, std::vector<double>* seconds) {
  for (int i = 0; i < calls; ++i) {
    const int64_t id = (*next_id)++;
    const double start = Now();
    HostEvent result;
    if (!CallPage(host, view, id, L"pageSum", {L"40", L"2"}) || !WaitForResult(host, view, id, &result) ||
        result.Number(1) != 0 || result.Text(2) != L"42")
      return false;
    seconds->push_back(result.time - start);
  }
  return true;
}

bool PageToHost(BenchHost& host, PageControl& page, int browser, uint32_t view, int calls,
                std::vector<double>* seconds) {
  Json::Value callback = ParseJson(R"({"fn": {"name": "onAnswer", "returns": {"str": "thanks"},
      "then": {"path": "external.Execute", "args": [{"str": "hostMethod"}, {"global": "onAnswer"}, {"str": "a1"}]}}})");
  callback["fn"]["then"]["times"] = calls;
  Json::Value assign;
  assign["browser"] = browser;
  assign["path"] = "onAnswer";
  assign["value"] = callback;
  Json::Value first = ParseJson(R"({"path": "external.Execute",
      "args": [{"str": "hostMethod"}, {"global": "onAnswer"}, {"str": "a1"}]})");
  first["browser"] = browser;
  Json::Value ran;
  host.ClearEvents();
  if (!page.Call("renderer_assign", assign) || !page.Call("renderer_call", first, &ran) || !ran["ran"].asBool() ||
      ran["threw"].asBool())
    return false;
  HostEvent previous, next;
  if (!host.WaitForEvent(client::MsgToHostCallHost, static_cast<int>(view), kRoadStepMs, &previous)) return false;
  for (int i = 0; i < calls; ++i) {
    if (!host.WaitForEvent(client::MsgToHostCallHost, static_cast<int>(view), kRoadStepMs, &next)) return false;
    seconds->push_back(next.time - previous.time);
    previous = next;
  }
  const size_t expected = static_cast<size_t>(calls) + 1;
  return host.PumpUntil([&] { return host.CountEvents(client::MsgToHostCallResult, static_cast<int>(view)) >= expected; },
                        kRoadStepMs) &&
         host.CountEvents(client::MsgToHostCallHost, static_cast<int>(view)) == expected &&
         host.CountEvents(client::MsgToHostCallResult, static_cast<int>(view)) == expected;
}

bool CreateView(BenchHost& host, uint32_t view, const std::wstring& url, HWND parent) {
  const std::wstring switches = L"--url=" + url + L" --parent_wnd=" + hostsim::HandleHex(parent) +
                                L" --web_view_id=" + std::to_wstring(view) + L" --tab_rect=0,0,320,200";
  return host.Send(0, client::MsgToBrowserCreateWebView, {BenchHost::Text(switches)}) &&
         host.WaitForEvent(client::MsgToHostBrowserCreated, static_cast<int>(view), kRoadStepMs) &&
         host.WaitForEvent(client::MsgToHostLoadEnd, static_cast<int>(view), kRoadStepMs);
}

}  // namespace bench
