# Read after CMake's Windows platform file (CMAKE_USER_MAKE_RULES_OVERRIDE in the toolchain), which
# lists import libraries first: a library found as libz.dll.a would tie the program to zlib1.dll.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
