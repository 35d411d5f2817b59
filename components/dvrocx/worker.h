// A worker thread and the manual-reset event that asks it to end. The
// worker watches the event in every wait and never sends to a window, so
// Stop() returns promptly whatever the network does.
#pragma once

#include <windows.h>
#include <process.h>

#include "handles.h"

namespace dvrocx {

class CWorker {
 public:
  CWorker() = default;
  ~CWorker() { Stop(); }
  CWorker(const CWorker&) = delete;
  CWorker& operator=(const CWorker&) = delete;

  // Runs run(param) on a new thread. False, with GetLastError() telling
  // why, when no event or thread could be had; nothing runs then.
  bool Start(unsigned(__stdcall* run)(void*), void* param) {
    Stop();
    m_hCancel.Attach(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const uintptr_t thread = m_hCancel.Valid() ? _beginthreadex(nullptr, 0, run, param, 0, nullptr) : 0;
    if (thread == 0) {
      const DWORD error = GetLastError();
      m_hCancel.Release();
      SetLastError(error);
      return false;
    }
    m_hThread.Attach(reinterpret_cast<HANDLE>(thread));
    return true;
  }
  // Sets the event, waits for the thread to end and lets go of both.
  void Stop() {
    if (m_hThread.Valid()) {
      SetEvent(m_hCancel);
      WaitForSingleObject(m_hThread, INFINITE);
      m_hThread.Release();
    }
    m_hCancel.Release();
  }
  bool IsRunning() const { return m_hThread.Valid(); }
  // The event the worker watches.
  HANDLE Cancel() const { return m_hCancel; }

 private:
  CHandle m_hThread;
  CHandle m_hCancel;
};

}  // namespace dvrocx
