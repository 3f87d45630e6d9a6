#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/drag_data_impl.h"
#include "include/cef_drag_data.h"

namespace {

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
  data->SetLinkURL("http://changed.test/");
  data->AddFile("C:\\y.txt", "y.txt");
  data->ResetFileContents();
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
  CefRefPtr<CefDragData> data = CefDragData::Create();
  data->AddFile("", "name");
  EXPECT_FALSE(data->IsFile());
}

}  // namespace
