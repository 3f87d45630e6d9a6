// Test-only control of the engine. Product code never includes this header.
// Every function may be called from the test's main thread; waits pump that thread's messages,
// so engine threads may SendMessage to its windows meanwhile.
#ifndef CEF_TESTING_CEFENGINE_TESTING_H_
#define CEF_TESTING_CEFENGINE_TESTING_H_

#include <functional>
#include <string>
#include <vector>

#include "engine/journal.h"
#include "include/cef_task.h"

namespace cefengine {
namespace test {

using cefengine::JournalEntry;

// --- Journal ---
// Starts (or stops) recording engine events; recording starts empty.
void EnableJournal(bool on = true);
void ClearJournal();
std::vector<JournalEntry> Journal();
// True when entries of these kinds occur in this order (other entries may lie between).
bool ExpectOrder(const std::vector<std::string>& kinds);
// Entries of one kind, in order.
std::vector<JournalEntry> EntriesOf(const std::string& kind);

// --- Synchronisation ---
// Every time-out below is multiplied by the engine's pace (BRIVELO_CEF_PACE, see engine/pace.h),
// so a machine that runs the tests under emulation gives each wait as much more time as it needs.
// Polls `pred` (pumping messages) until it holds or `timeout_ms` passes. True when it held.
bool WaitFor(const std::function<bool()>& pred, int timeout_ms = 5000);
// Same as WaitFor; named for waits whose progress needs the calling thread's message loop.
bool PumpUntil(const std::function<bool()>& pred, int timeout_ms = 5000);
// Runs `fn` on `id` and waits for it. False when `id` does not run or the wait timed out.
bool RunOn(CefThreadId id, const std::function<void()>& fn, int timeout_ms = 5000);
// Waits until every task posted to `id` before the call has run and every window message posted
// to its thread before the call has been handled (each of the two waits inside may take timeout_ms).
bool Flush(CefThreadId id, int timeout_ms = 5000);
// Waits until every engine thread had nothing left to run, twice in a row. That is two flushes of
// each of five threads at least, twenty round trips: it gets four times a single wait by default,
// so that a machine loaded with other test processes is not taken for an engine that never settles.
bool Quiesce(int timeout_ms = 20000);

// --- Faults ---
// The next CefInitialize fails.
void FailCefInitialize();
// The next CefProcessMessage::Create returns null.
void FailNextProcessMessageCreate();
// Sending process messages to the renderer of `browser_id` fails while set.
void SetSendToRendererFails(int browser_id, bool fail);
// Replaces what a FATAL log (a failed check) does; the handler gets the whole log line. It may
// throw to unwind the test. An empty function restores the default (break, end the process).
void SetFatalHandler(std::function<void(const std::string& message)> handler);

}  // namespace test
}  // namespace cefengine

// The rest of the test API, one header per area; including this header gives all of it.
#include "testing/browser_testing.h"
#include "testing/control_client.h"
#include "testing/cookie_testing.h"
#include "testing/network_testing.h"
#include "testing/page_script.h"
#include "testing/renderer_testing.h"

#endif  // CEF_TESTING_CEFENGINE_TESTING_H_
