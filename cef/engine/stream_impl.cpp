// Stream readers and writers over memory, files and client handlers. Each object is used by one
// thread at a time (the thread of the caller); nothing here posts tasks.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/logging.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"
#include "include/cef_stream.h"

namespace cefengine {

namespace {

// Position arithmetic shared by the memory reader: 0 on success, -1 for a target outside [0, size].
int SeekWithin(int64 size, int64* position, int64 offset, int whence) {
  int64 base = 0;
  switch (whence) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = *position;
      break;
    case SEEK_END:
      base = size;
      break;
    default:
      return -1;
  }
  int64 target = base + offset;
  if (target < 0 || target > size)
    return -1;
  *position = target;
  return 0;
}

class DataReader : public CefStreamReader {
 public:
  DataReader(const void* data, size_t size) : data_(static_cast<const char*>(data), size) {}

  size_t Read(void* ptr, size_t size, size_t n) override {
    if (!ptr || size == 0 || n == 0)
      return 0;
    size_t left = data_.size() - static_cast<size_t>(position_);
    size_t items = std::min(n, left / size);
    memcpy(ptr, data_.data() + position_, items * size);
    position_ += static_cast<int64>(items * size);
    return items;
  }
  int Seek(int64 offset, int whence) override {
    return SeekWithin(static_cast<int64>(data_.size()), &position_, offset, whence);
  }
  int64 Tell() override { return position_; }
  int Eof() override { return position_ >= static_cast<int64>(data_.size()) ? 1 : 0; }
  bool MayBlock() override { return false; }

 private:
  const std::string data_;
  int64 position_ = 0;
  IMPLEMENT_REFCOUNTING(DataReader);
};

int OriginOf(int whence) {
  switch (whence) {
    case SEEK_SET:
      return FILE_BEGIN;
    case SEEK_CUR:
      return FILE_CURRENT;
    case SEEK_END:
      return FILE_END;
    default:
      return -1;
  }
}

// A Win32 file handle shared by the file reader and writer.
class FileStream {
 public:
  explicit FileStream(HANDLE file) : file_(file) {}
  ~FileStream() { CloseHandle(file_); }

  int Seek(int64 offset, int whence) {
    int origin = OriginOf(whence);
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    if (origin < 0 || !SetFilePointerEx(file_, distance, nullptr, static_cast<DWORD>(origin)))
      return -1;
    eof_ = false;
    return 0;
  }
  int64 Tell() {
    LARGE_INTEGER zero = {}, position = {};
    if (!SetFilePointerEx(file_, zero, &position, FILE_CURRENT))
      return -1;
    return position.QuadPart;
  }
  HANDLE handle() const { return file_; }
  bool eof_ = false;

 private:
  HANDLE file_;
};

class FileReader : public CefStreamReader {
 public:
  explicit FileReader(HANDLE file) : file_(file) {}

  size_t Read(void* ptr, size_t size, size_t n) override {
    if (!ptr || size == 0 || n == 0)
      return 0;
    // Whole items only: a partial item at the end is put back.
    size_t wanted = size * n;
    size_t total = 0;
    char* out = static_cast<char*>(ptr);
    while (total < wanted) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(wanted - total, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(file_.handle(), out + total, chunk, &got, nullptr) || got == 0) {
        file_.eof_ = true;
        break;
      }
      total += got;
    }
    size_t partial = total % size;
    if (partial)
      file_.Seek(-static_cast<int64>(partial), SEEK_CUR);
    return total / size;
  }
  int Seek(int64 offset, int whence) override { return file_.Seek(offset, whence); }
  int64 Tell() override { return file_.Tell(); }
  int Eof() override {
    if (file_.eof_)
      return 1;
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file_.handle(), &size) && Tell() >= size.QuadPart ? 1 : 0;
  }
  bool MayBlock() override { return true; }

 private:
  FileStream file_;
  IMPLEMENT_REFCOUNTING(FileReader);
};

class FileWriter : public CefStreamWriter {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}

  size_t Write(const void* ptr, size_t size, size_t n) override {
    if (!ptr || size == 0 || n == 0)
      return 0;
    size_t wanted = size * n;
    size_t total = 0;
    const char* in = static_cast<const char*>(ptr);
    while (total < wanted) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(wanted - total, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(file_.handle(), in + total, chunk, &put, nullptr) || put == 0)
        break;
      total += put;
    }
    return total / size;
  }
  int Seek(int64 offset, int whence) override { return file_.Seek(offset, whence); }
  int64 Tell() override { return file_.Tell(); }
  int Flush() override { return FlushFileBuffers(file_.handle()) ? 0 : -1; }
  bool MayBlock() override { return true; }

 private:
  FileStream file_;
  IMPLEMENT_REFCOUNTING(FileWriter);
};

class HandlerReader : public CefStreamReader {
 public:
  explicit HandlerReader(CefRefPtr<CefReadHandler> handler) : handler_(handler) {}
  size_t Read(void* ptr, size_t size, size_t n) override { return handler_->Read(ptr, size, n); }
  int Seek(int64 offset, int whence) override { return handler_->Seek(offset, whence); }
  int64 Tell() override { return handler_->Tell(); }
  int Eof() override { return handler_->Eof(); }
  bool MayBlock() override { return handler_->MayBlock(); }

 private:
  const CefRefPtr<CefReadHandler> handler_;
  IMPLEMENT_REFCOUNTING(HandlerReader);
};

class HandlerWriter : public CefStreamWriter {
 public:
  explicit HandlerWriter(CefRefPtr<CefWriteHandler> handler) : handler_(handler) {}
  size_t Write(const void* ptr, size_t size, size_t n) override { return handler_->Write(ptr, size, n); }
  int Seek(int64 offset, int whence) override { return handler_->Seek(offset, whence); }
  int64 Tell() override { return handler_->Tell(); }
  int Flush() override { return handler_->Flush(); }
  bool MayBlock() override { return handler_->MayBlock(); }

 private:
  const CefRefPtr<CefWriteHandler> handler_;
  IMPLEMENT_REFCOUNTING(HandlerWriter);
};

}  // namespace

}  // namespace cefengine

using namespace cefengine;

CefRefPtr<CefStreamReader> CefStreamReader::CreateForFile(const CefString& fileName) {
  std::wstring path = fileName.ToWString();
  HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                             : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LOG(WARNING) << "CefStreamReader::CreateForFile cannot open " << WideToUtf8(path);
    return nullptr;
  }
  return new FileReader(file);
}

CefRefPtr<CefStreamReader> CefStreamReader::CreateForData(void* data, size_t size) {
  // Null data or no bytes: a valid reader that is at its end at once.
  if (!data)
    size = 0;
  return new DataReader(data, size);
}

CefRefPtr<CefStreamReader> CefStreamReader::CreateForHandler(CefRefPtr<CefReadHandler> handler) {
  if (!handler) {
    CEFENGINE_MISUSE("CefStreamReader::CreateForHandler with a null handler");
    return nullptr;
  }
  return new HandlerReader(handler);
}

CefRefPtr<CefStreamWriter> CefStreamWriter::CreateForFile(const CefString& fileName) {
  std::wstring path = fileName.ToWString();
  HANDLE file = path.empty() ? INVALID_HANDLE_VALUE
                             : CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LOG(WARNING) << "CefStreamWriter::CreateForFile cannot create " << WideToUtf8(path);
    return nullptr;
  }
  return new FileWriter(file);
}

CefRefPtr<CefStreamWriter> CefStreamWriter::CreateForHandler(CefRefPtr<CefWriteHandler> handler) {
  if (!handler) {
    CEFENGINE_MISUSE("CefStreamWriter::CreateForHandler with a null handler");
    return nullptr;
  }
  return new HandlerWriter(handler);
}
