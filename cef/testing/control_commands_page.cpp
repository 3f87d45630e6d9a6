// Page actions served over the control pipe: each maps its arguments onto one call of the page test API
// (testing/browser_testing.h, testing/page_testing.h) and answers what that call returned. The arguments of each
// command are listed in engine/control_pipe.h.
#include <utility>
#include <vector>

#include "engine/drag_data_impl.h"
#include "engine/utf.h"
#include "include/cef_parser.h"
#include "testing/browser_testing.h"
#include "testing/control_commands.h"
#include "testing/page_testing.h"

namespace cefengine {

namespace {

const char* OutcomeName(test::Outcome outcome) {
  switch (outcome) {
    case test::Outcome::kPending: return "pending";
    case test::Outcome::kGranted: return "granted";
    case test::Outcome::kDenied: return "denied";
    case test::Outcome::kAutoDismissed: return "auto_dismissed";
    case test::Outcome::kSuppressed: return "suppressed";
    default: return "unknown";
  }
}

CefKeyEvent KeyEventArg(ControlArgs& in) {
  CefKeyEvent event;
  int type = in.Int("type", KEYEVENT_RAWKEYDOWN);
  if (type < KEYEVENT_RAWKEYDOWN || type > KEYEVENT_CHAR)
    in.Fail("type must be a key event type (0-3)");
  event.type = static_cast<cef_key_event_type_t>(type);
  event.modifiers = static_cast<uint32>(in.Int("modifiers", 0));
  event.windows_key_code = in.Int("windows_key_code", 0);
  event.native_key_code = in.Int("native_key_code", 0);
  event.is_system_key = in.Bool("is_system_key", false);
  event.character = static_cast<char16>(in.Int("character", 0));
  event.unmodified_character = static_cast<char16>(in.Int("unmodified_character", event.character));
  event.focus_on_editable_field = in.Bool("focus_on_editable_field", false);
  return event;
}

// "allowed_ops": a drag operations mask, COPY | LINK | MOVE by default.
cef_drag_operations_mask_t AllowedOpsArg(ControlArgs& in) {
  if (in.Has("allowed_ops") && !in.Raw("allowed_ops").isUInt()) {
    in.Fail("allowed_ops must be a drag operations mask");
    return DRAG_OPERATION_NONE;
  }
  return static_cast<cef_drag_operations_mask_t>(
      in.Has("allowed_ops") ? in.Raw("allowed_ops").asUInt()
                            : DRAG_OPERATION_COPY | DRAG_OPERATION_LINK | DRAG_OPERATION_MOVE);
}

// "data": what a drag carries, {link_url?, link_title?, link_metadata?, fragment_text?, fragment_html?,
// fragment_base_url?, files?: [[path, display_name], ...], file_name?, file_contents? (Base64)}.
CefRefPtr<CefDragData> DragDataArg(ControlArgs& in) {
  CefRefPtr<DragDataImpl> data = new DragDataImpl();
  const Json::Value& json = in.Raw("data");
  if (!in.Has("data") || !json.isObject()) {
    in.Fail("data must be an object describing the drag data");
    return data.get();
  }
  using Setter = void (DragDataImpl::*)(const CefString&);
  const std::pair<const char*, Setter> texts[] = {
      {"link_url", &DragDataImpl::SetLinkURL},
      {"link_title", &DragDataImpl::SetLinkTitle},
      {"link_metadata", &DragDataImpl::SetLinkMetadata},
      {"fragment_text", &DragDataImpl::SetFragmentText},
      {"fragment_html", &DragDataImpl::SetFragmentHtml},
      {"fragment_base_url", &DragDataImpl::SetFragmentBaseURL},
  };
  for (const std::string& key : json.getMemberNames()) {
    const Json::Value& value = json[key];
    bool known = false;
    for (const auto& text : texts) {
      if (key != text.first)
        continue;
      known = true;
      if (value.isString())
        (data.get()->*text.second)(value.asString());
      else
        in.Fail("data." + key + " must be a string");
    }
    if (known || key == "file_name" || key == "file_contents")
      continue;
    if (key != "files") {
      in.Fail("data has an unknown field \"" + key + "\"");
      continue;
    }
    bool ok = value.isArray();
    for (Json::ArrayIndex i = 0; ok && i < value.size(); ++i) {
      const Json::Value& file = value[i];
      ok = file.isArray() && file.size() == 2 && file[0].isString() && file[1].isString();
      if (ok)
        data->AddFile(file[0].asString(), file[1].asString());
    }
    if (!ok)
      in.Fail("data.files must be an array of [path, display_name] strings");
  }
  if (json.isMember("file_contents") || json.isMember("file_name")) {
    const Json::Value& name = json["file_name"];
    const Json::Value& contents = json["file_contents"];
    CefRefPtr<CefBinaryValue> bytes = contents.isString() ? CefBase64Decode(contents.asString()) : nullptr;
    if (!name.isString() || !bytes) {
      in.Fail("data.file_name (a string) and data.file_contents (Base64 text) go together");
    } else {
      std::string raw(bytes->GetSize(), '\0');
      if (!raw.empty())
        bytes->GetData(&raw[0], raw.size(), 0);
      data->SetFileContents(Utf8ToWide(name.asString()), raw);
    }
  }
  return data.get();
}

// A drag command: {browser, data, allowed_ops?, x?, y?} handed to `play`.
using DragPlay = bool (*)(CefRefPtr<CefBrowser>, CefRefPtr<CefDragData>, cef_drag_operations_mask_t, int, int);
ControlAction DragAction(DragPlay play) {
  return [play](ControlArgs& in) -> Json::Value {
    CefRefPtr<CefBrowser> browser = in.Browser();
    CefRefPtr<CefDragData> data = DragDataArg(in);
    cef_drag_operations_mask_t allowed_ops = AllowedOpsArg(in);
    int x = in.Int("x", 0);
    int y = in.Int("y", 0);
    return in.ok() && play(browser, data, allowed_ops, x, y);
  };
}

// "type": "view" (the default) or "popup".
cef_paint_element_type_t PaintTypeArg(ControlArgs& in) {
  std::string type = in.Utf8("type", "view");
  if (type != "view" && type != "popup")
    in.Fail("type must be \"view\" or \"popup\"");
  return type == "popup" ? PET_POPUP : PET_VIEW;
}

// "points": [[x, y], ...] of the last paint to read, none by default.
std::vector<std::pair<int, int>> PointsArg(ControlArgs& in) {
  std::vector<std::pair<int, int>> points;
  if (!in.Has("points"))
    return points;
  const Json::Value& list = in.Raw("points");
  bool ok = list.isArray();
  for (Json::ArrayIndex i = 0; ok && i < list.size(); ++i) {
    ok = list[i].isArray() && list[i].size() == 2 && list[i][0].isInt() && list[i][1].isInt();
    if (ok)
      points.emplace_back(list[i][0].asInt(), list[i][1].asInt());
  }
  if (!ok)
    in.Fail("points must be an array of [x, y] integer pairs");
  return points;
}

Json::Value PaintToJson(const test::PaintInfo& paint, cef_paint_element_type_t type,
                        const std::vector<std::pair<int, int>>& points) {
  Json::Value v;
  v["painted"] = paint.painted;
  v["type"] = type == PET_POPUP ? "popup" : "view";
  v["width"] = paint.width;
  v["height"] = paint.height;
  v["paint_count"] = paint.paint_count;
  v["dirty_rects"] = Json::Value(Json::arrayValue);
  for (const CefRect& rect : paint.dirty_rects) {
    Json::Value r(Json::arrayValue);
    r.append(rect.x);
    r.append(rect.y);
    r.append(rect.width);
    r.append(rect.height);
    v["dirty_rects"].append(r);
  }
  v["pixels"] = Json::Value(Json::arrayValue);
  for (const auto& point : points) {
    const int x = point.first;
    const int y = point.second;
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(paint.width) + static_cast<size_t>(x);
    const bool inside = x >= 0 && y >= 0 && x < paint.width && y < paint.height && at < paint.pixels.size();
    v["pixels"].append(inside ? Json::Value(Json::UInt(paint.pixels[at])) : Json::Value());  // null outside
  }
  return v;
}

}  // namespace

void RegisterPageControlCommands() {
  RegisterControlActions({
      {"page_navigate",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring url = in.Text("url");
         return in.ok() && test::PageNavigate(browser, browser->GetMainFrame(), url);
       }},
      {"page_set_title",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring title = in.Text("title");
         return in.ok() && test::PageSetTitle(browser, title);
       }},
      {"page_open_window",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring url = in.Text("url");
         int disposition = in.Int("disposition", WOD_NEW_POPUP);
         bool user_gesture = in.Bool("user_gesture", true);
         std::wstring frame_name = in.Text("frame_name", std::wstring());
         if (disposition < WOD_UNKNOWN || disposition > WOD_IGNORE_ACTION)
           in.Fail("disposition must be a window open disposition");
         return in.ok() && test::PageOpenWindow(browser, browser->GetMainFrame(), url,
                                                static_cast<cef_window_open_disposition_t>(disposition),
                                                user_gesture, frame_name);
       }},
      {"page_open_from_tab",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring url = in.Text("url");
         int disposition = in.Int("disposition", WOD_NEW_FOREGROUND_TAB);
         bool user_gesture = in.Bool("user_gesture", true);
         if (disposition < WOD_UNKNOWN || disposition > WOD_IGNORE_ACTION)
           in.Fail("disposition must be a window open disposition");
         return in.ok() && test::PageOpenFromTab(browser, browser->GetMainFrame(), url,
                                                 static_cast<cef_window_open_disposition_t>(disposition),
                                                 user_gesture);
       }},
      {"page_close",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         return in.ok() && test::PageClose(browser);
       }},
      {"page_console",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring message = in.Text("message");
         std::wstring source = in.Text("source", std::wstring());
         int line = in.Int("line", 0);
         return in.ok() && test::PageConsole(browser, message, source, line);
       }},
      {"page_fullscreen",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         bool fullscreen = in.Bool("fullscreen");
         return in.ok() && test::PageFullscreen(browser, fullscreen);
       }},
      {"page_tooltip",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring text = in.Text("text");
         return in.ok() && test::PageTooltip(browser, text);
       }},
      {"page_cursor",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int type = in.Int("type");
         if (type < CT_POINTER || type > CT_CUSTOM)
           in.Fail("type must be a cursor type");
         return in.ok() && test::PageCursor(browser, static_cast<cef_cursor_type_t>(type));
       }},
      {"page_context_menu",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int type_flags = in.Int("type_flags", CM_TYPEFLAG_PAGE);
         int x = in.Int("x", 0);
         int y = in.Int("y", 0);
         std::wstring link_url = in.Text("link_url", std::wstring());
         return in.ok() && test::PageContextMenu(browser, type_flags, x, y, link_url);
       }},
      {"choose_menu_command",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int command_id = in.Int("command_id");
         return in.ok() && test::ChooseMenuCommand(browser, command_id);
       }},
      {"open_menu_commands",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         Json::Value ids(Json::arrayValue);
         if (in.ok())
           for (int id : test::OpenMenuCommands(browser))
             ids.append(id);
         return ids;
       }},
      {"user_key",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         CefKeyEvent event = KeyEventArg(in);
         return in.ok() && test::UserKey(browser, event);
       }},
      {"page_alert",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int type = in.Int("type", JSDIALOGTYPE_ALERT);
         std::wstring message = in.Text("message");
         std::wstring default_prompt = in.Text("default_prompt", std::wstring());
         if (type < JSDIALOGTYPE_ALERT || type > JSDIALOGTYPE_PROMPT)
           in.Fail("type must be 0 (alert), 1 (confirm) or 2 (prompt)");
         return in.ok() ? test::PageAlert(browser, static_cast<cef_jsdialog_type_t>(type), message, default_prompt)
                        : 0;
       }},
      {"request_outcome",
       [](ControlArgs& in) -> Json::Value {
         int request = in.Int("request");
         int timeout_ms = in.TimeoutMs(0);
         Json::Value v;
         if (!in.ok())
           return v;
         if (timeout_ms > 0)
           (void)test::WaitSettled(request, timeout_ms);  // a timed-out wait answers "pending"
         test::RequestResult result = test::RequestOutcome(request);
         v["outcome"] = OutcomeName(result.outcome);
         v["text"] = WideToUtf8(result.text);
         return v;
       }},
      {"page_before_unload",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         bool has_handler = in.Bool("has_handler");
         return in.ok() && test::PageBeforeUnload(browser, has_handler);
       }},
      {"page_geolocation",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring url = in.Text("url");
         return in.ok() ? test::PageGeolocation(browser, url) : 0;
       }},
      {"page_quota",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring origin = in.Text("origin");
         int64 size = in.Int64("size");
         return in.ok() ? test::PageQuota(browser, origin, size) : 0;
       }},
      {"page_download",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring url = in.Text("url");
         std::wstring name = in.Text("name");
         std::string body = in.Utf8("body", std::string());
         std::wstring mime = in.Text("mime", L"application/octet-stream");
         return in.ok() ? test::PageDownload(browser, url, name, body, mime) : 0;
       }},
      {"page_show_popup_widget",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         CefRect rect(in.Int("x"), in.Int("y"), in.Int("width"), in.Int("height"));
         return in.ok() && test::PageShowPopupWidget(browser, rect);
       }},
      {"page_hide_popup_widget",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         return in.ok() && test::PageHidePopupWidget(browser);
       }},
      {"page_start_drag", DragAction(&test::PageStartDrag)},
      {"user_drag_enter", DragAction(&test::UserDragEnter)},
      {"last_paint",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         cef_paint_element_type_t type = PaintTypeArg(in);
         std::vector<std::pair<int, int>> points = PointsArg(in);
         return in.ok() ? PaintToJson(test::LastPaint(browser, type), type, points) : Json::Value();
       }},
      {"page_embed_plugin",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::wstring mime = in.Text("mime");
         std::wstring url = in.Text("url");
         return in.ok() && test::PageEmbedPlugin(browser, mime, url);
       }},
  });
}

}  // namespace cefengine
