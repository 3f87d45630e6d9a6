// Serves requests from an ordered list of providers; lives on the IO thread.
#ifndef CEF_INCLUDE_WRAPPER_CEF_RESOURCE_MANAGER_H_
#define CEF_INCLUDE_WRAPPER_CEF_RESOURCE_MANAGER_H_

#include <list>
#include <memory>
#include <string>

#include "include/base/cef_callback.h"
#include "include/base/cef_macros.h"
#include "include/base/cef_ref_counted.h"
#include "include/cef_browser.h"  // first: cef_request_handler.h alone does not compile
#include "include/cef_request_handler.h"
#include "include/wrapper/cef_helpers.h"

class CefResourceManager : public base::RefCountedThreadSafe<CefResourceManager, CefDeleteOnIOThread> {
 public:
  // Maps a URL to the URL used to look the resource up (default: drops "#..." and "?...").
  typedef base::Callback<std::string(const std::string& url)> UrlFilter;
  // MIME type of a URL (default: by extension through CefGetMimeType).
  typedef base::Callback<std::string(const std::string& url)> MimeTypeResolver;

  // One pending request offered to the providers; IO thread.
  class Request : public base::RefCountedThreadSafe<Request, CefDeleteOnIOThread> {
   public:
    std::string url() const;
    CefRefPtr<CefBrowser> browser() const;
    CefRefPtr<CefFrame> frame() const;
    CefRefPtr<CefRequest> request() const;
    const UrlFilter& url_filter() const;
    const MimeTypeResolver& mime_type_resolver() const;

    // Answers with `handler`; null passes the request to the next provider.
    void Continue(CefRefPtr<CefResourceHandler> handler);
    // Ends the search: no provider serves the request.
    void Stop();

   private:
    friend class CefResourceManager;
    friend class base::RefCountedThreadSafe<Request, CefDeleteOnIOThread>;
    friend struct CefDeleteOnThread<TID_IO>;
    struct State;
    explicit Request(std::unique_ptr<State> state);
    ~Request();
    std::unique_ptr<State> state_;
    DISALLOW_COPY_AND_ASSIGN(Request);
  };

  // Owned by the manager once added, deleted on the IO thread.
  class Provider {
   public:
    // True: the provider answers later with request->Continue or request->Stop.
    virtual bool OnRequest(scoped_refptr<Request> request) = 0;
    // The request ended before the provider answered: the provider was removed, the manager
    // died, the request's frame became invalid, or the same request was offered again. Continue
    // and Stop are ignored afterwards.
    virtual void OnRequestCanceled(scoped_refptr<Request> request) {}
    virtual ~Provider() {}
  };

  CefResourceManager();

  // Any thread. Providers are asked by `order`, then in the order added.
  void AddContentProvider(const std::string& url, const std::string& content, const std::string& mime_type, int order,
                          const std::string& identifier);
  void AddProvider(Provider* provider, int order, const std::string& identifier);
  void RemoveProviders(const std::string& identifier);
  void RemoveAllProviders();
  void SetMimeTypeResolver(const MimeTypeResolver& resolver);
  void SetUrlFilter(const UrlFilter& filter);

  // IO thread; forward from CefRequestHandler. Always RV_CONTINUE_ASYNC.
  cef_return_value_t OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                          CefRefPtr<CefRequest> request, CefRefPtr<CefRequestCallback> callback);
  CefRefPtr<CefResourceHandler> GetResourceHandler(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                   CefRefPtr<CefRequest> request);

 private:
  friend class base::RefCountedThreadSafe<CefResourceManager, CefDeleteOnIOThread>;
  friend struct CefDeleteOnThread<TID_IO>;
  ~CefResourceManager();

  struct State;
  std::unique_ptr<State> state_;
  DISALLOW_COPY_AND_ASSIGN(CefResourceManager);
};

#endif  // CEF_INCLUDE_WRAPPER_CEF_RESOURCE_MANAGER_H_
