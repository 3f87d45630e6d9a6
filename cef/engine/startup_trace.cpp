#include "engine/startup_trace.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace cefengine {

namespace {

int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Runs with the C runtime's start-up of every program that links the engine's start-up.
const int64_t g_image_start = Now();
std::atomic<int64_t> g_execute_process{0};

std::mutex g_mutex;
StartupTraceBlock* g_block = nullptr;  // guarded by g_mutex; the mapping lives as long as the process

// The block named by BRIVELO_CEF_STARTUP_TRACE, created and filled with the stamps so far; null without the variable.
StartupTraceBlock* Publish() {
  wchar_t name[128] = {};
  const DWORD length = GetEnvironmentVariableW(L"BRIVELO_CEF_STARTUP_TRACE", name, 128);
  if (length == 0 || length >= 128)
    return nullptr;
  HANDLE mapping =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(StartupTraceBlock), name);
  if (!mapping)
    return nullptr;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(StartupTraceBlock));
  if (!view) {
    CloseHandle(mapping);
    return nullptr;
  }
  StartupTraceBlock* block = static_cast<StartupTraceBlock*>(view);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  block->frequency = frequency.QuadPart;
  block->image_start = g_image_start;
  block->execute_process = g_execute_process.load();
  block->size = sizeof(StartupTraceBlock);
  return block;
}

}  // namespace

void NoteStartupStamp(StartupStamp stamp) {
  const int64_t now = Now();
  if (stamp == StartupStamp::kExecuteProcess) {
    int64_t unset = 0;
    g_execute_process.compare_exchange_strong(unset, now);
    return;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (stamp == StartupStamp::kInitializeBegin && !g_block)
    g_block = Publish();
  if (!g_block)
    return;
  int64_t* field = nullptr;
  switch (stamp) {
    case StartupStamp::kInitializeBegin: field = &g_block->initialize_begin; break;
    case StartupStamp::kInitializeEnd: field = &g_block->initialize_end; break;
    case StartupStamp::kFirstBrowserCreated: field = &g_block->first_browser_created; break;
    case StartupStamp::kFirstLoadEnd: field = &g_block->first_main_frame_load_end; break;
    default: return;
  }
  if (*field == 0)
    *field = now;
}

}  // namespace cefengine
