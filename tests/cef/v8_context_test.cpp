#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/dom_node.h"
#include "engine/v8_context.h"
#include "include/cef_v8.h"
#include "tests/cef/v8_fixture.h"
#include "tests/cef/wrapper_fakes.h"

using v8test::Entered;
using wrapper_fakes::FakeBrowser;
using v8test::ScriptedHandler;

namespace {

using V8Context = v8test::RendererThreadTest;

TEST_F(V8Context, CreationRefusesBadIdsAndOtherThreads) {
  EXPECT_FALSE(cefengine::CreateFrameContext(0, nullptr, nullptr));
  CefRefPtr<CefV8Context> first = cefengine::CreateFrameContext(7, nullptr, nullptr);
  ASSERT_TRUE(first);
  EXPECT_FALSE(cefengine::CreateFrameContext(7, nullptr, nullptr)) << "id of a live context";
  bool made_elsewhere = true;
  std::thread other([&] { made_elsewhere = cefengine::CreateFrameContext(8, nullptr, nullptr) != nullptr; });
  other.join();
  EXPECT_FALSE(made_elsewhere);
  // Once released, the id may name a new document's context.
  ASSERT_TRUE(cefengine::ReleaseFrameContext(7));
  EXPECT_FALSE(cefengine::ReleaseFrameContext(7));
  CefRefPtr<CefV8Context> second = cefengine::CreateFrameContext(7, nullptr, nullptr);
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->IsSame(first));
  EXPECT_FALSE(first->IsValid());
  EXPECT_TRUE(second->IsValid());
}

TEST_F(V8Context, GivesBackItsBrowserAndFrameAndIsFoundByThem) {
  CefRefPtr<FakeBrowser> browser = new FakeBrowser(3, 30);
  CefRefPtr<CefFrame> main_frame = browser->Frame(30).get();
  CefRefPtr<CefFrame> sub_frame = browser->AddFrame(31).get();
  CefRefPtr<FakeBrowser> other_browser = new FakeBrowser(4, 40);
  CefRefPtr<CefV8Context> main_context = cefengine::CreateFrameContext(1, browser.get(), main_frame);
  CefRefPtr<CefV8Context> sub_context = cefengine::CreateFrameContext(2, browser.get(), sub_frame);
  CefRefPtr<CefV8Context> elsewhere =
      cefengine::CreateFrameContext(3, other_browser.get(), other_browser->Frame(40).get());
  ASSERT_TRUE(main_context && sub_context && elsewhere);

  EXPECT_EQ(main_context->GetBrowser().get(), static_cast<CefBrowser*>(browser.get()));
  EXPECT_EQ(sub_context->GetFrame().get(), sub_frame.get());

  CefRefPtr<CefV8Context> found = cefengine::FindFrameContext(3, 31);
  ASSERT_TRUE(found);
  EXPECT_NE(found.get(), sub_context.get()) << "a new wrapper per lookup";
  EXPECT_TRUE(found->IsSame(sub_context));
  EXPECT_TRUE(cefengine::FindContext(1)->IsSame(main_context));
  EXPECT_FALSE(cefengine::FindFrameContext(3, 40));
  EXPECT_EQ(cefengine::LiveContextIds(3), (std::vector<int64>{1, 2}));
  EXPECT_EQ(cefengine::LiveContextIds(0), (std::vector<int64>{1, 2, 3}));

  ASSERT_TRUE(cefengine::ReleaseFrameContext(2));
  EXPECT_FALSE(cefengine::FindFrameContext(3, 31));
  EXPECT_FALSE(cefengine::FindContext(2));
  EXPECT_EQ(cefengine::LiveContextIds(3), (std::vector<int64>{1}));
  EXPECT_EQ(cefengine::ContextId(sub_context), 2) << "the id stays readable after release";
  EXPECT_EQ(sub_context->GetFrame().get(), sub_frame.get());
}

TEST_F(V8Context, EnterAndExitNestInOrder) {
  CefRefPtr<CefV8Context> outer = NewContext();
  CefRefPtr<CefV8Context> inner = NewContext();
  EXPECT_FALSE(CefV8Context::InContext());
  EXPECT_FALSE(CefV8Context::GetCurrentContext());
  EXPECT_FALSE(outer->Exit()) << "nothing entered";

  ASSERT_TRUE(outer->Enter());
  ASSERT_TRUE(inner->Enter());
  CefRefPtr<CefV8Context> current = CefV8Context::GetCurrentContext();
  CefRefPtr<CefV8Context> again = CefV8Context::GetCurrentContext();
  EXPECT_NE(current.get(), again.get());
  EXPECT_TRUE(current->IsSame(inner));
  EXPECT_TRUE(again->IsSame(current));
  EXPECT_TRUE(CefV8Context::GetEnteredContext()->IsSame(inner));
  EXPECT_FALSE(outer->Exit()) << "the inner context is still entered";
  EXPECT_TRUE(inner->Exit());
  EXPECT_TRUE(CefV8Context::GetCurrentContext()->IsSame(outer));
  EXPECT_TRUE(outer->Exit());
  EXPECT_FALSE(CefV8Context::InContext());
}

TEST_F(V8Context, ReleasedWhileEnteredStaysUntilItsExit) {
  CefRefPtr<CefV8Context> context = NewContext();
  ASSERT_TRUE(context->Enter());
  ASSERT_TRUE(cefengine::ReleaseFrameContext(cefengine::ContextId(context)));
  EXPECT_TRUE(CefV8Context::InContext());
  EXPECT_FALSE(CefV8Context::GetCurrentContext()->IsValid());
  EXPECT_FALSE(CefV8Value::CreateObject(nullptr)) << "no objects in a released context";
  CefRefPtr<CefV8Value> text = CefV8Value::CreateString("still made");
  ASSERT_TRUE(text);
  EXPECT_TRUE(context->Exit());
  EXPECT_FALSE(CefV8Context::InContext());
  EXPECT_TRUE(text->IsValid()) << "made while no live context was entered";
}

TEST_F(V8Context, EvalReportsThatNoInterpreterRuns) {
  CefRefPtr<CefV8Context> context = NewContext();
  CefRefPtr<CefV8Value> retval = CefV8Value::CreateInt(1);
  CefRefPtr<CefV8Exception> exception;
  EXPECT_FALSE(context->Eval("1 + 1", retval, exception));
  EXPECT_FALSE(retval);
  ASSERT_TRUE(exception);
  EXPECT_FALSE(exception->GetMessage().empty());
  ASSERT_EQ(cefengine::test::EntriesOf("Eval").size(), 1u);
  EXPECT_EQ(cefengine::test::EntriesOf("Eval")[0].args, (std::vector<std::string>{"1 + 1"}));
}

TEST_F(V8Context, StackTraceListsTheRunningFunctionsInnermostFirst) {
  EXPECT_FALSE(CefV8StackTrace::GetCurrent(10));
  CefRefPtr<CefV8Context> context = NewContext();
  Entered entered(context);
  std::vector<std::string> names;
  int limited = -1;
  CefRefPtr<CefV8Value> inner = CefV8Value::CreateFunction(
      "inner", new ScriptedHandler([&](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&,
                                       CefRefPtr<CefV8Value>&, CefString&) {
        CefRefPtr<CefV8StackTrace> trace = CefV8StackTrace::GetCurrent(10);
        for (int i = 0; trace && i < trace->GetFrameCount(); ++i)
          names.push_back(trace->GetFrame(i)->GetFunctionName().ToString());
        limited = CefV8StackTrace::GetCurrent(1)->GetFrameCount();
        return true;
      }));
  CefRefPtr<CefV8Value> outer = CefV8Value::CreateFunction(
      "outer", new ScriptedHandler([inner](const CefString&, CefRefPtr<CefV8Value>, const CefV8ValueList&,
                                           CefRefPtr<CefV8Value>&, CefString&) {
        inner->ExecuteFunction(nullptr, {});
        return true;
      }));
  outer->ExecuteFunction(nullptr, {});
  EXPECT_EQ(names, (std::vector<std::string>{"inner", "outer"}));
  EXPECT_EQ(limited, 1);
}

TEST(V8FocusedNode, IsEditableAsGiven) {
  for (bool editable : {true, false}) {
    CefRefPtr<CefDOMNode> node = cefengine::CreateFocusedNode(editable);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->IsEditable(), editable);
    EXPECT_TRUE(node->IsElement());
    EXPECT_EQ(node->GetType(), DOM_NODE_TYPE_ELEMENT);
    EXPECT_FALSE(node->GetElementTagName().empty());
  }
}

}  // namespace
