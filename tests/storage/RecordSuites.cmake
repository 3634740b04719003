# Values, binary blocks and records: the string list and the type convertor; the unit
# codec (linked in), binary data, fields, records and filters over memory and file
# streams; and the scripts that use them as script writers do.
orvanta_add_gtest(NAME value_helpers_tests
  SOURCES config/ValueHelpersTest.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)

orvanta_add_gtest(NAME records_tests
  SOURCES storage/UnitCodecTest.cpp storage/SFBinaryDataTest.cpp storage/SFRecordTest.cpp
          ${CMAKE_SOURCE_DIR}/components/storage/UnitCodec.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)
orvanta_add_script_test(scripts/records.js)
orvanta_add_script_test(scripts/records.vbs)
