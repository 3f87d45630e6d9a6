#include <windows.h>

#include <gtest/gtest.h>

#include "include/base/cef_bind.h"
#include "include/cef_app.h"
#include "include/wrapper/cef_closure_task.h"
#include "testing/cefengine_testing.h"

namespace {

void Set(bool* flag) {
  *flag = true;
}

TEST(SingleThreadedLoop, UiIsTheStartingThreadAndRunsTasksWhenItPumps) {
  CefSettings settings;
  settings.multi_threaded_message_loop = 0;
  settings.log_severity = LOGSEVERITY_DISABLE;
  ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  EXPECT_TRUE(CefCurrentlyOn(TID_UI));
  bool ran = false;
  ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&Set, &ran)));
  EXPECT_FALSE(ran);  // never inside the posting call
  for (int i = 0; i < 100 && !ran; ++i) {
    CefDoMessageLoopWork();
    Sleep(5);
  }
  EXPECT_TRUE(ran);

  // CefQuitMessageLoop from a task ends CefRunMessageLoop.
  ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&CefQuitMessageLoop)));
  CefRunMessageLoop();
  CefShutdown();
  EXPECT_FALSE(CefCurrentlyOn(TID_UI));
}

}  // namespace
