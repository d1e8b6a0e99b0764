# One version everywhere: the project's. Programs include the generated rekkon/Version.h; the
# AppStream metadata's newest release and the manual pages' title lines are written by hand, so
# configuring stops when they name another version.
set(REKKON_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/Version.h.in ${REKKON_GENERATED_DIR}/rekkon/Version.h
               @ONLY)

file(READ ${CMAKE_SOURCE_DIR}/dist/io.github.rekkon.Rekkon.metainfo.xml rekkon_metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" rekkon_match "${rekkon_metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "dist/io.github.rekkon.Rekkon.metainfo.xml: the newest <release> is "
                        "\"${CMAKE_MATCH_1}\", the project is ${PROJECT_VERSION}: add a release "
                        "for ${PROJECT_VERSION} at the top of <releases>")
endif()
foreach(rekkon_page rekkon.1 rekkon-cli.1)
    file(STRINGS ${CMAKE_SOURCE_DIR}/dist/${rekkon_page} rekkon_title REGEX "^\\.TH " LIMIT_COUNT 1)
    if(NOT rekkon_title MATCHES "\"rekkon ${PROJECT_VERSION}\"")
        message(FATAL_ERROR "dist/${rekkon_page}: its .TH line names no \"rekkon "
                            "${PROJECT_VERSION}\" (the project's version): ${rekkon_title}")
    endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/dist/io.github.rekkon.Rekkon.metainfo.xml
             ${CMAKE_SOURCE_DIR}/dist/rekkon.1 ${CMAKE_SOURCE_DIR}/dist/rekkon-cli.1)
