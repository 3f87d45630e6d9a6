#include "channel/channel.h"

#include <string>

#include "base/log.h"
#include "channel/channel_impl.h"

CChannel::CChannel() : m_pChannelImpl(nullptr) {}

CChannel::~CChannel() { Unit(); }

void CChannel::Open(const wchar_t* own_prefix, const wchar_t* peer_prefix, const wchar_t* id) {
  if (!id || m_pChannelImpl) return;
  const std::wstring own = (own_prefix + std::wstring(id)).substr(0, kMaxChannelNameLength);
  const std::wstring peer = (peer_prefix + std::wstring(id)).substr(0, kMaxChannelNameLength);
  m_pChannelImpl = new CChannelImpl(own.c_str());
  if (!m_pChannelImpl->Init(peer.c_str())) LogErrorW(L"CChannel::Init, no channel window for %s", own.c_str());
}

void CChannel::Init(const wchar_t* id) { Open(kBrowserChannelPrefix, kStubChannelPrefix, id); }

void CChannel::InitStub(const wchar_t* id) { Open(kStubChannelPrefix, kBrowserChannelPrefix, id); }

void CChannel::AddListener(IChannelListener* listener) {
  if (m_pChannelImpl) m_pChannelImpl->AddListener(listener);
}

void CChannel::RemoveListener(IChannelListener* listener) {
  if (m_pChannelImpl) m_pChannelImpl->RemoveListener(listener);
}

bool CChannel::Send(IPC::Message* message, bool async, bool sync) {
  return m_pChannelImpl ? m_pChannelImpl->Send(message, async, sync) : false;
}

bool CChannel::Send(int32_t routing, uint32_t type, const char* data, int length, bool async, bool sync) {
  return m_pChannelImpl ? m_pChannelImpl->Send(routing, type, data, length, async, sync) : false;
}

bool CChannel::WaitUntilSent(DWORD timeout_ms) {
  return m_pChannelImpl && m_pChannelImpl->WaitUntilSent(timeout_ms);
}

void CChannel::WatchPeerProcess(HANDLE process) {
  if (m_pChannelImpl) m_pChannelImpl->WatchPeerProcess(process);
}

void CChannel::SetPeerProcessId(DWORD process_id) {
  if (m_pChannelImpl) m_pChannelImpl->SetPeerProcessId(process_id);
}

void CChannel::Unit() {
  LogInfoW(L"CChannel::Unit Begin");
  if (m_pChannelImpl) {
    LogInfoW(L"m_pChannelImpl->Unit()");
    m_pChannelImpl->Unit();
    m_pChannelImpl->Release();
    m_pChannelImpl = nullptr;
  }
  LogInfoW(L"CChannel::Unit End");
}
