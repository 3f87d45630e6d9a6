// Start-up stamps of a browser process, for the start-up bench: with BRIVELO_CEF_STARTUP_TRACE=<name> in its
// environment, CefInitialize publishes a block of performance-counter stamps as the named shared memory <name>
// (StartupTraceBlock), which another process of the session reads while this one runs. Without the variable nothing
// is published. Sub-processes never publish (only CefInitialize does).
//
// Stamps are QueryPerformanceCounter values, comparable between the processes of one machine; 0 means "not yet".
#ifndef CEF_ENGINE_STARTUP_TRACE_H_
#define CEF_ENGINE_STARTUP_TRACE_H_

#include <cstdint>

namespace cefengine {

struct StartupTraceBlock {
  uint32_t size;                   // sizeof(StartupTraceBlock) of the writer
  uint32_t reserved;
  int64_t frequency;               // QueryPerformanceFrequency
  int64_t image_start;             // the engine's static initialisation (the C runtime's start-up, before main)
  int64_t execute_process;         // CefExecuteProcess entered
  int64_t initialize_begin;        // CefInitialize entered
  int64_t initialize_end;          // CefInitialize about to return true
  int64_t first_browser_created;   // just before the first browser's OnAfterCreated
  int64_t first_main_frame_load_end;  // just before the first main-frame OnLoadEnd
};

enum class StartupStamp { kExecuteProcess, kInitializeBegin, kInitializeEnd, kFirstBrowserCreated, kFirstLoadEnd };

// Takes the stamp (the first time only, any thread). From kInitializeBegin on, stamps go into the published block.
void NoteStartupStamp(StartupStamp stamp);

}  // namespace cefengine

#endif  // CEF_ENGINE_STARTUP_TRACE_H_
