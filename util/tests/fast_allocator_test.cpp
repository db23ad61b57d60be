// The programs' allocator: a program linked with it (as this test is) must allocate through
// mimalloc everywhere, GLib's slices included, or the conversion's speed quietly goes back to
// what glibc's arenas and GLib's shared magazines give.
#include <glib.h>
#include <gtest/gtest.h>
#include <mimalloc.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Whether `p` is where one of the current thread's mimalloc blocks starts (rather than inside a
// larger block, as a slice of GLib's own magazines is).
bool StartsMimallocBlock(const void* p) {
  struct Search {
    const void* wanted;
    bool found;
  } search{p, false};
  mi_heap_visit_blocks(
      mi_heap_get_default(), true,
      [](const mi_heap_t*, const mi_heap_area_t*, void* block, size_t, void* arg) {
        auto* s = static_cast<Search*>(arg);
        if (block == s->wanted) s->found = true;
        return !s->found;
      },
      &search);
  return search.found;
}

TEST(FastAllocator, MallocAndNewAllocateThroughMimalloc) {
  void* fromMalloc = std::malloc(100);
  auto fromNew = std::make_unique<char[]>(100);
  EXPECT_TRUE(mi_is_in_heap_region(fromMalloc));
  EXPECT_TRUE(mi_is_in_heap_region(fromNew.get()));
  EXPECT_TRUE(StartsMimallocBlock(fromMalloc));
  std::free(fromMalloc);
}

// GLib settles how it allocates slices before main: only the program's start-up hook can have
// told it in time.
TEST(FastAllocator, GlibSlicesAreMallocBlocks) {
  std::vector<void*> slices;
  for (int i = 0; i < 64; ++i) slices.push_back(g_slice_alloc(40));
  for (void* slice : slices) EXPECT_TRUE(StartsMimallocBlock(slice));
  for (void* slice : slices) g_slice_free1(40, slice);
}

// What one writer thread allocates another may free (a message imported on one, its store item
// released on the other); mimalloc must take it back without corrupting either heap.
TEST(FastAllocator, MemoryFreedByAnotherThreadIsReused) {
  for (int round = 0; round < 20; ++round) {
    std::vector<char*> blocks;
    std::thread maker([&blocks] {
      for (int i = 0; i < 1000; ++i) {
        char* block = static_cast<char*>(g_malloc(static_cast<gsize>(16 + i % 200)));
        std::memset(block, 'x', static_cast<std::size_t>(16 + i % 200));
        blocks.push_back(block);
      }
    });
    maker.join();
    std::thread freer([&blocks] {
      for (char* block : blocks) g_free(block);
    });
    freer.join();
  }
  void* again = std::malloc(64);
  EXPECT_TRUE(mi_is_in_heap_region(again));
  std::free(again);
}

}  // namespace
