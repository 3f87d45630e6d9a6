// A minimal HTTP server on 127.0.0.1 for tests: it answers every request with "200" and the
// body set last ("ok" until one is set), and records the request targets. Bounded: at most kMaxRequests connections, each read for at most
// two seconds; the server stops when the object is destroyed.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

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
    char chunk[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384 && GetTickCount() - start < 2000) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(client, &ready);
      timeval wait = {0, 100000};
      if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
      int got = recv(client, chunk, sizeof(chunk), 0);
      if (got <= 0) break;
      head.append(chunk, static_cast<size_t>(got));
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
      answer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(m_body.size()) +
               "\r\nConnection: close\r\n\r\n" + m_body;
    }
    send(client, answer.data(), static_cast<int>(answer.size()), 0);
    shutdown(client, SD_SEND);
  }

  SOCKET m_listen = INVALID_SOCKET;
  int m_nPort = 0;
  volatile bool m_bStop = false;
  std::thread m_thread;
  std::mutex m_mutex;
  std::vector<std::string> m_targets;
  std::string m_body = "ok";
  int m_nUrlCounter = 0;
};
