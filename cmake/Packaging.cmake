# Where `cmake --install` puts things, and the Debian package that `cpack` builds from them.
include(GNUInstallDirs)

# The programs look for the database and the read-me in their own folder (the folder of
# /proc/self/exe, links resolved), so programs and data share a private folder and bin/ only
# holds relative links to the programs. The same tree works under any prefix.
set(KESTO_INSTALL_PROGRAMDIR lib/kesto)

# kesto_install_program(TARGET)
# Installs an executable into the program folder and links it from bin/.
function(kesto_install_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${KESTO_INSTALL_PROGRAMDIR})
    file(RELATIVE_PATH linkTarget "/prefix/${CMAKE_INSTALL_BINDIR}"
         "/prefix/${KESTO_INSTALL_PROGRAMDIR}/${target}")
    set(link ${CMAKE_BINARY_DIR}/install-links/${target})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
    file(CREATE_LINK ${linkTarget} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# kesto_install_gzipped(SOURCE DESTINATION)
# Compresses a file at build time (gzip -9n: best and reproducible, as Debian wants manual pages
# and change logs) and installs it into DESTINATION as NAME.gz.
function(kesto_install_gzipped source destination)
    get_filename_component(name ${source} NAME)
    string(MAKE_C_IDENTIFIER "${destination}/${name}" id)
    set(folder ${CMAKE_BINARY_DIR}/gzipped/${id})
    add_custom_command(OUTPUT ${folder}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${folder}/${name}
        COMMAND gzip -9nf ${folder}/${name}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    add_custom_target(gzip_${id} ALL DEPENDS ${folder}/${name}.gz)
    install(FILES ${folder}/${name}.gz DESTINATION ${destination})
endfunction()

# kesto_pkg_config_folder(VARIABLE PACKAGE PC_VARIABLE DEFAULT)
# Sets VARIABLE to the folder PACKAGE's pkg-config file names in PC_VARIABLE, relative to the
# prefix (asked with every prefix variable set to a stand-in), or to DEFAULT when pkg-config or
# the package does not say.
find_package(PkgConfig QUIET)
function(kesto_pkg_config_folder variable package pcVariable default)
    set(${variable} ${default} PARENT_SCOPE)
    if(NOT PKG_CONFIG_FOUND)
        return()
    endif()
    execute_process(
        COMMAND ${PKG_CONFIG_EXECUTABLE} --define-variable=prefix=/prefix
                --define-variable=root_prefix=/prefix --define-variable=rootprefix=/prefix
                --define-variable=datadir=/prefix/${CMAKE_INSTALL_DATADIR}
                --variable=${pcVariable} ${package}
        OUTPUT_VARIABLE folder OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE result ERROR_QUIET)
    if(result EQUAL 0 AND folder MATCHES "^/prefix/(.+)$")
        set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
    endif()
endfunction()

# bash-completion's own folder for the completions it loads on demand, relative to the prefix.
kesto_pkg_config_folder(KESTO_INSTALL_COMPLETIONSDIR bash-completion completionsdir
                        ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# systemd's folder for the units a package ships, relative to the prefix: lib/systemd/system,
# which systemd reads under /usr and under /usr/local.
kesto_pkg_config_folder(KESTO_INSTALL_SYSTEMDUNITDIR systemd systemdsystemunitdir
                        lib/systemd/system)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kesto)
set(CPACK_PACKAGE_VENDOR "Kesto Team")
set(CPACK_PACKAGE_CONTACT "Kesto Team <team@kesto-scanner.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "virus scanner for the desktop and the command line")
# The extended description below the summary line; CPack indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kesto Virus Scanner finds known malicious files by the CRC-32 checksum of
the whole file, looked up in a plain-text signature database, and by a short
list of built-in byte patterns in programs. Detected files can be deleted or
moved into a quarantine folder and restored from there.

The package holds the desktop program kesto-gui, with tools for drives,
memory, processes, files, USB storage, disk health and file encryption, and
the command-line program kesto for scripts and servers. The shipped database
knows the standard anti-malware test file, so detection can be proved without
real malware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kesto Team <team@kesto-scanner.example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kesto-scanner.example.org")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) finds the shared libraries the programs link to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(KESTO_BUILD_GUI)
    # Qt loads its window-system plugins at run time, which dpkg-shlibdeps cannot see; the
    # windows are laid out for these fonts, and files and web pages open through xdg-open.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-dejavu-core, xdg-utils")
endif()
# The guard's unit and the update's service and timer are installed but never enabled or
# started: postinst only tells systemd that the units changed and restarts a guard that runs on
# an upgrade, prerm stops the guard and the update timer on removal, and purging removes the
# tools' registry store, the guard's log, root's verdict cache, the signature sets and the links
# that enabled the units (a quarantine folder in /var/lib/kesto stays). CPack adds no
# maintainer script of its own for units. The files in /etc/kesto are configuration files.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/data/package/postinst
    ${CMAKE_SOURCE_DIR}/data/package/prerm ${CMAKE_SOURCE_DIR}/data/package/postrm
    ${CMAKE_SOURCE_DIR}/data/package/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
