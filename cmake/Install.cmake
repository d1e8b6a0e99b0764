# `cmake --install`: the programs, the desktop program's manual, its desktop entry, icons and
# AppStream metadata, the manual pages and the bash completion. Libraries and test programs are
# not installed.
include(GNUInstallDirs)

set(REKKON_APP_ID io.github.rekkon.Rekkon)
set(REKKON_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)

# rekkon_gzip(SOURCE NAME OUT_VAR): SOURCE gzipped into the build tree as NAME when configuring
# (and again whenever SOURCE changes), with no name or time stored in it, so the same text
# always gives the same bytes; OUT_VAR names the result.
find_program(REKKON_GZIP gzip REQUIRED)
function(rekkon_gzip source name out_var)
    set(out ${CMAKE_BINARY_DIR}/gzipped/${name})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/gzipped)
    execute_process(COMMAND ${REKKON_GZIP} -9 -n -c ${source} OUTPUT_FILE ${out}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "gzip could not compress ${source}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    set(${out_var} ${out} PARENT_SCOPE)
endfunction()

install(TARGETS rekkon-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Manual pages are installed gzipped, as man and Debian expect them.
rekkon_gzip(${REKKON_DIST_DIR}/rekkon-cli.1 rekkon-cli.1.gz REKKON_CLI_PAGE)
install(FILES ${REKKON_CLI_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Its bash completion, where bash-completion looks (as its pkg-config file says, taken relative to
# the prefix so `cmake --install --prefix` stays inside it), named after the program.
set(REKKON_BASH_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
pkg_get_variable(REKKON_COMPLETIONS_FULL bash-completion completionsdir)
pkg_get_variable(REKKON_COMPLETIONS_PREFIX bash-completion prefix)
if(REKKON_COMPLETIONS_PREFIX AND REKKON_COMPLETIONS_FULL MATCHES "^${REKKON_COMPLETIONS_PREFIX}/(.+)$")
    set(REKKON_BASH_COMPLETION_DIR ${CMAKE_MATCH_1})
endif()
install(FILES ${REKKON_DIST_DIR}/rekkon-cli.bash DESTINATION ${REKKON_BASH_COMPLETION_DIR}
        RENAME rekkon-cli)

if(TARGET rekkon)
    install(TARGETS rekkon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    rekkon_gzip(${REKKON_DIST_DIR}/rekkon.1 rekkon.1.gz REKKON_PAGE)
    install(FILES ${REKKON_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_SOURCE_DIR}/MANUAL.html DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${REKKON_MANUAL_PICTURES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
    install(FILES ${REKKON_DIST_DIR}/${REKKON_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${REKKON_DIST_DIR}/${REKKON_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(DIRECTORY ${REKKON_DIST_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

    # The program finds its installed manual relative to its own folder, so the installed tree
    # can be moved (`cmake --install --prefix`) as long as both folders are relative ones.
    file(RELATIVE_PATH REKKON_MANUAL_DIR_FROM_BINDIR
         ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DOCDIR})
    set_property(SOURCE ${CMAKE_SOURCE_DIR}/ui/ManualPath.cpp APPEND PROPERTY COMPILE_DEFINITIONS
                 REKKON_MANUAL_DIR_FROM_BINDIR="${REKKON_MANUAL_DIR_FROM_BINDIR}")
    # The desktop program names its desktop entry, so the desktop links its windows to it.
    set_property(SOURCE ${CMAKE_SOURCE_DIR}/ui/main.cpp APPEND PROPERTY COMPILE_DEFINITIONS
                 REKKON_APP_ID="${REKKON_APP_ID}")
endif()
