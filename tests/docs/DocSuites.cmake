# The examples of the documentation: every reference page, and every other page of docs/
# that holds an example, runs its JScript and VBScript examples in kestrunc and must print
# what the page shows.
file(GLOB orvanta_doc_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md ${CMAKE_SOURCE_DIR}/docs/reference/*.md)
set(doc_runner /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/docs/run_examples.py)
foreach(page ${orvanta_doc_pages})
  get_filename_component(stem ${page} NAME_WE)
  get_filename_component(dir ${page} DIRECTORY)
  get_filename_component(dir ${dir} NAME)
  if(dir STREQUAL "reference")
    set(test_name docs_reference_${stem})
  else()
    file(STRINGS ${page} fences REGEX "^```(js|vbs)")
    if(NOT fences)
      continue()
    endif()
    set(test_name docs_${stem})
  endif()
  add_test(NAME ${test_name} COMMAND ${doc_runner} ${page} ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/tools/winerun)
  set_tests_properties(${test_name} PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 900 LABELS docs)
endforeach()

# The runner itself: a wrong output, an example without output, and files left behind
# must each fail.
foreach(bad wrong_output missing_output leaves_file)
  add_test(NAME docs_selftest_${bad}
    COMMAND ${doc_runner} ${CMAKE_CURRENT_SOURCE_DIR}/docs/selftest/${bad}.md ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/tools/winerun)
  set_tests_properties(docs_selftest_${bad} PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 300 WILL_FAIL TRUE LABELS docs)
endforeach()

# The samples (the tour of `make run` too): each runs in kestrunc from a folder of its own
# in the build tree and must print what tests/docs/samples/NAME.txt holds, leaving nothing
# behind.
foreach(sample settings archive ledger composite threads tour)
  add_test(NAME sample_${sample}
    COMMAND ${doc_runner} --script ${CMAKE_SOURCE_DIR}/samples/${sample}.js
            ${CMAKE_CURRENT_SOURCE_DIR}/docs/samples/${sample}.txt ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/tools/winerun)
  set_tests_properties(sample_${sample} PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 300 LABELS docs)
endforeach()

# The gateway's sample page, run by the page host with a user who agrees.
add_test(NAME sample_page
  COMMAND ${doc_runner} --program ${CMAKE_CURRENT_SOURCE_DIR}/docs/samples/page.txt ${CMAKE_BINARY_DIR}
          ${CMAKE_SOURCE_DIR}/tools/winerun bin/pagehost.exe --run file:///T:/samples/page.htm)
set_tests_properties(sample_page PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 300 LABELS docs
  RESOURCE_LOCK pagehost_log)
