# Suites of the configuration classes (included by tests/CMakeLists.txt).

# ConfigFile through the registered library: text files, registry branches and binary
# streams in the build tree's prefix.
orvanta_add_gtest(NAME configfile_tests
  SOURCES config/ConfigFileTest.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)
orvanta_add_script_test(scripts/configfile.js)
orvanta_add_script_test(scripts/configfile.vbs)

# The case folding shared by the module's name matching and the configuration tree.
orvanta_add_gtest(NAME casefold_tests
  SOURCES config/CaseFoldTest.cpp
  LIBS orvanta_testsupport orvanta_common)
