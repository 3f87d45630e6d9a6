// The `external` object of every script context in a renderer, and the renderer's side of the
// calls between page script and the host.
//
// Page script asks `external` for the host's channel, version and machine identifier, writes to
// the main log, reports drag areas and its wanted window position, registers functions the host
// may call, and calls host methods with a callback:
//
//   external.Execute("Method", callback, "a", "b")  -> "7" (the execute id), and the browser gets
//       {ACBF06D2-...} [7, "Method", key of callback, "a", "b"];
//   the host answers by calling the callback's key: {1EA24BB9-...} [7, key, "result"] runs the
//       callback with "result"; the callback's value goes back as {E31E0591-...} [7, status, value].
//
// A callback key is the function's own name, or for an anonymous function "&" followed by the
// address of its value in upper-case hexadecimal (2 * sizeof(void*) digits); such a key serves
// one call only. Execute ids come from one process-wide counter (first id 1).
//
// State is kept per script context, keyed by the context's identity (CefV8Context::IsSame), and
// leaves with the context. Everything runs on the renderer's main thread without locks; only the
// execute-id counter is shared, and raised atomically.
#pragma once

#include "render/client_app_renderer.h"

namespace client {
namespace render_sync_call {

// Inserts one new `external` delegate (SyncCallerRenderDelegate) into `delegates`.
void CreateDelegates(ClientAppRenderer::DelegateSet& delegates);

}  // namespace render_sync_call
}  // namespace client
