# The Debian package of the Linux edition ("make package"): what it installs, and how
# CPack's DEB generator wraps it into build/fsw_<version>_<arch>.deb. The version is the
# project's, the one the Windows version resource carries.
set(FSW_PACKAGE_MAINTAINER "fsw maintainers <fsw-maintainers@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(FSW_PACKAGING_SOURCE ${CMAKE_SOURCE_DIR}/packaging)
set(FSW_PACKAGING_BUILD ${CMAKE_BINARY_DIR}/packaging)

# The manual page and the changelog carry the version; both are compressed without a
# time stamp, so the same sources give the same package.
configure_file(${FSW_PACKAGING_SOURCE}/fsw.8.in ${FSW_PACKAGING_BUILD}/fsw.8 @ONLY)
configure_file(${FSW_PACKAGING_SOURCE}/changelog.in ${FSW_PACKAGING_BUILD}/changelog @ONLY)
foreach(file fsw.8 changelog)
    execute_process(COMMAND gzip -9nkf ${FSW_PACKAGING_BUILD}/${file} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip ${file} failed")
    endif()
endforeach()

# The settings are configuration files: dpkg keeps them on upgrade when they were changed.
file(WRITE ${FSW_PACKAGING_BUILD}/conffiles "/etc/fsw/fsw.ini\n/etc/fsw/fsw.lst\n")

install(TARGETS fsw RUNTIME DESTINATION bin)
install(FILES ${FSW_PACKAGING_SOURCE}/fsw.ini ${FSW_PACKAGING_SOURCE}/fsw.lst
        DESTINATION /etc/fsw)
install(FILES ${FSW_PACKAGING_SOURCE}/fsw.service DESTINATION /lib/systemd/system)
install(DIRECTORY DESTINATION /var/log/fsw)
install(DIRECTORY DESTINATION /var/lib/fsw)
install(FILES ${FSW_PACKAGING_BUILD}/fsw.8.gz DESTINATION share/man/man8)
install(FILES ${FSW_PACKAGING_SOURCE}/copyright ${FSW_PACKAGING_BUILD}/changelog.gz
        ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/fsw)
install(FILES ${FSW_PACKAGING_SOURCE}/node-exporter.conf DESTINATION share/doc/fsw/examples)
# An example host list to copy to /etc/fsw/fsw.lst, whose format has no comments.
install(FILES ${FSW_PACKAGING_SOURCE}/fsw.lst.example DESTINATION share/doc/fsw/examples
        RENAME fsw.lst)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fsw)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/build)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "watches the free disk space of the machines of a small network")
set(CPACK_PACKAGE_DESCRIPTION [[
ケルム (fsw) answers TCP queries for the free and total size of the volume
holding a path, and checks up to 10 such servers every few minutes, grading
each disk and printing a status list. It talks to the Windows edition of the
same program. This package runs it as the systemd service fsw.]])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${FSW_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${FSW_PACKAGING_BUILD}/conffiles ${FSW_PACKAGING_SOURCE}/postinst
    ${FSW_PACKAGING_SOURCE}/prerm ${FSW_PACKAGING_SOURCE}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
