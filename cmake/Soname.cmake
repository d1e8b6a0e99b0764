# rekkon_soname(OUT NAME LIBRARY_DIRS FALLBACK): the run-time name (SONAME) of the shared library
# libNAME.so, as its ELF header gives it (objdump), else FALLBACK.
function(rekkon_soname out name dirs fallback)
    set(soname ${fallback})
    find_library(rekkon_soname_${name} NAMES ${name} HINTS ${dirs})
    if(CMAKE_OBJDUMP AND rekkon_soname_${name})
        execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${rekkon_soname_${name}}
                        OUTPUT_VARIABLE dump ERROR_QUIET)
        if(dump MATCHES "SONAME +([^ \n]+)")
            set(soname ${CMAKE_MATCH_1})
        endif()
    endif()
    message(STATUS "lib${name} is loaded when needed as ${soname}")
    set(${out} ${soname} PARENT_SCOPE)
endfunction()
