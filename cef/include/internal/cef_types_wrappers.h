// C++ wrappers of the C structures: value semantics, deep-copied strings.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_

#include <cstring>

#include "include/internal/cef_string.h"
#include "include/internal/cef_time_wrappers.h"
#include "include/internal/cef_types.h"

// Wraps a C structure described by `traits` (struct_type, init, clear, set). Copies are deep;
// the destructor frees the strings the structure owns.
template <class traits>
class CefStructBase : public traits::struct_type {
 public:
  typedef typename traits::struct_type struct_type;

  CefStructBase() : attached_to_(nullptr) { Init(); }
  virtual ~CefStructBase() {
    if (!attached_to_)
      traits::clear(this);
  }
  CefStructBase(const CefStructBase& r) : attached_to_(nullptr) {
    Init();
    traits::set(&r, this, true);
  }
  CefStructBase(const struct_type& r) : attached_to_(nullptr) {
    Init();
    traits::set(&r, this, true);
  }

  // Clears and re-initialises the structure.
  void Reset() {
    traits::clear(this);
    Init();
  }
  // Copies into `target`; `copy` false shares the string buffers.
  void AttachTo(struct_type& source) {
    if (!attached_to_)
      traits::clear(this);
    attached_to_ = &source;
    traits::set(&source, this, false);
  }
  void DetachTo(struct_type& target) {
    if (attached_to_ != &target)
      traits::clear(&target);
    memcpy(&target, static_cast<struct_type*>(this), sizeof(struct_type));
    Init();
  }
  void Set(const struct_type& source, bool copy) { traits::set(&source, this, copy); }

  CefStructBase& operator=(const CefStructBase& s) { return operator=(static_cast<const struct_type&>(s)); }
  CefStructBase& operator=(const struct_type& s) {
    if (this != &s)
      Set(s, true);
    return *this;
  }

 protected:
  void Init() {
    memset(static_cast<struct_type*>(this), 0, sizeof(struct_type));
    attached_to_ = nullptr;
    traits::init(this);
  }

  struct_type* attached_to_;
};

class CefPoint : public cef_point_t {
 public:
  CefPoint() : cef_point_t{} {}
  CefPoint(const cef_point_t& r) : cef_point_t(r) {}
  CefPoint(int x, int y) : cef_point_t{x, y} {}
  bool IsEmpty() const { return x <= 0 && y <= 0; }
  void Set(int x_val, int y_val) {
    x = x_val;
    y = y_val;
  }
};
inline bool operator==(const CefPoint& a, const CefPoint& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const CefPoint& a, const CefPoint& b) { return !(a == b); }

class CefRect : public cef_rect_t {
 public:
  CefRect() : cef_rect_t{} {}
  CefRect(const cef_rect_t& r) : cef_rect_t(r) {}
  CefRect(int x, int y, int width, int height) : cef_rect_t{x, y, width, height} {}
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  void Set(int x_val, int y_val, int width_val, int height_val) {
    x = x_val;
    y = y_val;
    width = width_val;
    height = height_val;
  }
};
inline bool operator==(const CefRect& a, const CefRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
inline bool operator!=(const CefRect& a, const CefRect& b) { return !(a == b); }

class CefSize : public cef_size_t {
 public:
  CefSize() : cef_size_t{} {}
  CefSize(const cef_size_t& r) : cef_size_t(r) {}
  CefSize(int width, int height) : cef_size_t{width, height} {}
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  void Set(int width_val, int height_val) {
    width = width_val;
    height = height_val;
  }
};
inline bool operator==(const CefSize& a, const CefSize& b) { return a.width == b.width && a.height == b.height; }
inline bool operator!=(const CefSize& a, const CefSize& b) { return !(a == b); }

class CefDraggableRegion : public cef_draggable_region_t {
 public:
  CefDraggableRegion() : cef_draggable_region_t{} {}
  CefDraggableRegion(const cef_draggable_region_t& r) : cef_draggable_region_t(r) {}
  CefDraggableRegion(const cef_rect_t& bounds, bool draggable) : cef_draggable_region_t{bounds, draggable} {}
  void Set(const cef_rect_t& bounds_val, bool draggable_val) {
    bounds = bounds_val;
    draggable = draggable_val;
  }
};

class CefMouseEvent : public cef_mouse_event_t {
 public:
  CefMouseEvent() : cef_mouse_event_t{} {}
  CefMouseEvent(const cef_mouse_event_t& r) : cef_mouse_event_t(r) {}
};

class CefKeyEvent : public cef_key_event_t {
 public:
  CefKeyEvent() : cef_key_event_t{} {}
  CefKeyEvent(const cef_key_event_t& r) : cef_key_event_t(r) {}
};

class CefScreenInfo : public cef_screen_info_t {
 public:
  CefScreenInfo() : cef_screen_info_t{} {}
  CefScreenInfo(const cef_screen_info_t& r) : cef_screen_info_t(r) {}
  CefScreenInfo(float device_scale_factor, int depth, int depth_per_component, bool is_monochrome,
                const cef_rect_t& rect, const cef_rect_t& available_rect)
      : cef_screen_info_t{device_scale_factor, depth, depth_per_component, is_monochrome, rect, available_rect} {}
  void Set(float device_scale_factor_val, int depth_val, int depth_per_component_val, bool is_monochrome_val,
           const cef_rect_t& rect_val, const cef_rect_t& available_rect_val) {
    device_scale_factor = device_scale_factor_val;
    depth = depth_val;
    depth_per_component = depth_per_component_val;
    is_monochrome = is_monochrome_val;
    rect = rect_val;
    available_rect = available_rect_val;
  }
};

class CefCursorInfo : public cef_cursor_info_t {
 public:
  CefCursorInfo() : cef_cursor_info_t{} {}
  CefCursorInfo(const cef_cursor_info_t& r) : cef_cursor_info_t(r) {}
};

struct CefPopupFeaturesTraits {
  typedef cef_popup_features_t struct_type;
  static void init(struct_type* s) {
    s->menuBarVisible = true;
    s->statusBarVisible = true;
    s->toolBarVisible = true;
    s->locationBarVisible = true;
    s->scrollbarsVisible = true;
    s->resizable = true;
  }
  // The list of extra features is not carried by this engine.
  static void clear(struct_type* s) { s->additionalFeatures = nullptr; }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    *target = *src;
    target->additionalFeatures = nullptr;
  }
};
typedef CefStructBase<CefPopupFeaturesTraits> CefPopupFeatures;

// Copies one string field of a structure.
inline void CefStructCopyString(const cef_string_t& src, cef_string_t* target, bool copy) {
  if (&src == target)
    return;
  cef_string_set(src.str, src.length, target, copy);
}

struct CefSettingsTraits {
  typedef cef_settings_t struct_type;
  static void init(struct_type* s) { s->size = sizeof(struct_type); }
  static void clear(struct_type* s) {
    cef_string_clear(&s->browser_subprocess_path);
    cef_string_clear(&s->cache_path);
    cef_string_clear(&s->user_data_path);
    cef_string_clear(&s->user_agent);
    cef_string_clear(&s->product_version);
    cef_string_clear(&s->locale);
    cef_string_clear(&s->log_file);
    cef_string_clear(&s->javascript_flags);
    cef_string_clear(&s->resources_dir_path);
    cef_string_clear(&s->locales_dir_path);
    cef_string_clear(&s->accept_language_list);
  }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    target->single_process = src->single_process;
    target->no_sandbox = src->no_sandbox;
    CefStructCopyString(src->browser_subprocess_path, &target->browser_subprocess_path, copy);
    target->multi_threaded_message_loop = src->multi_threaded_message_loop;
    target->windowless_rendering_enabled = src->windowless_rendering_enabled;
    target->command_line_args_disabled = src->command_line_args_disabled;
    CefStructCopyString(src->cache_path, &target->cache_path, copy);
    CefStructCopyString(src->user_data_path, &target->user_data_path, copy);
    target->persist_session_cookies = src->persist_session_cookies;
    target->persist_user_preferences = src->persist_user_preferences;
    CefStructCopyString(src->user_agent, &target->user_agent, copy);
    CefStructCopyString(src->product_version, &target->product_version, copy);
    CefStructCopyString(src->locale, &target->locale, copy);
    CefStructCopyString(src->log_file, &target->log_file, copy);
    target->log_severity = src->log_severity;
    CefStructCopyString(src->javascript_flags, &target->javascript_flags, copy);
    CefStructCopyString(src->resources_dir_path, &target->resources_dir_path, copy);
    CefStructCopyString(src->locales_dir_path, &target->locales_dir_path, copy);
    target->pack_loading_disabled = src->pack_loading_disabled;
    target->remote_debugging_port = src->remote_debugging_port;
    target->uncaught_exception_stack_size = src->uncaught_exception_stack_size;
    target->context_safety_implementation = src->context_safety_implementation;
    target->ignore_certificate_errors = src->ignore_certificate_errors;
    target->background_color = src->background_color;
    CefStructCopyString(src->accept_language_list, &target->accept_language_list, copy);
  }
};
typedef CefStructBase<CefSettingsTraits> CefSettings;

struct CefRequestContextSettingsTraits {
  typedef cef_request_context_settings_t struct_type;
  static void init(struct_type* s) { s->size = sizeof(struct_type); }
  static void clear(struct_type* s) {
    cef_string_clear(&s->cache_path);
    cef_string_clear(&s->accept_language_list);
  }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    CefStructCopyString(src->cache_path, &target->cache_path, copy);
    target->persist_session_cookies = src->persist_session_cookies;
    target->persist_user_preferences = src->persist_user_preferences;
    target->ignore_certificate_errors = src->ignore_certificate_errors;
    CefStructCopyString(src->accept_language_list, &target->accept_language_list, copy);
  }
};
typedef CefStructBase<CefRequestContextSettingsTraits> CefRequestContextSettings;

struct CefBrowserSettingsTraits {
  typedef cef_browser_settings_t struct_type;
  static void init(struct_type* s) { s->size = sizeof(struct_type); }
  static void clear(struct_type* s) {
    cef_string_clear(&s->standard_font_family);
    cef_string_clear(&s->fixed_font_family);
    cef_string_clear(&s->serif_font_family);
    cef_string_clear(&s->sans_serif_font_family);
    cef_string_clear(&s->cursive_font_family);
    cef_string_clear(&s->fantasy_font_family);
    cef_string_clear(&s->default_encoding);
    cef_string_clear(&s->accept_language_list);
  }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    target->windowless_frame_rate = src->windowless_frame_rate;
    CefStructCopyString(src->standard_font_family, &target->standard_font_family, copy);
    CefStructCopyString(src->fixed_font_family, &target->fixed_font_family, copy);
    CefStructCopyString(src->serif_font_family, &target->serif_font_family, copy);
    CefStructCopyString(src->sans_serif_font_family, &target->sans_serif_font_family, copy);
    CefStructCopyString(src->cursive_font_family, &target->cursive_font_family, copy);
    CefStructCopyString(src->fantasy_font_family, &target->fantasy_font_family, copy);
    target->default_font_size = src->default_font_size;
    target->default_fixed_font_size = src->default_fixed_font_size;
    target->minimum_font_size = src->minimum_font_size;
    target->minimum_logical_font_size = src->minimum_logical_font_size;
    CefStructCopyString(src->default_encoding, &target->default_encoding, copy);
    target->remote_fonts = src->remote_fonts;
    target->javascript = src->javascript;
    target->javascript_open_windows = src->javascript_open_windows;
    target->javascript_close_windows = src->javascript_close_windows;
    target->javascript_access_clipboard = src->javascript_access_clipboard;
    target->javascript_dom_paste = src->javascript_dom_paste;
    target->caret_browsing = src->caret_browsing;
    target->plugins = src->plugins;
    target->universal_access_from_file_urls = src->universal_access_from_file_urls;
    target->file_access_from_file_urls = src->file_access_from_file_urls;
    target->web_security = src->web_security;
    target->image_loading = src->image_loading;
    target->image_shrink_standalone_to_fit = src->image_shrink_standalone_to_fit;
    target->text_area_resize = src->text_area_resize;
    target->tab_to_links = src->tab_to_links;
    target->local_storage = src->local_storage;
    target->databases = src->databases;
    target->application_cache = src->application_cache;
    target->webgl = src->webgl;
    target->background_color = src->background_color;
    CefStructCopyString(src->accept_language_list, &target->accept_language_list, copy);
  }
};
typedef CefStructBase<CefBrowserSettingsTraits> CefBrowserSettings;

struct CefURLPartsTraits {
  typedef cef_urlparts_t struct_type;
  static void init(struct_type* s) {}
  static void clear(struct_type* s) {
    cef_string_clear(&s->spec);
    cef_string_clear(&s->scheme);
    cef_string_clear(&s->username);
    cef_string_clear(&s->password);
    cef_string_clear(&s->host);
    cef_string_clear(&s->port);
    cef_string_clear(&s->origin);
    cef_string_clear(&s->path);
    cef_string_clear(&s->query);
  }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    CefStructCopyString(src->spec, &target->spec, copy);
    CefStructCopyString(src->scheme, &target->scheme, copy);
    CefStructCopyString(src->username, &target->username, copy);
    CefStructCopyString(src->password, &target->password, copy);
    CefStructCopyString(src->host, &target->host, copy);
    CefStructCopyString(src->port, &target->port, copy);
    CefStructCopyString(src->origin, &target->origin, copy);
    CefStructCopyString(src->path, &target->path, copy);
    CefStructCopyString(src->query, &target->query, copy);
  }
};
typedef CefStructBase<CefURLPartsTraits> CefURLParts;

struct CefCookieTraits {
  typedef cef_cookie_t struct_type;
  static void init(struct_type* s) {}
  static void clear(struct_type* s) {
    cef_string_clear(&s->name);
    cef_string_clear(&s->value);
    cef_string_clear(&s->domain);
    cef_string_clear(&s->path);
  }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    CefStructCopyString(src->name, &target->name, copy);
    CefStructCopyString(src->value, &target->value, copy);
    CefStructCopyString(src->domain, &target->domain, copy);
    CefStructCopyString(src->path, &target->path, copy);
    target->secure = src->secure;
    target->httponly = src->httponly;
    target->creation = src->creation;
    target->last_access = src->last_access;
    target->has_expires = src->has_expires;
    target->expires = src->expires;
  }
};
typedef CefStructBase<CefCookieTraits> CefCookie;

typedef cef_thread_id_t CefThreadId;
typedef cef_process_id_t CefProcessId;
typedef cef_value_type_t CefValueType;

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
