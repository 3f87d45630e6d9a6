#include "engine/context.h"

namespace cefengine {

int RunRendererProcess(const CefMainArgs& args, CefRefPtr<CefApp> app, const std::wstring& channel) {
  // The renderer runtime is not part of this build yet.
  LOG(ERROR) << "CefExecuteProcess: renderer runtime not available";
  return 1;
}

}  // namespace cefengine
