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

# Prefix that turns a host path into one a test under Wine can open.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(PV_HOST_PATH_PREFIX "Z:")
else()
  set(PV_HOST_PATH_PREFIX "")
endif()

# pv_test_fixtures(TEST test DEFINE macro COMMENT text [ENV var=value ...]
#                  [OUTPUTS file ...])
# Fixtures made at build time on the build host by this folder's
# make_fixtures.py (run by Debian's interpreter, which has Pillow) into
# <binary dir>/fixtures, so the native and the Win64 runs of `test` compare
# against the same files; `macro` names that folder. OUTPUTS are the files
# the script makes (default: its manifest.txt). The scripts share
# tests/support/fixturekit.py, so a change there makes them again.
# PV_FIXTURE_CACHE, when set, is a folder where tests/support/fixturedir.py
# keeps each set made, so that build trees of one run make them only once.
set(PV_FIXTURE_CACHE "" CACHE PATH "Folder shared by build trees for the fixtures they make")
function(pv_test_fixtures)
  cmake_parse_arguments(F "" "TEST;DEFINE;COMMENT" "ENV;OUTPUTS" ${ARGN})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
  if(F_OUTPUTS)
    list(TRANSFORM F_OUTPUTS PREPEND ${dir}/)
  else()
    set(F_OUTPUTS ${dir}/manifest.txt)
  endif()
  add_custom_command(
    OUTPUT ${F_OUTPUTS}
    COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/support/fixturedir.py
            $<$<BOOL:${PV_FIXTURE_CACHE}>:--cache> $<$<BOOL:${PV_FIXTURE_CACHE}>:${PV_FIXTURE_CACHE}>
            ${dir} ${CMAKE_CURRENT_SOURCE_DIR}/make_fixtures.py ${F_ENV}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/make_fixtures.py ${PROJECT_SOURCE_DIR}/tests/support/fixturekit.py
            ${PROJECT_SOURCE_DIR}/tests/support/fixturedir.py
    COMMENT "${F_COMMENT}")
  add_custom_target(${F_TEST}_fixtures DEPENDS ${F_OUTPUTS})
  add_dependencies(${F_TEST} ${F_TEST}_fixtures)
  target_compile_definitions(${F_TEST} PRIVATE ${F_DEFINE}="${PV_HOST_PATH_PREFIX}${dir}")
endfunction()

# Tests that drive windows on an X display (input, focus, popup menus) hold
# one of ctest's "desktops" resources, so two never share a display. ctest
# reads desktops.json, one desktop, unless told otherwise: scripts/test.sh
# passes --resource-spec-file with more, and scripts/wine-run.sh maps each to
# its X server and Wine prefix.
if(PV_TESTS)
  file(WRITE ${PROJECT_BINARY_DIR}/desktops.json
       "{\"version\": {\"major\": 1, \"minor\": 0}, \"local\": [{\"desktops\": [{\"id\": \"0\", \"slots\": 1}]}]}\n")
  file(WRITE ${PROJECT_BINARY_DIR}/desktops.cmake
       "if(NOT CTEST_RESOURCE_SPEC_FILE)\n  set(CTEST_RESOURCE_SPEC_FILE \"${PROJECT_BINARY_DIR}/desktops.json\")\nendif()\n")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${PROJECT_BINARY_DIR}/desktops.cmake)
endif()

# pv_desktop_test(test...): the tests hold a desktop while they run. Every
# desktop shares the device root: tests that run the whole viewer (its
# \Temp folders, infrared records and message store) also take the lock
# viewer_device, so they never run side by side.
function(pv_desktop_test)
  set_tests_properties(${ARGN} PROPERTIES RESOURCE_GROUPS desktops:1)
endfunction()

# pv_add_test(NAME name SOURCES ... [LIBS ...] [DESKTOP])
# DESKTOP: the test drives windows (pv_desktop_test).
# One ctest entry per executable (under Wine each start costs about a second).
function(pv_add_test)
  cmake_parse_arguments(T "DESKTOP" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  pv_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE PV_SOURCE_DIR="${PV_TEST_SOURCE_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "PV_SOURCE_DIR=${PV_TEST_SOURCE_DIR}")
  if(WIN32)
    # A program that crashes under Wine can still end with exit code 0; Wine's
    # own crash report gives it away.
    set_tests_properties(${T_NAME} PROPERTIES FAIL_REGULAR_EXPRESSION "Unhandled (page fault|exception)")
  endif()
  if(T_DESKTOP)
    pv_desktop_test(${T_NAME})
  endif()
endfunction()
