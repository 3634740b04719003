# The script aggregate: through the registered library, and as scripts use it.
orvanta_add_gtest(NAME scpaggregate_tests
  SOURCES script/ScpAggregateTest.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)
orvanta_add_script_test(scripts/scpaggregate.js)
orvanta_add_script_test(scripts/scpaggregate.vbs)
