# GoogleTest from Debian's source package (/usr/src/googletest), built with the
# same compiler and flags as our code, for both targets.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
if(NOT TARGET gtest)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
endif()

# Where tests find the source tree (fixtures and the like). Win32 tests run
# under Wine, which shows the host's / as drive Z:.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(PV_TEST_SOURCE_DIR "Z:${PROJECT_SOURCE_DIR}")
else()
  set(PV_TEST_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
endif()

# pv_add_test(NAME name SOURCES ... [LIBS ...] [DESKTOP])
# DESKTOP: the test drives windows on the shared X display (input, focus,
# popup menus), so it never runs beside another such test.
# One ctest entry per executable (under Wine each start costs about a second).
function(pv_add_test)
  cmake_parse_arguments(T "DESKTOP" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  pv_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE PV_SOURCE_DIR="${PV_TEST_SOURCE_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "PV_SOURCE_DIR=${PV_TEST_SOURCE_DIR}")
  if(T_DESKTOP)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK desktop)
  endif()
endfunction()
