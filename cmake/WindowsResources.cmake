# On Windows a program embeds its icon, a version resource and its manifest, as Explorer, the
# Start menu and "Programs and Features" expect. Elsewhere this adds nothing.
set(QUARN_PRODUCT "QuarnSQL2000 数据库恢复工具")
set(QUARN_PRODUCT_ID "QuarnSQL2000")
set(QUARN_PUBLISHER "Quarn")

# The manifest and the package's README name the version the project has.
if(WIN32)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest.in
                   ${PROJECT_BINARY_DIR}/program.manifest @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in
                   ${PROJECT_BINARY_DIR}/README.txt @ONLY)
endif()

function(quarn_windows_resources target description)
    if(NOT WIN32)
        return()
    endif()
    set(QUARN_PROGRAM ${target})
    set(QUARN_DESCRIPTION ${description})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS
                 ${PROJECT_SOURCE_DIR}/src/resources/program.ico
                 ${PROJECT_BINARY_DIR}/program.manifest)
endfunction()

# What scripts/windows/package.sh names the zip, the installer and the uninstall entry with.
if(WIN32)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/windows-package.sh @ONLY CONTENT [[
package=@QUARN_PRODUCT_ID@-@PROJECT_VERSION_MAJOR@.@PROJECT_VERSION_MINOR@-win64
version=@PROJECT_VERSION@
product=@QUARN_PRODUCT_ID@
product_name='@QUARN_PRODUCT@'
publisher='@QUARN_PUBLISHER@'
]])
endif()
