// The main context with fake root windows (this executable's client::RootWindow::Create makes
// them), over the shared host-side fixture.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "tests/browser/context_host_fixture.h"
#include "tests/browser/core/fake_root_window.h"

namespace core_test {

namespace test = cefengine::test;
using host_test::Bool;
using host_test::CountingLoop;
using host_test::FunctionTask;
using host_test::HostEnd;
using host_test::HostEvent;
using host_test::Int;
using host_test::Int64;
using host_test::SwitchApp;
using host_test::Text;

class ContextTest : public host_test::ContextFixture {
 protected:
  void SetUp() override {
    fake::NextOptions() = fake::Options();
    fake::FakeRootWindow::Reset();
    ContextFixture::SetUp();
  }

  void TearDown() override {
    host_.reset();
    context_.reset();
    fake::FakeRootWindow::Reset();
    ContextFixture::TearDown();
  }

  // A root window for view id `view` made the way the host's first view is.
  scoped_refptr<fake::FakeRootWindow> CreateView(int view, const std::string& url = "about:blank") {
    std::unique_ptr<StartupSettings> settings(new StartupSettings());
    settings->web_view_id = view;
    settings->url = url;
    scoped_refptr<client::RootWindow> root = manager()->CreateRootWindow(std::move(settings));
    return static_cast<fake::FakeRootWindow*>(root.get());
  }
};

}  // namespace core_test
