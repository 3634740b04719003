# The browser gateway: its access rules judged directly, and Vantorway driven through the
# page host (a container of our own that plays the browser and answers the dialogs).
orvanta_add_gtest(NAME gateway_tests
  SOURCES gateway/AccessRulesTest.cpp gateway/VantorwayTest.cpp
  LIBS vantor_rules vantor_pagehost orvanta_testsupport
  FIXTURES registered)
add_dependencies(gateway_tests Vantor)

# Scripts that create the registered gateway beside the sample profiles (bin/Vantor.cfg);
# without a site, so only what needs no page and no dialog.
orvanta_add_script_test(gateway/vantorway.js)
# VBScript through kestrunc (its host runner is defined after this file is read).
cmake_language(DEFER CALL orvanta_add_host_script_test gateway/vantorway.vbs)

# The page host as a person runs it, with the sample profiles: the user allows the
# demo profile for a local page, which then creates its default class, a memory stream
# and its log file.
add_test(NAME gateway_pagehost_sample
  COMMAND ${CMAKE_SOURCE_DIR}/tools/winerun ${CMAKE_BINARY_DIR}/bin/pagehost.exe --route container
          file:///T:/samples/page.htm demo - scratch log)
set_tests_properties(gateway_pagehost_sample PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 120
  PASS_REGULAR_EXPRESSION "dialog \"Vantor profile access\":.*\\[Demo pages\\].*Profile demo: ok.*CreateObject\\(-\\): ok.*CreateObject\\(scratch\\): ok.*CreateObject\\(log\\): ok"
  RESOURCE_LOCK pagehost_log)

# The sample page (its run with a user who agrees is the sample_page test) when the user
# says no: the page catches the refusal, and its VBScript sees no profile.
add_test(NAME gateway_page_denied
  COMMAND ${CMAKE_SOURCE_DIR}/tools/winerun ${CMAKE_BINARY_DIR}/bin/pagehost.exe --answer deny
          --run file:///T:/samples/page.htm)
set_tests_properties(gateway_page_denied PROPERTIES FIXTURES_REQUIRED registered TIMEOUT 120
  PASS_REGULAR_EXPRESSION "^dialog \"Vantor profile access\":[^\n]*\nNo access: The access to the Vantor profile has been denied by the user.\n$")

# A picture of the confirmation dialog drawn under a virtual X server (build tree's
# vantor-confirm-screenshot.png, kept for people to look at); nobody answers it.
add_test(NAME gateway_dialog_screenshot
  COMMAND ${CMAKE_SOURCE_DIR}/tools/screenshot --name vantor-confirm-screenshot ${CMAKE_BINARY_DIR}
          ${CMAKE_BINARY_DIR}/bin/pagehost.exe --answer person --dll T:/bin/Vantor.dll file:///T:/samples/page.htm demo)
set_tests_properties(gateway_dialog_screenshot PROPERTIES TIMEOUT 300 LABELS gui RUN_SERIAL TRUE)
