// The router delegate: "cefQuery" in every context, wired to the browser with the default names,
// and the focus notices to the browser.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer_fixture.h"

namespace render_test {
namespace {

using test::Obj;
using test::PageFn;
using test::Str;

class RouterDelegate : public RendererFixture {};

TEST_F(RouterDelegate, FocusNoticesGoOutOnlyWhenEditabilityChanges) {
  struct Step {
    cefengine::FocusState focus;
    const char* sent;  // null: nothing
  } steps[] = {
      {cefengine::FOCUS_PLAIN, nullptr},     // the first change onto a plain node: the flag already reads false
      {cefengine::FOCUS_EDITABLE, "b:true"},
      {cefengine::FOCUS_EDITABLE, nullptr},  // editable to editable
      {cefengine::FOCUS_PLAIN, "b:false"},   // editable to a button
      {cefengine::FOCUS_PLAIN, nullptr},     // plain to plain
      {cefengine::FOCUS_EDITABLE, "b:true"},
      {cefengine::FOCUS_NONE, "b:false"},    // focus left every element
      {cefengine::FOCUS_NONE, nullptr},
  };
  int index = 0;
  for (const Step& step : steps) {
    ASSERT_TRUE(harness_->Focus(kBrowser, index % 2 ? kSideFrame : kMainFrame, step.focus));
    std::vector<std::vector<std::string>> expected;
    if (step.sent)
      expected.push_back({"ClientRenderer.FocusedNodeChanged", step.sent});
    EXPECT_EQ(Sent(), expected) << "step " << index;
    ++index;
  }
}

TEST_F(RouterDelegate, EveryContextGetsTheRouterFunctions) {
  ASSERT_TRUE(harness_->Commit(kBrowser, {{kMainFrame, "", true, "http://page.test/next"},
                                          {12, "other", false, "http://page.test/other"}}));
  for (int64 frame : {kMainFrame, int64{12}}) {
    EXPECT_EQ(Get(frame, "cefQuery").type, "function") << frame;
    EXPECT_EQ(Get(frame, "cefQueryCancel").type, "function") << frame;
  }
}

TEST_F(RouterDelegate, AQueryTravelsUnderTheDefaultNamesAndItsAnswerComesBack) {
  test::CallResult id = Call(kSideFrame, "cefQuery",
                             {Obj({{"request", Str("BindingTest")}, {"onSuccess", PageFn("answered")}})});
  EXPECT_EQ(id.type, "int");
  std::vector<test::SentMessage> sent = harness_->TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].name, "cefQueryMsg");
  EXPECT_EQ(sent[0].args->GetString(2).ToString(), "BindingTest");
  // The browser's answer is the router's own message: taken, and the page hears it.
  CefRefPtr<CefListValue> answer = CefListValue::Create();
  answer->SetInt(0, sent[0].args->GetInt(0));
  answer->SetInt(1, sent[0].args->GetInt(1));
  answer->SetBool(2, true);
  answer->SetString(3, "reply");
  ASSERT_TRUE(harness_->Deliver(kBrowser, "cefQueryMsg", answer));
  std::vector<cefengine::JournalEntry> calls = test::PageFnCalls("answered");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args.at(1), "reply");
  EXPECT_TRUE(test::EntriesOf("ProcessMessageUnhandled").empty());
  // Other names pass the router by.
  ASSERT_TRUE(harness_->Deliver(kBrowser, "NotTheRouters"));
  ASSERT_EQ(test::EntriesOf("ProcessMessageUnhandled").size(), 1u);
}

}  // namespace
}  // namespace render_test
