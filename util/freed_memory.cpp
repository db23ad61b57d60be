#include "util/freed_memory.h"

#include <atomic>

namespace qc {

namespace {
// Constant-initialized: the allocator sets it from the program's .preinit_array, before any
// static constructor runs.
constinit std::atomic<FreedMemoryHandler> gHandler{nullptr};
}  // namespace

void SetFreedMemory(FreedMemory freed) {
  if (const FreedMemoryHandler handler = gHandler.load()) handler(freed);
}

void SetFreedMemoryHandler(FreedMemoryHandler handler) {
  gHandler.store(handler);
}

}  // namespace qc
