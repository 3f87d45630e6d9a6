#ifndef CEF_INCLUDE_CEF_STREAM_H_
#define CEF_INCLUDE_CEF_STREAM_H_

#include "include/cef_base.h"

// Application-side source of bytes for CefStreamReader::CreateForHandler.
class CefReadHandler : public virtual CefBase {
 public:
  virtual size_t Read(void* ptr, size_t size, size_t n) = 0;
  virtual int Seek(int64 offset, int whence) = 0;
  virtual int64 Tell() = 0;
  virtual int Eof() = 0;
  virtual bool MayBlock() = 0;
};

// Reads bytes. Thread of the caller.
class CefStreamReader : public virtual CefBase {
 public:
  // Null when the file cannot be opened.
  static CefRefPtr<CefStreamReader> CreateForFile(const CefString& fileName);
  // Copies `size` bytes of `data`; size 0 or null data gives a valid empty reader.
  static CefRefPtr<CefStreamReader> CreateForData(void* data, size_t size);
  static CefRefPtr<CefStreamReader> CreateForHandler(CefRefPtr<CefReadHandler> handler);

  // Reads up to size * n bytes; returns the number of whole items read.
  virtual size_t Read(void* ptr, size_t size, size_t n) = 0;
  // whence: SEEK_SET, SEEK_CUR, SEEK_END. 0 on success.
  virtual int Seek(int64 offset, int whence) = 0;
  virtual int64 Tell() = 0;
  virtual int Eof() = 0;
  virtual bool MayBlock() = 0;
};

// Application-side sink of bytes for CefStreamWriter::CreateForHandler.
class CefWriteHandler : public virtual CefBase {
 public:
  virtual size_t Write(const void* ptr, size_t size, size_t n) = 0;
  virtual int Seek(int64 offset, int whence) = 0;
  virtual int64 Tell() = 0;
  virtual int Flush() = 0;
  virtual bool MayBlock() = 0;
};

// Writes bytes. Thread of the caller.
class CefStreamWriter : public virtual CefBase {
 public:
  static CefRefPtr<CefStreamWriter> CreateForFile(const CefString& fileName);
  static CefRefPtr<CefStreamWriter> CreateForHandler(CefRefPtr<CefWriteHandler> handler);

  virtual size_t Write(const void* ptr, size_t size, size_t n) = 0;
  virtual int Seek(int64 offset, int whence) = 0;
  virtual int64 Tell() = 0;
  virtual int Flush() = 0;
  virtual bool MayBlock() = 0;
};

#endif  // CEF_INCLUDE_CEF_STREAM_H_
