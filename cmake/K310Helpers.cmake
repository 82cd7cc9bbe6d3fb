# Shared build helpers: warnings for every target, one call to register a test.

function(k310_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
    elseif(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    endif()
endfunction()

# k310_library(name SOURCES ... LIBS ...): a static library of one subsystem, its folder on
# the include path of whoever links it. Window classes derive from their generated form
# classes, so the folder of the generated ui_*.h headers is public too.
function(k310_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
    if(multi_config)
        set(ui_dir "${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/include_$<CONFIG>")
    else()
        set(ui_dir "${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/include")
    endif()
    target_include_directories(${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}" "${ui_dir}")
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    k310_warnings(${name})
endfunction()

# k310_add_test(name SOURCES ... LIBS ... [TIMEOUT s] [LABELS ...]):
# one Qt Test executable registered with CTest, run offscreen.
function(k310_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    k310_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;K310_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
