#include "browser/window_test.h"

#include <sstream>
#include <string>
#include <vector>

#include "browser/main_message_loop.h"
#include "include/base/cef_bind.h"

namespace client {
namespace window_test {

const char kTestUrlPrefix[] = "http://tests/window";

namespace {

const char kMessagePositionName[] = "WindowTest.Position";
const char kMessageMinimizeName[] = "WindowTest.Minimize";
const char kMessageMaximizeName[] = "WindowTest.Maximize";
const char kMessageRestoreName[] = "WindowTest.Restore";
// The name and one separator character, which is not examined.
const size_t kPositionParametersOffset = sizeof(kMessagePositionName);

const int kMinimumSize = 100;

class Handler : public CefMessageRouterBrowserSide::Handler {
 public:
  Handler() {}

  // Engine UI thread.
  bool OnQuery(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id, const CefString& request,
               bool persistent, CefRefPtr<Callback> callback) override {
    const std::string url = frame->GetURL().ToString();
    if (url.find(kTestUrlPrefix) != 0)
      return false;

    const std::string message_name = request.ToString();
    if (message_name.find(kMessagePositionName) == 0) {
      // A request without parameters reads no numbers and moves nothing.
      const std::string parameters =
          message_name.size() > kPositionParametersOffset ? message_name.substr(kPositionParametersOffset) : "";
      std::vector<int> numbers;
      std::istringstream stream(parameters);
      int value = 0;
      while (stream >> value) {
        numbers.push_back(value);
        if (stream.peek() == ',')
          stream.ignore();
      }
      if (numbers.size() == 4)
        MainMessageLoop::Get()->PostClosure(
            base::Bind(&SetPos, browser, numbers[0], numbers[1], numbers[2], numbers[3]));
    } else if (message_name == kMessageMinimizeName) {
      MainMessageLoop::Get()->PostClosure(base::Bind(&Minimize, browser));
    } else if (message_name == kMessageMaximizeName) {
      MainMessageLoop::Get()->PostClosure(base::Bind(&Maximize, browser));
    } else if (message_name == kMessageRestoreName) {
      MainMessageLoop::Get()->PostClosure(base::Bind(&Restore, browser));
    }

    callback->Success("");
    return true;
  }
};

// GetWindowPlacement reports a minimised window as SW_SHOWMINIMIZED, never SW_MINIMIZE.
bool IsMinimized(HWND hwnd, const WINDOWPLACEMENT& placement) {
  return IsIconic(hwnd) || placement.showCmd == SW_SHOWMINIMIZED || placement.showCmd == SW_MINIMIZE;
}

bool IsMaximized(HWND hwnd, const WINDOWPLACEMENT& placement) {
  return IsZoomed(hwnd) || placement.showCmd == SW_MAXIMIZE;
}

WINDOWPLACEMENT PlacementOf(HWND hwnd) {
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  GetWindowPlacement(hwnd, &placement);
  return placement;
}

}  // namespace

void CreateMessageHandlers(std::set<CefMessageRouterBrowserSide::Handler*>& handlers) {
  handlers.insert(new Handler());
}

HWND GetRootHwnd(CefRefPtr<CefBrowser> browser) {
  return GetAncestor(browser->GetHost()->GetWindowHandle(), GA_ROOT);
}

void Minimize(CefRefPtr<CefBrowser> browser) {
  const HWND hwnd = GetRootHwnd(browser);
  const WINDOWPLACEMENT placement = PlacementOf(hwnd);
  ShowWindow(hwnd, IsMinimized(hwnd, placement) ? SW_RESTORE : SW_MINIMIZE);
}

void Maximize(CefRefPtr<CefBrowser> browser) {
  const HWND hwnd = GetRootHwnd(browser);
  const WINDOWPLACEMENT placement = PlacementOf(hwnd);
  ShowWindow(hwnd, IsMaximized(hwnd, placement) ? SW_RESTORE : SW_MAXIMIZE);
}

void Restore(CefRefPtr<CefBrowser> browser) {
  ShowWindow(GetRootHwnd(browser), SW_RESTORE);
}

void SetPos(CefRefPtr<CefBrowser> browser, int x, int y, int width, int height) {
  const HWND hwnd = GetRootHwnd(browser);
  WINDOWPLACEMENT placement = PlacementOf(hwnd);

  const HMONITOR monitor = MonitorFromRect(&placement.rcNormalPosition, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  const CefRect display(info.rcWork.left, info.rcWork.top, info.rcWork.right - info.rcWork.left,
                        info.rcWork.bottom - info.rcWork.top);

  CefRect window(x, y, width, height);
  ModifyBounds(display, window);

  if (IsMinimized(hwnd, placement) || IsMaximized(hwnd, placement)) {
    placement.rcNormalPosition = {window.x, window.y, window.x + window.width, window.y + window.height};
    SetWindowPlacement(hwnd, &placement);
    ShowWindow(hwnd, SW_RESTORE);
  } else {
    SetWindowPos(hwnd, nullptr, window.x, window.y, window.width, window.height, SWP_NOZORDER);
  }
}

void ModifyBounds(const CefRect& display, CefRect& window) {
  window.x += display.x;
  window.y += display.y;

  if (window.x < display.x)
    window.x = display.x;
  if (window.y < display.y)
    window.y = display.y;

  if (window.width < kMinimumSize)
    window.width = kMinimumSize;
  else if (window.width >= display.width)
    window.width = display.width;
  if (window.height < kMinimumSize)
    window.height = kMinimumSize;
  else if (window.height >= display.height)
    window.height = display.height;

  if (window.x + window.width >= display.x + display.width)
    window.x = display.x + display.width - window.width;
  if (window.y + window.height >= display.y + display.height)
    window.y = display.y + display.height - window.height;
}

}  // namespace window_test
}  // namespace client
