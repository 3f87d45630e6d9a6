#include "include/wrapper/cef_stream_resource_handler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "include/base/cef_bind.h"
#include "include/base/cef_logging.h"
#include "include/wrapper/cef_closure_task.h"

struct CefStreamResourceHandler::FileRead {
  std::mutex mutex;
  std::string bytes;    // read ahead, not yet handed out
  bool running = false;
  bool at_end = false;
  bool canceled = false;
};

namespace {

// FILE thread: fills `state` with up to `wanted` bytes of `stream`, then wakes the loader.
void ReadOnFileThread(CefRefPtr<CefStreamReader> stream, std::shared_ptr<CefStreamResourceHandler::FileRead> state,
                      int wanted, CefRefPtr<CefCallback> callback) {
  std::string chunk(static_cast<size_t>(wanted), '\0');
  size_t got = stream->Read(&chunk[0], 1, chunk.size());
  chunk.resize(got);
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->running = false;
    if (state->canceled)
      return;
    state->bytes += chunk;
    if (got == 0)
      state->at_end = true;
  }
  callback->Continue();
}

}  // namespace

CefStreamResourceHandler::CefStreamResourceHandler(const CefString& mime_type, CefRefPtr<CefStreamReader> stream)
    : CefStreamResourceHandler(200, "OK", mime_type, CefResponse::HeaderMap(), stream) {}

CefStreamResourceHandler::CefStreamResourceHandler(int status_code, const CefString& status_text,
                                                   const CefString& mime_type, CefResponse::HeaderMap header_map,
                                                   CefRefPtr<CefStreamReader> stream)
    : status_code_(status_code),
      status_text_(status_text),
      mime_type_(mime_type),
      header_map_(header_map),
      stream_(stream),
      file_read_(std::make_shared<FileRead>()) {
  if (!stream_)
    LOG(WARNING) << "CefStreamResourceHandler without a stream serves an empty body";
}

bool CefStreamResourceHandler::ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) {
  callback->Continue();
  return true;
}

void CefStreamResourceHandler::GetResponseHeaders(CefRefPtr<CefResponse> response, int64& response_length,
                                                  CefString& redirectUrl) {
  response->SetStatus(status_code_);
  response->SetStatusText(status_text_);
  response->SetMimeType(mime_type_);
  if (!header_map_.empty())
    response->SetHeaderMap(header_map_);
  response_length = -1;
  if (!stream_) {
    response_length = 0;
    return;
  }
  // The bytes left from the current position, when the stream can tell.
  int64 start = stream_->Tell();
  if (start >= 0 && stream_->Seek(0, SEEK_END) == 0) {
    int64 end = stream_->Tell();
    if (stream_->Seek(start, SEEK_SET) == 0 && end >= start)
      response_length = end - start;
  }
}

bool CefStreamResourceHandler::ReadResponse(void* data_out, int bytes_to_read, int& bytes_read,
                                            CefRefPtr<CefCallback> callback) {
  bytes_read = 0;
  if (!stream_ || !data_out || bytes_to_read <= 0)
    return false;
  if (!stream_->MayBlock()) {
    bytes_read = static_cast<int>(stream_->Read(data_out, 1, static_cast<size_t>(bytes_to_read)));
    return bytes_read > 0;
  }
  std::lock_guard<std::mutex> lock(file_read_->mutex);
  if (!file_read_->bytes.empty()) {
    size_t n = std::min(file_read_->bytes.size(), static_cast<size_t>(bytes_to_read));
    memcpy(data_out, file_read_->bytes.data(), n);
    file_read_->bytes.erase(0, n);
    bytes_read = static_cast<int>(n);
    return true;
  }
  if (file_read_->at_end)
    return false;
  if (file_read_->running)
    return true;  // the read in flight calls back
  file_read_->running = true;
  if (CefPostTask(TID_FILE, base::Bind(&ReadOnFileThread, stream_, file_read_, bytes_to_read, callback)))
    return true;
  // No FILE thread (the engine is going down): read here.
  file_read_->running = false;
  bytes_read = static_cast<int>(stream_->Read(data_out, 1, static_cast<size_t>(bytes_to_read)));
  return bytes_read > 0;
}

void CefStreamResourceHandler::Cancel() {
  std::lock_guard<std::mutex> lock(file_read_->mutex);
  file_read_->canceled = true;
}
