# tessaline_add_test(NAME SOURCES... [LIBS ...] [LABELS LABEL...] [TSAN_SUITES SUITE...]
#                    [FOLDER DIR] [RESOURCE_LOCK NAME])
# Builds a GoogleTest executable into build/tests (or build/tests/DIR) and registers its cases
# with CTest. The cases of the TSAN_SUITES (test suite names) carry the label "tsan" too: the
# ThreadSanitizer run selects them by it (scripts/test.sh). Cases of executables that share a
# RESOURCE_LOCK never run at the same time.
include(GoogleTest)

function(tessaline_add_test name)
  cmake_parse_arguments(ARG "" "FOLDER;RESOURCE_LOCK" "SOURCES;LIBS;LABELS;TSAN_SUITES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tessaline_test_support GTest::gtest GTest::gtest_main ${ARG_LIBS})
  set(folder ${CMAKE_BINARY_DIR}/tests)
  if(ARG_FOLDER)
    set(folder ${CMAKE_BINARY_DIR}/tests/${ARG_FOLDER})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${folder})
  set(discovery WORKING_DIRECTORY ${folder} DISCOVERY_TIMEOUT 60)
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  if(ARG_TSAN_SUITES)
    list(TRANSFORM ARG_TSAN_SUITES APPEND ".*" OUTPUT_VARIABLE suites)
    list(JOIN suites ":" filter)
    gtest_discover_tests(${name} ${discovery} TEST_FILTER "${filter}" TEST_LIST ${name}_tsan
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300 ${lock})
    gtest_discover_tests(${name} ${discovery} TEST_FILTER "-${filter}"
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300 ${lock})
    # The second label is set once the cases are known: the discovery's own PROPERTIES take one
    # value per property.
    set(labelling ${CMAKE_CURRENT_BINARY_DIR}/${name}_tsan_labels.cmake)
    file(WRITE ${labelling}
      "if(${name}_tsan)\n"
      "  set_tests_properties(\${${name}_tsan} PROPERTIES LABELS \"${ARG_LABELS};tsan\")\n"
      "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labelling})
  else()
    gtest_discover_tests(${name} ${discovery} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300
      ${lock})
  endif()
endfunction()

# tessaline_add_skipped_test(NAME REASON [LABELS LABEL...])
# Stands in for tests that are not built here (a part they need is missing, or left out of this
# build on purpose): CTest reports NAME as skipped, and its output says why.
function(tessaline_add_skipped_test name reason)
  cmake_parse_arguments(ARG "" "" "LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" SKIP_REGULAR_EXPRESSION "^skipped: ")
endfunction()
