# Install rules and a Debian package for both programs.
include(GNUInstallDirs)

install(TARGETS quarn-sql-restore quarn-sql-restore-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quarn-sql-restore.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icon32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
        RENAME quarn-sql-restore.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn-sql-restore)
set(CPACK_PACKAGE_VENDOR "Quarn")
set(CPACK_PACKAGE_CONTACT "Quarn maintainers <maintainers@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Restore a SQL Server 2000 database under a new name, from a backup or data files")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
# The shared libraries are found by dpkg-shlibdeps; the ODBC driver and the font are used at run
# time without being linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tdsodbc, fonts-noto-cjk | fonts-wqy-zenhei")
include(CPack)
