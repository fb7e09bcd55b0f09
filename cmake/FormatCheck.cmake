# Fails when a C++ source of the project is not formatted as .clang-format says.
# Run as: cmake -DSOURCE_DIR=... -DCLANG_FORMAT=... -P FormatCheck.cmake
file(GLOB_RECURSE sources
    ${SOURCE_DIR}/lib/*.cpp ${SOURCE_DIR}/lib/*.h
    ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h
    ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h
    ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/bench/*.h
    ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
    RESULT_VARIABLE result ERROR_VARIABLE problems)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Files not formatted with clang-format:\n${problems}")
endif()
