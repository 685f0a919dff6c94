# tabulon_add_test(<name> SOURCES ... LIBS ...): one GoogleTest executable per deliverable,
# run headless through the shared test main.
function(tabulon_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tabulon_testmain ${T_LIBS})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS ${name}
    DISCOVERY_MODE PRE_TEST)
endfunction()
