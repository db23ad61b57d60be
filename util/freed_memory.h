// How soon the memory the program frees goes back to the system: at once, for the smallest
// footprint, or after a moment, so that memory freed and wanted again soon after stays mapped.
// The allocator the program links decides how (where it has the choice, it installs a handler
// at start-up); everywhere else this does nothing.
#pragma once

namespace qc {

enum class FreedMemory { ReturnAtOnce, KeepAMoment };

using FreedMemoryHandler = void (*)(FreedMemory);

// For what the process does from now on. The default is ReturnAtOnce.
void SetFreedMemory(FreedMemory freed);

// The allocator's own: called before main, so it must not depend on any static object.
void SetFreedMemoryHandler(FreedMemoryHandler handler);

// Sets `freed` for its lifetime, then ReturnAtOnce again.
class FreedMemoryScope {
 public:
  explicit FreedMemoryScope(FreedMemory freed) { SetFreedMemory(freed); }
  ~FreedMemoryScope() { SetFreedMemory(FreedMemory::ReturnAtOnce); }
  FreedMemoryScope(const FreedMemoryScope&) = delete;
  FreedMemoryScope& operator=(const FreedMemoryScope&) = delete;
};

}  // namespace qc
