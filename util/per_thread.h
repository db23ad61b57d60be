// One object of type T per thread, made on the thread's first call and destroyed when the thread
// ends: for caches and scratch buffers the workers keep between messages.
//
// On Windows, C++ thread_local objects with destructors are not used: under mingw-w64 the thread's
// storage of them is freed before their destructors run, which then read freed memory (a parser's
// options freed twice, the heap corrupted, the program killed as a worker ends). The system's own
// per-thread slot hands the object to its destructor instead.
#pragma once

#ifdef _WIN32
#include <cstdlib>

#include "util/system.h"
#endif

namespace qc {

template <class T>
T& PerThread() {
#ifdef _WIN32
  static const int slot = sys::NewThreadSlot([](void* value) { delete static_cast<T*>(value); });
  if (slot < 0) std::abort();
  auto* value = static_cast<T*>(sys::ThreadSlotValue(slot));
  if (value == nullptr) {
    value = new T();
    sys::SetThreadSlotValue(slot, value);
  }
  return *value;
#else
  thread_local T value;
  return value;
#endif
}

}  // namespace qc
