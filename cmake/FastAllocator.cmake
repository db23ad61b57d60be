# mimalloc as the allocator of the programs that parse mail, where the build finds it (Debian's
# libmimalloc-dev). GMime and GLib allocate and free several objects for every header of every
# message, on both writer threads; glibc's malloc and GLib's slices spent a quarter of a .pst or
# .msg conversion in that. Builds without it (the Windows cross build, the sanitizers, which
# replace malloc themselves, the fuzzers) link nothing and behave the same, more slowly.
option(QC_MIMALLOC "Link the programs with mimalloc when it is found" ON)
set(QC_HAVE_MIMALLOC OFF)
if(QC_MIMALLOC AND NOT WIN32 AND NOT QC_SANITIZE AND NOT QC_FUZZ)
  find_package(mimalloc 2.0 CONFIG QUIET)
  if(mimalloc_FOUND)
    set(QC_HAVE_MIMALLOC ON)
    message(STATUS "Allocator: mimalloc ${mimalloc_VERSION}")
  else()
    message(STATUS "Allocator: the C library's (mimalloc not found; apt-get install libmimalloc-dev)")
  endif()
endif()

# qc_fast_allocator(target): `target`, a program, allocates through mimalloc when the build has it.
function(qc_fast_allocator target)
  if(QC_HAVE_MIMALLOC)
    target_link_libraries(${target} PRIVATE qc_fast_allocator)
  endif()
endfunction()
