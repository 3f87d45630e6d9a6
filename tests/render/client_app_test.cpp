#include "render/client_app.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_command_line.h"
#include "include/cef_scheme.h"
#include "render/client_app_other.h"
#include "render/client_app_renderer.h"

namespace {

// The smallest concrete application: ClientApp leaves reference counting to its subclasses.
class CountedApp : public client::ClientApp {
 public:
  const std::vector<CefString>& schemes() const { return cookieable_schemes_; }
  IMPLEMENT_REFCOUNTING(CountedApp);
};

struct Registration {
  std::string scheme;
  bool is_standard, is_local, is_display_isolated;
};

class RecordingRegistrar : public CefSchemeRegistrar {
 public:
  explicit RecordingRegistrar(std::string refuse) : refuse_(std::move(refuse)) {}
  bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                       bool is_display_isolated) override {
    calls.push_back({scheme_name.ToString(), is_standard, is_local, is_display_isolated});
    return scheme_name.ToString() != refuse_;
  }
  std::vector<Registration> calls;

 private:
  std::string refuse_;
  IMPLEMENT_REFCOUNTING(RecordingRegistrar);
};

TEST(ClientAppProcessType, FollowsTheTypeSwitchExactly) {
  struct Case {
    const char* line;
    client::ClientApp::ProcessType expected;
  } cases[] = {
      {"brivelo.exe", client::ClientApp::BrowserProcess},
      {"brivelo.exe --url=about:blank", client::ClientApp::BrowserProcess},
      {"brivelo.exe --type=renderer", client::ClientApp::RendererProcess},
      {"brivelo.exe --type=gpu-process", client::ClientApp::OtherProcess},
      {"brivelo.exe --type=ppapi", client::ClientApp::OtherProcess},
      {"brivelo.exe --type=Renderer", client::ClientApp::OtherProcess},
      {"brivelo.exe --type=", client::ClientApp::OtherProcess},
      {"brivelo.exe --type", client::ClientApp::OtherProcess},
      {"brivelo.exe --type=render", client::ClientApp::OtherProcess},
      {"brivelo.exe --type=renderers", client::ClientApp::OtherProcess},
  };
  for (const Case& c : cases) {
    CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
    line->InitFromString(c.line);
    EXPECT_EQ(c.expected, client::ClientApp::GetProcessType(line)) << c.line;
  }
}

TEST(ClientAppSchemes, RegistersZipThenFileAsLocalNonStandardSchemes) {
  for (const char* refused : {"", "zip"}) {
    CefRefPtr<CountedApp> app = new CountedApp;
    CefRefPtr<RecordingRegistrar> registrar = new RecordingRegistrar(refused);
    app->OnRegisterCustomSchemes(registrar);
    ASSERT_EQ(2u, registrar->calls.size()) << "refused: " << refused;
    EXPECT_EQ("zip", registrar->calls[0].scheme);
    EXPECT_EQ("file", registrar->calls[1].scheme);
    for (const Registration& r : registrar->calls) {
      EXPECT_FALSE(r.is_standard);
      EXPECT_TRUE(r.is_local);
      EXPECT_FALSE(r.is_display_isolated);
    }
    ASSERT_EQ(2u, app->schemes().size());
    EXPECT_EQ("zip", app->schemes()[0].ToString());
    EXPECT_EQ("file", app->schemes()[1].ToString());
  }
}

TEST(ClientAppKinds, OtherAndRendererKeepTheSchemesAndOnlyTheRendererHandlesRenderEvents) {
  CefRefPtr<client::ClientApp> other = new client::ClientAppOther();
  CefRefPtr<client::ClientAppRenderer> renderer = new client::ClientAppRenderer();
  for (CefRefPtr<client::ClientApp> app : {other, CefRefPtr<client::ClientApp>(renderer.get())}) {
    CefRefPtr<RecordingRegistrar> registrar = new RecordingRegistrar("");
    app->OnRegisterCustomSchemes(registrar);
    ASSERT_EQ(2u, registrar->calls.size());
    EXPECT_EQ("zip", registrar->calls[0].scheme);
    EXPECT_EQ("file", registrar->calls[1].scheme);
    EXPECT_FALSE(app->GetBrowserProcessHandler());
    EXPECT_FALSE(app->GetResourceBundleHandler());
  }
  EXPECT_FALSE(other->GetRenderProcessHandler());
  EXPECT_EQ(renderer->GetRenderProcessHandler().get(), static_cast<CefRenderProcessHandler*>(renderer.get()));
}

}  // namespace
