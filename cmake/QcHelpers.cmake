# Shared build settings for every target of the project.

function(qc_setup_sanitizers)
  if(QC_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
endfunction()

# Warnings are errors everywhere in our own code.
function(qc_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion -Werror)
  # GCC 12 reports -Wrestrict and -Wstringop-* inside libstdc++'s own string and vector code
  # when optimising (GCC bugs 105651, 106199): warnings about the library, not about our code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-stringop-overflow
                                             -Wno-stringop-overread)
  endif()
endfunction()

# A static library of the core: qc_library(name SOURCES ... DEPS ...)
function(qc_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  qc_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest: qc_test(name SOURCES ... DEPS ...)
function(qc_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(NOT QC_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  qc_warnings(${name})
  if(CMAKE_CROSSCOMPILING)
    # Listing the tests runs the program. Under an emulator (Wine) that is slow and needs the
    # emulator's set-up, so it waits for CTest instead of following every link.
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
  else()
    gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# How a test script runs one of our programs: qc_test_program(VAR target) sets VAR to the
# program, or in a cross build to a small script that runs it under the emulator, so that the
# script's readers (Linux programs) read what the Windows program wrote.
function(qc_test_program var target)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(${var} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
    return()
  endif()
  set(command "")
  foreach(word IN LISTS CMAKE_CROSSCOMPILING_EMULATOR ITEMS "$<TARGET_FILE:${target}>")
    string(REPLACE "'" "'\\''" word "${word}")
    string(APPEND command "'${word}' ")
  endforeach()
  set(runner "${CMAKE_CURRENT_BINARY_DIR}/run/${target}")
  # One runner per program and folder, however many tests use it.
  get_property(made GLOBAL PROPERTY "qc_runner:${runner}")
  if(NOT made)
    file(GENERATE OUTPUT "${runner}" CONTENT "#!/bin/sh\nexec ${command}\"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    set_property(GLOBAL PROPERTY "qc_runner:${runner}" TRUE)
  endif()
  set(${var} "${runner}" PARENT_SCOPE)
endfunction()

# --version of a program prints its name and the project's version, and the program succeeds.
function(qc_version_test target)
  if(NOT QC_BUILD_TESTS)
    return()
  endif()
  qc_test_program(run ${target})
  add_test(NAME ${target}.version
           COMMAND sh -c "out=$(\"$0\" --version) && [ \"$out\" = \"$1\" ] || { echo \"got: $out\"; exit 1; }"
                   ${run} "${target} ${PROJECT_VERSION}")
endfunction()

# A test that means nothing on the system built for stays listed, as skipped with its reason.
function(qc_skipped_test name reason)
  add_test(NAME ${name} COMMAND sh -c "echo \"skipped: $1\"; exit 77" sh "${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()
