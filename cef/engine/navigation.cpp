#include "engine/navigation.h"

#include <deque>
#include <utility>

#include "engine/browser_impl.h"
#include "engine/document_model.h"
#include "engine/frame_impl.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/renderer_relay.h"
#include "engine/resource_loader.h"
#include "engine/startup_trace.h"
#include "engine/task_threads.h"
#include "engine/utf.h"

namespace cefengine {

namespace {

// Longest wait for the renderer to set up a committed frame; a renderer that never answers does not hang loads.
const int64 kFrameReadyTimeoutMs = 5000;

// One step of a navigation after the main document committed. Steps run in order; a committed sub-frame puts its
// own steps in front, which gives the depth-first order of frame loads.
struct Step {
  enum Kind { kAwaitReady, kSubResource, kChildFrame, kEndFrame, kEndMain } kind;
  CefRefPtr<FrameImpl> frame;  // kAwaitReady, kEndFrame, kSubResource (the requesting frame), kChildFrame (the parent)
  std::wstring url;
  std::wstring name;  // kChildFrame
  cef_resource_type_t resource_type = RT_SUB_RESOURCE;
  int depth = 0;   // kChildFrame
  int status = 0;  // kEndFrame
};

class NavigationState : public Navigation {
 public:
  uint64 serial = 0;  // changes whenever the running navigation ends; late callbacks compare it
  bool active = false;
  bool committed = false;
  NavigationRequest request;
  std::wstring pending_url;
  int main_status = 0;
  std::shared_ptr<ResourceLoad> load;
  std::deque<Step> steps;
  int64 awaiting_frame = 0;
  bool awaiting_crash = false;  // a "chrome://crash" navigation waits for the renderer's end
};

NavigationState* StateOf(BrowserImpl* browser) {
  if (!browser->navigation())
    browser->SetNavigation(std::unique_ptr<Navigation>(new NavigationState()));
  return static_cast<NavigationState*>(browser->navigation());
}

class LoadObserver : public ResourceLoadObserver {
 public:
  LoadObserver(std::function<bool(const std::wstring&)> on_redirect, std::function<void(const LoadOutcome&)> on_done)
      : on_redirect_(std::move(on_redirect)), on_done_(std::move(on_done)) {}
  bool OnRedirect(const std::wstring& new_url) override { return on_redirect_(new_url); }
  void OnComplete(const LoadOutcome& outcome) override { on_done_(outcome); }

 private:
  std::function<bool(const std::wstring&)> on_redirect_;
  std::function<void(const LoadOutcome&)> on_done_;
};

CefRefPtr<CefLoadHandler> LoadHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetLoadHandler() : nullptr;
}

CefRefPtr<CefDisplayHandler> DisplayHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetDisplayHandler() : nullptr;
}

CefRefPtr<CefRequestHandler> RequestHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetRequestHandler() : nullptr;
}

// True while the navigation numbered `serial` may still talk to the client.
bool StillCurrent(BrowserImpl* browser, uint64 serial) {
  return !browser->IsClosing() && !browser->IsDestroyed() && StateOf(browser)->serial == serial;
}

bool AskBeforeBrowse(BrowserImpl* browser, FrameImpl* frame, CefRefPtr<CefRequest> request, bool is_redirect) {
  browser->Record("OnBeforeBrowse", frame->id(), {request->GetURL().ToString(), FlagText(is_redirect)});
  CefRefPtr<CefRequestHandler> handler = RequestHandlerOf(browser);
  return handler && handler->OnBeforeBrowse(browser, frame, request, is_redirect);
}

void SetLoadingState(BrowserImpl* browser, bool loading) {
  bool back = false, forward = false;
  browser->UpdatePage([&](PageState& page) {
    page.loading = loading;
    back = page.history_index > 0;
    forward = page.history_index >= 0 && page.history_index + 1 < static_cast<int>(page.history.size());
  });
  browser->Record("OnLoadingStateChange", 0, {FlagText(loading), FlagText(back), FlagText(forward)});
  if (CefRefPtr<CefLoadHandler> handler = LoadHandlerOf(browser))
    handler->OnLoadingStateChange(browser, loading, back, forward);
}

void ReportAddress(BrowserImpl* browser, FrameImpl* frame, const std::wstring& url) {
  browser->Record("OnAddressChange", frame->id(), {WideToUtf8(url)});
  if (CefRefPtr<CefDisplayHandler> handler = DisplayHandlerOf(browser))
    handler->OnAddressChange(browser, frame, url);
}

// OnLoadError with the frame's URL showing the failed URL during the call.
void ReportLoadError(BrowserImpl* browser, FrameImpl* frame, cef_errorcode_t code, const std::wstring& text,
                     const std::wstring& url) {
  frame->SetURL(url);
  browser->Record("OnLoadError", frame->id(), {std::to_string(code), WideToUtf8(text), WideToUtf8(url)});
  if (CefRefPtr<CefLoadHandler> handler = LoadHandlerOf(browser))
    handler->OnLoadError(browser, frame, code, text, url);
}

void ReportLoadEnd(BrowserImpl* browser, FrameImpl* frame, int status) {
  browser->Record("OnLoadEnd", frame->id(), {std::to_string(status)});
  if (frame->IsMain())
    NoteStartupStamp(StartupStamp::kFirstLoadEnd);
  if (CefRefPtr<CefLoadHandler> handler = LoadHandlerOf(browser))
    handler->OnLoadEnd(browser, frame, status);
}

void SendCommit(BrowserImpl* browser, FrameImpl* frame, const ScannedDocument& document, const std::wstring& title) {
  std::vector<ValueData> scripts;
  for (const auto& script : document.scripts)
    if (script.src.empty())
      scripts.push_back(MakeString(script.text));
  ChannelFrame commit =
      MakeFrame(FrameType::kCommit, browser->id(), frame->id(),
                {MakeDouble(static_cast<double>(frame->parent_id())), MakeString(frame->name()),
                 MakeString(frame->url()), MakeBool(frame->is_main()), MakeString(title), MakeListValue(scripts),
                 MakeInt(FOCUS_NONE)});
  if (!browser->relay()->Send(commit))
    browser->Record("CommitNotSent", frame->id());
}

// The steps that follow a committed document of `frame`, in document order.
std::vector<Step> StepsAfterCommit(BrowserImpl* browser, CefRefPtr<FrameImpl> frame, const ScannedDocument& document,
                                   int depth) {
  std::vector<Step> steps;
  if (browser->relay()->AwaitsFrameReady())
    steps.push_back(Step{Step::kAwaitReady, frame});
  for (const auto& resource : document.subresources) {
    Step step{Step::kSubResource, frame, resource.url};
    step.resource_type = resource.type;
    steps.push_back(step);
  }
  if (depth < kMaxFrameDepth) {
    size_t count = 0;
    for (const auto& child : document.frames) {
      if (++count > kMaxChildFrames)
        break;
      Step step{Step::kChildFrame, frame, child.url, child.name};
      step.depth = depth + 1;
      steps.push_back(step);
    }
  }
  return steps;
}

void Pump(BrowserImpl* browser);

void EndNavigation(BrowserImpl* browser) {
  NavigationState* state = StateOf(browser);
  state->active = false;
  state->load.reset();
  state->steps.clear();
  state->awaiting_frame = 0;
  state->awaiting_crash = false;
  ++state->serial;
  SetLoadingState(browser, false);
}

LoadParams ParamsFor(BrowserImpl* browser, CefRefPtr<FrameImpl> frame, CefRefPtr<CefRequest> request) {
  LoadParams params;
  params.browser = browser;
  params.frame = frame.get();
  params.client = browser->client();
  params.request_context = browser->GetRequestContext();
  params.request = request;
  params.accept_language = CefString(&browser->settings().accept_language_list).ToWString();
  return params;
}

// Starts the load of the next step's resource; `done` runs on UI while the navigation is still current.
void StartStepLoad(BrowserImpl* browser, CefRefPtr<FrameImpl> frame, CefRefPtr<CefRequest> request,
                   bool ask_on_redirect, std::function<void(const LoadOutcome&)> done) {
  NavigationState* state = StateOf(browser);
  uint64 serial = state->serial;
  CefRefPtr<BrowserImpl> keep(browser);
  auto observer = std::make_shared<LoadObserver>(
      [keep, serial, frame, request, ask_on_redirect](const std::wstring& new_url) {
        if (!StillCurrent(keep.get(), serial))
          return false;
        if (!ask_on_redirect)
          return true;
        if (!AskBeforeBrowse(keep.get(), frame.get(), request, true))
          return true;
        if (StillCurrent(keep.get(), serial)) {
          if (frame->is_main()) {
            EndNavigation(keep.get());  // refused silently; only the loading state ends
          } else {
            // The frame stays empty; go on once the loader has left this call.
            StateOf(keep.get())->load.reset();
            PostTo(TID_UI, [keep, serial]() {
              if (StillCurrent(keep.get(), serial))
                Pump(keep.get());
            });
          }
        }
        return false;
      },
      [keep, serial, done](const LoadOutcome& outcome) {
        if (!StillCurrent(keep.get(), serial))
          return;
        StateOf(keep.get())->load.reset();
        done(outcome);
      });
  state->load = StartResourceLoad(ParamsFor(browser, frame, request), observer);
  if (!state->load) {
    LoadOutcome failed;
    failed.error = ERR_FAILED;
    failed.error_text = ErrorCodeText(ERR_FAILED);
    failed.final_url = request->GetURL().ToWString();
    done(failed);
  }
}

void CommitChild(BrowserImpl* browser, CefRefPtr<FrameImpl> frame, int depth, const LoadOutcome& outcome) {
  uint64 serial = StateOf(browser)->serial;
  if (outcome.error != ERR_NONE) {
    ReportLoadError(browser, frame.get(), outcome.error, outcome.error_text, outcome.final_url);
    if (StillCurrent(browser, serial))
      Pump(browser);
    return;
  }
  frame->SetURL(outcome.final_url);
  ScannedDocument document = ScanDocument(outcome.body, outcome.mime_type, outcome.final_url);
  ReportAddress(browser, frame.get(), outcome.final_url);
  if (!StillCurrent(browser, serial))
    return;
  browser->Record("OnLoadStart", frame->id());
  if (CefRefPtr<CefLoadHandler> handler = LoadHandlerOf(browser))
    handler->OnLoadStart(browser, frame.get());
  if (!StillCurrent(browser, serial))
    return;
  SendCommit(browser, frame.get(), document, document.has_title ? document.title : outcome.final_url);
  GetBrowserExtras()->OnDocumentCommitted(browser, frame.get(), document);
  if (!StillCurrent(browser, serial))
    return;
  std::vector<Step> steps = StepsAfterCommit(browser, frame, document, depth);
  Step end{Step::kEndFrame, frame};
  end.status = outcome.status;
  steps.push_back(end);
  NavigationState* state = StateOf(browser);
  state->steps.insert(state->steps.begin(), steps.begin(), steps.end());
  Pump(browser);
}

void ArmFrameReadyTimeout(BrowserImpl* browser, int64 frame_id) {
  uint64 serial = StateOf(browser)->serial;
  CefRefPtr<BrowserImpl> keep(browser);
  PostTo(
      TID_UI,
      [keep, serial, frame_id]() {
        if (!StillCurrent(keep.get(), serial) || StateOf(keep.get())->awaiting_frame != frame_id)
          return;
        LOG(WARNING) << "CefBrowserHost: the renderer did not set up frame " << frame_id << " in time; loading goes on";
        StateOf(keep.get())->awaiting_frame = 0;
        Pump(keep.get());
      },
      Paced(static_cast<DWORD>(kFrameReadyTimeoutMs)));
}

void Pump(BrowserImpl* browser) {
  NavigationState* state = StateOf(browser);
  uint64 serial = state->serial;
  while (StillCurrent(browser, serial) && state->awaiting_frame == 0 && !state->load && !state->steps.empty()) {
    Step step = state->steps.front();
    state->steps.pop_front();
    switch (step.kind) {
      case Step::kAwaitReady:
        if (step.frame->IsValid() && browser->relay()->AwaitsFrameReady()) {
          state->awaiting_frame = step.frame->id();
          ArmFrameReadyTimeout(browser, step.frame->id());
        }
        break;
      case Step::kSubResource: {
        CefRefPtr<CefRequest> request = MakeRequest(step.url, L"GET", step.frame->url(), step.resource_type, TT_LINK);
        std::wstring url = step.url;
        int64 frame_id = step.frame->id();
        CefRefPtr<BrowserImpl> keep(browser);
        StartStepLoad(browser, step.frame, request, false, [keep, url, frame_id](const LoadOutcome& outcome) {
          keep->Record("SubResourceLoaded", frame_id,
                       {WideToUtf8(url), std::to_string(outcome.error), std::to_string(outcome.status)});
          Pump(keep.get());
        });
        break;
      }
      case Step::kChildFrame: {
        CefRefPtr<FrameImpl> frame = browser->AddSubFrame(step.frame->id(), step.name);
        CefRefPtr<CefRequest> request =
            MakeRequest(step.url, L"GET", step.frame->url(), RT_SUB_FRAME, TT_AUTO_SUBFRAME);
        if (AskBeforeBrowse(browser, frame.get(), request, false))
          break;  // the frame stays empty
        if (!StillCurrent(browser, serial))
          return;
        CefRefPtr<BrowserImpl> keep(browser);
        int depth = step.depth;
        StartStepLoad(browser, frame, request, true,
                      [keep, frame, depth](const LoadOutcome& outcome) { CommitChild(keep.get(), frame, depth, outcome); });
        break;
      }
      case Step::kEndFrame:
        ReportLoadEnd(browser, step.frame.get(), step.status);
        break;
      case Step::kEndMain: {
        CefRefPtr<FrameImpl> main = browser->main_frame();
        if (main)
          ReportLoadEnd(browser, main.get(), state->main_status);
        if (StillCurrent(browser, serial))
          EndNavigation(browser);
        return;
      }
    }
  }
}

// Nothing commits: the renderer is told to crash and the navigation waits for its end (FinishCrashNavigation).
void CrashRendererForNavigation(BrowserImpl* browser) {
  NavigationState* state = StateOf(browser);
  browser->Record("RendererCrashRequested", 0, {WideToUtf8(state->pending_url)});
  state->awaiting_crash = true;
  if (!browser->relay()->CrashRenderer()) {
    // The renderer is gone already and no end will be reported again.
    EndNavigation(browser);
  }
}

void CommitMain(BrowserImpl* browser, const LoadOutcome& outcome) {
  NavigationState* state = StateOf(browser);
  uint64 serial = state->serial;
  CefRefPtr<FrameImpl> main = browser->main_frame();
  if (!main)
    return;
  if (outcome.renderer_crash) {
    CrashRendererForNavigation(browser);
    return;
  }
  if (outcome.error != ERR_NONE) {
    std::wstring failed = outcome.final_url.empty() ? state->pending_url : outcome.final_url;
    main->SetURL(failed);
    browser->UpdatePage([&](PageState& page) { page.url = failed; });
    ReportAddress(browser, main.get(), failed);
    if (!StillCurrent(browser, serial))
      return;
    ReportLoadError(browser, main.get(), outcome.error, outcome.error_text, failed);
    if (StillCurrent(browser, serial))
      EndNavigation(browser);
    return;
  }

  browser->DropSubFrames();
  const std::wstring& url = outcome.final_url;
  main->SetURL(url);
  ScannedDocument document = ScanDocument(outcome.body, outcome.mime_type, url);
  std::wstring title = document.has_title && !document.title.empty() ? document.title : url;
  const NavigationRequest& request = state->request;
  browser->UpdatePage([&](PageState& page) {
    switch (request.kind) {
      case NavigationKind::kLoad:
        if (page.history_index + 1 < static_cast<int>(page.history.size()))
          page.history.resize(page.history_index + 1);
        page.history.push_back(url);
        page.history_index = static_cast<int>(page.history.size()) - 1;
        break;
      case NavigationKind::kHistory:
      case NavigationKind::kReload:
        if (request.history_index >= 0 && request.history_index < static_cast<int>(page.history.size())) {
          page.history_index = request.history_index;
          page.history[request.history_index] = url;
        }
        break;
    }
    page.url = url;
    page.title = title;
    page.has_document = true;
    page.focus_state = FOCUS_NONE;
    page.has_background = document.has_background;
    page.background = document.background;
  });
  state->committed = true;
  state->main_status = outcome.status;

  ReportAddress(browser, main.get(), url);
  if (!StillCurrent(browser, serial))
    return;
  browser->Record("OnLoadStart", main->id());
  if (CefRefPtr<CefLoadHandler> handler = LoadHandlerOf(browser))
    handler->OnLoadStart(browser, main.get());
  if (!StillCurrent(browser, serial))
    return;
  browser->Record("OnTitleChange", 0, {WideToUtf8(title)});
  if (CefRefPtr<CefDisplayHandler> handler = DisplayHandlerOf(browser))
    handler->OnTitleChange(browser, title);
  if (!StillCurrent(browser, serial))
    return;
  SendCommit(browser, main.get(), document, title);
  if (HWND window = browser->hwnd())
    InvalidateRect(window, nullptr, FALSE);
  GetBrowserExtras()->OnDocumentCommitted(browser, main.get(), document);
  if (!StillCurrent(browser, serial))
    return;
  std::vector<Step> steps = StepsAfterCommit(browser, main, document, 0);
  steps.push_back(Step{Step::kEndMain});
  state->steps.assign(steps.begin(), steps.end());
  Pump(browser);
}

// Ends the running navigation early. `report`: the client hears OnLoadError(ERR_ABORTED) for a main document that
// had not committed yet.
void AbortRunning(BrowserImpl* browser, bool report) {
  NavigationState* state = StateOf(browser);
  if (!state->active)
    return;
  std::shared_ptr<ResourceLoad> load;
  load.swap(state->load);
  if (load)
    load->Cancel();
  state->active = false;
  state->steps.clear();
  state->awaiting_frame = 0;
  state->awaiting_crash = false;
  ++state->serial;
  if (!report || state->committed)
    return;
  CefRefPtr<FrameImpl> main = browser->main_frame();
  if (!main)
    return;
  // The page stays: the frame shows the aborted URL only while the client hears about it.
  std::wstring shown = main->url();
  ReportLoadError(browser, main.get(), ERR_ABORTED, ErrorCodeText(ERR_ABORTED), state->pending_url);
  if (main->url() == state->pending_url)
    main->SetURL(shown);
}

void StartMain(BrowserImpl* browser, const NavigationRequest& request) {
  if (browser->IsClosing() || browser->IsDestroyed())
    return;
  CefRefPtr<FrameImpl> main = browser->main_frame();
  if (!main)
    return;
  cef_transition_type_t transition = request.kind == NavigationKind::kReload ? TT_RELOAD
                                     : request.kind == NavigationKind::kHistory
                                         ? static_cast<cef_transition_type_t>(TT_EXPLICIT | TT_FORWARD_BACK_FLAG)
                                     : request.renderer_initiated ? TT_LINK
                                                                  : TT_EXPLICIT;
  CefRefPtr<CefRequest> fetch = MakeRequest(request.url, L"GET", std::wstring(), RT_MAIN_FRAME, transition);
  if (request.request) {
    fetch->SetMethod(request.request->GetMethod());
    CefRequest::HeaderMap headers;
    request.request->GetHeaderMap(headers);
    fetch->SetHeaderMap(headers);
  }
  if (AskBeforeBrowse(browser, main.get(), fetch, false))
    return;
  if (browser->IsClosing() || browser->IsDestroyed())
    return;

  NavigationState* state = StateOf(browser);
  bool was_loading = browser->page_state().loading;
  AbortRunning(browser, true);
  if (browser->IsClosing() || browser->IsDestroyed())
    return;
  state = StateOf(browser);
  ++state->serial;
  state->active = true;
  state->committed = false;
  state->request = request;
  state->pending_url = request.url;
  state->main_status = 0;
  uint64 serial = state->serial;
  if (!was_loading) {
    SetLoadingState(browser, true);
    if (!StillCurrent(browser, serial))
      return;
  }
  browser->relay()->EnsureRenderer();
  CefRefPtr<BrowserImpl> keep(browser);
  StartStepLoad(browser, main, fetch, true, [keep](const LoadOutcome& outcome) { CommitMain(keep.get(), outcome); });
}

}  // namespace

void Navigate(BrowserImpl* browser, const NavigationRequest& request) {
  if (browser->IsClosing() || browser->IsDestroyed())
    return;
  if (!browser->page_state().has_document) {
    StartMain(browser, request);
    return;
  }
  // Leaving a document asks its beforeunload handler first.
  CefRefPtr<BrowserImpl> keep(browser);
  GetBrowserExtras()->BeforeUnload(browser, request.kind == NavigationKind::kReload,
                                   [keep, request](bool proceed) {
                                     if (!proceed) {
                                       keep->Record("NavigationCancelledByPage", 0, {WideToUtf8(request.url)});
                                       return;
                                     }
                                     if (OnUIThread())
                                       StartMain(keep.get(), request);
                                     else
                                       PostTo(TID_UI, [keep, request]() { StartMain(keep.get(), request); });
                                   });
}

void StopNavigation(BrowserImpl* browser) {
  NavigationState* state = StateOf(browser);
  if (!state->active)
    return;
  AbortRunning(browser, true);
  if (!browser->IsClosing() && !browser->IsDestroyed())
    SetLoadingState(browser, false);
}

void AbandonNavigation(BrowserImpl* browser) {
  AbortRunning(browser, false);
  browser->UpdatePage([](PageState& page) { page.loading = false; });
}

void OnFrameReady(BrowserImpl* browser, int64 frame_id) {
  NavigationState* state = StateOf(browser);
  if (state->awaiting_frame == 0 || state->awaiting_frame != frame_id)
    return;
  state->awaiting_frame = 0;
  Pump(browser);
}

void FinishCrashNavigation(BrowserImpl* browser) {
  NavigationState* state = StateOf(browser);
  if (state->active && state->awaiting_crash)
    EndNavigation(browser);
}

void OnRendererGone(BrowserImpl* browser) {
  NavigationState* state = StateOf(browser);
  if (state->awaiting_frame == 0)
    return;
  state->awaiting_frame = 0;
  Pump(browser);
}

}  // namespace cefengine
