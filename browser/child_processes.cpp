#include "browser/child_processes.h"

#include <new>

ChildProcessList g_childProcesses;
std::atomic<HWND> g_flashNoticeWindow{nullptr};

bool ChildProcessList::Append(HANDLE process) {
  if (!process) return false;
  _BaseModule::CAutoLocker locker(&m_lock);
  try {
    m_vecHandles.push_back(process);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::vector<HANDLE> ChildProcessList::Snapshot() const {
  _BaseModule::CAutoLocker locker(&m_lock);
  return m_vecHandles;
}
