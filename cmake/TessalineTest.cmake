# tessaline_add_test(NAME SOURCES... [LIBS ...] [LABELS LABEL])
# Builds a GoogleTest executable into build/tests and registers its cases with CTest.
include(GoogleTest)

function(tessaline_add_test name)
  cmake_parse_arguments(ARG "" "LABELS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tessaline_test_support GTest::gtest GTest::gtest_main ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
endfunction()
