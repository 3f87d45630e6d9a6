// A minimal HTTP server on 127.0.0.1 for tests: it answers every request with "200" (or the
// status set last) and the body set last ("ok" until one is set), and records the request
// targets and the whole requests. Bounded: at most kMaxRequests connections, each read for at most
// two seconds; the server stops when the object is destroyed.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackHttpServer {
 public:
  static constexpr int kMaxRequests = 64;

  LoopbackHttpServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (m_listen == INVALID_SOCKET || bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listen, 16) != 0)
      return;
    int length = sizeof(address);
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    m_nPort = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~LoopbackHttpServer() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
    WSACleanup();
  }
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int Port() const { return m_nPort; }
  // "http://127.0.0.1:<port>"
  std::wstring Base() const { return L"http://127.0.0.1:" + std::to_wstring(m_nPort); }
  // The body of every later answer.
  void SetBody(const std::string& body) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_body = body;
  }
  // The status line, content type and extra header lines ("Name: value\r\n" each) of every later
  // answer.
  void SetAnswer(int status, const std::string& reason, const std::string& content_type,
                 const std::string& extra_headers) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_nStatus = status;
    m_strReason = reason;
    m_strContentType = content_type;
    m_strExtraHeaders = extra_headers;
  }
  // Every request as received (head and the body its Content-Length announced), in arrival order.
  std::vector<std::string> RawRequests() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_requests;
  }
  int Requests() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return static_cast<int>(m_targets.size());
  }
  // A fresh address on each call, so no cached copy answers in the server's place.
  std::wstring NextUrl() { return Base() + L"/file_" + std::to_wstring(m_nUrlCounter++) + L".dat"; }
  // Targets of the requests so far ("/path?query"), in arrival order.
  std::vector<std::string> Targets() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_targets;
  }

 private:
  void Serve() {
    int served = 0;
    while (!m_bStop && served < kMaxRequests) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(m_listen, &ready);
      timeval wait = {0, 50000};
      if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
      SOCKET client = accept(m_listen, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      ++served;
      Answer(client);
      closesocket(client);
    }
  }

  void Answer(SOCKET client) {
    std::string head;
    DWORD start = GetTickCount();
    ReadInto(client, &head, start, [](const std::string& h) {
      return h.find("\r\n\r\n") != std::string::npos || h.size() >= 16384;
    });
    // The body the head announces, read within the same time bound.
    size_t head_end = head.find("\r\n\r\n");
    if (head_end != std::string::npos) {
      size_t wanted = head_end + 4 + ContentLength(head.substr(0, head_end));
      ReadInto(client, &head, start, [wanted](const std::string& h) { return h.size() >= wanted; });
    }
    size_t first = head.find(' ');
    size_t second = first == std::string::npos ? std::string::npos : head.find(' ', first + 1);
    if (second != std::string::npos) {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_targets.push_back(head.substr(first + 1, second - first - 1));
    }
    std::string answer;
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_requests.push_back(head);
      answer = "HTTP/1.1 " + std::to_string(m_nStatus) + " " + m_strReason + "\r\nContent-Type: " + m_strContentType +
               "\r\n" + m_strExtraHeaders + "Content-Length: " + std::to_string(m_body.size()) +
               "\r\nConnection: close\r\n\r\n" + m_body;
    }
    send(client, answer.data(), static_cast<int>(answer.size()), 0);
    shutdown(client, SD_SEND);
  }

  // Appends what `client` sends until `done` holds, the peer closes, or two seconds from `start`.
  template <typename Done>
  static void ReadInto(SOCKET client, std::string* data, DWORD start, Done done) {
    char chunk[1024];
    while (!done(*data) && GetTickCount() - start < 2000) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(client, &ready);
      timeval wait = {0, 100000};
      if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
      int got = recv(client, chunk, sizeof(chunk), 0);
      if (got <= 0) break;
      data->append(chunk, static_cast<size_t>(got));
    }
  }

  // The Content-Length value of a request head; 0 when absent.
  static size_t ContentLength(const std::string& head) {
    std::string lower = head;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return static_cast<size_t>(strtoul(lower.c_str() + at + 17, nullptr, 10));
  }

  SOCKET m_listen = INVALID_SOCKET;
  int m_nPort = 0;
  volatile bool m_bStop = false;
  std::thread m_thread;
  std::mutex m_mutex;
  std::vector<std::string> m_targets;
  std::string m_body = "ok";
  int m_nStatus = 200;
  std::string m_strReason = "OK";
  std::string m_strContentType = "text/plain";
  std::string m_strExtraHeaders;
  std::vector<std::string> m_requests;
  int m_nUrlCounter = 0;
};
