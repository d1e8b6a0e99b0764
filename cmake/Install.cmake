# `cmake --install`: the programs, the desktop program's manual, its desktop entry, icons and
# AppStream metadata, the manual pages and the bash completion. Libraries and test programs are
# not installed.
include(GNUInstallDirs)

set(REKKON_APP_ID io.github.rekkon.Rekkon)
set(REKKON_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)

install(TARGETS rekkon-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${REKKON_DIST_DIR}/rekkon-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
    install(FILES ${REKKON_DIST_DIR}/rekkon.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_SOURCE_DIR}/MANUAL.html DESTINATION ${CMAKE_INSTALL_DOCDIR})
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
