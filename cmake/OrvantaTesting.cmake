# GoogleTest built from the Debian sources with whichever compiler this tree uses, and
# orvanta_add_gtest() for suites: in the Windows tree they run under Wine via the
# cross-compiling emulator (tools/winerun), natively otherwise.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# orvanta_add_gtest(NAME name SOURCES ... [LIBS ...] [LABELS ...] [FIXTURES ...])
function(orvanta_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300)
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
endfunction()
