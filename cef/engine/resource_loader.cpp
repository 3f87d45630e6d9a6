// The IO-side loader. One LoadJob per load; its state belongs to the IO thread, except the cancel
// flag (any thread). Every wait for an answer (request callback, resource handler, UI hop, fetch
// worker) carries a token; an answer whose token is stale is ignored, so a late or repeated answer
// never moves a load that went on or ended.
#include "engine/resource_loader.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/builtin_schemes.h"
#include "engine/context.h"
#include "engine/cookie_store.h"
#include "engine/document_model.h"
#include "engine/http_fetch.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/request_context.h"
#include "engine/request_impl.h"
#include "engine/scheme_factories.h"
#include "engine/task_threads.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"
#include "include/cef_parser.h"
#include "include/cef_request_handler.h"
#include "include/wrapper/cef_closure_task.h"

namespace cefengine {

namespace {

const int kMaxRedirects = 20;
const int kReadChunk = 32768;
// Reads per IO task before the loop yields to other IO work.
const int kReadsPerTurn = 16;

std::string Utf8(const CefString& s) {
  return s.ToString();
}

bool IsHttpScheme(const std::wstring& url) {
  CefURLParts parts;
  if (!CefParseURL(url, parts))
    return false;
  std::wstring scheme = CefString(&parts.scheme).ToWString();
  return scheme == L"http" || scheme == L"https";
}

std::wstring StatusTextOf(int status) {
  switch (status) {
    case 200: return L"OK";
    case 201: return L"Created";
    case 204: return L"No Content";
    case 301: return L"Moved Permanently";
    case 302: return L"Found";
    case 303: return L"See Other";
    case 304: return L"Not Modified";
    case 307: return L"Temporary Redirect";
    case 308: return L"Permanent Redirect";
    case 400: return L"Bad Request";
    case 401: return L"Unauthorized";
    case 403: return L"Forbidden";
    case 404: return L"Not Found";
    case 500: return L"Internal Server Error";
    case 502: return L"Bad Gateway";
    case 503: return L"Service Unavailable";
    default: return std::wstring();
  }
}

bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsCertificateError(cef_errorcode_t code) {
  return code <= ERR_CERT_BEGIN && code >= ERR_CERT_END;
}

class SslInfoImpl : public CefSSLInfo {
  IMPLEMENT_REFCOUNTING(SslInfoImpl);
};

class LoadJob;

struct HeldLoad {
  std::wstring url;
  std::shared_ptr<LoadJob> job;
};

struct Failure {
  std::wstring url;  // normalized
  cef_errorcode_t code;
  std::wstring text;
};

struct Controls {
  std::mutex mutex;
  bool hold = false;
  std::vector<HeldLoad> held;
  std::vector<Failure> failures;
  std::vector<std::wstring> os_executions;
};

Controls& TheControls() {
  static Controls* controls = new Controls();
  return *controls;
}

void ResumeHeld(std::vector<HeldLoad> loads);

class LoadJob : public ResourceLoad, public std::enable_shared_from_this<LoadJob> {
 public:
  LoadJob(const LoadParams& params, std::shared_ptr<ResourceLoadObserver> observer)
      : params_(params), observer_(std::move(observer)) {
    browser_id_ = params_.browser ? params_.browser->GetIdentifier() : 0;
    frame_id_ = params_.frame ? params_.frame->GetIdentifier() : 0;
  }

  void Cancel() override {
    if (cancelled_.exchange(true))
      return;
    std::shared_ptr<LoadJob> self = shared_from_this();
    PostFunction(TID_IO, [self] { self->CancelOnIO(); });
  }

  // IO: the first step.
  void Start() {
    if (cancelled_)
      return;
    CefRefPtr<CefRequest> request = params_.request;
    Log("Request", {Utf8(request->GetURL()), Utf8(request->GetReferrerURL()),
                    std::to_string(static_cast<int>(request->GetResourceType())), Utf8(request->GetMethod())});
    {
      Controls& controls = TheControls();
      std::lock_guard<std::mutex> lock(controls.mutex);
      if (controls.hold) {
        controls.held.push_back(HeldLoad{request->GetURL().ToWString(), shared_from_this()});
        return;
      }
    }
    BeforeLoad();
  }

  // IO: a held load goes on.
  void Resume() {
    if (!cancelled_ && !finished_)
      BeforeLoad();
  }

  void OnRequestAnswer(int token, bool allow) {
    if (!Current(token))
      return;
    ++stage_;
    AfterBeforeLoad(allow);
  }

  void OnCertificateAnswer(int token, bool allow, cef_errorcode_t code) {
    if (!Current(token))
      return;
    ++stage_;
    if (!allow) {
      Fail(code, ErrorCodeText(code));
      return;
    }
    std::function<void()> proceed;
    proceed.swap(after_certificate_);
    if (proceed)
      proceed();
  }

  void OnHandlerContinue(int handler_token) {
    if (!HandlerCurrent(handler_token))
      return;
    Waiting waiting = waiting_;
    waiting_ = Waiting::kNothing;
    if (waiting == Waiting::kHeaders)
      ReadHeaders();
    else if (waiting == Waiting::kData)
      ReadBody();
  }

  void OnHandlerCancel(int handler_token) {
    if (!HandlerCurrent(handler_token))
      return;
    handler_ = nullptr;
    Fail(ERR_ABORTED, ErrorCodeText(ERR_ABORTED));
  }

  void OnRedirectAnswer(int token, bool follow) {
    if (!Current(token))
      return;
    ++stage_;
    if (!follow) {
      finished_ = true;  // stopped by the observer: nothing more is told
      return;
    }
    BeforeLoad();
  }

  void OnFetched(int token, const HttpFetchResult& result) {
    if (!Current(token))
      return;
    ++stage_;
    if (result.error != ERR_NONE) {
      if (IsCertificateError(result.error) && !ignore_certificate_errors_) {
        ignore_certificate_errors_ = true;
        std::shared_ptr<LoadJob> self = shared_from_this();
        CertificateError(result.error, [self] { self->Fetch(self->CookieHeader()); });
        return;
      }
      Fail(result.error, ErrorCodeText(result.error));
      return;
    }
    CefRefPtr<ResponseImpl> response = new ResponseImpl();
    response->SetStatus(result.status);
    response->SetStatusText(result.status_text.empty() ? StatusTextOf(result.status) : result.status_text);
    response->SetMimeType(result.mime_type);
    CefResponse::HeaderMap headers;
    for (const auto& h : result.headers)
      headers.insert(std::make_pair(CefString(h.first), CefString(h.second)));
    response->SetHeaderMap(headers);
    StoreCookies(headers);
    Respond(response, result.body);
  }

 private:
  enum class Waiting { kNothing, kHeaders, kData };

  class RequestCallbackImpl : public CefRequestCallback {
   public:
    typedef std::function<void(bool)> Answer;
    explicit RequestCallbackImpl(Answer answer) : answer_(std::move(answer)) {}
    void Continue(bool allow) override {
      if (used_.exchange(true))
        return;
      Answer answer = answer_;
      if (!PostFunction(TID_IO, [answer, allow] { answer(allow); }))
        LOG(WARNING) << "CefRequestCallback answered after the engine stopped";
    }
    void Cancel() override { Continue(false); }
    // True when this call took the one answer the callback gives.
    bool Claim() { return !used_.exchange(true); }

   private:
    Answer answer_;
    std::atomic<bool> used_{false};
    IMPLEMENT_REFCOUNTING(RequestCallbackImpl);
  };

  class HandlerCallback : public CefCallback {
   public:
    HandlerCallback(std::shared_ptr<LoadJob> job, int token) : job_(std::move(job)), token_(token) {}
    void Continue() override {
      std::shared_ptr<LoadJob> job = job_;
      int token = token_;
      PostFunction(TID_IO, [job, token] { job->OnHandlerContinue(token); });
    }
    void Cancel() override {
      std::shared_ptr<LoadJob> job = job_;
      int token = token_;
      PostFunction(TID_IO, [job, token] { job->OnHandlerCancel(token); });
    }

   private:
    const std::shared_ptr<LoadJob> job_;
    const int token_;
    IMPLEMENT_REFCOUNTING(HandlerCallback);
  };

  bool Current(int token) const { return !cancelled_ && !finished_ && token == stage_; }
  bool HandlerCurrent(int token) const { return !cancelled_ && !finished_ && handler_ && token == handler_token_; }

  void Log(const std::string& kind, std::vector<std::string> args) {
    Record(kind, browser_id_, frame_id_, std::move(args));
  }

  CefRefPtr<CefRequestHandler> RequestHandler() {
    return params_.client ? params_.client->GetRequestHandler() : nullptr;
  }

  std::wstring Url() { return params_.request->GetURL().ToWString(); }

  void SetUrl(const std::wstring& url) {
    if (RequestImpl* impl = AsRequestImpl(params_.request))
      impl->InternalSetURL(url);
    else
      params_.request->SetURL(url);
  }

  // IO: OnBeforeResourceLoad (again after each redirect).
  void BeforeLoad() {
    if (cancelled_)
      return;
    CefRefPtr<CefRequestHandler> handler = RequestHandler();
    if (!handler) {
      AfterBeforeLoad(true);
      return;
    }
    int token = ++stage_;
    std::shared_ptr<LoadJob> self = shared_from_this();
    CefRefPtr<RequestCallbackImpl> callback =
        new RequestCallbackImpl([self, token](bool allow) { self->OnRequestAnswer(token, allow); });
    SetRequestReadOnly(params_.request, false);
    Log("OnBeforeResourceLoad", {Utf8(Url())});
    cef_return_value_t rv = handler->OnBeforeResourceLoad(params_.browser, params_.frame, params_.request, callback.get());
    if (rv == RV_CONTINUE_ASYNC)
      return;  // the callback answers, now or later
    ++stage_;  // a synchronous answer; the callback no longer counts
    AfterBeforeLoad(rv == RV_CONTINUE);
  }

  void AfterBeforeLoad(bool allow) {
    if (cancelled_)
      return;
    SetRequestReadOnly(params_.request, true);
    if (!allow) {
      Fail(ERR_ABORTED, ErrorCodeText(ERR_ABORTED));
      return;
    }
    {
      Controls& controls = TheControls();
      std::lock_guard<std::mutex> lock(controls.mutex);
      std::wstring key = NormalizedUrl(Url());
      for (auto it = controls.failures.begin(); it != controls.failures.end(); ++it) {
        if (it->url == key) {
          Failure failure = *it;
          controls.failures.erase(it);
          Fail(failure.code, failure.text);
          return;
        }
      }
    }
    Resolve();
  }

  // IO: client handler, then factory, then the engine's own schemes.
  void Resolve() {
    std::wstring url = Url();
    if (CefRefPtr<CefRequestHandler> rh = RequestHandler()) {
      CefRefPtr<CefResourceHandler> handler = rh->GetResourceHandler(params_.browser, params_.frame, params_.request);
      Log("GetResourceHandler", {Utf8(url), handler ? "handler" : "null"});
      if (handler) {
        RunHandler(handler);
        return;
      }
    }
    CefURLParts parts;
    if (!CefParseURL(url, parts)) {
      Fail(ERR_INVALID_URL, ErrorCodeText(ERR_INVALID_URL));
      return;
    }
    std::wstring scheme = CefString(&parts.scheme).ToWString();
    std::wstring host = CefString(&parts.host).ToWString();
    if (CefRefPtr<CefSchemeHandlerFactory> factory = FindSchemeFactory(scheme, host)) {
      CefRefPtr<CefResourceHandler> handler = factory->Create(params_.browser, params_.frame, scheme, params_.request);
      Log("CefSchemeHandlerFactory::Create", {Utf8(scheme), Utf8(url), handler ? "handler" : "null"});
      if (handler) {
        RunHandler(handler);
        return;
      }
    }
    switch (ClassifyScheme(scheme)) {
      case SchemeKind::kServedBuiltIn: {
        if (params_.request->GetResourceType() == RT_MAIN_FRAME && IsRendererCrashUrl(url)) {
          LoadOutcome outcome;
          outcome.error = ERR_ABORTED;
          outcome.error_text = ErrorCodeText(ERR_ABORTED);
          outcome.final_url = url;
          outcome.renderer_crash = true;
          End(outcome, new ResponseImpl(), UR_CANCELED);
          return;
        }
        BuiltinResponse builtin = ServeBuiltin(url);
        if (builtin.error != ERR_NONE) {
          Fail(builtin.error, ErrorCodeText(builtin.error));
          return;
        }
        CefRefPtr<ResponseImpl> response = new ResponseImpl();
        response->SetStatus(builtin.status);
        response->SetStatusText(builtin.status_text);
        response->SetMimeType(builtin.mime_type);
        response->SetHeaderMap(builtin.headers);
        Respond(response, builtin.body);
        return;
      }
      case SchemeKind::kHttp:
        ServeHttp(scheme);
        return;
      case SchemeKind::kUnservedBuiltIn:
      case SchemeKind::kCustom:
        Fail(ERR_UNKNOWN_URL_SCHEME, ErrorCodeText(ERR_UNKNOWN_URL_SCHEME));
        return;
      case SchemeKind::kUnknown:
        ProtocolExecution(url);
        return;
    }
  }

  // IO -> UI -> IO: the client may let the OS open a URL of a scheme nobody serves.
  void ProtocolExecution(const std::wstring& url) {
    int token = ++stage_;
    std::shared_ptr<LoadJob> self = shared_from_this();
    bool posted = PostFunction(TID_UI, [self, token, url] {
      if (self->cancelled_)
        return;
      bool allow = false;
      if (CefRefPtr<CefRequestHandler> rh = self->RequestHandler()) {
        self->Log("OnProtocolExecution", {Utf8(url)});
        rh->OnProtocolExecution(self->params_.browser, url, allow);
      }
      if (allow)
        ExecuteInOs(url, self->browser_id_);
      PostFunction(TID_IO, [self, token] {
        if (!self->Current(token))
          return;
        ++self->stage_;
        self->Fail(ERR_UNKNOWN_URL_SCHEME, ErrorCodeText(ERR_UNKNOWN_URL_SCHEME));
      });
    });
    if (!posted)
      Fail(ERR_UNKNOWN_URL_SCHEME, ErrorCodeText(ERR_UNKNOWN_URL_SCHEME));
  }

  static void ExecuteInOs(const std::wstring& url, int browser_id) {
    Record("OsExecution", browser_id, 0, {Utf8(url)});
    {
      Controls& controls = TheControls();
      std::lock_guard<std::mutex> lock(controls.mutex);
      controls.os_executions.push_back(url);
    }
    // Tests never start other programs unless asked to.
    wchar_t value[8] = {};
    DWORD n = GetEnvironmentVariableW(L"BRIVELO_CEF_OS_EXEC", value, ARRAYSIZE(value));
    if (n == 1 && value[0] == L'1')
      ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  // IO: the test table, else a real fetch.
  void ServeHttp(const std::wstring& scheme) {
    TestHttpResponse entry;
    std::wstring cookies = CookieHeader();
    if (!FindTestHttpResponse(Url(), &entry)) {
      Fetch(cookies);
      return;
    }
    std::shared_ptr<LoadJob> self = shared_from_this();
    auto serve = [self, entry] {
      CefRefPtr<ResponseImpl> response = new ResponseImpl();
      response->SetStatus(entry.status);
      response->SetStatusText(StatusTextOf(entry.status));
      response->SetMimeType(BareMimeType(entry.mime_type));
      CefResponse::HeaderMap headers = entry.headers;
      if (!entry.mime_type.empty() && response->GetHeader("Content-Type").empty())
        headers.insert(std::make_pair(CefString("Content-Type"), CefString(entry.mime_type)));
      response->SetHeaderMap(headers);
      self->StoreCookies(headers);
      self->Respond(response, entry.body);
    };
    if (scheme == L"https" && entry.cert_error != ERR_NONE) {
      CertificateError(entry.cert_error, serve);
      return;
    }
    serve();
  }

  // IO: the Cookie header the request context's store gives this URL (journaled when there is one).
  std::wstring CookieHeader() {
    std::shared_ptr<CookieStore> store = CookieStoreFor(params_.request_context);
    std::wstring header = store ? store->CookieHeader(Url()) : std::wstring();
    if (!header.empty())
      Log("Cookie", {Utf8(Url()), Utf8(header)});
    return header;
  }

  // IO: every Set-Cookie header of an http(s) answer goes to the request context's store.
  void StoreCookies(const CefResponse::HeaderMap& headers) {
    std::shared_ptr<CookieStore> store;
    for (const auto& h : headers) {
      if (AsciiLower(h.first.ToWString()) != L"set-cookie")
        continue;
      if (!store)
        store = CookieStoreFor(params_.request_context);
      if (!store)
        return;
      if (!store->ApplySetCookieHeader(Url(), h.second.ToString()))
        LOG(WARNING) << "Set-Cookie refused for " << Utf8(Url()) << ": " << h.second.ToString();
    }
  }

  // IO: a WinINet exchange on a worker thread of its own; the answer comes back to IO.
  void Fetch(const std::wstring& cookies) {
    HttpFetchRequest fetch;
    fetch.url = Url();
    fetch.method = params_.request->GetMethod().ToWString();
    fetch.ignore_certificate_errors = ignore_certificate_errors_;
    CefRequest::HeaderMap headers;
    params_.request->GetHeaderMap(headers);
    for (const auto& h : headers)
      fetch.headers.emplace_back(h.first.ToWString(), h.second.ToWString());
    std::wstring referrer = params_.request->GetReferrerURL().ToWString();
    if (!referrer.empty() && headers.find("Referer") == headers.end())
      fetch.headers.emplace_back(L"Referer", referrer);
    if (!params_.accept_language.empty())
      fetch.headers.emplace_back(L"Accept-Language", params_.accept_language);
    if (!cookies.empty())
      fetch.headers.emplace_back(L"Cookie", cookies);
    CefRefPtr<CefPostData> post_data = params_.request->GetPostData();
    int token = ++stage_;
    std::shared_ptr<LoadJob> self = shared_from_this();
    // The body may name files; it is read on the worker too.
    std::thread([self, token, fetch, post_data]() mutable {
      HttpFetchResult result;
      if (!FlattenPostData(post_data, &fetch.body))
        result.error = ERR_FILE_NOT_FOUND;
      else
        result = HttpFetch(fetch);
      PostFunction(TID_IO, [self, token, result] { self->OnFetched(token, result); });
    }).detach();
  }

  // IO -> UI: OnCertificateError; `proceed` runs on IO when the client lets the load go on.
  void CertificateError(cef_errorcode_t code, std::function<void()> proceed) {
    int token = ++stage_;
    after_certificate_ = std::move(proceed);
    std::shared_ptr<LoadJob> self = shared_from_this();
    std::wstring url = Url();
    bool posted = PostFunction(TID_UI, [self, token, code, url] {
      if (self->cancelled_)
        return;
      CefRefPtr<RequestCallbackImpl> callback = new RequestCallbackImpl(
          [self, token, code](bool allow) { self->OnCertificateAnswer(token, allow, code); });
      bool waits = false;
      if (CefRefPtr<CefRequestHandler> rh = self->RequestHandler()) {
        self->Log("OnCertificateError", {std::to_string(static_cast<int>(code)), Utf8(url)});
        waits = rh->OnCertificateError(self->params_.browser, code, url, new SslInfoImpl(), callback.get());
      }
      // False refuses at once, unless the callback already answered inside the call.
      if (!waits && callback->Claim())
        PostFunction(TID_IO, [self, token, code] { self->OnCertificateAnswer(token, false, code); });
    });
    if (!posted)
      Fail(code, ErrorCodeText(code));
  }

  // IO: a client or factory handler serves the request.
  void RunHandler(CefRefPtr<CefResourceHandler> handler) {
    handler_ = handler;
    handler_token_ = ++stage_;
    waiting_ = Waiting::kHeaders;
    callback_ = new HandlerCallback(shared_from_this(), handler_token_);
    Log("ProcessRequest", {Utf8(Url())});
    if (!handler->ProcessRequest(params_.request, callback_.get())) {
      if (handler_ == handler) {
        handler_ = nullptr;
        Fail(ERR_ABORTED, ErrorCodeText(ERR_ABORTED));
      }
    }
  }

  void ReadHeaders() {
    CefRefPtr<ResponseImpl> response = new ResponseImpl();
    int64 length = -1;
    CefString redirect;
    handler_->GetResponseHeaders(response.get(), length, redirect);
    Log("GetResponseHeaders", {std::to_string(response->GetStatus()), std::to_string(length), Utf8(redirect)});
    if (!redirect.empty()) {
      handler_ = nullptr;
      Redirect(redirect.ToWString());
      return;
    }
    expected_length_ = length;
    body_.clear();
    if (!AcceptResponse(response))
      return;
    response_ = response;
    if (expected_length_ == 0) {
      FinishHandler();
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    std::string buffer(kReadChunk, '\0');
    for (int turn = 0; turn < kReadsPerTurn; ++turn) {
      int wanted = kReadChunk;
      if (expected_length_ >= 0)
        wanted = static_cast<int>(std::min<int64>(wanted, expected_length_ - static_cast<int64>(body_.size())));
      int got = 0;
      bool more = handler_->ReadResponse(&buffer[0], wanted, got, callback_.get());
      if (cancelled_ || !handler_)
        return;
      if (!more) {
        FinishHandler();
        return;
      }
      if (got < 0 || got > wanted) {
        LOG(WARNING) << "CefResourceHandler::ReadResponse reported " << got << " bytes of " << wanted;
        handler_ = nullptr;
        Fail(ERR_FAILED, ErrorCodeText(ERR_FAILED));
        return;
      }
      if (got == 0) {
        waiting_ = Waiting::kData;  // callback->Continue() resumes
        return;
      }
      body_.append(buffer.data(), static_cast<size_t>(got));
      if (expected_length_ >= 0 && static_cast<int64>(body_.size()) >= expected_length_) {
        FinishHandler();
        return;
      }
    }
    std::shared_ptr<LoadJob> self = shared_from_this();
    int token = handler_token_;
    PostFunction(TID_IO, [self, token] {
      if (self->HandlerCurrent(token) && self->waiting_ == Waiting::kNothing)
        self->ReadBody();
    });
  }

  void FinishHandler() {
    handler_ = nullptr;
    callback_ = nullptr;
    Complete(response_, std::move(body_));
  }

  // IO: a response head is known. Runs the response hooks; false when they took the load elsewhere.
  bool AcceptResponse(CefRefPtr<ResponseImpl> response) {
    CefRefPtr<CefRequestHandler> rh = RequestHandler();
    if (!rh)
      return true;
    std::wstring before = Url();
    SetRequestReadOnly(params_.request, false);
    response->SetReadOnly(true);
    Log("OnResourceResponse", {Utf8(before), std::to_string(response->GetStatus())});
    bool restart = rh->OnResourceResponse(params_.browser, params_.frame, params_.request, response.get());
    SetRequestReadOnly(params_.request, true);
    if (cancelled_)
      return false;
    if (restart) {
      if (handler_) {
        handler_->Cancel();
        handler_ = nullptr;
      }
      std::wstring after = Url();
      SetUrl(before);
      Redirect(after);
      return false;
    }
    CefRefPtr<CefResponseFilter> filter =
        rh->GetResourceResponseFilter(params_.browser, params_.frame, params_.request, response.get());
    if (filter)
      LOG(WARNING) << "Response filters are not applied by this engine";
    return true;
  }

  // IO: a whole response from the engine's own schemes or the network.
  void Respond(CefRefPtr<ResponseImpl> response, std::string body) {
    if (IsRedirectStatus(response->GetStatus())) {
      std::wstring location = response->GetHeader("Location").ToWString();
      if (!location.empty()) {
        Redirect(location);
        return;
      }
    }
    if (!AcceptResponse(response))
      return;
    Complete(response, std::move(body));
  }

  // IO: follows a redirect (a Location value, maybe relative).
  void Redirect(const std::wstring& location) {
    if (redirects_ >= kMaxRedirects) {
      Fail(ERR_TOO_MANY_REDIRECTS, ErrorCodeText(ERR_TOO_MANY_REDIRECTS));
      return;
    }
    ++redirects_;
    std::wstring target = ResolveUrl(Url(), location);
    if (target.empty())
      target = location;
    if (CefRefPtr<CefRequestHandler> rh = RequestHandler()) {
      CefString new_url = target;
      Log("OnResourceRedirect", {Utf8(Url()), Utf8(new_url)});
      rh->OnResourceRedirect(params_.browser, params_.frame, params_.request, new_url);
      target = new_url.ToWString();
      if (cancelled_)
        return;
    }
    SetUrl(target);
    int token = ++stage_;
    std::shared_ptr<LoadJob> self = shared_from_this();
    bool posted = PostFunction(TID_UI, [self, token, target] {
      if (self->cancelled_)
        return;
      bool follow = self->observer_ ? self->observer_->OnRedirect(target) : true;
      PostFunction(TID_IO, [self, token, follow] { self->OnRedirectAnswer(token, follow); });
    });
    if (!posted)
      finished_ = true;
  }

  void Fail(cef_errorcode_t code, const std::wstring& text) {
    LoadOutcome outcome;
    outcome.error = code;
    outcome.error_text = text;
    outcome.final_url = Url();
    CefRefPtr<ResponseImpl> response = new ResponseImpl();
    End(outcome, response, code == ERR_ABORTED ? UR_CANCELED : UR_FAILED);
  }

  void Complete(CefRefPtr<ResponseImpl> response, std::string body) {
    LoadOutcome outcome;
    outcome.final_url = Url();
    int status = response->GetStatus();
    outcome.status = IsHttpScheme(outcome.final_url) ? (status == 0 ? 200 : status) : 0;
    outcome.response_status = status;
    outcome.status_text = response->GetStatusText().ToWString();
    outcome.mime_type = BareMimeType(response->GetMimeType().ToWString());
    response->GetHeaderMap(outcome.headers);
    outcome.body = std::move(body);
    End(outcome, response, UR_SUCCESS);
  }

  void End(LoadOutcome outcome, CefRefPtr<ResponseImpl> response, cef_urlrequest_status_t status) {
    if (finished_)
      return;
    finished_ = true;
    ++stage_;
    handler_ = nullptr;
    callback_ = nullptr;
    if (CefRefPtr<CefRequestHandler> rh = RequestHandler()) {
      response->SetReadOnly(true);
      Log("OnResourceLoadComplete", {Utf8(Url()), std::to_string(static_cast<int>(status)),
                                     std::to_string(outcome.body.size())});
      rh->OnResourceLoadComplete(params_.browser, params_.frame, params_.request, response.get(), status,
                                 static_cast<int64>(outcome.body.size()));
    }
    std::shared_ptr<LoadJob> self = shared_from_this();
    PostFunction(TID_UI, [self, outcome] {
      if (!self->cancelled_ && self->observer_)
        self->observer_->OnComplete(outcome);
    });
  }

  void CancelOnIO() {
    {
      Controls& controls = TheControls();
      std::lock_guard<std::mutex> lock(controls.mutex);
      for (auto it = controls.held.begin(); it != controls.held.end(); ++it) {
        if (it->job.get() == this) {
          controls.held.erase(it);
          break;
        }
      }
    }
    if (finished_)
      return;
    finished_ = true;
    ++stage_;
    // An ended load's request takes no more changes; this is also how a client still holding it (e.g. while its
    // OnBeforeResourceLoad answer is pending) can tell that the load went away.
    SetRequestReadOnly(params_.request, true);
    CefRefPtr<CefResourceHandler> handler;
    handler.swap(handler_);
    callback_ = nullptr;
    after_certificate_ = nullptr;
    if (handler) {
      Log("CefResourceHandler::Cancel", {Utf8(Url())});
      handler->Cancel();
    }
  }

  LoadParams params_;
  const std::shared_ptr<ResourceLoadObserver> observer_;
  int browser_id_ = 0;
  int64 frame_id_ = 0;
  std::atomic<bool> cancelled_{false};

  // IO only.
  bool finished_ = false;
  int stage_ = 0;
  int redirects_ = 0;
  bool ignore_certificate_errors_ = false;
  std::function<void()> after_certificate_;
  CefRefPtr<CefResourceHandler> handler_;
  CefRefPtr<CefCallback> callback_;
  int handler_token_ = 0;
  Waiting waiting_ = Waiting::kNothing;
  int64 expected_length_ = -1;
  CefRefPtr<ResponseImpl> response_;
  std::string body_;
};

void ResumeHeld(std::vector<HeldLoad> loads) {
  for (auto& load : loads) {
    std::shared_ptr<LoadJob> job = load.job;
    PostFunction(TID_IO, [job] { job->Resume(); });
  }
}

}  // namespace

std::shared_ptr<ResourceLoad> StartResourceLoad(const LoadParams& params,
                                                std::shared_ptr<ResourceLoadObserver> observer) {
  if (!params.request) {
    CEFENGINE_MISUSE("StartResourceLoad without a request");
    return nullptr;
  }
  if (!IsInitialized() || !IsThreadRunning(TID_IO))
    return nullptr;
  if (RequestImpl* impl = AsRequestImpl(params.request)) {
    if (impl->GetIdentifier() == 0)
      impl->InternalSetIdentifier(NextRequestIdentifier());
  }
  auto job = std::make_shared<LoadJob>(params, std::move(observer));
  if (!PostFunction(TID_IO, [job] { job->Start(); }))
    return nullptr;
  return job;
}

CefRefPtr<CefRequest> MakeRequest(const std::wstring& url, const std::wstring& method, const std::wstring& referrer,
                                  cef_resource_type_t resource_type, cef_transition_type_t transition) {
  CefRefPtr<RequestImpl> request = new RequestImpl();
  request->InternalSetURL(url);
  request->SetMethod(method.empty() ? L"GET" : method);
  request->SetReferrer(referrer, REFERRER_POLICY_ALWAYS);
  request->InternalSetResourceType(resource_type);
  request->InternalSetTransitionType(transition);
  request->InternalSetIdentifier(NextRequestIdentifier());
  return request.get();
}

std::wstring ErrorCodeText(cef_errorcode_t code) {
  static const struct {
    cef_errorcode_t code;
    const wchar_t* name;
  } kNames[] = {
      {ERR_NONE, L"OK"},
      {ERR_FAILED, L"ERR_FAILED"},
      {ERR_ABORTED, L"ERR_ABORTED"},
      {ERR_INVALID_ARGUMENT, L"ERR_INVALID_ARGUMENT"},
      {ERR_INVALID_HANDLE, L"ERR_INVALID_HANDLE"},
      {ERR_FILE_NOT_FOUND, L"ERR_FILE_NOT_FOUND"},
      {ERR_TIMED_OUT, L"ERR_TIMED_OUT"},
      {ERR_FILE_TOO_BIG, L"ERR_FILE_TOO_BIG"},
      {ERR_UNEXPECTED, L"ERR_UNEXPECTED"},
      {ERR_ACCESS_DENIED, L"ERR_ACCESS_DENIED"},
      {ERR_NOT_IMPLEMENTED, L"ERR_NOT_IMPLEMENTED"},
      {ERR_CONNECTION_CLOSED, L"ERR_CONNECTION_CLOSED"},
      {ERR_CONNECTION_RESET, L"ERR_CONNECTION_RESET"},
      {ERR_CONNECTION_REFUSED, L"ERR_CONNECTION_REFUSED"},
      {ERR_CONNECTION_ABORTED, L"ERR_CONNECTION_ABORTED"},
      {ERR_CONNECTION_FAILED, L"ERR_CONNECTION_FAILED"},
      {ERR_NAME_NOT_RESOLVED, L"ERR_NAME_NOT_RESOLVED"},
      {ERR_INTERNET_DISCONNECTED, L"ERR_INTERNET_DISCONNECTED"},
      {ERR_SSL_PROTOCOL_ERROR, L"ERR_SSL_PROTOCOL_ERROR"},
      {ERR_ADDRESS_INVALID, L"ERR_ADDRESS_INVALID"},
      {ERR_ADDRESS_UNREACHABLE, L"ERR_ADDRESS_UNREACHABLE"},
      {ERR_SSL_CLIENT_AUTH_CERT_NEEDED, L"ERR_SSL_CLIENT_AUTH_CERT_NEEDED"},
      {ERR_TUNNEL_CONNECTION_FAILED, L"ERR_TUNNEL_CONNECTION_FAILED"},
      {ERR_NO_SSL_VERSIONS_ENABLED, L"ERR_NO_SSL_VERSIONS_ENABLED"},
      {ERR_SSL_VERSION_OR_CIPHER_MISMATCH, L"ERR_SSL_VERSION_OR_CIPHER_MISMATCH"},
      {ERR_SSL_RENEGOTIATION_REQUESTED, L"ERR_SSL_RENEGOTIATION_REQUESTED"},
      {ERR_CERT_COMMON_NAME_INVALID, L"ERR_CERT_COMMON_NAME_INVALID"},
      {ERR_CERT_DATE_INVALID, L"ERR_CERT_DATE_INVALID"},
      {ERR_CERT_AUTHORITY_INVALID, L"ERR_CERT_AUTHORITY_INVALID"},
      {ERR_CERT_CONTAINS_ERRORS, L"ERR_CERT_CONTAINS_ERRORS"},
      {ERR_CERT_NO_REVOCATION_MECHANISM, L"ERR_CERT_NO_REVOCATION_MECHANISM"},
      {ERR_CERT_UNABLE_TO_CHECK_REVOCATION, L"ERR_CERT_UNABLE_TO_CHECK_REVOCATION"},
      {ERR_CERT_REVOKED, L"ERR_CERT_REVOKED"},
      {ERR_CERT_INVALID, L"ERR_CERT_INVALID"},
      {ERR_CERT_WEAK_SIGNATURE_ALGORITHM, L"ERR_CERT_WEAK_SIGNATURE_ALGORITHM"},
      {ERR_CERT_NON_UNIQUE_NAME, L"ERR_CERT_NON_UNIQUE_NAME"},
      {ERR_CERT_WEAK_KEY, L"ERR_CERT_WEAK_KEY"},
      {ERR_CERT_NAME_CONSTRAINT_VIOLATION, L"ERR_CERT_NAME_CONSTRAINT_VIOLATION"},
      {ERR_CERT_VALIDITY_TOO_LONG, L"ERR_CERT_VALIDITY_TOO_LONG"},
      {ERR_INVALID_URL, L"ERR_INVALID_URL"},
      {ERR_DISALLOWED_URL_SCHEME, L"ERR_DISALLOWED_URL_SCHEME"},
      {ERR_UNKNOWN_URL_SCHEME, L"ERR_UNKNOWN_URL_SCHEME"},
      {ERR_TOO_MANY_REDIRECTS, L"ERR_TOO_MANY_REDIRECTS"},
      {ERR_UNSAFE_REDIRECT, L"ERR_UNSAFE_REDIRECT"},
      {ERR_UNSAFE_PORT, L"ERR_UNSAFE_PORT"},
      {ERR_INVALID_RESPONSE, L"ERR_INVALID_RESPONSE"},
      {ERR_INVALID_CHUNKED_ENCODING, L"ERR_INVALID_CHUNKED_ENCODING"},
      {ERR_METHOD_NOT_SUPPORTED, L"ERR_METHOD_NOT_SUPPORTED"},
      {ERR_UNEXPECTED_PROXY_AUTH, L"ERR_UNEXPECTED_PROXY_AUTH"},
      {ERR_EMPTY_RESPONSE, L"ERR_EMPTY_RESPONSE"},
      {ERR_RESPONSE_HEADERS_TOO_BIG, L"ERR_RESPONSE_HEADERS_TOO_BIG"},
      {ERR_CACHE_MISS, L"ERR_CACHE_MISS"},
      {ERR_INSECURE_RESPONSE, L"ERR_INSECURE_RESPONSE"},
  };
  for (const auto& entry : kNames)
    if (entry.code == code)
      return std::wstring(L"net::") + entry.name;
  return L"net::ERR_FAILED";
}

void SetLoadsHeld(bool held) {
  std::vector<HeldLoad> release;
  {
    Controls& controls = TheControls();
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.hold = held;
    if (!held)
      release.swap(controls.held);
  }
  ResumeHeld(std::move(release));
}

bool ReleaseHeldLoad(const std::wstring& url) {
  std::vector<HeldLoad> release;
  {
    Controls& controls = TheControls();
    std::lock_guard<std::mutex> lock(controls.mutex);
    for (auto it = controls.held.begin(); it != controls.held.end();) {
      if (it->url == url) {
        release.push_back(*it);
        it = controls.held.erase(it);
      } else {
        ++it;
      }
    }
  }
  bool any = !release.empty();
  ResumeHeld(std::move(release));
  return any;
}

void ReleaseAllHeldLoads() {
  std::vector<HeldLoad> release;
  {
    Controls& controls = TheControls();
    std::lock_guard<std::mutex> lock(controls.mutex);
    release.swap(controls.held);
  }
  ResumeHeld(std::move(release));
}

std::vector<std::wstring> HeldLoadUrls() {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> lock(controls.mutex);
  std::vector<std::wstring> urls;
  for (const auto& load : controls.held)
    urls.push_back(load.url);
  return urls;
}

void FailNextLoadOf(const std::wstring& url, cef_errorcode_t code, const std::wstring& text) {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> lock(controls.mutex);
  controls.failures.push_back(Failure{NormalizedUrl(url), code, text});
}

std::vector<std::wstring> OsExecutionUrls() {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> lock(controls.mutex);
  return controls.os_executions;
}

void ResetLoadControls() {
  std::vector<HeldLoad> release;
  {
    Controls& controls = TheControls();
    std::lock_guard<std::mutex> lock(controls.mutex);
    controls.hold = false;
    release.swap(controls.held);
    controls.failures.clear();
    controls.os_executions.clear();
  }
  ResumeHeld(std::move(release));
}

}  // namespace cefengine
