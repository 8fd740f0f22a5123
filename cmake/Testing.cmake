enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

# sw_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s])
# Test programs sit in the output folder beside pellsql.so and pelljson.so,
# so they find them as the programs do. Label "concurrency" marks
# the tests that the ThreadSanitizer build runs.
function(sw_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${name}."
    WORKING_DIRECTORY ${SW_BIN_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
