# Warnings for the project's own targets.
function(flowloom_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    # A Debug build, the developer's and the sanitizer passes', fails on a warning.
    target_compile_options(${target} PRIVATE $<$<CONFIG:Debug>:-Werror>)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wshadow=local)
    else()
        target_compile_options(${target} PRIVATE -Wshadow-uncaptured-local)
    endif()
endfunction()
