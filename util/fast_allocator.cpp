// Linked into the programs that parse mail, where the build found mimalloc: its shared library
// replaces malloc and free for the whole process (GLib, GMime and the C++ library included), with
// a heap per thread, so the two writer threads no longer meet in glibc's arenas.
#include <dlfcn.h>
#include <glib.h>
#include <mimalloc.h>

#include <cstring>
#include <string_view>

namespace {

// Whether GLib's slices are plain g_malloc blocks: told so at start-up, and no G_SLICE of the
// user's own (which may ask for GLib's block debugging, whose bookkeeping only GLib's own slice
// functions keep).
bool slicesAreMalloc = false;

void SetUpAllocator(int, char**, char** environment) {
  // GLib 2.74 keeps its small objects (GMime's headers, parameters, lists, hash tables) in slices
  // of its own, whose magazines the threads share under a lock, unless told to take them from
  // malloc. It settles that once, from its library constructor, before main runs; the functions
  // of the program's .preinit_array run before any library's constructor. (Setting G_SLICE here
  // would not do: the C library's own start-up sets the environment back after this.) A G_SLICE
  // of the user's own still adds to it. Later GLibs take slices from malloc always.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  g_slice_set_config(G_SLICE_CONFIG_ALWAYS_MALLOC, TRUE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  slicesAreMalloc = true;
  for (char** variable = environment; variable != nullptr && *variable != nullptr; ++variable) {
    if (std::string_view(*variable).starts_with("G_SLICE=")) slicesAreMalloc = false;
  }
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

// GLib's slice functions as the program's own, which the loader binds GMime's and GObject's
// calls to. Told to use malloc, GLib 2.74 still looks up its per-thread slice data on every
// allocation before it calls g_malloc: a twentieth of a conversion of small messages, which
// make and drop dozens of GMime objects each. Blocks from either side are g_malloc blocks, so
// GLib's own calls, which stay with its functions, free ours and ours free theirs.
namespace {

template <class Function>
Function GlibSliceFunction(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

gpointer g_slice_alloc(gsize size) {
  if (slicesAreMalloc) return g_malloc(size);
  static const auto glib = GlibSliceFunction<gpointer (*)(gsize)>("g_slice_alloc");
  return glib(size);
}

gpointer g_slice_alloc0(gsize size) {
  if (slicesAreMalloc) return g_malloc0(size);
  static const auto glib = GlibSliceFunction<gpointer (*)(gsize)>("g_slice_alloc0");
  return glib(size);
}

gpointer g_slice_copy(gsize size, gconstpointer from) {
  if (slicesAreMalloc) {
    void* to = g_malloc(size);
    if (size != 0) std::memcpy(to, from, size);
    return to;
  }
  static const auto glib = GlibSliceFunction<gpointer (*)(gsize, gconstpointer)>("g_slice_copy");
  return glib(size, from);
}

void g_slice_free1(gsize size, gpointer block) {
  if (slicesAreMalloc) {
    if (block != nullptr && g_mem_gc_friendly) std::memset(block, 0, size);
    return g_free(block);
  }
  static const auto glib = GlibSliceFunction<void (*)(gsize, gpointer)>("g_slice_free1");
  glib(size, block);
}

}  // extern "C"
