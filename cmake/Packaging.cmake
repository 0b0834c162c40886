# Install rules and a Debian package for both programs.
include(GNUInstallDirs)

install(TARGETS quarn-sql-restore quarn-sql-restore-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quarn-sql-restore.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/icon32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
        RENAME quarn-sql-restore.png)

# Manual pages, changelog and copyright, compressed as Debian installs them. The command line's
# manual page is made from its --help at build time, so it never falls behind its options.
if(UNIX)
    find_program(HELP2MAN help2man)
    set(docs ${CMAKE_BINARY_DIR}/packaging)
    set(manuals ${docs}/quarn-sql-restore.1.gz)
    # The window's manual page names the project's version.
    configure_file(${PROJECT_SOURCE_DIR}/packaging/quarn-sql-restore.1.in
                   ${CMAKE_BINARY_DIR}/packaging-sources/quarn-sql-restore.1 @ONLY)
    add_custom_command(OUTPUT ${docs}/quarn-sql-restore.1.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/packaging-sources/quarn-sql-restore.1 .
        COMMAND gzip -9n -f quarn-sql-restore.1
        DEPENDS ${CMAKE_BINARY_DIR}/packaging-sources/quarn-sql-restore.1
        WORKING_DIRECTORY ${docs} VERBATIM)
    if(HELP2MAN)
        add_custom_command(OUTPUT ${docs}/quarn-sql-restore-cli.1.gz
            COMMAND ${HELP2MAN} --locale=C.UTF-8 --no-info --section=1
                    --version-string=${PROJECT_VERSION}
                    "--name=restore a SQL Server 2000 database under a new name"
                    --output=quarn-sql-restore-cli.1 $<TARGET_FILE:quarn-sql-restore-cli>
            COMMAND gzip -9n -f quarn-sql-restore-cli.1
            DEPENDS quarn-sql-restore-cli
            WORKING_DIRECTORY ${docs} VERBATIM)
        list(APPEND manuals ${docs}/quarn-sql-restore-cli.1.gz)
    else()
        message(WARNING "help2man not found: the command line gets no manual page")
    endif()
    add_custom_command(OUTPUT ${docs}/changelog.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog .
        COMMAND gzip -9n -f changelog
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
        WORKING_DIRECTORY ${docs} VERBATIM)
    file(MAKE_DIRECTORY ${docs})
    add_custom_target(package_docs ALL DEPENDS ${manuals} ${docs}/changelog.gz)
    install(FILES ${manuals} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${docs}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarn-sql-restore)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn-sql-restore)
set(CPACK_PACKAGE_VENDOR ${QUARN_PUBLISHER})
set(CPACK_PACKAGE_CONTACT "Quarn maintainers <maintainers@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Restore a SQL Server 2000 database under a new name, from a backup or data files")
# Debian shows the description as written, so its lines are kept short.
set(CPACK_PACKAGE_DESCRIPTION [[
A small tool for database operators that brings a SQL Server 2000 database
back onto a server under a new name: from a .bak backup (it reads the
backup's file list, creates the new database and restores the backup over it
with both files moved into the chosen folder) or by attaching a detached pair
of .mdf/.LDF files. quarn-sql-restore is the Chinese-language window;
quarn-sql-restore-cli runs the same checks and statements from a script.]])
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
