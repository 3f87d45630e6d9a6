#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_stream.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "loader_fixture.h"

namespace {

namespace test = cefengine::test;

std::string ReadAll(CefRefPtr<CefStreamReader> reader) {
  std::string out;
  char chunk[7];
  size_t n;
  while ((n = reader->Read(chunk, 1, sizeof(chunk))) > 0)
    out.append(chunk, n);
  return out;
}

TEST(CefStreamReaderData, CopiesTheBytesAndReadsWholeItemsOnly) {
  char source[] = "0123456789";
  CefRefPtr<CefStreamReader> reader = CefStreamReader::CreateForData(source, 10);
  ASSERT_TRUE(reader);
  source[0] = 'X';  // the reader holds its own copy
  EXPECT_FALSE(reader->MayBlock());
  char items[9] = {};
  EXPECT_EQ(reader->Read(items, 3, 3), 3u);  // 9 bytes: three items of three
  EXPECT_EQ(std::string(items, 9), "012345678");
  EXPECT_EQ(reader->Read(items, 3, 1), 0u);  // one byte left: no whole item
  EXPECT_EQ(reader->Tell(), 9);
  EXPECT_EQ(reader->Eof(), 0);
  EXPECT_EQ(reader->Read(items, 1, 5), 1u);
  EXPECT_EQ(items[0], '9');
  EXPECT_EQ(reader->Eof(), 1);
}

TEST(CefStreamReaderData, SeekAcceptsTargetsInsideTheDataOnly) {
  CefRefPtr<CefStreamReader> reader = CefStreamReader::CreateForData(const_cast<char*>("abcdef"), 6);
  const struct {
    int64 offset;
    int whence;
    int result;
    int64 position;
  } steps[] = {
      {2, SEEK_SET, 0, 2},  {2, SEEK_CUR, 0, 4},   {-1, SEEK_END, 0, 5}, {0, SEEK_END, 0, 6},
      {1, SEEK_END, -1, 6}, {-7, SEEK_CUR, -1, 6}, {-1, SEEK_SET, -1, 6}, {0, 99, -1, 6},
      {0, SEEK_SET, 0, 0},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(reader->Seek(s.offset, s.whence), s.result) << s.offset << "/" << s.whence;
    EXPECT_EQ(reader->Tell(), s.position) << s.offset << "/" << s.whence;
  }
  EXPECT_EQ(ReadAll(reader), "abcdef");
}

TEST(CefStreamReaderData, NoBytesOrNullDataGiveAValidEmptyReader) {
  char one = 'x';
  CefRefPtr<CefStreamReader> empties[] = {CefStreamReader::CreateForData(&one, 0),
                                          CefStreamReader::CreateForData(nullptr, 0),
                                          CefStreamReader::CreateForData(nullptr, 16)};
  for (auto& reader : empties) {
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->Eof(), 1);
    char buffer[4];
    EXPECT_EQ(reader->Read(buffer, 1, 4), 0u);
    EXPECT_EQ(reader->Tell(), 0);
    EXPECT_EQ(reader->Seek(0, SEEK_END), 0);
  }
}

TEST(CefStreamFile, WriterAndReaderRoundTripAndMissingFilesGiveNull) {
  std::wstring path = test::FileRoot() + L"\\stream.bin";
  ASSERT_FALSE(test::AddFile(L"stream.bin", "").empty());  // creates the folder
  CefRefPtr<CefStreamWriter> writer = CefStreamWriter::CreateForFile(path);
  ASSERT_TRUE(writer);
  EXPECT_TRUE(writer->MayBlock());
  EXPECT_EQ(writer->Write("hello world", 1, 11), 11u);
  EXPECT_EQ(writer->Tell(), 11);
  EXPECT_EQ(writer->Seek(0, SEEK_SET), 0);
  EXPECT_EQ(writer->Write("J", 1, 1), 1u);
  EXPECT_EQ(writer->Flush(), 0);
  writer = nullptr;  // closes the file

  CefRefPtr<CefStreamReader> reader = CefStreamReader::CreateForFile(path);
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->MayBlock());
  EXPECT_EQ(reader->Seek(-5, SEEK_END), 0);
  EXPECT_EQ(ReadAll(reader), "world");
  EXPECT_EQ(reader->Eof(), 1);
  EXPECT_EQ(reader->Seek(0, SEEK_SET), 0);
  EXPECT_EQ(reader->Eof(), 0);
  char items[12];
  EXPECT_EQ(reader->Read(items, 4, 3), 2u);  // 11 bytes: two items of four, the rest stays
  EXPECT_EQ(reader->Tell(), 8);
  reader = nullptr;

  EXPECT_FALSE(CefStreamReader::CreateForFile(test::FileRoot() + L"\\absent.bin"));
  EXPECT_FALSE(CefStreamReader::CreateForFile(L""));
  EXPECT_FALSE(CefStreamWriter::CreateForFile(test::FileRoot() + L"\\no\\such\\folder\\x.bin"));
  test::RemoveFiles();
}

class MemoryHandler : public CefReadHandler, public CefWriteHandler {
 public:
  size_t Read(void* ptr, size_t size, size_t n) override {
    size_t bytes = std::min(size * n, data.size() - pos) / size * size;
    memcpy(ptr, data.data() + pos, bytes);
    pos += bytes;
    return bytes / size;
  }
  size_t Write(const void* ptr, size_t size, size_t n) override {
    data.append(static_cast<const char*>(ptr), size * n);
    return n;
  }
  int Seek(int64 offset, int whence) override {
    seeks.push_back(whence);
    if (whence != SEEK_SET)
      return -1;
    pos = static_cast<size_t>(offset);
    return 0;
  }
  int64 Tell() override { return static_cast<int64>(pos); }
  int Eof() override { return pos >= data.size(); }
  int Flush() override { return ++flushes; }
  bool MayBlock() override { return may_block; }

  std::string data;
  size_t pos = 0;
  int flushes = 0;
  bool may_block = false;
  std::vector<int> seeks;
  IMPLEMENT_REFCOUNTING(MemoryHandler);
};

TEST(CefStreamHandler, ReaderAndWriterForwardToTheClientHandler) {
  CefRefPtr<MemoryHandler> handler = new MemoryHandler();
  CefRefPtr<CefStreamWriter> writer = CefStreamWriter::CreateForHandler(handler.get());
  ASSERT_TRUE(writer);
  EXPECT_EQ(writer->Write("abcd", 2, 2), 2u);
  EXPECT_EQ(writer->Flush(), 1);
  handler->may_block = true;
  EXPECT_TRUE(writer->MayBlock());

  CefRefPtr<CefStreamReader> reader = CefStreamReader::CreateForHandler(handler.get());
  ASSERT_TRUE(reader);
  EXPECT_EQ(ReadAll(reader), "abcd");
  EXPECT_EQ(reader->Eof(), 1);
  EXPECT_EQ(reader->Seek(1, SEEK_CUR), -1);
  EXPECT_EQ(handler->seeks, std::vector<int>{SEEK_CUR});

  EXPECT_FALSE(CefStreamReader::CreateForHandler(nullptr));
  EXPECT_FALSE(CefStreamWriter::CreateForHandler(nullptr));
}

class CallbackCounter : public CefCallback {
 public:
  void Continue() override { ++continues; }
  void Cancel() override { ++cancels; }
  std::atomic<int> continues{0};
  std::atomic<int> cancels{0};
  IMPLEMENT_REFCOUNTING(CallbackCounter);
};

TEST(CefStreamResourceHandlerHead, ReportsStatusMimeHeadersAndTheStreamLength) {
  const char body[] = "<html></html>";
  CefRefPtr<CefStreamReader> stream = CefStreamReader::CreateForData(const_cast<char*>(body), sizeof(body) - 1);
  stream->Seek(6, SEEK_SET);  // the length counts from where the stream stands
  CefRefPtr<CefStreamResourceHandler> plain = new CefStreamResourceHandler("text/html", stream);
  CefRefPtr<CallbackCounter> cb = new CallbackCounter();
  EXPECT_TRUE(plain->ProcessRequest(CefRequest::Create(), cb.get()));
  EXPECT_EQ(cb->continues, 1);
  CefRefPtr<CefResponse> response = CefResponse::Create();
  int64 length = -2;
  CefString redirect;
  plain->GetResponseHeaders(response, length, redirect);
  EXPECT_EQ(response->GetStatus(), 200);
  EXPECT_EQ(response->GetStatusText().ToString(), "OK");
  EXPECT_EQ(response->GetMimeType().ToString(), "text/html");
  EXPECT_EQ(length, 7);
  EXPECT_TRUE(redirect.empty());
  EXPECT_EQ(stream->Tell(), 6);

  CefResponse::HeaderMap headers;
  headers.insert(std::make_pair(CefString("X-Kind"), CefString("custom")));
  CefRefPtr<CefStreamResourceHandler> custom =
      new CefStreamResourceHandler(404, "Not Found", "text/plain", headers, nullptr);
  CefRefPtr<CefResponse> second = CefResponse::Create();
  custom->GetResponseHeaders(second, length, redirect);
  EXPECT_EQ(second->GetStatus(), 404);
  EXPECT_EQ(second->GetStatusText().ToString(), "Not Found");
  EXPECT_EQ(second->GetHeader("x-kind").ToString(), "custom");
  EXPECT_EQ(length, 0);  // no stream: an empty body
  char buffer[8];
  int read = -1;
  EXPECT_FALSE(custom->ReadResponse(buffer, sizeof(buffer), read, cb.get()));
  EXPECT_EQ(read, 0);
}

class StreamHandlerOnFileThread : public loader_test::EngineTest {};

TEST_F(StreamHandlerOnFileThread, BlockingStreamIsReadOnFileAndAnswersLater) {
  std::string content(70000, 'z');
  content[0] = 'a';
  ASSERT_FALSE(test::AddFile(L"big.bin", content).empty());
  CefRefPtr<CefStreamReader> stream = CefStreamReader::CreateForFile(test::FileRoot() + L"\\big.bin");
  ASSERT_TRUE(stream);
  CefRefPtr<CefStreamResourceHandler> handler = new CefStreamResourceHandler("application/octet-stream", stream);
  CefRefPtr<CallbackCounter> cb = new CallbackCounter();
  std::string body;
  int waits = 0;
  // Drive it as the loader does, on IO.
  for (int guard = 0; guard < 100; ++guard) {
    bool more = false;
    int read = 0;
    std::vector<char> buffer(32768);
    int continues_before = cb->continues;
    ASSERT_TRUE(test::RunOn(TID_IO, [&] { more = handler->ReadResponse(buffer.data(), 32768, read, cb.get()); }));
    if (!more)
      break;
    if (read == 0) {
      ++waits;
      ASSERT_TRUE(test::WaitFor([&] { return cb->continues > continues_before; }));
      continue;
    }
    body.append(buffer.data(), static_cast<size_t>(read));
  }
  EXPECT_EQ(body.size(), content.size());
  EXPECT_TRUE(body == content);
  EXPECT_GE(waits, 3);  // each chunk was fetched on FILE first
}

}  // namespace
