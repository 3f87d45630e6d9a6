#include <string>

#include "engine/request_context.h"
#include "engine/scheme_factories.h"
#include "include/cef_scheme.h"
#include "include/cef_request_context.h"
#include "tests/cef/cookie_test_support.h"

namespace {

using namespace cookie_tests;

class RequestContexts : public RunningEngine {
 protected:
  void SetUp() override { ASSERT_TRUE(Start(L"C:\\cefengine-test\\Cache")); }
};

// Hands out whatever manager the test gives it.
class Handler : public CefRequestContextHandler {
 public:
  explicit Handler(CefRefPtr<CefCookieManager> manager = nullptr) : manager_(manager) {}
  CefRefPtr<CefCookieManager> GetCookieManager() override { return manager_; }
  CefRefPtr<CefCookieManager> manager_;
  IMPLEMENT_REFCOUNTING(Handler);
};

// A cookie manager the client wrote itself.
class OwnManager : public CefCookieManager {
 public:
  void SetSupportedSchemes(const std::vector<CefString>&, CefRefPtr<CefCompletionCallback>) override {}
  bool VisitAllCookies(CefRefPtr<CefCookieVisitor>) override { return false; }
  bool VisitUrlCookies(const CefString&, bool, CefRefPtr<CefCookieVisitor>) override { return false; }
  bool SetCookie(const CefString&, const CefCookie&, CefRefPtr<CefSetCookieCallback>) override { return false; }
  bool DeleteCookies(const CefString&, const CefString&, CefRefPtr<CefDeleteCookiesCallback>) override {
    return false;
  }
  bool FlushStore(CefRefPtr<CefCompletionCallback>) override { return false; }
  IMPLEMENT_REFCOUNTING(OwnManager);
};

TEST_F(RequestContexts, TheGlobalContextIsOneObjectWithTheProcessCachePathAndCookies) {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  ASSERT_TRUE(global);
  EXPECT_EQ(CefRequestContext::GetGlobalContext().get(), global.get());
  EXPECT_TRUE(global->IsGlobal());
  EXPECT_TRUE(global->IsSame(CefRequestContext::GetGlobalContext()));
  EXPECT_FALSE(global->IsSame(nullptr));
  EXPECT_FALSE(global->GetHandler());
  EXPECT_EQ(global->GetCachePath().ToWString(), L"C:\\cefengine-test\\Cache");
  EXPECT_EQ(global->GetDefaultCookieManager(nullptr).get(), manager_.get());
  EXPECT_EQ(cefengine::ResolveRequestContext(nullptr).get(), global.get());
  EXPECT_EQ(cefengine::CookieStoreFor(nullptr), cefengine::GlobalCookieStore());

  Stop();
  EXPECT_FALSE(CefRequestContext::GetGlobalContext());
  EXPECT_FALSE(cefengine::ResolveRequestContext(nullptr));
  EXPECT_FALSE(cefengine::CookieStoreFor(global));
  EXPECT_FALSE(global->GetDefaultCookieManager(nullptr));
  MisuseCapture misuse;
  EXPECT_FALSE(CefRequestContext::CreateContext(global, new Handler()));
  EXPECT_EQ(misuse.reports.size(), 1u);
}

// The product's shared context: made from the global one with a handler that keeps the default
// cookie manager.
TEST_F(RequestContexts, AContextMadeFromAnotherSharesItsStorageAndCookies) {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  CefRefPtr<Handler> handler = new Handler();
  CefRefPtr<CefRequestContext> shared = CefRequestContext::CreateContext(global, handler.get());
  ASSERT_TRUE(shared);
  EXPECT_FALSE(shared->IsSame(global));
  EXPECT_FALSE(shared->IsGlobal());
  EXPECT_TRUE(shared->IsSharingWith(global));
  EXPECT_TRUE(global->IsSharingWith(shared));
  EXPECT_EQ(shared->GetHandler().get(), handler.get());
  EXPECT_EQ(shared->GetCachePath(), global->GetCachePath());
  EXPECT_EQ(cefengine::ResolveRequestContext(shared).get(), shared.get());

  // Its requests see the cookies the global manager set.
  ASSERT_EQ(SetAndWait(shared->GetDefaultCookieManager(nullptr), "http://h.test/", {"a", "1"}), 1);
  std::shared_ptr<cefengine::CookieStore> store = cefengine::CookieStoreFor(shared);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->CookieHeader(L"http://h.test/x"), L"a=1");

  // A context made from the shared one is in the same family.
  CefRefPtr<CefRequestContext> third = CefRequestContext::CreateContext(shared, nullptr);
  EXPECT_TRUE(third->IsSharingWith(global));
  EXPECT_FALSE(third->GetHandler());
  MisuseCapture misuse;
  EXPECT_FALSE(CefRequestContext::CreateContext(CefRefPtr<CefRequestContext>(), nullptr));
  EXPECT_EQ(misuse.reports.size(), 1u);
}

TEST_F(RequestContexts, ContextsFromSettingsShareStorageOnlyThroughTheSameCachePath) {
  struct Case {
    const wchar_t* cache_path;
    bool shares_with_global;
  };
  const Case cases[] = {
      {L"C:\\cefengine-test\\cache", true},  // the same folder, letter case aside
      {L"C:\\cefengine-test\\Cache1700000000", false},
      {L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::wstring(L"cache path ") + c.cache_path);
    CefRequestContextSettings settings;
    CefString(&settings.cache_path) = c.cache_path;
    CefRefPtr<Handler> handler = new Handler();
    CefRefPtr<CefRequestContext> first = CefRequestContext::CreateContext(settings, handler.get());
    CefRefPtr<CefRequestContext> second = CefRequestContext::CreateContext(settings, handler.get());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->GetCachePath().ToWString(), c.cache_path);
    EXPECT_EQ(first->GetHandler().get(), handler.get());
    EXPECT_FALSE(first->IsSame(second));
    EXPECT_FALSE(first->IsGlobal());
    EXPECT_EQ(first->IsSharingWith(CefRequestContext::GetGlobalContext()), c.shares_with_global);
    // Only a named folder is shared; an empty path is storage of its own each time.
    EXPECT_EQ(first->IsSharingWith(second), *c.cache_path != L'\0');
    // Every context keeps using the process's cookie store.
    EXPECT_EQ(cefengine::CookieStoreFor(first), cefengine::GlobalCookieStore());
  }
}

TEST_F(RequestContexts, TheHandlersCookieManagerDecidesTheStoreOfRequests) {
  CefRequestContextSettings settings;
  CefRefPtr<CefRequestContext> with_global =
      CefRequestContext::CreateContext(settings, new Handler(CefCookieManager::GetGlobalManager(nullptr)));
  EXPECT_EQ(cefengine::CookieStoreFor(with_global), cefengine::GlobalCookieStore());

  CefRefPtr<CefRequestContext> with_own = CefRequestContext::CreateContext(settings, new Handler(new OwnManager()));
  EXPECT_FALSE(cefengine::CookieStoreFor(with_own));

  CefRefPtr<CefRequestContext> without_handler = CefRequestContext::CreateContext(settings, nullptr);
  EXPECT_EQ(cefengine::CookieStoreFor(without_handler), cefengine::GlobalCookieStore());
}

// Factories registered through any context serve the whole process.
TEST_F(RequestContexts, SchemeFactoriesRegisteredThroughAContextAreTheProcesssFactories) {
  class Factory : public CefSchemeHandlerFactory {
   public:
    CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, const CefString&,
                                         CefRefPtr<CefRequest>) override {
      return nullptr;
    }
    IMPLEMENT_REFCOUNTING(Factory);
  };
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  CefRefPtr<CefRequestContext> shared = CefRequestContext::CreateContext(global, new Handler());
  CefRefPtr<Factory> factory = new Factory();
  EXPECT_TRUE(shared->RegisterSchemeHandlerFactory("brivx", "", factory.get()));
  EXPECT_EQ(cefengine::FindSchemeFactory(L"brivx", L"").get(), factory.get());
  EXPECT_FALSE(shared->RegisterSchemeHandlerFactory("", "", factory.get()));

  EXPECT_TRUE(global->ClearSchemeHandlerFactories());
  EXPECT_FALSE(cefengine::FindSchemeFactory(L"brivx", L""));
}

}  // namespace
