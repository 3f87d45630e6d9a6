// Every public header of the engine, included together: the API has to compile as a whole and
// each header has to stand on its own include list.
#include "include/base/cef_atomic_ref_count.h"
#include "include/base/cef_basictypes.h"
#include "include/base/cef_bind.h"
#include "include/base/cef_build.h"
#include "include/base/cef_callback.h"
#include "include/base/cef_callback_forward.h"
#include "include/base/cef_lock.h"
#include "include/base/cef_logging.h"
#include "include/base/cef_macros.h"
#include "include/base/cef_ref_counted.h"
#include "include/cef_app.h"
#include "include/cef_auth_callback.h"
#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_callback.h"
#include "include/cef_client.h"
#include "include/cef_command_line.h"
#include "include/cef_context_menu_handler.h"
#include "include/cef_cookie.h"
#include "include/cef_dialog_handler.h"
#include "include/cef_display_handler.h"
#include "include/cef_dom.h"
#include "include/cef_download_handler.h"
#include "include/cef_download_item.h"
#include "include/cef_drag_data.h"
#include "include/cef_drag_handler.h"
#include "include/cef_find_handler.h"
#include "include/cef_focus_handler.h"
#include "include/cef_frame.h"
#include "include/cef_geolocation_handler.h"
#include "include/cef_jsdialog_handler.h"
#include "include/cef_keyboard_handler.h"
#include "include/cef_life_span_handler.h"
#include "include/cef_load_handler.h"
#include "include/cef_menu_model.h"
#include "include/cef_parser.h"
#include "include/cef_print_handler.h"
#include "include/cef_process_message.h"
#include "include/cef_render_handler.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_request.h"
#include "include/cef_request_context.h"
#include "include/cef_request_context_handler.h"
#include "include/cef_request_handler.h"
#include "include/cef_resource_bundle_handler.h"
#include "include/cef_resource_handler.h"
#include "include/cef_response.h"
#include "include/cef_response_filter.h"
#include "include/cef_scheme.h"
#include "include/cef_ssl_info.h"
#include "include/cef_stream.h"
#include "include/cef_task.h"
#include "include/cef_v8.h"
#include "include/cef_values.h"
#include "include/cef_version.h"
#include "include/cef_web_plugin.h"
#include "include/internal/cef_build.h"
#include "include/internal/cef_export.h"
#include "include/internal/cef_logging_internal.h"
#include "include/internal/cef_ptr.h"
#include "include/internal/cef_string.h"
#include "include/internal/cef_string_types.h"
#include "include/internal/cef_thread_internal.h"
#include "include/internal/cef_time.h"
#include "include/internal/cef_time_wrappers.h"
#include "include/internal/cef_types.h"
#include "include/internal/cef_types_win.h"
#include "include/internal/cef_types_wrappers.h"
#include "include/internal/cef_win.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"
#include "include/wrapper/cef_message_router.h"
#include "include/wrapper/cef_resource_manager.h"
#include "include/wrapper/cef_stream_resource_handler.h"

#include <cstddef>
#include <map>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

// Stand-ins that qualified lookup in the global namespace finds only while the API itself
// declares no such name.
namespace absent {
struct cef_menu_anchor_position_t {};
struct cef_ssl_version_t {};
constexpr int PATH_OVERRIDE_DIR_EXE = -1;
}  // namespace absent
using namespace absent;

namespace {

// Code built against these headers has to build against the release's too: each probe tells
// whether the layer declares a member, so that a name the release lacks is seen to be absent.
#define MEMBER_PROBE(probe, member)                                        \
  template <typename T, typename = void>                                   \
  struct probe : std::false_type {};                                       \
  template <typename T>                                                    \
  struct probe<T, std::void_t<decltype(&T::member)>> : std::true_type {}
MEMBER_PROBE(HasGetContextCount, GetContextCount);
MEMBER_PROBE(HasGetPendingCount, GetPendingCount);
MEMBER_PROBE(HasGetSubjectCommonName, GetSubjectCommonName);
MEMBER_PROBE(HasGetValidExpiry, GetValidExpiry);
// Contains has two overloads, so it is probed by calls.
template <typename T, typename = void>
struct HasRectContains : std::false_type {};
template <typename T>
struct HasRectContains<T, std::void_t<decltype(std::declval<const T&>().Contains(0, 0))>> : std::true_type {};
template <typename T, typename = void>
struct HasRectPointContains : std::false_type {};
template <typename T>
struct HasRectPointContains<T, std::void_t<decltype(std::declval<const T&>().Contains(CefPoint()))>>
    : std::true_type {};

TEST(CefApiHeaders, DeclarationsHaveTheReleasesShape) {
  EXPECT_FALSE(HasRectContains<CefRect>::value);
  EXPECT_FALSE(HasRectPointContains<CefRect>::value);
  // List indexes are int; sizes stay size_t.
  EXPECT_TRUE((std::is_same_v<decltype(&CefListValue::GetInt), int (CefListValue::*)(int)>));
  EXPECT_TRUE((std::is_same_v<decltype(&CefListValue::SetString), bool (CefListValue::*)(int, const CefString&)>));
  EXPECT_TRUE((std::is_same_v<decltype(&CefListValue::Remove), bool (CefListValue::*)(int)>));
  EXPECT_TRUE((std::is_same_v<decltype(&CefListValue::GetSize), size_t (CefListValue::*)()>));
  EXPECT_TRUE((std::is_same_v<decltype(&CefListValue::SetSize), bool (CefListValue::*)(size_t)>));
  EXPECT_FALSE(HasGetContextCount<CefMessageRouterRendererSide>::value);
  EXPECT_TRUE(HasGetPendingCount<CefMessageRouterRendererSide>::value);
  // The certificate object has none of the layer's former accessors.
  EXPECT_FALSE(HasGetSubjectCommonName<CefSSLInfo>::value);
  EXPECT_FALSE(HasGetValidExpiry<CefSSLInfo>::value);
  EXPECT_TRUE((std::is_same_v<::cef_menu_anchor_position_t, absent::cef_menu_anchor_position_t>));
  EXPECT_TRUE((std::is_same_v<::cef_ssl_version_t, absent::cef_ssl_version_t>));
  EXPECT_EQ(::PATH_OVERRIDE_DIR_EXE, -1);
}

TEST(CefApiHeaders, VersionIsTheReleaseOfTheApiHashes) {
  EXPECT_STREQ(CEF_VERSION, "3.2623.1401.brivelo");
  const int numbers[] = {3, 1401, 49, 0, 2623, 110};
  for (int entry = 0; entry < 6; ++entry)
    EXPECT_EQ(cef_version_info(entry), numbers[entry]) << "entry " << entry;
  EXPECT_EQ(cef_version_info(6), 0);
  EXPECT_STREQ(cef_api_hash(0), "64b27477b82b44b51ce817522f744fca6768cbbb");
  EXPECT_STREQ(cef_api_hash(1), "32c1d3523da124f2dea7b80b92c53c4d4a463c65");
  EXPECT_EQ(cef_api_hash(2), nullptr);
  EXPECT_EQ(cef_api_hash(-1), nullptr);
}

// A callback built against the layer has libcef.dll's convention, which on 32-bit Windows is not
// the compiler's default.
TEST(CefApiHeaders, CallbacksUseTheLibrarysCallingConvention) {
  EXPECT_TRUE((std::is_same_v<void(CEF_CALLBACK*)(int), void(__stdcall*)(int)>));
#if defined(__i386__)
  EXPECT_FALSE((std::is_convertible_v<void(__cdecl*)(int), void(CEF_CALLBACK*)(int)>));
#endif
}

TEST(CefApiHeaders, EnumerationValuesAreTheReleases) {
  const std::pair<int, int> values[] = {
      {REFERRER_POLICY_ALWAYS, 0}, {REFERRER_POLICY_DEFAULT, 1}, {REFERRER_POLICY_NO_REFERRER_WHEN_DOWNGRADE, 2},
      {REFERRER_POLICY_NEVER, 3},  {REFERRER_POLICY_ORIGIN, 4},  {REFERRER_POLICY_ORIGIN_WHEN_CROSS_ORIGIN, 5},
      {PK_DIR_CURRENT, 0},         {PK_DIR_EXE, 1},              {PK_DIR_MODULE, 2},
      {PK_DIR_TEMP, 3},            {PK_FILE_EXE, 4},             {PK_FILE_MODULE, 5},
      {PK_LOCAL_APP_DATA, 6},      {PK_USER_DATA, 7},
  };
  for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
    EXPECT_EQ(values[i].first, values[i].second) << "entry " << i;
}

// The settings structures keep the release's field order, which a C caller's layout relies on.
TEST(CefApiHeaders, SettingsHaveTheReleasesFields) {
  EXPECT_EQ(offsetof(cef_settings_t, persist_user_preferences),
            offsetof(cef_settings_t, persist_session_cookies) + sizeof(int));
  EXPECT_LT(offsetof(cef_settings_t, persist_user_preferences), offsetof(cef_settings_t, user_agent));
  EXPECT_EQ(offsetof(cef_request_context_settings_t, persist_user_preferences),
            offsetof(cef_request_context_settings_t, persist_session_cookies) + sizeof(int));
  EXPECT_EQ(offsetof(cef_request_context_settings_t, ignore_certificate_errors),
            offsetof(cef_request_context_settings_t, persist_user_preferences) + sizeof(int));
  // No field between caret browsing and plugins (the release has no Java setting).
  EXPECT_EQ(offsetof(cef_browser_settings_t, plugins),
            offsetof(cef_browser_settings_t, caret_browsing) + sizeof(cef_state_t));

  // The wrappers copy the new fields with the others.
  CefSettings settings;
  settings.persist_user_preferences = 1;
  CefRequestContextSettings context_settings;
  context_settings.persist_user_preferences = 1;
  EXPECT_EQ(CefSettings(settings).persist_user_preferences, 1);
  EXPECT_EQ(CefRequestContextSettings(context_settings).persist_user_preferences, 1);
}

// A client that overrides nothing still builds: every client-side method has a default body.
class NothingClient : public CefClient, public CefLifeSpanHandler, public CefLoadHandler {
 public:
  IMPLEMENT_REFCOUNTING(NothingClient);
};

TEST(CefApiHeaders, DefaultClientBodiesAnswerTheNeutralValue) {
  CefRefPtr<NothingClient> client = new NothingClient();
  EXPECT_EQ(client->GetLifeSpanHandler().get(), nullptr);
  EXPECT_FALSE(client->OnProcessMessageReceived(nullptr, PID_RENDERER, nullptr));
  EXPECT_FALSE(client->DoClose(nullptr));
  EXPECT_TRUE(client->HasOneRef());
}

TEST(CefApiHeaders, RefPtrConvertsUpwardsAndComparesByAddress) {
  CefRefPtr<NothingClient> a = new NothingClient();
  CefRefPtr<NothingClient> b = new NothingClient();
  CefRefPtr<CefClient> as_client = a;  // derived to base
  CefRefPtr<CefLifeSpanHandler> as_handler(a);
  EXPECT_TRUE(as_client == a.get());
  EXPECT_TRUE(as_client != b.get());
  std::map<CefRefPtr<NothingClient>, int> by_address;
  by_address[a] = 1;
  by_address[b] = 2;
  by_address[a] = 3;
  EXPECT_EQ(by_address.size(), 2u);
  EXPECT_EQ(by_address[a], 3);
  by_address.clear();
  as_handler = NULL;
  as_client = nullptr;
  EXPECT_FALSE(as_client);
  EXPECT_TRUE(a->HasOneRef());
}

TEST(CefApiHeaders, ColourMacrosSplitAndJoinArgb) {
  cef_color_t c = CefColorSetARGB(0x12, 0x34, 0x56, 0x78);
  EXPECT_EQ(c, 0x12345678u);
  EXPECT_EQ(CefColorGetA(c), 0x12u);
  EXPECT_EQ(CefColorGetR(c), 0x34u);
  EXPECT_EQ(CefColorGetG(c), 0x56u);
  EXPECT_EQ(CefColorGetB(c), 0x78u);
}

}  // namespace
