// The two roads of a script call as a host and a page play them, for the bridge bench and the soak:
//   host to page: command 7 calls the page function pageSum (RegisterPageSum) and event 0x0B brings its result;
//   page to host: page script calls external.Execute with the global callback onAnswer, the host answers every call
//                 (AnswerPageCalls) with command 7 naming the callback, and the callback calls the host again, as
//                 a page calling from its callback does, so the calls follow one another without the control pipe.
// The host's commands go out synchronously. Every wait is bounded; a false result means an event did not come (or
// came wrong).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_host.h"
#include "bench/page_control.h"

namespace bench {

// Longest wait of one step of a road.
constexpr DWORD kRoadStepMs = 30000;
// The views of the benches' browser: the first, made at its start, and the second, made by a host command.
constexpr uint32_t kFirstView = 256;
constexpr uint32_t kSecondView = 512;

// Command 7 for view `view`: page function `name` with the execute id and the texts.
[[nodiscard]] bool CallPage(BenchHost& host, uint32_t view, int64_t id, const std::wstring& name,
                            const std::vector<std::wstring>& args);
// Takes the event 0x0B of `view` with execute id `id`.
[[nodiscard]] bool WaitForResult(BenchHost& host, uint32_t view, int64_t id, HostEvent* event = nullptr);

// Page script of browser `browser` registers pageSum, which returns "42".
[[nodiscard]] bool RegisterPageSum(PageControl& page, int browser);
// From now on the host answers every page call (0x0A) of `view` at once, naming the call's callback.
void AnswerPageCalls(BenchHost& host, uint32_t view);

// Host to page: `calls` calls of pageSum (ids from *next_id on), each waited for; the seconds of each.
[[nodiscard]] bool HostToPage(BenchHost& host, uint32_t view, int calls, int64_t* next_id,
                              std::vector<double>* seconds);
// Page to host: one call of the page, then `calls` more made by the callback; the seconds between one call's event
// and the next one's. Needs AnswerPageCalls; forgets the host's events first. True when every call came and every
// callback's result came back.
[[nodiscard]] bool PageToHost(BenchHost& host, PageControl& page, int browser, uint32_t view, int calls,
                              std::vector<double>* seconds);

// Command 10: a view `view` showing `url` inside `parent`; waits for its event 1 and first load end.
[[nodiscard]] bool CreateView(BenchHost& host, uint32_t view, const std::wstring& url, HWND parent);

// The text as UTF-8.
std::string Utf8(const std::wstring& text);

}  // namespace bench
