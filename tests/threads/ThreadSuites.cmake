# Object creator, apartments, worker and script threads, synchronisation objects.

# The creator's attempt plan is linked in; its CreateObject runs against the registered
# library, and once against the library unregistered (hence serial).
orvanta_add_gtest(NAME vessacreator_tests
  SOURCES module/VessaCreatorTest.cpp ${CMAKE_SOURCE_DIR}/components/module/VessaCreator.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)
set_tests_properties(vessacreator_tests PROPERTIES RUN_SERIAL TRUE)

# Thread state machines and synchronisation objects, with their reliability cycles
# (handle and thread counts) through the library loaded by path.
orvanta_add_gtest(NAME threads_tests
  SOURCES threads/SynchTest.cpp threads/COMThreadTest.cpp threads/ScriptThreadTest.cpp threads/ThreadTestSupport.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)
# A script thread killed by Stop leaves its engine behind (it cannot be closed from
# another thread), which would keep the library loaded for the other tests' checks.
set_property(TEST threads_tests APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-ScriptThreadTest.StopEnds*")
add_test(NAME threads_forced_stop_tests COMMAND threads_tests --gtest_filter=ScriptThreadTest.StopEnds*)
set_tests_properties(threads_forced_stop_tests PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 120)

# What a script writer does, in the multithreaded console host (whose test function is
# defined further down the including file, hence deferred to the end of it).
cmake_language(DEFER CALL orvanta_add_host_script_test scripts/threads.js)
cmake_language(DEFER CALL orvanta_add_host_script_test scripts/threads.vbs)
