#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/document_model.h"
#include "include/cef_scheme.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "loader_fixture.h"

namespace {

using cefengine::LoadOutcome;
using loader_test::Load;
namespace test = cefengine::test;

class SchemeApp : public CefApp {
 public:
  void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override {
    registrar->AddCustomScheme("zip", false, false, false);
    registrar->AddCustomScheme("brivstd", true, false, false);
  }
  IMPLEMENT_REFCOUNTING(SchemeApp);
};

// Serves `page` with its own name in the title, and records how it was asked.
class PageFactory : public CefSchemeHandlerFactory {
 public:
  explicit PageFactory(std::string name, bool serve = true) : name_(std::move(name)), serve_(serve) {}

  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override {
    on_io = on_io && CefCurrentlyOn(TID_IO);
    without_browser = !browser && !frame;
    scheme_seen = scheme_name.ToString();
    url_seen = request->GetURL().ToString();
    ++creates;
    if (!serve_)
      return nullptr;
    std::string html = "<html><head><title> " + name_ + " &amp; page </title></head></html>";
    return new CefStreamResourceHandler(
        "text/html", CefStreamReader::CreateForData(const_cast<char*>(html.data()), html.size()));
  }

  std::atomic<int> creates{0};
  std::atomic<bool> on_io{true};
  std::atomic<bool> without_browser{false};
  std::string scheme_seen;
  std::string url_seen;

 private:
  std::string name_;
  bool serve_;
  IMPLEMENT_REFCOUNTING(PageFactory);
};

std::wstring TitleOf(const LoadOutcome& outcome) {
  return cefengine::ScanDocument(outcome.body, outcome.mime_type, outcome.final_url).title;
}

class SchemeFactory : public loader_test::EngineTest {
 protected:
  CefRefPtr<CefApp> App() override { return new SchemeApp(); }
};

TEST_F(SchemeFactory, ZipLikeFactoryServesAPageOnIoWithStatusZero) {
  CefRefPtr<PageFactory> zip = new PageFactory("zipped");
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("zip", "", zip.get()));
  LoadOutcome outcome = Load(L"zip:package.zip/index.html");
  EXPECT_EQ(outcome.error, ERR_NONE);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.mime_type, L"text/html");
  EXPECT_EQ(TitleOf(outcome), L"zipped & page");
  EXPECT_EQ(zip->creates, 1);
  EXPECT_TRUE(zip->on_io);
  EXPECT_TRUE(zip->without_browser);
  EXPECT_EQ(zip->scheme_seen, "zip");
  EXPECT_EQ(zip->url_seen, "zip:package.zip/index.html");
  auto creates = test::EntriesOf("CefSchemeHandlerFactory::Create");
  ASSERT_EQ(creates.size(), 1u);
  EXPECT_EQ(creates[0].thread, "IO");
}

TEST_F(SchemeFactory, LookupPrefersTheHostThenTheSchemeWideEntry) {
  CefRefPtr<PageFactory> for_host = new PageFactory("host");
  CefRefPtr<PageFactory> for_all = new PageFactory("all");
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("brivstd", "A.test", for_host.get()));
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("BRIVSTD", "", for_all.get()));

  EXPECT_EQ(TitleOf(Load(L"brivstd://a.test/x")), L"host & page");
  EXPECT_EQ(TitleOf(Load(L"brivstd://b.test/x")), L"all & page");

  // A null factory removes only its own entry.
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("brivstd", "a.test", nullptr));
  EXPECT_EQ(TitleOf(Load(L"brivstd://a.test/x")), L"all & page");
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("brivstd", "", nullptr));
  EXPECT_EQ(Load(L"brivstd://a.test/x").error, ERR_UNKNOWN_URL_SCHEME);
  EXPECT_TRUE(test::SchemeFactories().empty());
}

TEST_F(SchemeFactory, NonStandardSchemesIgnoreTheDomainAndRegistrationsReplace) {
  CefRefPtr<PageFactory> first = new PageFactory("first");
  CefRefPtr<PageFactory> second = new PageFactory("second");
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("zip", "some.host", first.get()));
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("zip", "", second.get()));
  auto entries = test::SchemeFactories();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].scheme, L"zip");
  EXPECT_EQ(entries[0].domain, L"");
  EXPECT_EQ(entries[0].factory.get(), second.get());
  EXPECT_EQ(TitleOf(Load(L"zip:a.zip/i.html")), L"second & page");
  EXPECT_EQ(first->creates, 0);
}

TEST_F(SchemeFactory, BadNamesAreRefusedAndClearingForgetsEverything) {
  CefRefPtr<PageFactory> factory = new PageFactory("x");
  EXPECT_FALSE(CefRegisterSchemeHandlerFactory("", "", factory.get()));
  EXPECT_FALSE(CefRegisterSchemeHandlerFactory("1zip", "", factory.get()));
  EXPECT_FALSE(CefRegisterSchemeHandlerFactory("zi p", "", factory.get()));
  EXPECT_TRUE(test::SchemeFactories().empty());
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("zip", "", factory.get()));
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("brivstd", "h.test", factory.get()));
  EXPECT_EQ(test::SchemeFactories().size(), 2u);
  EXPECT_TRUE(CefClearSchemeHandlerFactories());
  EXPECT_TRUE(test::SchemeFactories().empty());
}

TEST_F(SchemeFactory, FactoriesGoAtShutdownAndCannotBeRegisteredWithoutTheEngine) {
  CefRefPtr<PageFactory> factory = new PageFactory("x");
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("zip", "", factory.get()));
  CefShutdown();
  EXPECT_TRUE(test::SchemeFactories().empty());
  EXPECT_TRUE(factory->HasOneRef());  // the engine let go of it
  EXPECT_FALSE(CefRegisterSchemeHandlerFactory("zip", "", factory.get()));
  EXPECT_TRUE(test::SchemeFactories().empty());
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
}

TEST_F(SchemeFactory, FactoryThatDeclinesFallsBackToTheEngine) {
  CefRefPtr<PageFactory> declining = new PageFactory("never", false);
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("http", "", declining.get()));
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("zip", "", declining.get()));
  test::SetHttpResponse(L"http://table.test/", 200, L"text/html", "<title>from the table</title>");
  EXPECT_EQ(TitleOf(Load(L"http://table.test/")), L"from the table");
  EXPECT_EQ(Load(L"zip:x.zip/y").error, ERR_UNKNOWN_URL_SCHEME);
  EXPECT_EQ(declining->creates, 2);
  EXPECT_TRUE(test::EntriesOf("OnProtocolExecution").empty());
}

TEST_F(SchemeFactory, BuiltInSchemesCanBeServedByAFactory) {
  CefRefPtr<PageFactory> http = new PageFactory("override");
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("http", "served.test", http.get()));
  LoadOutcome outcome = Load(L"http://served.test/page");
  EXPECT_EQ(outcome.error, ERR_NONE);
  EXPECT_EQ(outcome.status, 200);
  EXPECT_EQ(TitleOf(outcome), L"override & page");
  // Another host of the scheme is not this factory's.
  EXPECT_EQ(Load(L"data:,x").body, "x");
  EXPECT_EQ(http->creates, 1);
}

}  // namespace
