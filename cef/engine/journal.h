// The engine's record of what happened, read by the test API. Recording is off unless a test
// turned it on; then every call is cheap and thread-safe.
#ifndef CEF_ENGINE_JOURNAL_H_
#define CEF_ENGINE_JOURNAL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace cefengine {

struct JournalEntry {
  uint64_t seq = 0;
  char process = 'B';   // 'B' browser, 'R' renderer
  std::string thread;   // "UI", "IO", "FILE", "LAUNCHER", "RENDERER", "main" or "other"
  std::string kind;     // e.g. "OnContextInitialized"
  int browser = 0;      // 0: none
  int64_t frame = 0;    // 0: none
  std::vector<std::string> args;
  // When it was recorded, in microseconds of the performance counter (comparable between the processes of one
  // machine): a renderer's entries keep the renderer's stamp.
  int64_t time_us = 0;
};

bool JournalEnabled();
// The performance counter in microseconds, the clock of JournalEntry::time_us.
int64_t JournalTimeUs();
// How entries write a flag: "true" or "false".
inline const char* FlagText(bool value) {
  return value ? "true" : "false";
}
// Appends an entry stamped with the next sequence number, the calling thread's name and the time.
void Record(const std::string& kind, int browser = 0, int64_t frame = 0, std::vector<std::string> args = {});
void SetJournalProcess(char process);
// Entries recorded on the calling thread carry `process` instead of the process-wide letter; '\0' undoes it.
// A renderer thread inside the browser process marks its entries 'R' this way.
void SetJournalProcessForThread(char process);
// Appends an entry recorded in another process (a renderer's forwarded journal): process, thread, kind, browser,
// frame, args and time are kept, the sequence number is this journal's next one. Ignored while recording is off.
void AppendJournalEntry(JournalEntry entry);
// The entries recorded so far, removed from the journal in one step.
std::vector<JournalEntry> TakeJournal();

void EnableJournal(bool on);
void ClearJournal();
std::vector<JournalEntry> JournalSnapshot();

// For the test API: per-browser fault flags read by the messaging layer.
void SetSendToRendererFails(int browser_id, bool fail);
bool SendToRendererFails(int browser_id);

}  // namespace cefengine

#endif  // CEF_ENGINE_JOURNAL_H_
