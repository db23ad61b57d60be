// Linked into the programs that parse mail, where the build found mimalloc: its shared library
// replaces malloc and free for the whole process (GLib, GMime and the C++ library included), with
// a heap per thread, so the two writer threads no longer meet in glibc's arenas.
#include <glib.h>
#include <mimalloc.h>

namespace {

void SetUpAllocator(int, char**, char**) {
  // GLib 2.74 keeps its small objects (GMime's headers, parameters, lists, hash tables) in slices
  // of its own, whose magazines the threads share under a lock, unless told to take them from
  // malloc. It settles that once, from its library constructor, before main runs; the functions
  // of the program's .preinit_array run before any library's constructor. (Setting G_SLICE here
  // would not do: the C library's own start-up sets the environment back after this.) A G_SLICE
  // of the user's own still adds to it. Later GLibs take slices from malloc always.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  g_slice_set_config(G_SLICE_CONFIG_ALWAYS_MALLOC, TRUE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  // Memory a thread frees goes back to the system at once instead of 25 ms later: at the rate
  // messages come and go that kept about 1.5 MiB more resident, for no measurable time.
  // MIMALLOC_* variables of the user's own still decide.
  mi_option_set_default(mi_option_decommit_delay, 0);
  mi_option_set_default(mi_option_segment_decommit_delay, 0);
}

// The type the loader calls a .preinit_array entry with.
using StartHook = void (*)(int, char**, char**);
[[gnu::used, gnu::section(".preinit_array")]] const StartHook kSetUpAllocator = SetUpAllocator;

}  // namespace
