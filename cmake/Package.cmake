# `cpack -G DEB` in a build configured with -DCMAKE_INSTALL_PREFIX=/usr: a Debian package of the
# tree `cmake --install` writes, its dependencies found by dpkg-shlibdeps. tools/package-test.sh
# builds it, installs it with apt and removes it again.
set(REKKON_PACKAGE_MAINTAINER "rekkon maintainers <rekkon@users.noreply.github.com>"
    CACHE STRING "The Debian package's maintainer, as NAME <EMAIL>")
set(REKKON_HOMEPAGE "https://github.com/rekkon/rekkon" CACHE STRING "The project's home page")

# Debian's documents of a package: its copyright and its changelog (gzipped, as are the manual
# pages). The changelog's newest entry must be the project's version.
file(STRINGS ${CMAKE_SOURCE_DIR}/dist/changelog rekkon_changelog_top LIMIT_COUNT 1)
if(NOT rekkon_changelog_top MATCHES "^rekkon \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "dist/changelog: its newest entry is not for ${PROJECT_VERSION}, the "
                        "project's version: ${rekkon_changelog_top}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/dist/changelog)
install(FILES ${CMAKE_SOURCE_DIR}/dist/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
rekkon_gzip(${CMAKE_SOURCE_DIR}/dist/changelog changelog.gz REKKON_CHANGELOG_GZ)
install(FILES ${REKKON_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rekkon)
set(CPACK_PACKAGE_VENDOR "The rekkon developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${REKKON_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "get deleted files back from FAT, exFAT and NTFS volumes")
set(CPACK_PACKAGE_DESCRIPTION
    "rekkon reads FAT12, FAT16, FAT32, exFAT and NTFS volumes raw, from a block
device or a disk-image file (whole disks with DOS or GPT partition tables and
Expert Witness evidence files too), lists the deleted files that can still be
located with an estimate of how much of their data is intact, and copies the
chosen ones into a folder on another disk. It also finds files by their content
in free space. The source is only ever opened read-only.

This package holds the command-line program rekkon-cli and the desktop program
rekkon.")
set(CPACK_PACKAGE_FILE_NAME rekkon_${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${REKKON_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libewf and libcrypto are loaded when first needed (dlopen), so shlibdeps does not see them:
# the packages that hold them here are depended on by name.
set(REKKON_LOADED_PACKAGES "")
foreach(pair "${REKKON_LIBEWF_SONAME}=libewf2" "${REKKON_LIBCRYPTO_SONAME}=libssl3")
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 soname)
    list(GET pair 1 package)
    execute_process(COMMAND dpkg-query -S "*/${soname}" OUTPUT_VARIABLE owner ERROR_QUIET)
    if(owner MATCHES "^([^:, ]+)")
        set(package ${CMAKE_MATCH_1})
    endif()
    list(APPEND REKKON_LOADED_PACKAGES ${package})
endforeach()
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${REKKON_LOADED_PACKAGES}")
# Files are owned by root, and folders get the usual 0755, whatever the build's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
