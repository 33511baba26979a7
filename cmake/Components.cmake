# Conventions shared by every folder:
#   <dir>/include/        public headers of the target
#   <dir>/src/*.cpp       sources (picked up without editing CMake)
#   <dir>/tests/*.cpp     unit tests          label unit
#   <dir>/tests/net/      loopback sockets    label net
#   <dir>/tests/netns/    fixed ports or multicast, each run in its own network namespace   label net
#   <dir>/tests/gl/       X and OpenGL, each run under its own Xvfb                        label gl
#   <dir>/tests/qt/       Qt widgets, offscreen platform                                 label qt
#   <dir>/tests/e2e/      whole programs, each run in its own network namespace     label e2e
include_guard(GLOBAL)
include(GoogleTest)

# sv_add_library(<name> <SHARED|STATIC|OBJECT> [DIR <dir>] [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(sv_add_library name kind)
  cmake_parse_arguments(A "" "DIR" "PUBLIC_LIBS;PRIVATE_LIBS;SOURCES" ${ARGN})
  if(NOT A_DIR)
    set(A_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${A_DIR}/src/*.cpp ${A_DIR}/src/*.c)
  list(APPEND srcs ${A_SOURCES})
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} ${kind} ${srcs})
  if(EXISTS ${A_DIR}/include)
    target_include_directories(${name} PUBLIC ${A_DIR}/include)
  endif()
  target_include_directories(${name} PRIVATE ${A_DIR}/src)
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
endfunction()

# Adds one test program per non-empty test folder of a component.
# sv_add_tests(<prefix> [DIR <dir>] LIBS <libs...>)
function(sv_add_tests prefix)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(A "" "DIR" "LIBS" ${ARGN})
  if(NOT A_DIR)
    set(A_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(root ${A_DIR}/tests)
  foreach(kind unit net netns gl qt e2e)
    if(kind STREQUAL "unit")
      file(GLOB srcs CONFIGURE_DEPENDS ${root}/*.cpp)
    else()
      file(GLOB srcs CONFIGURE_DEPENDS ${root}/${kind}/*.cpp)
    endif()
    if(NOT srcs)
      continue()
    endif()
    set(exe ${prefix}_${kind}_tests)
    add_executable(${exe} ${srcs})
    target_include_directories(${exe} PRIVATE ${root})
    target_link_libraries(${exe} PRIVATE ${A_LIBS} sv_test_support GTest::gmock)
    set(label ${kind})
    if(kind STREQUAL "netns")
      set(label net)
      set_target_properties(${exe} PROPERTIES CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/netns-run)
    elseif(kind STREQUAL "e2e")
      # Whole programs bind their fixed ports (never outside a namespace) and
      # the display server opens its output window.
      set_target_properties(${exe} PROPERTIES CROSSCOMPILING_EMULATOR
        "${CMAKE_SOURCE_DIR}/tools/netns-run;${CMAKE_SOURCE_DIR}/tools/xvfb-test")
    elseif(kind STREQUAL "gl")
      set_target_properties(${exe} PROPERTIES CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/xvfb-test)
    endif()
    # The discovery script flattens list-valued properties, so only one
    # environment variable goes through ENVIRONMENT; the rest are compiled in
    # and exported by the test main.
    target_sources(${exe} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp)
    target_compile_definitions(${exe} PRIVATE
      SV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" SV_BINARY_DIR="${CMAKE_BINARY_DIR}")
    if(kind STREQUAL "qt")
      target_compile_definitions(${exe} PRIVATE SV_QT_OFFSCREEN=1)
    endif()
    set(env "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tools/lsan.supp")
    # Whole programs under a sanitizer on a busy two-core machine need room.
    set(timeout 120)
    if(kind STREQUAL "e2e")
      set(timeout 300)
    endif()
    gtest_discover_tests(${exe}
      TEST_PREFIX "${prefix}."
      PROPERTIES LABELS ${label} ENVIRONMENT "${env}" TIMEOUT ${timeout}
      DISCOVERY_TIMEOUT 60)
  endforeach()
endfunction()
