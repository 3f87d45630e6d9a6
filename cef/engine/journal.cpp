#include "engine/journal.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>

#include "engine/task_threads.h"

namespace cefengine {

namespace {

struct JournalState {
  std::mutex mutex;
  std::vector<JournalEntry> entries;
  uint64_t next_seq = 1;
  std::set<int> send_failures;
};

JournalState& State() {
  static JournalState* state = new JournalState();
  return *state;
}

std::atomic<bool> g_enabled{false};
std::atomic<char> g_process{'B'};
thread_local char t_process = '\0';

}  // namespace

bool JournalEnabled() {
  return g_enabled.load();
}

int64_t JournalTimeUs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Whole seconds and the rest apart, so that the product cannot overflow.
  return now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency;
}

void Record(const std::string& kind, int browser, int64_t frame, std::vector<std::string> args) {
  if (!g_enabled.load())
    return;
  JournalEntry entry;
  entry.process = t_process ? t_process : g_process.load();
  entry.thread = CurrentThreadName();
  entry.kind = kind;
  entry.browser = browser;
  entry.frame = frame;
  entry.args = std::move(args);
  entry.time_us = JournalTimeUs();
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  entry.seq = s.next_seq++;
  s.entries.push_back(std::move(entry));
}

void SetJournalProcess(char process) {
  g_process = process;
}

void SetJournalProcessForThread(char process) {
  t_process = process;
}

void AppendJournalEntry(JournalEntry entry) {
  if (!g_enabled.load())
    return;
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  entry.seq = s.next_seq++;
  s.entries.push_back(std::move(entry));
}

std::vector<JournalEntry> TakeJournal() {
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<JournalEntry> taken;
  taken.swap(s.entries);
  return taken;
}

void EnableJournal(bool on) {
  g_enabled = on;
}

void ClearJournal() {
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.entries.clear();
}

std::vector<JournalEntry> JournalSnapshot() {
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.entries;
}

void SetSendToRendererFails(int browser_id, bool fail) {
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (fail)
    s.send_failures.insert(browser_id);
  else
    s.send_failures.erase(browser_id);
}

bool SendToRendererFails(int browser_id) {
  JournalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.send_failures.count(browser_id) != 0;
}

}  // namespace cefengine
