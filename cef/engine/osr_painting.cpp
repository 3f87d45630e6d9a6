#include "engine/osr_painting.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "engine/browser_impl.h"
#include "engine/context.h"
#include "engine/journal.h"
#include "include/base/cef_logging.h"
#include "include/cef_client.h"

namespace cefengine {

namespace {

const uint32_t kMagenta = 0xFFFF00FFu;
const uint32_t kCyan = 0xFF00FFFFu;

std::mutex g_pattern_lock;
PaintPattern& Pattern() {
  static PaintPattern* pattern = new PaintPattern();
  return *pattern;
}

PaintPattern CurrentPattern() {
  std::lock_guard<std::mutex> hold(g_pattern_lock);
  return Pattern();
}

// Opaque black on light or transparent backgrounds, opaque white on dark ones.
uint32_t TextColorFor(cef_color_t background) {
  if (CefColorGetA(background) < 128)
    return 0xFF000000u;
  unsigned luminance =
      (299u * CefColorGetR(background) + 587u * CefColorGetG(background) + 114u * CefColorGetB(background)) / 1000u;
  return luminance < 128 ? 0xFFFFFFFFu : 0xFF000000u;
}

// Draws `title` white on black into a top-down DIB band covering the top rows of the view and makes every touched
// pixel of `pixels` opaque `color`. False when GDI refused.
bool DrawTitle(const PaintRequest& request, uint32_t color, std::vector<uint32_t>* pixels) {
  const int margin = ScaledExtent(4, request.scale);
  const int font_height = ScaledExtent(14, request.scale);
  const int band = std::min(request.height, font_height + 2 * margin);
  if (band <= margin || request.width <= margin)
    return true;  // no room for text

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = request.width;
  info.bmiHeader.biHeight = -band;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc)
    return false;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    DeleteDC(dc);
    return false;
  }
  HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  // Without smoothing every text pixel is either fully on or off.
  HFONT font = CreateFontW(-font_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
  std::memset(bits, 0, static_cast<size_t>(request.width) * static_cast<size_t>(band) * 4);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT rect = {margin, margin, request.width - margin, band};
  std::wstring text = request.title;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  GdiFlush();

  const uint32_t* mask = static_cast<const uint32_t*>(bits);
  const size_t count = static_cast<size_t>(request.width) * static_cast<size_t>(band);
  for (size_t i = 0; i < count; ++i)
    if (mask[i] & 0x00FFFFFFu)
      (*pixels)[i] = color;

  if (old_font)
    SelectObject(dc, old_font);
  if (font)
    DeleteObject(font);
  SelectObject(dc, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return true;
}

// Painting state per browser, under g_state_lock.
struct BrowserPaintState {
  bool popup_shown = false;
  CefRect popup_rect;
  PaintRecord last[2];  // by cef_paint_element_type_t
};

std::mutex g_state_lock;
std::map<int, BrowserPaintState>& States() {
  static std::map<int, BrowserPaintState>* states = new std::map<int, BrowserPaintState>();
  return *states;
}

std::string RectText(const CefRect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "x" +
         std::to_string(r.height);
}

bool CanPaint(BrowserImpl* browser) {
  return browser->windowless() && !browser->IsDestroyed() && !browser->hidden();
}

// Everything a paint needs before the pixels: the render handler, then the view rectangle and the screen
// information it gives. False when the browser may not paint now or the handler gives no usable view.
bool PreparePaint(BrowserImpl* browser, CefRefPtr<CefRenderHandler>* handler, CefRect* view, CefScreenInfo* info) {
  if (!CanPaint(browser))
    return false;
  *handler = RenderHandlerOf(browser);
  if (!*handler)
    return false;
  CefRefPtr<CefBrowser> self = browser;
  bool have_view = (*handler)->GetViewRect(self, *view);
  Record("GetViewRect", browser->id(), 0, {FlagText(have_view), RectText(*view)});
  if (!have_view || view->IsEmpty())
    return false;
  info->Set(1.0f, 32, 8, false, *view, *view);
  bool have_info = (*handler)->GetScreenInfo(self, *info);
  Record("GetScreenInfo", browser->id(), 0, {FlagText(have_info), std::to_string(info->device_scale_factor)});
  if (!(info->device_scale_factor > 0.0f))
    info->device_scale_factor = 1.0f;
  return true;
}

// Generates and delivers one buffer of `element` for a `width_dip` x `height_dip` area.
void Deliver(BrowserImpl* browser, CefRefPtr<CefRenderHandler> handler, cef_paint_element_type_t element,
             int width_dip, int height_dip, float scale, cef_color_t background, const std::wstring& title) {
  PaintRequest request;
  request.width = ScaledExtent(width_dip, scale);
  request.height = ScaledExtent(height_dip, scale);
  request.scale = scale;
  request.background = background;
  request.title = title;
  std::vector<uint32_t> pixels;
  if (!GeneratePaint(request, &pixels))
    return;
  CefRenderHandler::RectList dirty(1, CefRect(0, 0, request.width, request.height));
  Record("OnPaint", browser->id(), 0,
         {element == PET_POPUP ? "popup" : "view", std::to_string(request.width), std::to_string(request.height)});
  handler->OnPaint(browser, element, dirty, pixels.data(), request.width, request.height);

  std::lock_guard<std::mutex> hold(g_state_lock);
  PaintRecord& record = States()[browser->id()].last[element == PET_POPUP ? 1 : 0];
  record.type = element;
  record.width = request.width;
  record.height = request.height;
  record.dirty_rects = dirty;
  record.pixels = std::move(pixels);
  ++record.paint_count;
}

// The popup widget's own colour: light grey, so that it stands apart from a white page.
const cef_color_t kPopupBackground = 0xFFE0E0E0u;

}  // namespace

CefRefPtr<CefRenderHandler> RenderHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetRenderHandler() : nullptr;
}

int ScaledExtent(int dip, float scale) {
  if (dip <= 0 || !(scale > 0.0f))
    return 0;
  double exact = static_cast<double>(dip) * static_cast<double>(scale);
  double pixels = std::ceil(exact - 0.001);
  if (pixels > static_cast<double>(INT32_MAX))
    return INT32_MAX;
  return pixels < 1.0 ? 1 : static_cast<int>(pixels);
}

cef_color_t ChooseBackground(bool has_document_background, cef_color_t document_background, bool transparent,
                             cef_color_t browser_setting, cef_color_t global_setting) {
  if (has_document_background)
    return document_background;
  if (transparent)
    return 0;
  if (browser_setting != 0)
    return browser_setting;
  if (global_setting != 0)
    return global_setting;
  return CefColorSetARGB(255, 255, 255, 255);
}

uint32_t Premultiply(cef_color_t argb) {
  uint32_t a = CefColorGetA(argb);
  uint32_t r = (CefColorGetR(argb) * a + 127) / 255;
  uint32_t g = (CefColorGetG(argb) * a + 127) / 255;
  uint32_t b = (CefColorGetB(argb) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t MarkerColorFor(uint32_t premultiplied_background) {
  return premultiplied_background == kMagenta ? kCyan : kMagenta;
}

bool GeneratePaint(const PaintRequest& request, std::vector<uint32_t>* pixels) {
  if (request.width <= 0 || request.height <= 0 || request.width > kMaxPaintExtent ||
      request.height > kMaxPaintExtent) {
    LOG(ERROR) << "GeneratePaint: no buffer for a view of " << request.width << "x" << request.height;
    return false;
  }
  const size_t count = static_cast<size_t>(request.width) * static_cast<size_t>(request.height);
  PaintPattern pattern = CurrentPattern();
  if (pattern) {
    pixels->resize(count);
    for (int y = 0; y < request.height; ++y)
      for (int x = 0; x < request.width; ++x)
        (*pixels)[static_cast<size_t>(y) * static_cast<size_t>(request.width) + static_cast<size_t>(x)] =
            pattern(x, y, request.width, request.height);
    return true;
  }

  const uint32_t background = Premultiply(request.background);
  pixels->assign(count, background);
  if (!request.title.empty() && !DrawTitle(request, TextColorFor(request.background), pixels))
    LOG(WARNING) << "GeneratePaint: GDI could not draw the title; background only";
  (*pixels)[0] = MarkerColorFor(background);
  return true;
}

void SetPaintPattern(PaintPattern pattern) {
  std::lock_guard<std::mutex> hold(g_pattern_lock);
  Pattern() = std::move(pattern);
}

void PaintView(BrowserImpl* browser) {
  CefRefPtr<CefRenderHandler> handler;
  CefRect view;
  CefScreenInfo info;
  if (!PreparePaint(browser, &handler, &view, &info))
    return;
  PageState page = browser->page_state();
  cef_color_t background =
      ChooseBackground(page.has_background, page.background, browser->window_info().transparent_painting_enabled != 0,
                       browser->settings().background_color, CurrentSettings().background_color);
  Deliver(browser, handler, PET_VIEW, view.width, view.height, info.device_scale_factor, background, page.title);
}

void ShowPopupWidget(BrowserImpl* browser, const CefRect& rect) {
  if (!browser->windowless() || browser->IsDestroyed())
    return;
  {
    std::lock_guard<std::mutex> hold(g_state_lock);
    BrowserPaintState& state = States()[browser->id()];
    state.popup_shown = true;
    state.popup_rect = rect;
  }
  CefRefPtr<CefRenderHandler> handler = RenderHandlerOf(browser);
  if (!handler)
    return;
  Record("OnPopupShow", browser->id(), 0, {"true"});
  handler->OnPopupShow(browser, true);
  Record("OnPopupSize", browser->id(), 0, {RectText(rect)});
  handler->OnPopupSize(browser, rect);
  PaintPopup(browser);
}

void HidePopupWidget(BrowserImpl* browser) {
  {
    std::lock_guard<std::mutex> hold(g_state_lock);
    auto it = States().find(browser->id());
    if (it == States().end() || !it->second.popup_shown)
      return;
    it->second.popup_shown = false;
  }
  if (browser->IsDestroyed())
    return;
  CefRefPtr<CefRenderHandler> handler = RenderHandlerOf(browser);
  if (!handler)
    return;
  Record("OnPopupShow", browser->id(), 0, {"false"});
  handler->OnPopupShow(browser, false);
  PaintView(browser);
}

void PaintPopup(BrowserImpl* browser) {
  CefRect rect;
  {
    std::lock_guard<std::mutex> hold(g_state_lock);
    auto it = States().find(browser->id());
    if (it == States().end() || !it->second.popup_shown)
      return;
    rect = it->second.popup_rect;
  }
  CefRefPtr<CefRenderHandler> handler;
  CefRect view;
  CefScreenInfo info;
  if (rect.IsEmpty() || !PreparePaint(browser, &handler, &view, &info))
    return;
  Deliver(browser, handler, PET_POPUP, rect.width, rect.height, info.device_scale_factor, kPopupBackground, L"");
}

bool PopupWidgetShown(int browser_id) {
  std::lock_guard<std::mutex> hold(g_state_lock);
  auto it = States().find(browser_id);
  return it != States().end() && it->second.popup_shown;
}

bool LastPaint(int browser_id, cef_paint_element_type_t type, PaintRecord* record) {
  std::lock_guard<std::mutex> hold(g_state_lock);
  auto it = States().find(browser_id);
  if (it == States().end())
    return false;
  const PaintRecord& last = it->second.last[type == PET_POPUP ? 1 : 0];
  if (last.paint_count == 0)
    return false;
  *record = last;
  return true;
}

void ForgetPaintState(int browser_id) {
  std::lock_guard<std::mutex> hold(g_state_lock);
  States().erase(browser_id);
}

}  // namespace cefengine
