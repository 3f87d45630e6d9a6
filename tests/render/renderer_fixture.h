// The renderer application on a harness renderer thread, with the test playing page script and
// the browser: browser 1 with main frame 10 and sub-frame 11 ("side").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_values.h"
#include "render/client_app_renderer.h"
#include "testing/cefengine_testing.h"
#include "testing/page_script.h"
#include "testing/renderer_testing.h"

namespace render_test {

namespace test = cefengine::test;

// Message names spelt out as the browser side spells them, so a typo in the product shows.
constexpr char kCallHost[] = "{ACBF06D2-3DAB-4359-8070-2F6DE59A0E6A}";
constexpr char kCallResult[] = "{E31E0591-75ED-46be-B054-FE692B86451F}";
constexpr char kCallFunction[] = "{1EA24BB9-47AC-4505-B934-4FC8C3E19412}";
constexpr char kRegisterFunction[] = "{A1335F60-4F6C-4A79-BF73-1AB59FDFA174}";

constexpr int kBrowser = 1;
constexpr int64 kMainFrame = 10;
constexpr int64 kSideFrame = 11;

// Entries of a list as "i:5", "s:text", "b:true" ("?" for other types), so that a check sees
// the types too.
inline std::vector<std::string> Items(CefRefPtr<CefListValue> list) {
  std::vector<std::string> items;
  for (size_t i = 0; list && i < list->GetSize(); ++i) {
    switch (list->GetType(i)) {
      case VTYPE_INT: items.push_back("i:" + std::to_string(list->GetInt(i))); break;
      case VTYPE_STRING: items.push_back("s:" + list->GetString(i).ToString()); break;
      case VTYPE_BOOL: items.push_back(list->GetBool(i) ? "b:true" : "b:false"); break;
      default: items.push_back("?"); break;
    }
  }
  return items;
}

// A list of ints and strings for a message to the renderer.
struct Arg {
  Arg(int value) : is_int(true), number(value) {}  // NOLINT: a table of mixed values
  Arg(const char* value) : text(value) {}          // NOLINT
  bool is_int = false;
  int number = 0;
  std::string text;
};
inline CefRefPtr<CefListValue> List(const std::vector<Arg>& args) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetSize(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].is_int)
      list->SetInt(i, args[i].number);
    else
      list->SetString(i, args[i].text);
  }
  return list;
}

class RendererFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnableJournal();
    if (!app_)
      app_ = new client::ClientAppRenderer();
    harness_.reset(new test::RendererHarness(app_.get()));
    ASSERT_TRUE(harness_->ok());
    ASSERT_TRUE(harness_->AddBrowser(kBrowser));
    ASSERT_TRUE(harness_->Commit(kBrowser, {{kMainFrame, "", true, "http://page.test/"},
                                            {kSideFrame, "side", false, "http://page.test/side"}}));
  }
  void TearDown() override { harness_.reset(); }

  test::CallResult Call(int64 frame, const std::string& path, const std::vector<cefengine::PageValue>& args = {}) {
    return harness_->RendererCall(kBrowser, frame, path, args);
  }
  test::CallResult Get(int64 frame, const std::string& path) { return harness_->RendererGet(kBrowser, frame, path); }
  // The browser sends `name` with `args` to the renderer.
  void Deliver(const std::string& name, const std::vector<Arg>& args) {
    ASSERT_TRUE(harness_->Deliver(kBrowser, name, List(args)));
  }
  // The messages the renderer sent since the last call, as "name" followed by Items.
  std::vector<std::vector<std::string>> Sent() {
    std::vector<std::vector<std::string>> out;
    for (const test::SentMessage& message : harness_->TakeSent()) {
      std::vector<std::string> line{message.name};
      for (const std::string& item : Items(message.args))
        line.push_back(item);
      out.push_back(line);
    }
    return out;
  }

  CefRefPtr<client::ClientAppRenderer> app_;
  std::unique_ptr<test::RendererHarness> harness_;
};

}  // namespace render_test
