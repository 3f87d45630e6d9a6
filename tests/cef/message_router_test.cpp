#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/task_threads.h"
#include "engine/v8_context.h"
#include "include/cef_app.h"
#include "include/cef_v8.h"
#include "include/wrapper/cef_message_router.h"
#include "testing/cefengine_testing.h"
#include "wrapper_fakes.h"

namespace test = cefengine::test;
using wrapper_fakes::FakeBrowser;
using wrapper_fakes::SentMessage;

namespace {

// "name(1,true,"text")": a message in one line, types visible.
std::string Describe(const std::string& name, CefRefPtr<CefListValue> args) {
  std::string out = name + "(";
  for (size_t i = 0; i < args->GetSize(); ++i) {
    if (i)
      out += ",";
    switch (args->GetType(i)) {
      case VTYPE_INT:
        out += std::to_string(args->GetInt(i));
        break;
      case VTYPE_BOOL:
        out += args->GetBool(i) ? "true" : "false";
        break;
      case VTYPE_STRING:
        out += "\"" + args->GetString(i).ToString() + "\"";
        break;
      default:
        out += "?";
    }
  }
  return out + ")";
}

// Messages to the renderer must leave on UI.
std::vector<std::string> Describe(const std::vector<SentMessage>& sent, CefProcessId target = PID_RENDERER) {
  std::vector<std::string> out;
  for (const SentMessage& m : sent) {
    EXPECT_EQ(m.target, target);
    if (target == PID_RENDERER) {
      EXPECT_TRUE(m.on_ui) << m.name;
    }
    out.push_back(Describe(m.name, m.args));
  }
  return out;
}

// Accepts the requests that start with its prefix; records every call, on UI or not.
class TestHandler : public CefMessageRouterBrowserSide::Handler {
 public:
  TestHandler(const std::string& name, const std::string& accept) : name_(name), accept_(accept) {}

  bool OnQuery(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id, const CefString& request,
               bool persistent, CefRefPtr<Callback> callback) override {
    Log(name_ + ":query:" + request.ToString() + (persistent ? ":persistent" : "") + ":frame" +
        std::to_string(frame->GetIdentifier()));
    if (accept_.empty() || request.ToString().compare(0, accept_.size(), accept_) != 0)
      return false;
    std::lock_guard<std::mutex> hold(lock_);
    callbacks_[request.ToString()] = callback;
    ids_[request.ToString()] = query_id;
    return true;
  }
  void OnQueryCanceled(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id) override {
    std::string request;
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (auto& kv : ids_) {
        if (kv.second == query_id)
          request = kv.first;
      }
    }
    Log(name_ + ":canceled:" + request + ":frame" + std::to_string(frame->GetIdentifier()));
  }

  CefRefPtr<Callback> CallbackFor(const std::string& request) {
    std::lock_guard<std::mutex> hold(lock_);
    return callbacks_[request];
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  std::vector<std::string> TakeEvents() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> events;
    events.swap(events_);
    return events;
  }
  int off_ui_ = 0;

 private:
  void Log(const std::string& event) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!CefCurrentlyOn(TID_UI))
      ++off_ui_;
    events_.push_back(event);
  }
  const std::string name_;
  const std::string accept_;
  std::mutex lock_;
  std::map<std::string, CefRefPtr<Callback>> callbacks_;
  std::map<std::string, int64> ids_;
  std::vector<std::string> events_;
};

CefRefPtr<CefProcessMessage> QueryMessage(const std::string& name, int context, int request_id,
                                          const std::string& request, bool persistent, int64 frame_id) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
  CefRefPtr<CefListValue> args = message->GetArgumentList();
  args->SetInt(0, context);
  args->SetInt(1, request_id);
  args->SetString(2, request);
  args->SetBool(3, persistent);
  args->SetInt(4, CefInt64GetLow(frame_id));
  args->SetInt(5, CefInt64GetHigh(frame_id));
  return message;
}

CefRefPtr<CefProcessMessage> CancelMessage(int context, int request_id) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("cefQueryCancelMsg");
  message->GetArgumentList()->SetInt(0, context);
  message->GetArgumentList()->SetInt(1, request_id);
  return message;
}

class MessageRouterBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wrapper_fakes::StartEngine());
    router_ = CefMessageRouterBrowserSide::Create(CefMessageRouterConfig());
    ASSERT_TRUE(router_);
    browser_ = new FakeBrowser(1, 10);
    browser_->AddFrame(11);
    other_ = new FakeBrowser(2, 20);
  }
  void TearDown() override {
    router_ = nullptr;
    CefShutdown();
  }

  // Delivers a message from the renderer on UI; true when the router took it.
  bool Deliver(CefRefPtr<FakeBrowser> browser, CefRefPtr<CefProcessMessage> message) {
    bool handled = false;
    EXPECT_TRUE(test::RunOn(TID_UI, [&] { handled = router_->OnProcessMessageReceived(browser.get(), PID_RENDERER, message); }));
    return handled;
  }
  bool Query(CefRefPtr<FakeBrowser> browser, int context, int request_id, const std::string& request,
             bool persistent = false, int64 frame_id = 0) {
    if (!frame_id)
      frame_id = browser->GetMainFrame()->GetIdentifier();
    return Deliver(browser, QueryMessage("cefQueryMsg", context, request_id, request, persistent, frame_id));
  }
  bool AddHandler(TestHandler* handler, bool first) {
    bool added = false;
    EXPECT_TRUE(test::RunOn(TID_UI, [&] { added = router_->AddHandler(handler, first); }));
    return added;
  }
  int Pending(CefRefPtr<CefBrowser> browser, TestHandler* handler) {
    int count = -1;
    EXPECT_TRUE(test::RunOn(TID_UI, [&] { count = router_->GetPendingCount(browser, handler); }));
    return count;
  }
  // What the browser sent once every answer posted so far reached UI.
  std::vector<std::string> Sent(CefRefPtr<FakeBrowser> browser) {
    EXPECT_TRUE(test::Flush(TID_UI));
    return Describe(browser->TakeSent());
  }

  CefRefPtr<CefMessageRouterBrowserSide> router_;
  CefRefPtr<FakeBrowser> browser_;
  CefRefPtr<FakeBrowser> other_;
};

TEST_F(MessageRouterBrowser, HandlersAreAskedInOrderAndAnUnhandledQueryFails) {
  TestHandler a("a", "a"), b("b", "b"), front("front", "");
  ASSERT_TRUE(AddHandler(&a, false));
  ASSERT_TRUE(AddHandler(&b, false));
  ASSERT_TRUE(AddHandler(&front, true));
  EXPECT_FALSE(AddHandler(&a, true));  // once only
  EXPECT_FALSE(AddHandler(nullptr, false));

  EXPECT_TRUE(Query(browser_, 3, 1, "b-request", false, 11));
  EXPECT_EQ(front.TakeEvents(), (std::vector<std::string>{"front:query:b-request:frame11"}));
  EXPECT_EQ(a.TakeEvents(), (std::vector<std::string>{"a:query:b-request:frame11"}));
  EXPECT_EQ(b.TakeEvents(), (std::vector<std::string>{"b:query:b-request:frame11"}));
  EXPECT_TRUE(Sent(browser_).empty());  // b answers later
  EXPECT_EQ(Pending(browser_, &b), 1);
  EXPECT_EQ(Pending(browser_, &a), 0);

  EXPECT_TRUE(Query(browser_, 3, 2, "zzz"));
  EXPECT_EQ(Sent(browser_), (std::vector<std::string>{"cefQueryMsg(3,2,false,-1,\"Unhandled request\")"}));
  EXPECT_EQ(Pending(nullptr, nullptr), 1);
  EXPECT_EQ(a.off_ui_ + b.off_ui_ + front.off_ui_, 0);
}

TEST_F(MessageRouterBrowser, AnswersFromAnyThreadReachTheRendererOnUIOnceUnlessPersistent) {
  TestHandler h("h", "q");
  ASSERT_TRUE(AddHandler(&h, false));

  // One-shot: the first answer ends the query; later ones are dropped.
  ASSERT_TRUE(Query(browser_, 1, 1, "q-once"));
  h.CallbackFor("q-once")->Success("r1");  // from the test's thread
  h.CallbackFor("q-once")->Success("r2");
  EXPECT_EQ(Sent(browser_), (std::vector<std::string>{"cefQueryMsg(1,1,true,\"r1\")"}));
  EXPECT_EQ(Pending(browser_, &h), 0);

  // Answered from IO, failing.
  ASSERT_TRUE(Query(browser_, 1, 2, "q-fail"));
  ASSERT_TRUE(test::RunOn(TID_IO, [&] { h.CallbackFor("q-fail")->Failure(7, "no"); }));
  EXPECT_EQ(Sent(browser_), (std::vector<std::string>{"cefQueryMsg(1,2,false,7,\"no\")"}));

  // Answered inside OnQuery on UI: still sent, after the query was taken.
  class Immediate : public CefMessageRouterBrowserSide::Handler {
   public:
    bool OnQuery(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, int64, const CefString& request, bool,
                 CefRefPtr<Callback> callback) override {
      callback->Success("now:" + request.ToString());
      return true;
    }
  } immediate;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { router_->AddHandler(&immediate, true); }));
  ASSERT_TRUE(Query(browser_, 4, 9, "x"));
  EXPECT_EQ(Sent(browser_), (std::vector<std::string>{"cefQueryMsg(4,9,true,\"now:x\")"}));
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { router_->RemoveHandler(&immediate); }));

  // Persistent: any number of successes; a failure ends it.
  ASSERT_TRUE(Query(browser_, 2, 1, "q-stream", true));
  CefRefPtr<CefMessageRouterBrowserSide::Callback> stream = h.CallbackFor("q-stream");
  stream->Success("s1");
  stream->Success("s2");
  EXPECT_EQ(Pending(browser_, &h), 1);
  stream->Failure(5, "end");
  stream->Success("s3");
  EXPECT_EQ(Sent(browser_), (std::vector<std::string>{"cefQueryMsg(2,1,true,\"s1\")", "cefQueryMsg(2,1,true,\"s2\")",
                                                      "cefQueryMsg(2,1,false,5,\"end\")"}));
  EXPECT_EQ(Pending(browser_, &h), 0);

  // A callback that outlives the router answers nothing and does not crash.
  ASSERT_TRUE(Query(browser_, 2, 2, "q-orphan"));
  router_ = nullptr;
  h.CallbackFor("q-orphan")->Success("late");
  EXPECT_TRUE(Sent(browser_).empty());
  EXPECT_EQ(h.off_ui_, 0);
}

// Three pending queries: browser 1 main frame (context 1), browser 1 sub-frame (context 2),
// browser 2 (context 1). Each way of ending queries ends exactly the ones it concerns.
TEST_F(MessageRouterBrowser, CancellationTable) {
  struct Case {
    const char* name;
    std::function<void(CefMessageRouterBrowserSide*, FakeBrowser*, FakeBrowser*, TestHandler*, TestHandler*)> act;
    std::set<std::string> canceled;
    std::vector<std::string> told_renderer_1;  // cancel messages browser 1's renderer gets
    std::vector<std::string> told_renderer_2 = {};
  };
  typedef CefMessageRouterBrowserSide R;
  const std::vector<Case> cases = {
      {"page cancels one query",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) {
         r->OnProcessMessageReceived(b1, PID_RENDERER, CancelMessage(1, 1));
       },
       {"one:main"},
       {}},
      {"page context released",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) {
         r->OnProcessMessageReceived(b1, PID_RENDERER, CancelMessage(2, -1));
       },
       {"two:sub"},
       {}},
      {"page cancels an unknown id",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) {
         r->OnProcessMessageReceived(b1, PID_RENDERER, CancelMessage(1, 2));
       },
       {},
       {}},
      {"sub-frame navigates",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) { r->OnBeforeBrowse(b1, b1->GetFrame(11)); },
       {"two:sub"},
       {"cefQueryCancelMsg(2,1)"}},
      {"frame without queries navigates",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) { r->OnBeforeBrowse(b1, b1->GetFrame(12)); },
       {},
       {}},
      {"renderer crashed",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) { r->OnRenderProcessTerminated(b1); },
       {"one:main", "two:sub"},
       {}},
      {"other browser closed",
       [](R* r, FakeBrowser*, FakeBrowser* b2, TestHandler*, TestHandler*) { r->OnBeforeClose(b2); },
       {"one:other"},
       {}},
      {"CancelPending of a browser",
       [](R* r, FakeBrowser* b1, FakeBrowser*, TestHandler*, TestHandler*) { r->CancelPending(b1, nullptr); },
       {"one:main", "two:sub"},
       {"cefQueryCancelMsg(1,1)", "cefQueryCancelMsg(2,1)"}},
      {"CancelPending of a handler everywhere",
       [](R* r, FakeBrowser*, FakeBrowser*, TestHandler* h1, TestHandler*) { r->CancelPending(nullptr, h1); },
       {"one:main", "one:other"},
       {"cefQueryCancelMsg(1,1)"},
       {"cefQueryCancelMsg(1,1)"}},
      {"CancelPending of everything",
       [](R* r, FakeBrowser*, FakeBrowser*, TestHandler*, TestHandler*) { r->CancelPending(nullptr, nullptr); },
       {"one:main", "two:sub", "one:other"},
       {"cefQueryCancelMsg(1,1)", "cefQueryCancelMsg(2,1)"},
       {"cefQueryCancelMsg(1,1)"}},
      {"RemoveHandler",
       [](R* r, FakeBrowser*, FakeBrowser*, TestHandler*, TestHandler* h2) { EXPECT_TRUE(r->RemoveHandler(h2)); },
       {"two:sub"},
       {"cefQueryCancelMsg(2,1)"}},
  };
  browser_->AddFrame(12);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    router_ = CefMessageRouterBrowserSide::Create(CefMessageRouterConfig());
    TestHandler h1("h1", "one"), h2("h2", "two");
    ASSERT_TRUE(AddHandler(&h1, false));
    ASSERT_TRUE(AddHandler(&h2, false));
    ASSERT_TRUE(Query(browser_, 1, 1, "one:main", false, 10));
    ASSERT_TRUE(Query(browser_, 2, 1, "two:sub", true, 11));
    ASSERT_TRUE(Query(other_, 1, 1, "one:other"));
    EXPECT_EQ(Pending(nullptr, nullptr), 3);
    h1.TakeEvents();
    h2.TakeEvents();

    ASSERT_TRUE(test::RunOn(TID_UI, [&] { c.act(router_.get(), browser_.get(), other_.get(), &h1, &h2); }));
    std::set<std::string> canceled;
    for (auto* h : {&h1, &h2}) {
      for (const std::string& e : h->TakeEvents()) {
        const size_t at = e.find(":canceled:");
        ASSERT_NE(at, std::string::npos) << e;
        canceled.insert(e.substr(at + 10, e.rfind(":frame") - at - 10));
      }
    }
    EXPECT_EQ(canceled, c.canceled);
    EXPECT_EQ(Sent(browser_), c.told_renderer_1);
    EXPECT_EQ(Sent(other_), c.told_renderer_2);
    EXPECT_EQ(Pending(nullptr, nullptr), static_cast<int>(3 - c.canceled.size()));

    // Ended queries take no answers; the others still do.
    for (const char* request : {"one:main", "one:other"})
      h1.CallbackFor(request)->Success("late");
    h2.CallbackFor("two:sub")->Success("late");
    std::vector<std::string> answered = Sent(browser_);
    for (const std::string& s : Sent(other_))
      answered.push_back(s);
    EXPECT_EQ(answered.size(), 3 - c.canceled.size());
    EXPECT_EQ(h1.off_ui_ + h2.off_ui_, 0);
  }
}

TEST_F(MessageRouterBrowser, TakesOnlyItsOwnWellFormedMessagesOnUI) {
  TestHandler h("h", "q");
  ASSERT_TRUE(AddHandler(&h, false));

  // Not the router's: another name, or not from a renderer.
  EXPECT_FALSE(Deliver(browser_, CefProcessMessage::Create("OtherMsg")));
  bool handled = true;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    handled = router_->OnProcessMessageReceived(browser_.get(), PID_BROWSER,
                                                QueryMessage("cefQueryMsg", 1, 1, "q", false, 10));
  }));
  EXPECT_FALSE(handled);

  // The router's names but malformed, or from a frame that is gone: taken and dropped.
  CefRefPtr<CefProcessMessage> short_query = QueryMessage("cefQueryMsg", 1, 1, "q", false, 10);
  short_query->GetArgumentList()->SetSize(4);
  EXPECT_TRUE(Deliver(browser_, short_query));
  CefRefPtr<CefProcessMessage> int_request = QueryMessage("cefQueryMsg", 1, 1, "q", false, 10);
  int_request->GetArgumentList()->SetInt(2, 5);
  EXPECT_TRUE(Deliver(browser_, int_request));
  EXPECT_TRUE(Deliver(browser_, CefProcessMessage::Create("cefQueryCancelMsg")));
  EXPECT_TRUE(Deliver(browser_, QueryMessage("cefQueryMsg", 1, 1, "q", false, 999)));
  EXPECT_TRUE(h.Events().empty());
  EXPECT_TRUE(Sent(browser_).empty());
  EXPECT_EQ(Pending(nullptr, nullptr), 0);

  // A large frame identifier survives the trip.
  const int64 big = (static_cast<int64>(7) << 32) + 5;
  browser_->AddFrame(big);
  EXPECT_TRUE(Deliver(browser_, QueryMessage("cefQueryMsg", 1, 1, "q-big", false, big)));
  EXPECT_EQ(h.TakeEvents(), (std::vector<std::string>{"h:query:q-big:frame" + std::to_string(big)}));

  // Off the UI thread nothing happens.
  handled = true;
  int pending = -1;
  ASSERT_TRUE(test::RunOn(TID_IO, [&] {
    handled = router_->OnProcessMessageReceived(browser_.get(), PID_RENDERER,
                                                QueryMessage("cefQueryMsg", 1, 2, "q-io", false, 10));
    pending = router_->GetPendingCount(nullptr, nullptr);
  }));
  EXPECT_FALSE(handled);
  EXPECT_EQ(pending, 0);
  EXPECT_TRUE(h.Events().empty());

  // Other page function names give other message names.
  CefMessageRouterConfig config;
  config.js_query_function = "appQuery";
  config.js_cancel_function = "appQueryCancel";
  router_ = CefMessageRouterBrowserSide::Create(config);
  ASSERT_TRUE(AddHandler(&h, false));
  EXPECT_FALSE(Query(browser_, 1, 3, "q-default-name"));
  EXPECT_TRUE(Deliver(browser_, QueryMessage("appQueryMsg", 1, 3, "q-app", false, 10)));
  EXPECT_EQ(h.TakeEvents(), (std::vector<std::string>{"h:query:q-app:frame10"}));
  config.js_cancel_function = "appQuery";
  EXPECT_FALSE(CefMessageRouterBrowserSide::Create(config));
}

// --- Renderer side: the test's thread plays the renderer's main thread ---

// A page function that records its calls ("name(args)") and whether it ran inside `home`.
class PageCallback : public CefV8Handler {
 public:
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    std::string call = name.ToString() + "(";
    for (size_t i = 0; i < arguments.size(); ++i) {
      if (i)
        call += ",";
      if (arguments[i]->IsInt())
        call += std::to_string(arguments[i]->GetIntValue());
      else if (arguments[i]->IsString())
        call += "\"" + arguments[i]->GetStringValue().ToString() + "\"";
      else
        call += "?";
    }
    calls.push_back(call + ")");
    CefRefPtr<CefV8Context> current = CefV8Context::GetCurrentContext();
    in_home.push_back(home && current && current->IsSame(home));
    if (then)
      then();
    return true;
  }
  CefRefPtr<CefV8Context> home;
  std::function<void()> then;
  std::vector<std::string> calls;
  std::vector<bool> in_home;
  IMPLEMENT_REFCOUNTING(PageCallback);
};

// What a line of page script gave.
struct ScriptResult {
  bool threw = false;
  std::string exception;
  CefRefPtr<CefV8Value> value;
};

CefRefPtr<CefProcessMessage> AnswerMessage(int context, int request_id, bool success, const std::string& response,
                                           int code = 0) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("cefQueryMsg");
  CefRefPtr<CefListValue> args = message->GetArgumentList();
  args->SetInt(0, context);
  args->SetInt(1, request_id);
  args->SetBool(2, success);
  if (success) {
    args->SetString(3, response);
  } else {
    args->SetInt(3, code);
    args->SetString(4, response);
  }
  return message;
}

class MessageRouterRenderer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cefengine::AdoptCurrentThread(TID_RENDERER));
    router_ = CefMessageRouterRendererSide::Create(CefMessageRouterConfig());
    ASSERT_TRUE(router_);
    browser_ = new FakeBrowser(1, 10);
    browser_->AddFrame(11);
    other_ = new FakeBrowser(2, 20);
  }
  void TearDown() override {
    for (int64 id : cefengine::LiveContextIds(0))
      cefengine::ReleaseFrameContext(id);
    router_ = nullptr;
    cefengine::StopThread(TID_RENDERER, 1000);
  }

  // A document commits in the frame: its context is made and handed to the router entered.
  CefRefPtr<CefV8Context> Open(CefRefPtr<FakeBrowser> browser, int64 frame_id) {
    CefRefPtr<CefFrame> frame = browser->GetFrame(frame_id);
    CefRefPtr<CefV8Context> context = cefengine::CreateFrameContext(next_context_++, browser.get(), frame);
    EXPECT_TRUE(context);
    if (!context)
      return nullptr;
    EXPECT_TRUE(context->Enter());
    router_->OnContextCreated(browser.get(), frame, context);
    context->Exit();
    return context;
  }
  // The document goes: the router hears of it, then the context dies.
  void Close(CefRefPtr<CefV8Context> context) {
    router_->OnContextReleased(context->GetBrowser(), context->GetFrame(), context);
    EXPECT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(context)));
  }

  // Runs `function(args)` as page script of `context` would; `make_args` runs inside the context.
  ScriptResult Call(CefRefPtr<CefV8Context> context, const std::string& function,
                    const std::function<CefV8ValueList()>& make_args) {
    ScriptResult result;
    CefRefPtr<CefV8Value> fn;
    CefV8ValueList args;
    EXPECT_TRUE(context->Enter());
    fn = context->GetGlobal()->GetValue(function);
    args = make_args();
    context->Exit();
    if (!fn || !fn->IsFunction()) {
      ADD_FAILURE() << function << " is not installed";
      return result;
    }
    result.value = fn->ExecuteFunctionWithContext(context, nullptr, args);
    result.threw = fn->HasException();
    if (result.threw)
      result.exception = fn->GetException()->GetMessage().ToString();
    return result;
  }

  // cefQuery({request, persistent, onSuccess, onFailure}); absent members stay out.
  ScriptResult Query(CefRefPtr<CefV8Context> context, const std::string& request, bool persistent = false,
                     CefRefPtr<PageCallback> on_success = nullptr, CefRefPtr<PageCallback> on_failure = nullptr) {
    return Call(context, "cefQuery", [&] {
      CefRefPtr<CefV8Value> options = CefV8Value::CreateObject(nullptr);
      options->SetValue("request", CefV8Value::CreateString(request), V8_PROPERTY_ATTRIBUTE_NONE);
      if (persistent)
        options->SetValue("persistent", CefV8Value::CreateBool(true), V8_PROPERTY_ATTRIBUTE_NONE);
      if (on_success)
        options->SetValue("onSuccess", CefV8Value::CreateFunction("onSuccess", on_success.get()),
                          V8_PROPERTY_ATTRIBUTE_NONE);
      if (on_failure)
        options->SetValue("onFailure", CefV8Value::CreateFunction("onFailure", on_failure.get()),
                          V8_PROPERTY_ATTRIBUTE_NONE);
      return CefV8ValueList{options};
    });
  }
  ScriptResult CancelQuery(CefRefPtr<CefV8Context> context, int request_id) {
    return Call(context, "cefQueryCancel", [&] { return CefV8ValueList{CefV8Value::CreateInt(request_id)}; });
  }
  bool FromBrowser(CefRefPtr<FakeBrowser> browser, CefRefPtr<CefProcessMessage> message) {
    return router_->OnProcessMessageReceived(browser.get(), PID_BROWSER, message);
  }

  CefRefPtr<CefMessageRouterRendererSide> router_;
  CefRefPtr<FakeBrowser> browser_;
  CefRefPtr<FakeBrowser> other_;
  int64 next_context_ = 500;
};

TEST_F(MessageRouterRenderer, QueryArgumentsAreValidatedAsPageScriptGivesThem) {
  CefRefPtr<CefV8Context> context = Open(browser_, 10);
  typedef std::function<CefV8ValueList()> Args;
  auto options = [](std::vector<std::pair<const char*, CefRefPtr<CefV8Value>>> members) {
    CefRefPtr<CefV8Value> object = CefV8Value::CreateObject(nullptr);
    for (auto& m : members)
      object->SetValue(m.first, m.second, V8_PROPERTY_ATTRIBUTE_NONE);
    return object;
  };
  auto str = [](const char* s) { return CefV8Value::CreateString(s); };
  auto fn = [] { return CefV8Value::CreateFunction("f", new PageCallback()); };
  struct Case {
    const char* name;
    Args args;
  };
  const std::vector<Case> invalid = {
      {"no argument", [] { return CefV8ValueList{}; }},
      {"a string", [&] { return CefV8ValueList{str("x")}; }},
      {"no request", [&] { return CefV8ValueList{options({{"persistent", CefV8Value::CreateBool(true)}})}; }},
      {"number request", [&] { return CefV8ValueList{options({{"request", CefV8Value::CreateInt(1)}})}; }},
      {"null request", [&] { return CefV8ValueList{options({{"request", CefV8Value::CreateNull()}})}; }},
      {"string persistent",
       [&] { return CefV8ValueList{options({{"request", str("x")}, {"persistent", str("yes")}})}; }},
      {"string onSuccess", [&] { return CefV8ValueList{options({{"request", str("x")}, {"onSuccess", str("f")}})}; }},
      {"number onFailure",
       [&] { return CefV8ValueList{options({{"request", str("x")}, {"onFailure", CefV8Value::CreateInt(2)}})}; }},
      {"two arguments", [&] { return CefV8ValueList{options({{"request", str("x")}}), str("y")}; }},
  };
  for (const Case& c : invalid) {
    SCOPED_TRACE(c.name);
    ScriptResult r = Call(context, "cefQuery", c.args);
    EXPECT_TRUE(r.threw);
    EXPECT_EQ(r.exception, "Invalid arguments");
  }
  EXPECT_TRUE(browser_->TakeSent().empty());
  EXPECT_EQ(router_->GetPendingCount(nullptr, nullptr), 0);

  // Valid forms give the request id; each sends one query to the browser.
  ScriptResult plain = Call(context, "cefQuery", [&] { return CefV8ValueList{options({{"request", str("a")}})}; });
  ScriptResult full = Call(context, "cefQuery", [&] {
    return CefV8ValueList{options(
        {{"request", str("b")}, {"persistent", CefV8Value::CreateBool(true)}, {"onSuccess", fn()}, {"onFailure", fn()}})};
  });
  ScriptResult undefined_members = Call(context, "cefQuery", [&] {
    return CefV8ValueList{options({{"request", str("")}, {"onSuccess", CefV8Value::CreateUndefined()}})};
  });
  for (const ScriptResult* r : {&plain, &full, &undefined_members}) {
    EXPECT_FALSE(r->threw) << r->exception;
    ASSERT_TRUE(r->value);
    EXPECT_TRUE(r->value->IsInt());
  }
  EXPECT_EQ(plain.value->GetIntValue(), 1);
  EXPECT_EQ(full.value->GetIntValue(), 2);
  EXPECT_EQ(undefined_members.value->GetIntValue(), 3);
  EXPECT_EQ(Describe(browser_->TakeSent(), PID_BROWSER),
            (std::vector<std::string>{"cefQueryMsg(1,1,\"a\",false,10,0)", "cefQueryMsg(1,2,\"b\",true,10,0)",
                                      "cefQueryMsg(1,3,\"\",false,10,0)"}));
  EXPECT_EQ(router_->GetPendingCount(browser_.get(), context), 3);

  // cefQueryCancel wants one integer.
  for (const Args& args : std::vector<Args>{[] { return CefV8ValueList{}; }, [&] { return CefV8ValueList{str("1")}; }}) {
    ScriptResult r = Call(context, "cefQueryCancel", args);
    EXPECT_TRUE(r.threw);
    EXPECT_EQ(r.exception, "Invalid arguments");
  }
  EXPECT_EQ(router_->GetPendingCount(nullptr, nullptr), 3);
}

TEST_F(MessageRouterRenderer, RequestIdsCountPerContextAndQueriesCarryTheirFrame) {
  const int64 big_frame = (static_cast<int64>(3) << 32) + 1;
  browser_->AddFrame(big_frame);
  CefRefPtr<CefV8Context> main = Open(browser_, 10);
  CefRefPtr<CefV8Context> sub = Open(browser_, big_frame);
  CefRefPtr<CefV8Context> elsewhere = Open(other_, 20);
  EXPECT_EQ(Query(main, "m1").value->GetIntValue(), 1);
  EXPECT_EQ(Query(main, "m2").value->GetIntValue(), 2);
  EXPECT_EQ(Query(sub, "s1").value->GetIntValue(), 1);
  EXPECT_EQ(Query(elsewhere, "e1").value->GetIntValue(), 1);
  EXPECT_EQ(Describe(browser_->TakeSent(), PID_BROWSER),
            (std::vector<std::string>{"cefQueryMsg(1,1,\"m1\",false,10,0)", "cefQueryMsg(1,2,\"m2\",false,10,0)",
                                      "cefQueryMsg(2,1,\"s1\",false,1,3)"}));
  EXPECT_EQ(Describe(other_->TakeSent(), PID_BROWSER), (std::vector<std::string>{"cefQueryMsg(3,1,\"e1\",false,20,0)"}));

  EXPECT_EQ(router_->GetPendingCount(nullptr, nullptr), 4);
  EXPECT_EQ(router_->GetPendingCount(browser_.get(), nullptr), 3);
  EXPECT_EQ(router_->GetPendingCount(browser_.get(), main), 2);
  EXPECT_EQ(router_->GetPendingCount(other_.get(), nullptr), 1);
  // Both given: the context's queries only when it is the browser's.
  EXPECT_EQ(router_->GetPendingCount(other_.get(), main), 0);
  EXPECT_EQ(router_->GetPendingCount(other_.get(), elsewhere), 1);
  // A fresh wrapper of the same context counts the same.
  EXPECT_EQ(router_->GetPendingCount(nullptr, cefengine::FindContext(cefengine::ContextId(sub))), 1);

  // A new document of the frame starts counting again.
  Close(main);
  CefRefPtr<CefV8Context> next = Open(browser_, 10);
  EXPECT_EQ(Query(next, "n1").value->GetIntValue(), 1);
}

TEST_F(MessageRouterRenderer, AnswersRunThePageCallbacksInsideTheQueryingContext) {
  CefRefPtr<CefV8Context> main = Open(browser_, 10);
  CefRefPtr<CefV8Context> sub = Open(browser_, 11);
  CefRefPtr<PageCallback> ok = new PageCallback(), failed = new PageCallback();
  ok->home = sub;
  failed->home = sub;
  Query(main, "unrelated", false, new PageCallback(), new PageCallback());
  ASSERT_EQ(Query(sub, "once", false, ok, failed).value->GetIntValue(), 1);
  ASSERT_EQ(Query(sub, "fails", false, ok, failed).value->GetIntValue(), 2);
  ASSERT_EQ(Query(sub, "stream", true, ok, failed).value->GetIntValue(), 3);
  EXPECT_EQ(router_->GetPendingCount(nullptr, sub), 3);

  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 1, true, "r1")));
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 1, true, "again")));  // one-shot: already ended
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 2, false, "bad", 5)));
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 3, true, "s1")));
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 3, true, "s2")));
  EXPECT_EQ(router_->GetPendingCount(nullptr, sub), 1);  // the persistent one stays
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 3, false, "done", -3)));
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 3, true, "late")));
  // Not for this router or not for these contexts: no callback.
  EXPECT_FALSE(router_->OnProcessMessageReceived(browser_.get(), PID_RENDERER, AnswerMessage(2, 3, true, "x")));
  EXPECT_FALSE(FromBrowser(browser_, CefProcessMessage::Create("OtherMsg")));
  EXPECT_TRUE(FromBrowser(other_, AnswerMessage(2, 3, true, "wrong browser")));
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(9, 1, true, "no such context")));

  EXPECT_EQ(ok->calls, (std::vector<std::string>{"onSuccess(\"r1\")", "onSuccess(\"s1\")", "onSuccess(\"s2\")"}));
  EXPECT_EQ(failed->calls, (std::vector<std::string>{"onFailure(5,\"bad\")", "onFailure(-3,\"done\")"}));
  EXPECT_EQ(ok->in_home, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(failed->in_home, (std::vector<bool>{true, true}));
  EXPECT_FALSE(CefV8Context::InContext());
  EXPECT_EQ(router_->GetPendingCount(nullptr, sub), 0);
  EXPECT_EQ(router_->GetPendingCount(nullptr, main), 1);

  // A callback may start the next query at once.
  CefRefPtr<PageCallback> chained = new PageCallback();
  chained->home = main;
  chained->then = [&] { Query(main, "from callback"); };
  ASSERT_EQ(Query(main, "first", false, chained).value->GetIntValue(), 2);
  browser_->TakeSent();
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(1, 2, true, "go")));
  EXPECT_EQ(chained->calls, (std::vector<std::string>{"onSuccess(\"go\")"}));
  EXPECT_EQ(Describe(browser_->TakeSent(), PID_BROWSER),
            (std::vector<std::string>{"cefQueryMsg(1,3,\"from callback\",false,10,0)"}));
}

TEST_F(MessageRouterRenderer, QueriesEndByPageCancelBrowserCancelAndContextRelease) {
  CefRefPtr<CefV8Context> main = Open(browser_, 10);
  CefRefPtr<CefV8Context> sub = Open(browser_, 11);
  CefRefPtr<PageCallback> ok = new PageCallback();
  Query(main, "a", false, ok);
  Query(main, "b", true, ok);
  Query(sub, "c", false, ok);
  browser_->TakeSent();

  // The page cancels: true once, the browser is told.
  ScriptResult first = CancelQuery(main, 1);
  ScriptResult second = CancelQuery(main, 1);
  ASSERT_TRUE(first.value && second.value);
  EXPECT_TRUE(first.value->GetBoolValue());
  EXPECT_FALSE(second.value->GetBoolValue());
  EXPECT_EQ(Describe(browser_->TakeSent(), PID_BROWSER), (std::vector<std::string>{"cefQueryCancelMsg(1,1)"}));

  // The browser side dropped a query: forgotten without a callback.
  CefRefPtr<CefProcessMessage> dropped = CefProcessMessage::Create("cefQueryCancelMsg");
  dropped->GetArgumentList()->SetInt(0, 1);
  dropped->GetArgumentList()->SetInt(1, 2);
  EXPECT_TRUE(FromBrowser(browser_, dropped));
  EXPECT_EQ(router_->GetPendingCount(nullptr, main), 0);
  EXPECT_TRUE(CancelQuery(main, 2).value->IsBool());
  EXPECT_FALSE(CancelQuery(main, 2).value->GetBoolValue());

  // The sub-frame's document goes: the browser hears that all of its queries ended.
  Close(sub);
  EXPECT_EQ(Describe(browser_->TakeSent(), PID_BROWSER), (std::vector<std::string>{"cefQueryCancelMsg(2,-1)"}));
  EXPECT_EQ(router_->GetPendingCount(nullptr, nullptr), 0);
  // A context without queries goes quietly.
  Close(main);
  EXPECT_TRUE(browser_->TakeSent().empty());

  // Late answers for all of them change nothing.
  for (int id : {1, 2})
    EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(1, id, true, "late")));
  EXPECT_TRUE(FromBrowser(browser_, AnswerMessage(2, 1, true, "late")));
  EXPECT_TRUE(ok->calls.empty());
}

TEST_F(MessageRouterRenderer, PageFunctionsAreInstalledReadOnlyUnderTheConfiguredNames) {
  CefRefPtr<CefV8Context> context = Open(browser_, 10);
  ASSERT_TRUE(context->Enter());
  CefRefPtr<CefV8Value> global = context->GetGlobal();
  ASSERT_TRUE(global->GetValue("cefQuery") && global->GetValue("cefQuery")->IsFunction());
  ASSERT_TRUE(global->GetValue("cefQueryCancel") && global->GetValue("cefQueryCancel")->IsFunction());
  EXPECT_EQ(global->GetValue("cefQuery")->GetFunctionName().ToString(), "cefQuery");
  EXPECT_FALSE(global->SetValue("cefQuery", CefV8Value::CreateString("replaced"), V8_PROPERTY_ATTRIBUTE_NONE));
  EXPECT_TRUE(global->GetValue("cefQuery")->IsFunction());
  context->Exit();

  CefMessageRouterConfig config;
  config.js_query_function = "appQuery";
  config.js_cancel_function = "appCancel";
  router_ = CefMessageRouterRendererSide::Create(config);
  CefRefPtr<CefV8Context> app = Open(browser_, 11);
  ScriptResult r = Call(app, "appQuery", [] {
    CefRefPtr<CefV8Value> options = CefV8Value::CreateObject(nullptr);
    options->SetValue("request", CefV8Value::CreateString("hi"), V8_PROPERTY_ATTRIBUTE_NONE);
    return CefV8ValueList{options};
  });
  EXPECT_FALSE(r.threw);
  EXPECT_EQ(Describe(browser_->TakeSent(), PID_BROWSER), (std::vector<std::string>{"appQueryMsg(1,1,\"hi\",false,11,0)"}));
  // The default names' messages are not this router's.
  EXPECT_FALSE(FromBrowser(browser_, AnswerMessage(1, 1, true, "x")));
  ASSERT_TRUE(app->Enter());
  EXPECT_FALSE(app->GetGlobal()->HasValue("cefQuery"));
  app->Exit();
}

}  // namespace
