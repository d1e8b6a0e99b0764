# What keeps the builds quick without changing what they build or test: a compiler cache, a fast
# linker, precompiled headers for the heavy headers, and test code compiled for the tests' sake.

# ccache, when installed, makes the test command's three builds and every rebuild quicker. Paths
# are taken relative to the checkout, so a clone in another folder shares the cache. Precompiled
# headers need the sloppiness set here: the cache cannot see through a precompiled header whether
# __DATE__ or a #define changes the result, and a header just precompiled is always "new".
option(REKKON_CCACHE "Compile through ccache when it is installed" ON)
find_program(REKKON_CCACHE_PROGRAM ccache)
if(REKKON_CCACHE AND REKKON_CCACHE_PROGRAM AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}
        CCACHE_NOHASHDIR=1
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${REKKON_CCACHE_PROGRAM})
endif()

# mold or lld link the test programs (debug information and all) several times faster than the
# default linker.
option(REKKON_FAST_LINKER "Link with mold or lld when the compiler can use one" ON)
if(REKKON_FAST_LINKER)
    include(CheckLinkerFlag)
    foreach(linker mold lld)
        check_linker_flag(CXX -fuse-ld=${linker} REKKON_LINKER_${linker})
        if(REKKON_LINKER_${linker})
            add_link_options(-fuse-ld=${linker})
            break()
        endif()
    endforeach()
endif()

# Precompiled headers: the standard library for every target, GoogleTest for the unit tests, Qt for
# the desktop program and its tests. Off in the fuzz build, which thereby also checks that every
# library source includes what it uses.
option(REKKON_PCH "Precompile the heavy headers" ON)
set(REKKON_PCH_STD <algorithm> <array> <cstdint> <cstring> <functional> <limits> <map> <memory>
    <optional> <set> <span> <string> <string_view> <vector>)
set(REKKON_PCH_QT <QApplication> <QCheckBox> <QComboBox> <QDialog> <QDir> <QFileInfo> <QHeaderView>
    <QHBoxLayout> <QIcon> <QLabel> <QLineEdit> <QMessageBox> <QObject> <QPushButton> <QString>
    <QTableView> <QTimer> <QVBoxLayout> <QWidget>)

# rekkon_precompile(TARGET HEADER...): precompiles the headers for TARGET's sources.
function(rekkon_precompile target)
    if(REKKON_PCH AND NOT REKKON_FUZZ)
        target_precompile_headers(${target} PRIVATE ${ARGN})
    endif()
endfunction()

# rekkon_share_precompiled(TARGET FROM): TARGET's sources use the headers FROM precompiled (the
# two must be compiled with the same options).
function(rekkon_share_precompiled target from)
    if(REKKON_PCH AND NOT REKKON_FUZZ)
        target_precompile_headers(${target} REUSE_FROM ${from})
    endif()
endfunction()

# rekkon_test_code(TARGET): the test programs' own code is compiled with less optimisation in the
# RelWithDebInfo build, and with line tables only (enough for every stack trace) as debugging
# information there and in the sanitizer build: the library they test keeps the build type's
# options, and the test code compiles about twice as fast.
function(rekkon_test_code target)
    target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo>:-O1 -g1>)
    if(REKKON_SANITIZE)
        target_compile_options(${target} PRIVATE -g1)
    endif()
endfunction()

# rekkon_path_definitions(TARGET NAME=VALUE...): defines the macros that hold the build's own
# paths only for TARGET's sources that use them, so that the other sources compile to the same
# bytes in every checkout and a fresh clone finds them in the compiler cache.
function(rekkon_path_definitions target)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(source ${sources})
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir})
        if(NOT source MATCHES "\\.(cpp|h)$" OR NOT EXISTS ${source})
            continue()
        endif()
        # A source that starts using one of the macros makes the build configure again.
        set_property(DIRECTORY ${source_dir} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
        set(used)
        foreach(definition ${ARGN})
            string(REGEX REPLACE "=.*" "" name "${definition}")
            file(STRINGS ${source} uses REGEX "${name}" LIMIT_COUNT 1)
            if(uses)
                list(APPEND used "${definition}")
            endif()
        endforeach()
        if(used)
            set_property(SOURCE ${source} TARGET_DIRECTORY ${target} APPEND
                PROPERTY COMPILE_DEFINITIONS ${used})
        endif()
    endforeach()
endfunction()
