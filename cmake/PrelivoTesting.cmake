# GoogleTest is built from Debian's sources with the project's own compiler,
# so the same sources serve the native build and the MinGW cross builds.
include(GoogleTest)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${PRELIVO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Its own warnings under the project's strict flags are not ours to fix.
foreach(_t gtest gtest_main)
  set_target_properties(${_t} PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
  target_compile_options(${_t} PRIVATE -w)
endforeach()

# prelivo_add_gtest(NAME source... [LIBS lib...])
# A test program. Natively each test case becomes a CTest test; a cross
# build runs the whole program as one test under the emulator (Wine), since
# listing the cases would start Wine once more per build.
function(prelivo_add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE GTest::gtest_main ${ARG_LIBS})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${PRELIVO_TEST_PREFIX}${name} COMMAND ${name})
  else()
    # A case that hangs (threads waiting for each other) fails in minutes,
    # not at CTest's default of 25.
    gtest_discover_tests(${name} TEST_PREFIX ${PRELIVO_TEST_PREFIX} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
  endif()
endfunction()
