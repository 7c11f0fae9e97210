// The critical section of the original class library, over std::mutex.
#pragma once

#include <mutex>

#include "platform/Types.h"

class CCriticalSection {
 public:
  BOOL Lock() {
    m_mutex.lock();
    return TRUE;
  }
  BOOL Unlock() {
    m_mutex.unlock();
    return TRUE;
  }

 private:
  std::mutex m_mutex;
};

// Holds a critical section for a scope.
class CSingleLock {
 public:
  explicit CSingleLock(CCriticalSection* cs, BOOL lockNow = FALSE) : m_cs(cs) {
    if (lockNow) Lock();
  }
  ~CSingleLock() { Unlock(); }
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;
  BOOL Lock() {
    if (!m_locked && m_cs) m_locked = m_cs->Lock();
    return m_locked;
  }
  BOOL Unlock() {
    if (m_locked) m_cs->Unlock();
    m_locked = FALSE;
    return TRUE;
  }
  BOOL IsLocked() const { return m_locked; }

 private:
  CCriticalSection* m_cs;
  BOOL m_locked = FALSE;
};
