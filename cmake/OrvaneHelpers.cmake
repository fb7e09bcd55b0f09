# Small helpers so that every library, program and test of the project is declared the same way.

function(orvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(ORVANE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(ORVANE_SANITIZE)
        # Every report stops the program, so that no finding passes as a success.
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined
            -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# orvane_add_library(NAME SOURCES ... [PUBLIC_LINKS ...] [PRIVATE_LINKS ...])
# Creates orvane_NAME with the alias orvane::NAME; its folder is its public include directory.
function(orvane_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LINKS;PRIVATE_LINKS" ${ARGN})
    add_library(orvane_${name} STATIC ${ARG_SOURCES})
    add_library(orvane::${name} ALIAS orvane_${name})
    target_include_directories(orvane_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(orvane_${name} PUBLIC ${ARG_PUBLIC_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
    set_target_properties(orvane_${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    orvane_warnings(orvane_${name})
endfunction()

# orvane_add_program(NAME SOURCES ... [LINKS ...])
function(orvane_add_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINKS})
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    orvane_warnings(${name})
endfunction()

# orvane_add_test(NAME SOURCES ... [LINKS ...] [QTEST])
# A GoogleTest program (or a QtTest one with QTEST) registered with CTest. Every test runs
# headless with its own settings and data folders, so the user's own settings stay untouched.
function(orvane_add_test name)
    cmake_parse_arguments(ARG "QTEST" "TIMEOUT" "SOURCES;LINKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    orvane_warnings(${name})
    if(ARG_QTEST)
        target_link_libraries(${name} PRIVATE ${ARG_LINKS} Qt5::Test)
        add_test(NAME ${name} COMMAND ${name})
    else()
        target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main)
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set(sandbox ${CMAKE_BINARY_DIR}/test-home/${name})
    file(MAKE_DIRECTORY ${sandbox}/config ${sandbox}/data ${sandbox}/tmp)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    # A timeout only catches a hang: it is the quiet machine's need times four, so that a machine
    # busy with another build, or the sanitizers' slower code, never fails a sound test.
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${sandbox}/config;XDG_DATA_HOME=${sandbox}/data;TMPDIR=${sandbox}/tmp;ORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
    if(ORVANE_SANITIZE)
        # Leaks of system libraries at exit (full stacks so that the suppressions name exactly
        # their allocation sites, none of ours).
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=fast_unwind_on_malloc=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
            "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/sanitizer-leaks.supp")
    endif()
endfunction()
