# kesto_add_test(NAME SOURCES... [LIBS libs...])
# One GoogleTest executable per test folder, with its cases registered one by one in CTest.
include(GoogleTest)

# kesto_add_qt_test(NAME SOURCES... [LIBS libs...])
# One Qt Test executable, run headless with the offscreen platform.
function(kesto_add_qt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON
                                             RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kesto_testsupport Qt6::Test kesto_warnings)
    target_compile_definitions(${name} PRIVATE KESTO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

function(kesto_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kesto_testsupport GTest::gtest_main
                                          kesto_warnings)
    # Tests that run the programs find them here.
    target_compile_definitions(${name} PRIVATE KESTO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
