# GoogleTest built from the Debian sources with whichever compiler this tree uses, and
# orvanta_add_gtest() for suites: in the Windows tree they run under Wine via the
# cross-compiling emulator (tools/winerun), natively otherwise.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Under Wine a failing test also shows Wine's error channel and the program's exit code.
function(orvanta_wine_diagnostics test)
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "ORVANTA_WINEDEBUG=-all,err+all;ORVANTA_REPORT_EXIT=1")
  endif()
endfunction()

# orvanta_add_gtest(NAME name SOURCES ... [LIBS ...] [LABELS ...] [FIXTURES ...])
function(orvanta_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  # Full progress (each test flushed as it starts and ends): when a suite dies, its last
  # "[ RUN ]" line names the test. CTest shows the output of failed suites only.
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300)
  orvanta_wine_diagnostics(${T_NAME})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
endfunction()
