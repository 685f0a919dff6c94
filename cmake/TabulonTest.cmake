# tabulon_add_test(<name> SOURCES ... LIBS ...): one GoogleTest executable per deliverable,
# run headless through the shared test main.
# SERIAL: a test filter naming tests that run while no other test runs (one that pauses the
# PostgreSQL server all tests share would fail the others' cancels and connects meanwhile).
function(tabulon_add_test name)
  cmake_parse_arguments(T "" "SERIAL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tabulon_testmain ${T_LIBS})
  set(filter)
  if(T_SERIAL)
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60
      TEST_FILTER "${T_SERIAL}"
      TEST_LIST ${name}_SERIAL_TESTS
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS ${name} RUN_SERIAL TRUE
      DISCOVERY_MODE PRE_TEST)
    set(filter TEST_FILTER "-${T_SERIAL}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    ${filter}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS ${name}
    DISCOVERY_MODE PRE_TEST)
endfunction()
