#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cookie_test_support.h"
#include "engine/browser_input.h"
#include "engine/drag_data_impl.h"
#include "include/cef_drag_data.h"
#include "page_test_client.h"

namespace {

using page_test::PageFixture;
namespace test = cefengine::test;

// Collects what GetFileContents writes; `limit` caps how much one Write takes.
class CollectingWriter : public CefStreamWriter {
 public:
  explicit CollectingWriter(size_t limit = static_cast<size_t>(-1)) : limit_(limit) {}
  size_t Write(const void* ptr, size_t size, size_t n) override {
    ++calls;
    size_t bytes = std::min(size * n, limit_);
    data.append(static_cast<const char*>(ptr), bytes);
    return size ? bytes / size : 0;
  }
  int Seek(int64, int) override { return -1; }
  int64 Tell() override { return static_cast<int64>(data.size()); }
  int Flush() override { return 0; }
  bool MayBlock() override { return false; }

  std::string data;
  int calls = 0;

 private:
  size_t limit_;
  IMPLEMENT_REFCOUNTING(CollectingWriter);
};

TEST(DragData, CreateGivesAnEmptyWritableObjectInAnyState) {
  CefRefPtr<CefDragData> data = CefDragData::Create();
  ASSERT_TRUE(data);
  EXPECT_FALSE(data->IsReadOnly());
  EXPECT_FALSE(data->IsLink());
  EXPECT_FALSE(data->IsFragment());
  EXPECT_FALSE(data->IsFile());
  std::vector<CefString> names;
  EXPECT_FALSE(data->GetFileNames(names));
  EXPECT_EQ(data->GetFileContents(nullptr), 0u);
}

TEST(DragData, KindFollowsWhatWasSet) {
  CefRefPtr<CefDragData> link = CefDragData::Create();
  link->SetLinkURL("http://example.test/a");
  link->SetLinkTitle("A");
  link->SetFragmentText("A");
  EXPECT_TRUE(link->IsLink());
  EXPECT_FALSE(link->IsFragment());
  EXPECT_FALSE(link->IsFile());
  EXPECT_EQ(link->GetLinkTitle().ToString(), "A");

  CefRefPtr<CefDragData> fragment = CefDragData::Create();
  fragment->SetFragmentHtml("<b>x</b>");
  fragment->SetFragmentBaseURL("http://example.test/");
  EXPECT_TRUE(fragment->IsFragment());
  EXPECT_FALSE(fragment->IsLink());

  CefRefPtr<CefDragData> files = CefDragData::Create();
  files->SetFragmentText("ignored for the kind");
  files->AddFile("C:\\tmp\\a.txt", "a.txt");
  files->AddFile("C:\\tmp\\b.txt", "");
  EXPECT_TRUE(files->IsFile());
  EXPECT_FALSE(files->IsFragment());
  std::vector<CefString> names;
  ASSERT_TRUE(files->GetFileNames(names));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].ToString(), "a.txt");
  EXPECT_EQ(names[1].ToString(), "C:\\tmp\\b.txt");  // no display name: the path
}

TEST(DragData, FileContentsReachTheWriterOrReportTheirSize) {
  CefRefPtr<cefengine::DragDataImpl> data = new cefengine::DragDataImpl();
  data->SetLinkURL("http://example.test/pic.png");
  const std::string bytes("\x89PNG\r\n\x1a\n\0tail", 13);
  data->SetFileContents(L"pic.png", bytes);
  // Contents make it a file, even with a URL.
  EXPECT_TRUE(data->IsFile());
  EXPECT_FALSE(data->IsLink());
  EXPECT_EQ(data->GetFileName().ToString(), "pic.png");
  EXPECT_EQ(data->GetFileContents(nullptr), 13u);

  CefRefPtr<CollectingWriter> writer = new CollectingWriter();
  EXPECT_EQ(data->GetFileContents(writer.get()), 13u);
  EXPECT_EQ(writer->data, bytes);

  // A writer that takes less is reported as it is.
  CefRefPtr<CollectingWriter> short_writer = new CollectingWriter(5);
  EXPECT_EQ(data->GetFileContents(short_writer.get()), 5u);

  data->ResetFileContents();
  EXPECT_EQ(data->GetFileContents(nullptr), 0u);
  EXPECT_EQ(data->GetFileName().ToString(), "");
  CefRefPtr<CollectingWriter> unused = new CollectingWriter();
  EXPECT_EQ(data->GetFileContents(unused.get()), 0u);
  EXPECT_EQ(unused->calls, 0);
  EXPECT_TRUE(data->IsLink());
}

TEST(DragData, ReadOnlyObjectsIgnoreSettersAndCloneIsWritable) {
  CefRefPtr<cefengine::DragDataImpl> data = new cefengine::DragDataImpl();
  data->SetLinkURL("http://example.test/");
  data->AddFile("C:\\x.txt", "x.txt");
  data->SetReadOnly();
  EXPECT_TRUE(data->IsReadOnly());
  {
    cookie_tests::MisuseCapture capture;
    data->SetLinkURL("http://changed.test/");
    data->AddFile("C:\\y.txt", "y.txt");
    data->ResetFileContents();
    EXPECT_EQ(capture.reports.size(), 3u);
  }
  EXPECT_EQ(data->GetLinkURL().ToString(), "http://example.test/");
  EXPECT_EQ(data->Files().size(), 1u);

  CefRefPtr<CefDragData> copy = data->Clone();
  EXPECT_FALSE(copy->IsReadOnly());
  EXPECT_EQ(copy->GetLinkURL().ToString(), "http://example.test/");
  copy->SetLinkURL("http://copy.test/");
  EXPECT_EQ(copy->GetLinkURL().ToString(), "http://copy.test/");
  EXPECT_EQ(data->GetLinkURL().ToString(), "http://example.test/");
  std::vector<CefString> names;
  EXPECT_TRUE(copy->GetFileNames(names));
}

TEST(DragData, EmptyPathsAreNotAdded) {
  cookie_tests::MisuseCapture capture;
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->AddFile("", "name");
  EXPECT_FALSE(data->IsFile());
  EXPECT_EQ(capture.reports.size(), 1u);
}

// --- Drag target and drag source of live browsers ---

CefRefPtr<CefDragData> LinkData() {
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->SetLinkURL("http://example.test/dragged");
  return data;
}

CefMouseEvent At(int x, int y) {
  CefMouseEvent event;
  event.x = x;
  event.y = y;
  return event;
}

struct OperationCase {
  unsigned allowed;
  bool override_set;
  unsigned override_op;
  unsigned expected;
};

TEST(DragTarget, PageTakesTheFirstAllowedOfCopyLinkMoveOrTheTestOperation) {
  const OperationCase cases[] = {
      {DRAG_OPERATION_EVERY, false, 0, DRAG_OPERATION_COPY},
      {DRAG_OPERATION_LINK | DRAG_OPERATION_MOVE, false, 0, DRAG_OPERATION_LINK},
      {DRAG_OPERATION_MOVE | DRAG_OPERATION_GENERIC, false, 0, DRAG_OPERATION_MOVE},
      {DRAG_OPERATION_GENERIC | DRAG_OPERATION_PRIVATE, false, 0, DRAG_OPERATION_NONE},
      {DRAG_OPERATION_NONE, false, 0, DRAG_OPERATION_NONE},
      {DRAG_OPERATION_EVERY, true, DRAG_OPERATION_MOVE, DRAG_OPERATION_MOVE},
      {DRAG_OPERATION_COPY, true, DRAG_OPERATION_MOVE, DRAG_OPERATION_NONE},  // not allowed
      {DRAG_OPERATION_EVERY, true, DRAG_OPERATION_NONE, DRAG_OPERATION_NONE},  // the page refuses
  };
  for (const OperationCase& c : cases) {
    if (c.override_set)
      test::SetDropOperation(static_cast<cef_drag_operations_mask_t>(c.override_op));
    else
      test::ResetDropOperation();
    EXPECT_EQ(static_cast<unsigned>(
                  cefengine::PickDropOperation(static_cast<cef_drag_operations_mask_t>(c.allowed))),
              c.expected)
        << "allowed " << c.allowed << " override " << c.override_set << "/" << c.override_op;
  }
  test::ResetDropOperation();
}

TEST(DragTarget, EnterAsksTheHandlerFirstWithReadOnlyDataThenReportsTheOperation) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  CefRefPtr<CefDragData> data = LinkData();
  f.host()->DragTargetDragEnter(data, At(5, 6), static_cast<cef_drag_operations_mask_t>(DRAG_OPERATION_LINK |
                                                                                       DRAG_OPERATION_MOVE));
  ASSERT_TRUE(f.client->WaitEvent("UpdateDragCursor"));
  f.host()->DragTargetDragOver(At(7, 8), DRAG_OPERATION_MOVE);
  ASSERT_TRUE(f.client->WaitEvent("UpdateDragCursor", 2));
  f.host()->DragTargetDrop(At(9, 10));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Events(), (std::vector<std::string>{"OnAfterCreated", "OnDragEnter 18 ro", "UpdateDragCursor 2",
                                                           "UpdateDragCursor 16"}));
  // The caller's object stays writable; the client saw a copy.
  EXPECT_FALSE(data->IsReadOnly());
  EXPECT_EQ(f.client->last_drag_data()->GetLinkURL().ToString(), "http://example.test/dragged");
  std::vector<test::JournalEntry> drops = test::EntriesOf("DragDrop");
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].args, (std::vector<std::string>{"link http://example.test/dragged", "16", "9,10,0"}));
  EXPECT_EQ(f.client->wrong_thread_calls(), 0);
}

TEST(DragTarget, RefusedDragsStayAtNoneAndDropNothing) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->drag_enter_result = true;
  ASSERT_TRUE(test::UserDragEnter(f.browser, LinkData(), DRAG_OPERATION_EVERY));
  f.host()->DragTargetDragOver(At(1, 1), DRAG_OPERATION_EVERY);
  f.host()->DragTargetDrop(At(1, 1));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("UpdateDragCursor 0"), 2);
  EXPECT_EQ(f.client->Count("UpdateDragCursor"), 2);
  EXPECT_TRUE(test::EntriesOf("DragDrop").empty());
}

TEST(DragTarget, OverLeaveAndDropWithoutEnterAreIgnored) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  cookie_tests::MisuseCapture capture;
  f.host()->DragTargetDragOver(At(1, 1), DRAG_OPERATION_COPY);
  f.host()->DragTargetDrop(At(1, 1));
  ASSERT_TRUE(test::UserDragEnter(f.browser, LinkData(), DRAG_OPERATION_COPY));
  f.host()->DragTargetDragLeave();
  f.host()->DragTargetDrop(At(1, 1));  // the drag left: nothing to drop
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("UpdateDragCursor"), 1);
  EXPECT_TRUE(test::EntriesOf("DragDrop").empty());
  EXPECT_EQ(capture.reports.size(), 3u);  // over, drop, drop after leave
}

TEST(DragSource, PageDragReachesStartDraggingAndAFalseAnswerEndsIt) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  CefRefPtr<CefDragData> data = LinkData();
  ASSERT_TRUE(test::PageStartDrag(f.browser, data, DRAG_OPERATION_COPY, 3, 4));
  EXPECT_EQ(f.client->Count("StartDragging 1 3,4"), 1);
  EXPECT_TRUE(f.client->last_drag_data()->IsReadOnly());
  EXPECT_EQ(test::EntriesOf("DragSourceEnded").size(), 1u);

  f.client->start_dragging_result = true;
  ASSERT_TRUE(test::PageStartDrag(f.browser, data, DRAG_OPERATION_COPY, 3, 4));
  EXPECT_EQ(test::EntriesOf("DragSourceEnded").size(), 1u);
  f.host()->DragSourceEndedAt(20, 30, DRAG_OPERATION_COPY);
  f.host()->DragSourceSystemDragEnded();
  ASSERT_TRUE(test::Flush(TID_UI));
  ASSERT_EQ(test::EntriesOf("DragSourceEndedAt").size(), 1u);
  EXPECT_EQ(test::EntriesOf("DragSourceEndedAt")[0].args, (std::vector<std::string>{"20", "30", "1"}));
  EXPECT_EQ(test::EntriesOf("DragSourceSystemDragEnded").size(), 1u);
}

TEST(DragSource, DraggableRegionsReachTheDragHandler) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  std::vector<CefDraggableRegion> regions = {CefDraggableRegion(CefRect(0, 0, 100, 20), true),
                                             CefDraggableRegion(CefRect(80, 0, 20, 20), false)};
  ASSERT_TRUE(test::PageDraggableRegions(f.browser, regions));
  EXPECT_EQ(f.client->Count("OnDraggableRegionsChanged 0,0,100x20+ 80,0,20x20-"), 1);
}

TEST(DragData, MisuseIsReportedAndFatalUnderStrictMode) {
  CefRefPtr<cefengine::DragDataImpl> data = new cefengine::DragDataImpl();
  data->SetReadOnly();
  std::vector<std::string> reports;
  {
    cookie_tests::MisuseCapture capture;
    data->SetFragmentText("x");
    data->AddFile("C:\\a", "a");
    CefDragData::Create()->AddFile("", "no path");
    reports = capture.reports;
  }
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_NE(reports[0].find("CefDragData::SetFragmentText on read-only drag data"), std::string::npos) << reports[0];
  EXPECT_NE(reports[1].find("CefDragData::AddFile on read-only drag data"), std::string::npos) << reports[1];
  EXPECT_NE(reports[2].find("empty path"), std::string::npos) << reports[2];
  EXPECT_EQ(data->GetFragmentText().ToString(), "");
}

TEST(DragTarget, OverWithoutEnterIsMisuse) {
  page_test::PageFixture f;
  ASSERT_TRUE(f.ok());
  std::vector<std::string> reports;
  {
    cookie_tests::MisuseCapture capture;
    CefMouseEvent event;
    f.host()->DragTargetDragOver(event, DRAG_OPERATION_COPY);
    ASSERT_TRUE(test::Flush(TID_UI));
    reports = capture.reports;
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("DragTargetDragOver without DragTargetDragEnter"), std::string::npos) << reports[0];
}

}  // namespace
