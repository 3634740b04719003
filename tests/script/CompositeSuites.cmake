# Composites: the composite object and its definitions, through the registered library.
orvanta_add_gtest(NAME composite_tests
  SOURCES script/CompositeTest.cpp
  LIBS orvanta_testsupport
  FIXTURES registered)
file(GLOB orvanta_composite_parts ${CMAKE_CURRENT_SOURCE_DIR}/scripts/composite-parts/*)
foreach(part ${orvanta_composite_parts})
  get_filename_component(name ${part} NAME)
  configure_file(${part} ${CMAKE_BINARY_DIR}/scripts/composite-parts/${name} COPYONLY)
endforeach()
orvanta_add_script_test(scripts/composite.js)
orvanta_add_script_test(scripts/composite.vbs)
