// Browsers created the way the product creates them (CefBrowserHost::CreateBrowser after CefInitialize), whose
// renderer is a real child process: cef_subprocess_probe.exe beside the test executable (subprocess_probe.cpp says
// what its render process handler does). Pages come from the test network table.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "engine/renderer_launch.h"
#include "engine/renderer_link.h"
#include "include/cef_app.h"
#include "testing/network_testing.h"
#include "testing/page_script.h"
#include "testing/renderer_testing.h"
#include "tests/cef/probe_paths.h"

using namespace browser_test;
using cefengine::JournalEntry;

namespace {

// Renderer launches under Wine take up to a second, far more on a loaded machine.
const int kWaitMs = 20000;
const wchar_t kPageUrl[] = L"http://e2e.test/page.html";
const wchar_t kOtherUrl[] = L"http://e2e.test/other.html";

struct ReceivedMessage {
  std::string name;
  CefRefPtr<CefListValue> args;
  bool on_ui = false;
  bool from_renderer = false;
  bool read_only = false;
};

// The test client, keeping every process message it is given (on top of the event texts of TestClient).
class E2eClient : public TestClient {
 public:
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    ReceivedMessage received;
    received.name = message->GetName().ToString();
    received.args = message->GetArgumentList();
    received.on_ui = CefCurrentlyOn(TID_UI);
    received.from_renderer = source_process == PID_RENDERER;
    received.read_only = message->IsReadOnly();
    {
      std::lock_guard<std::mutex> lock(messages_mutex_);
      messages_.push_back(received);
    }
    return TestClient::OnProcessMessageReceived(browser, source_process, message);
  }

  std::vector<ReceivedMessage> Messages(const std::string& name) {
    std::lock_guard<std::mutex> lock(messages_mutex_);
    std::vector<ReceivedMessage> out;
    for (const auto& m : messages_)
      if (m.name == name)
        out.push_back(m);
    return out;
  }
  bool WaitMessages(const std::string& name, size_t count) {
    return test::WaitFor([&] { return Messages(name).size() >= count; }, kWaitMs);
  }
  bool Wait(const std::string& prefix, int count = 1) {
    return test::WaitFor([&] { return Count(prefix) >= count; }, kWaitMs);
  }

 private:
  std::mutex messages_mutex_;
  std::vector<ReceivedMessage> messages_;
};

// Sequence number of the first journal entry of `kind` recorded by `process`; 0 when there is none.
uint64_t SeqOf(const std::string& kind, char process) {
  for (const auto& entry : test::Journal())
    if (entry.kind == kind && entry.process == process)
      return entry.seq;
  return 0;
}

// True when no process with `pid` runs any more.
bool ProcessGone(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process)
    return true;
  bool gone = WaitForSingleObject(process, kWaitMs) == WAIT_OBJECT_0;
  CloseHandle(process);
  return gone;
}

class BrowserSubprocess : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnableJournal();
    test::ResetNetwork();
    test::SetHttpResponse(kPageUrl, 200, L"text/html", "<html><head><title>Page</title></head><body>p</body></html>");
    test::SetHttpResponse(kOtherUrl, 200, L"text/html", "<html><head><title>Other</title></head></html>");
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.windowless_rendering_enabled = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    CefString(&settings.browser_subprocess_path) = probe_paths::SubprocessProbePath();
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
    ASSERT_EQ(cefengine::GetRendererMode(), cefengine::RendererMode::kSubProcess);
  }

  void TearDown() override {
    // Every renderer the test started has ended before the next test runs.
    EXPECT_TRUE(probe_paths::CloseBrowsersAndShutdown(kWaitMs));
    test::ResetNetwork();
  }

  // Creates a browser on `url` as the product does and waits until its first load ended; null when it did not.
  CefRefPtr<CefBrowser> Open(CefRefPtr<E2eClient> client, const std::wstring& url,
                             const CefWindowInfo& info = Windowless(nullptr)) {
    if (!CefBrowserHost::CreateBrowser(info, client.get(), url, CefBrowserSettings(), nullptr))
      return nullptr;
    if (!client->Wait("OnLoadingStateChange false"))
      return nullptr;
    return client->CreatedAt(0);
  }

  // An "echo" round trip through the browser's renderer: the reply's arguments, null when none came.
  CefRefPtr<CefListValue> Echo(CefRefPtr<E2eClient> client, CefRefPtr<CefBrowser> browser, int value) {
    size_t before = client->Messages("echo-reply").size();
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("echo");
    message->GetArgumentList()->SetInt(0, value);
    if (!browser->SendProcessMessage(PID_RENDERER, message) || !client->WaitMessages("echo-reply", before + 1))
      return nullptr;
    return client->Messages("echo-reply")[before].args;
  }
};

TEST_F(BrowserSubprocess, ChildLaunchedAsRendererRunsTheRenderCallbacksInOrder) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl);
  ASSERT_TRUE(browser);
  EXPECT_EQ(client->Count("OnLoadEnd main 200"), 1);
  EXPECT_EQ(client->Count("OnRenderViewReady"), 1);
  const int id = browser->GetIdentifier();
  const int64 main_id = browser->GetMainFrame()->GetIdentifier();

  // In the child, in this order, on its renderer thread, about this browser and its main frame.
  const std::vector<std::string> order = {"OnRenderThreadCreated", "OnWebKitInitialized", "OnBrowserCreated",
                                          "OnContextCreated"};
  std::vector<std::string> seen;
  for (const auto& entry : test::Journal()) {
    if (std::find(order.begin(), order.end(), entry.kind) == order.end())
      continue;
    EXPECT_EQ(entry.process, 'R') << entry.kind;
    EXPECT_EQ(entry.thread, "RENDERER") << entry.kind;
    if (entry.kind == "OnBrowserCreated" || entry.kind == "OnContextCreated") {
      EXPECT_EQ(entry.browser, id) << entry.kind;
    }
    if (entry.kind == "OnContextCreated") {
      EXPECT_EQ(entry.frame, main_id);
    }
    seen.push_back(entry.kind);
  }
  EXPECT_EQ(seen, order);
  // The load went on only once the child had set up the document.
  const uint64_t load_start = SeqOf("OnLoadStart", 'B');
  const uint64_t context_created = SeqOf("OnContextCreated", 'R');
  const uint64_t frame_ready = SeqOf("FrameReady", 'B');
  const uint64_t load_end = SeqOf("OnLoadEnd", 'B');
  ASSERT_NE(load_start, 0u);
  EXPECT_LT(load_start, context_created);
  EXPECT_LT(context_created, frame_ready);
  EXPECT_LT(frame_ready, load_end);

  // The child is another process, started with the renderer's launch line.
  DWORD pid = test::RendererProcessId(browser);
  EXPECT_NE(pid, 0u);
  EXPECT_NE(pid, GetCurrentProcessId());
  std::vector<test::ChildProcess> children = test::ChildProcesses();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].pid, pid);
  EXPECT_EQ(children[0].browser_id, id);
  EXPECT_TRUE(children[0].connected);
  EXPECT_FALSE(children[0].ended);
  std::vector<JournalEntry> starts = test::EntriesOf("ChildProcessStart");
  ASSERT_EQ(starts.size(), 1u);
  ASSERT_FALSE(starts[0].args.empty());
  const std::string& line = starts[0].args[0];
  EXPECT_NE(line.find("cef_subprocess_probe.exe"), std::string::npos) << line;
  EXPECT_NE(line.find(" --type=renderer"), std::string::npos) << line;
  EXPECT_NE(line.find(" --cefengine-channel=\\\\.\\pipe\\cefengine-"), std::string::npos) << line;
  EXPECT_EQ(CefString(children[0].command_line).ToString(), line);

  // The child's own browser: same id, the committed URL, one frame, no host.
  ASSERT_TRUE(browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("frames")));
  ASSERT_TRUE(client->WaitMessages("frames-reply", 1));
  CefRefPtr<CefListValue> frames = client->Messages("frames-reply")[0].args;
  EXPECT_EQ(frames->GetInt(0), id);
  EXPECT_EQ(frames->GetString(1).ToWString(), kPageUrl);
  EXPECT_EQ(frames->GetInt(2), 1);
  EXPECT_TRUE(frames->GetBool(3));
  EXPECT_EQ(client->off_ui_calls(), 0);
}

// One argument of a process message: how the test sets it and checks the copy that came back.
struct TypedArg {
  const char* name;
  cef_value_type_t type;
  void (*set)(CefRefPtr<CefListValue> list, size_t index);
  bool (*same)(CefRefPtr<CefListValue> list, size_t index);
};

const unsigned char kBytes[] = {0, 1, 127, 128, 255};

const TypedArg kTypedArgs[] = {
    {"bool", VTYPE_BOOL, [](CefRefPtr<CefListValue> l, size_t i) { l->SetBool(i, true); },
     [](CefRefPtr<CefListValue> l, size_t i) { return l->GetBool(i); }},
    {"int min", VTYPE_INT, [](CefRefPtr<CefListValue> l, size_t i) { l->SetInt(i, INT_MIN); },
     [](CefRefPtr<CefListValue> l, size_t i) { return l->GetInt(i) == INT_MIN; }},
    {"int max", VTYPE_INT, [](CefRefPtr<CefListValue> l, size_t i) { l->SetInt(i, INT_MAX); },
     [](CefRefPtr<CefListValue> l, size_t i) { return l->GetInt(i) == INT_MAX; }},
    {"double", VTYPE_DOUBLE, [](CefRefPtr<CefListValue> l, size_t i) { l->SetDouble(i, -2.5e-3); },
     [](CefRefPtr<CefListValue> l, size_t i) { return l->GetDouble(i) == -2.5e-3; }},
    {"string", VTYPE_STRING,
     [](CefRefPtr<CefListValue> l, size_t i) { l->SetString(i, L"gr\u00fc\u00dfe \u2713 \"q\" \U0001F600"); },
     [](CefRefPtr<CefListValue> l, size_t i) {
       return l->GetString(i).ToWString() == L"gr\u00fc\u00dfe \u2713 \"q\" \U0001F600";
     }},
    {"empty string", VTYPE_STRING, [](CefRefPtr<CefListValue> l, size_t i) { l->SetString(i, ""); },
     [](CefRefPtr<CefListValue> l, size_t i) { return l->GetString(i).empty(); }},
    {"binary", VTYPE_BINARY,
     [](CefRefPtr<CefListValue> l, size_t i) { l->SetBinary(i, CefBinaryValue::Create(kBytes, sizeof(kBytes))); },
     [](CefRefPtr<CefListValue> l, size_t i) {
       CefRefPtr<CefBinaryValue> binary = l->GetBinary(i);
       unsigned char got[sizeof(kBytes) + 1] = {};
       return binary && binary->GetSize() == sizeof(kBytes) && binary->GetData(got, sizeof(got), 0) == sizeof(kBytes) &&
              memcmp(got, kBytes, sizeof(kBytes)) == 0;
     }},
    {"dictionary", VTYPE_DICTIONARY,
     [](CefRefPtr<CefListValue> l, size_t i) {
       CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
       dict->SetInt("n", 7);
       dict->SetString("s", "x");
       CefRefPtr<CefListValue> inner = CefListValue::Create();
       inner->SetBool(0, false);
       inner->SetNull(1);
       dict->SetList("inner", inner);
       l->SetDictionary(i, dict);
     },
     [](CefRefPtr<CefListValue> l, size_t i) {
       CefRefPtr<CefDictionaryValue> dict = l->GetDictionary(i);
       if (!dict || dict->GetSize() != 3 || dict->GetType("n") != VTYPE_INT || dict->GetInt("n") != 7 ||
           dict->GetString("s").ToString() != "x" || dict->GetType("inner") != VTYPE_LIST)
         return false;
       CefRefPtr<CefListValue> inner = dict->GetList("inner");
       return inner->GetSize() == 2 && inner->GetType(0) == VTYPE_BOOL && !inner->GetBool(0) &&
              inner->GetType(1) == VTYPE_NULL;
     }},
    {"list", VTYPE_LIST,
     [](CefRefPtr<CefListValue> l, size_t i) {
       CefRefPtr<CefListValue> list = CefListValue::Create();
       list->SetDouble(0, 1.5);
       list->SetString(1, "y");
       CefRefPtr<CefListValue> nested = CefListValue::Create();
       nested->SetInt(0, 9);
       list->SetList(2, nested);
       l->SetList(i, list);
     },
     [](CefRefPtr<CefListValue> l, size_t i) {
       CefRefPtr<CefListValue> list = l->GetList(i);
       return list && list->GetSize() == 3 && list->GetType(0) == VTYPE_DOUBLE && list->GetDouble(0) == 1.5 &&
              list->GetType(1) == VTYPE_STRING && list->GetString(1).ToString() == "y" &&
              list->GetType(2) == VTYPE_LIST && list->GetList(2)->GetSize() == 1 && list->GetList(2)->GetInt(0) == 9;
     }},
    {"null", VTYPE_NULL, [](CefRefPtr<CefListValue> l, size_t i) { l->SetNull(i); },
     [](CefRefPtr<CefListValue> l, size_t i) { return true; }},
};

TEST_F(BrowserSubprocess, ProcessMessagesComeBackFromTheChildWithTypesValuesAndOrder) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl);
  ASSERT_TRUE(browser);
  const size_t count = sizeof(kTypedArgs) / sizeof(kTypedArgs[0]);
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("echo");
  for (size_t i = 0; i < count; ++i)
    kTypedArgs[i].set(message->GetArgumentList(), i);
  ASSERT_TRUE(browser->SendProcessMessage(PID_RENDERER, message));

  // Many more, sent back to back: they come back in the order they left.
  const int kOrdered = 25;
  for (int k = 0; k < kOrdered; ++k) {
    CefRefPtr<CefProcessMessage> numbered = CefProcessMessage::Create("echo");
    numbered->GetArgumentList()->SetInt(0, k);
    numbered->GetArgumentList()->SetString(1, "m" + std::to_string(k));
    ASSERT_TRUE(browser->SendProcessMessage(PID_RENDERER, numbered));
  }
  ASSERT_TRUE(client->WaitMessages("echo-reply", 1 + kOrdered));

  std::vector<ReceivedMessage> replies = client->Messages("echo-reply");
  ASSERT_EQ(replies.size(), 1u + kOrdered);
  const ReceivedMessage& typed = replies[0];
  EXPECT_TRUE(typed.on_ui);
  EXPECT_TRUE(typed.from_renderer);
  EXPECT_TRUE(typed.read_only);
  ASSERT_EQ(typed.args->GetSize(), count);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(typed.args->GetType(i), kTypedArgs[i].type) << kTypedArgs[i].name;
    EXPECT_TRUE(kTypedArgs[i].same(typed.args, i)) << kTypedArgs[i].name;
  }
  for (int k = 0; k < kOrdered; ++k) {
    CefRefPtr<CefListValue> args = replies[1 + k].args;
    EXPECT_EQ(args->GetInt(0), k);
    EXPECT_EQ(args->GetString(1).ToString(), "m" + std::to_string(k));
    EXPECT_TRUE(replies[1 + k].on_ui);
  }
  EXPECT_EQ(client->off_ui_calls(), 0);
}

TEST_F(BrowserSubprocess, PageScriptRunsInTheChildsCurrentDocument) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl);
  ASSERT_TRUE(browser);
  const int id = browser->GetIdentifier();
  const int64 main_id = browser->GetMainFrame()->GetIdentifier();

  test::CallResult count =
      test::RendererCallOverChannel(id, main_id, "probeCount", {test::Str("a"), test::Int(2), test::Null()});
  EXPECT_TRUE(count.ran);
  EXPECT_FALSE(count.threw);
  EXPECT_EQ(count.value, "3");
  test::CallResult url = test::RendererGetOverChannel(id, main_id, "probeUrl");
  EXPECT_TRUE(url.ran);
  EXPECT_TRUE(url.read_only);
  EXPECT_EQ(url.value, CefString(kPageUrl).ToString());

  // The next document gets a context of its own; the old one was released first.
  browser->GetMainFrame()->LoadURL(kOtherUrl);
  ASSERT_TRUE(client->Wait("OnLoadingStateChange false", 2));
  EXPECT_EQ(client->Count("OnLoadEnd main 200"), 2);
  url = test::RendererGetOverChannel(id, browser->GetMainFrame()->GetIdentifier(), "probeUrl");
  EXPECT_TRUE(url.ran);
  EXPECT_EQ(url.value, CefString(kOtherUrl).ToString());
  std::vector<JournalEntry> released = test::EntriesOf("OnContextReleased");
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0].process, 'R');
  std::vector<JournalEntry> created = test::EntriesOf("OnContextCreated");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_LT(released[0].seq, created[1].seq);
  EXPECT_EQ(test::ChildProcesses().size(), 1u);  // the same child served both documents
}

TEST_F(BrowserSubprocess, FocusChangesReachTheChildsRenderHandlerWithTheirNode) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl);
  ASSERT_TRUE(browser);
  CefRefPtr<CefFrame> main = browser->GetMainFrame();
  struct Case {
    cefengine::FocusState state;
    bool node;
    bool editable;
    const char* journaled;
  } cases[] = {
      {cefengine::FOCUS_EDITABLE, true, true, "editable"},
      {cefengine::FOCUS_PLAIN, true, false, "plain"},
      {cefengine::FOCUS_NONE, false, false, "none"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    SCOPED_TRACE(cases[i].journaled);
    ASSERT_TRUE(test::FocusNode(browser, main, cases[i].state));
    ASSERT_TRUE(client->WaitMessages("focus-changed", i + 1));
    CefRefPtr<CefListValue> args = client->Messages("focus-changed")[i].args;
    EXPECT_EQ(args->GetString(0).ToWString(), kPageUrl);
    EXPECT_EQ(args->GetBool(1), cases[i].node);
    EXPECT_EQ(args->GetBool(2), cases[i].editable);
    std::vector<JournalEntry> seen = test::EntriesOf("OnFocusedNodeChanged");
    ASSERT_EQ(seen.size(), i + 1);
    EXPECT_EQ(seen[i].process, 'R');
    EXPECT_EQ(seen[i].frame, main->GetIdentifier());
    ASSERT_FALSE(seen[i].args.empty());
    EXPECT_EQ(seen[i].args[0], cases[i].journaled);
  }

  // Nothing is sent for a frame the browser does not have, nor once the browser closed.
  EXPECT_FALSE(test::FocusNode(browser, nullptr, cefengine::FOCUS_PLAIN));
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(test::WaitFor([] { return test::Browsers().empty(); }, kWaitMs));
  EXPECT_FALSE(test::FocusNode(browser, main, cefengine::FOCUS_PLAIN));
}

struct RelaunchCase {
  const char* name;
  bool reload;  // Reload(); otherwise LoadURL of another page
};

class BrowserSubprocessCrash : public BrowserSubprocess, public ::testing::WithParamInterface<RelaunchCase> {};

TEST_P(BrowserSubprocessCrash, CrashIsReportedOnUiAndTheNextNavigationStartsANewChild) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl);
  ASSERT_TRUE(browser);
  DWORD first = test::RendererProcessId(browser);
  ASSERT_NE(first, 0u);

  ASSERT_TRUE(test::CrashRenderer(browser));
  ASSERT_TRUE(client->Wait("OnRenderProcessTerminated"));
  EXPECT_EQ(client->EventsStartingWith("OnRenderProcessTerminated"),
            std::vector<std::string>{"OnRenderProcessTerminated " + std::to_string(TS_PROCESS_CRASHED)});
  EXPECT_EQ(client->off_ui_calls(), 0);
  // The browser lives on, without a renderer.
  EXPECT_EQ(client->Count("OnBeforeClose"), 0);
  test::BrowserState state = test::BrowserInfo(browser);
  EXPECT_TRUE(state.known);
  EXPECT_FALSE(state.closed);
  ASSERT_TRUE(test::WaitFor(probe_paths::AllChildrenEnded, kWaitMs));
  EXPECT_EQ(test::ChildProcesses()[0].exit_code, cefengine::kRendererCrashExitCode);
  EXPECT_TRUE(ProcessGone(first));
  EXPECT_FALSE(browser->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("echo")));

  const std::wstring url = GetParam().reload ? kPageUrl : kOtherUrl;
  if (GetParam().reload)
    browser->Reload();
  else
    browser->GetMainFrame()->LoadURL(url);
  ASSERT_TRUE(client->Wait("OnLoadingStateChange false", 2));
  EXPECT_EQ(client->Count("OnLoadEnd main 200"), 2);
  EXPECT_EQ(test::EntriesOf("RendererRelaunch").size(), 1u);
  std::vector<test::ChildProcess> children = test::ChildProcesses();
  ASSERT_EQ(children.size(), 2u);
  EXPECT_NE(children[1].pid, 0u);
  EXPECT_NE(children[1].pid, first);
  EXPECT_TRUE(children[1].connected);
  EXPECT_FALSE(children[1].ended);
  EXPECT_EQ(test::RendererProcessId(browser), children[1].pid);

  // The page works again, in the new child.
  test::CallResult page =
      test::RendererGetOverChannel(browser->GetIdentifier(), browser->GetMainFrame()->GetIdentifier(), "probeUrl");
  EXPECT_TRUE(page.ran);
  EXPECT_EQ(page.value, CefString(url).ToString());
  CefRefPtr<CefListValue> echoed = Echo(client, browser, 41);
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->GetInt(0), 41);
  EXPECT_EQ(client->Count("OnRenderProcessTerminated"), 1);
}

INSTANTIATE_TEST_SUITE_P(Navigations, BrowserSubprocessCrash,
                         ::testing::Values(RelaunchCase{"LoadURL", false}, RelaunchCase{"Reload", true}),
                         [](const ::testing::TestParamInfo<RelaunchCase>& info) { return info.param.name; });

TEST_F(BrowserSubprocess, ChromeCrashEndsOnlyThatBrowsersChildAsACrashAndCommitsNothing) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl);
  ASSERT_TRUE(browser);
  CefRefPtr<E2eClient> other_client = new E2eClient();
  CefRefPtr<CefBrowser> other = Open(other_client, kOtherUrl);
  ASSERT_TRUE(other);
  DWORD pid = test::RendererProcessId(browser);
  DWORD other_pid = test::RendererProcessId(other);
  ASSERT_NE(pid, 0u);
  ASSERT_NE(other_pid, 0u);
  ASSERT_NE(pid, other_pid);

  client->ClearEvents();
  browser->GetMainFrame()->LoadURL("chrome://crash");
  ASSERT_TRUE(client->Wait("OnRenderProcessTerminated"));
  EXPECT_EQ(client->Events(), (std::vector<std::string>{"OnBeforeBrowse main chrome://crash",
                                                        "OnLoadingStateChange true", "OnLoadingStateChange false",
                                                        "OnRenderProcessTerminated " +
                                                            std::to_string(TS_PROCESS_CRASHED)}));
  EXPECT_EQ(client->off_ui_calls(), 0);
  // The child ended itself with an exception's exit code; the page it showed stays the browser's document.
  ASSERT_TRUE(test::WaitFor(
      [pid] {
        for (const auto& child : test::ChildProcesses())
          if (child.pid == pid)
            return child.ended;
        return false;
      },
      kWaitMs));
  for (const auto& child : test::ChildProcesses()) {
    if (child.pid == pid) {
      EXPECT_GE(child.exit_code, 0xC0000000u);
    }
  }
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToWString(), kPageUrl);
  EXPECT_FALSE(browser->IsLoading());

  // The other browser's child runs on, untouched.
  EXPECT_EQ(test::RendererProcessId(other), other_pid);
  CefRefPtr<CefListValue> echoed = Echo(other_client, other, 7);
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->GetInt(0), 7);
  EXPECT_EQ(other_client->Count("OnRenderProcessTerminated"), 0);

  // Reloading shows the page again, in a new child.
  browser->Reload();
  ASSERT_TRUE(client->Wait("OnLoadEnd main 200"));
  DWORD relaunched = test::RendererProcessId(browser);
  EXPECT_NE(relaunched, 0u);
  EXPECT_NE(relaunched, pid);
  test::CallResult page =
      test::RendererGetOverChannel(browser->GetIdentifier(), browser->GetMainFrame()->GetIdentifier(), "probeUrl");
  EXPECT_TRUE(page.ran);
  EXPECT_EQ(page.value, CefString(kPageUrl).ToString());
}

TEST_F(BrowserSubprocess, ChromeCrashReachesAChildThatIsStillStarting) {
  // The first URL, and again right after the crash: each time the crash waits for the new child to connect.
  CefRefPtr<E2eClient> client = new E2eClient();
  ASSERT_TRUE(CefBrowserHost::CreateBrowser(Windowless(nullptr), client.get(), "chrome://crash", CefBrowserSettings(),
                                            nullptr));
  ASSERT_TRUE(client->Wait("OnRenderProcessTerminated"));
  CefRefPtr<CefBrowser> browser = client->CreatedAt(0);
  ASSERT_TRUE(browser);
  browser->GetMainFrame()->LoadURL("chrome://crash");
  ASSERT_TRUE(client->Wait("OnRenderProcessTerminated", 2));
  std::vector<test::ChildProcess> children = test::ChildProcesses();
  ASSERT_EQ(children.size(), 2u);
  ASSERT_TRUE(test::WaitFor(probe_paths::AllChildrenEnded, kWaitMs));
  for (const auto& child : test::ChildProcesses()) {
    EXPECT_TRUE(child.connected);
    EXPECT_EQ(child.exit_code, cefengine::kRendererCrashExitCode);
  }
  EXPECT_EQ(client->EventsStartingWith("OnRenderProcessTerminated"),
            std::vector<std::string>(2, "OnRenderProcessTerminated " + std::to_string(TS_PROCESS_CRASHED)));
  EXPECT_EQ(client->Count("OnLoadStart"), 0);
  EXPECT_EQ(client->Count("OnLoadError"), 0);
  EXPECT_FALSE(browser->IsLoading());

  browser->GetMainFrame()->LoadURL(kPageUrl);
  ASSERT_TRUE(client->Wait("OnLoadEnd main 200"));
  EXPECT_EQ(test::ChildProcesses().size(), 3u);
  CefRefPtr<CefListValue> echoed = Echo(client, browser, 5);
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->GetInt(0), 5);
}

struct CloseCase {
  const char* name;
  bool windowed;  // a top-level browser window; otherwise windowless
  bool force;
};

class BrowserSubprocessClose : public BrowserSubprocess, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(BrowserSubprocessClose, ClosingEndsTheChildInOrderWithoutTermination) {
  CefRefPtr<E2eClient> client = new E2eClient();
  CefWindowInfo info;
  if (GetParam().windowed)
    info.SetAsPopup(nullptr, "e2e");
  else
    info.SetAsWindowless(nullptr, false);
  CefRefPtr<CefBrowser> browser = Open(client, kPageUrl, info);
  ASSERT_TRUE(browser);
  EXPECT_EQ(GetParam().windowed, browser->GetHost()->GetWindowHandle() != nullptr);
  DWORD pid = test::RendererProcessId(browser);
  ASSERT_NE(pid, 0u);

  browser->GetHost()->CloseBrowser(GetParam().force);
  ASSERT_TRUE(client->Wait("OnBeforeClose"));
  ASSERT_TRUE(test::WaitFor(probe_paths::AllChildrenEnded, kWaitMs));
  std::vector<test::ChildProcess> children = test::ChildProcesses();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].exit_code, 0u);
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_EQ(client->Count("OnRenderProcessTerminated"), 0);
  EXPECT_EQ(test::EntriesOf("RendererTerminated").size(), 0u);
  // The child released the document, then the browser, before it ended.
  uint64_t released = SeqOf("OnContextReleased", 'R');
  uint64_t destroyed = SeqOf("OnBrowserDestroyed", 'R');
  EXPECT_NE(released, 0u);
  EXPECT_LT(released, destroyed);
  EXPECT_EQ(client->off_ui_calls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Closes, BrowserSubprocessClose,
                         ::testing::Values(CloseCase{"WindowlessForced", false, true},
                                           CloseCase{"WindowedAsked", true, false}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return info.param.name; });

}  // namespace
