# Windows test programs run under Wine (the toolchain's emulator), in a prefix
# inside the build folder, with one persistent wineserver started before the
# tests and ended after them (the ctest fixture "wine").
#
# A 32-bit program under a Wine without 32-bit support prints nothing and exits
# 0, so a Wine test passes only on its own result line: GoogleTest's
# "[  PASSED  ] 1 test." for the one case it ran.
set(COOLWARM_WINE_ENVIRONMENT
  "WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=winemenubuilder.exe=d")

add_test(NAME Wine.Start COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-session.sh start)
add_test(NAME Wine.Stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-session.sh stop)
set_tests_properties(Wine.Start PROPERTIES FIXTURES_SETUP wine LABELS wine ENVIRONMENT "${COOLWARM_WINE_ENVIRONMENT}"
                     PASS_REGULAR_EXPRESSION "wine session ready")
set_tests_properties(Wine.Stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine ENVIRONMENT "${COOLWARM_WINE_ENVIRONMENT}"
                     PASS_REGULAR_EXPRESSION "wine session ended")

# One ctest test per GoogleTest case found in the sources, each run on its own.
function(coolwarm_wine_tests target)
  gtest_add_tests(TARGET ${target} SOURCES ${ARGN} TEST_LIST cases)
  set_tests_properties(${cases} PROPERTIES
    FIXTURES_REQUIRED wine
    LABELS wine
    ENVIRONMENT "${COOLWARM_WINE_ENVIRONMENT}"
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()
