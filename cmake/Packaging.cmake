# What `cmake --install` puts beside the three programs, and the packages that CPack makes of it:
# on Linux `cpack -G DEB` in the build folder gives prax-download-tool_<version>_<arch>.deb; in
# the Windows build `cpack -G ZIP` and `cpack -G NSIS` give prax-download-tool-<version>-win64.zip
# and prax-download-tool-<version>-win64-setup.exe (cmake/PackagingWindows.cmake).
set(prax_packaging_dir ${CMAKE_SOURCE_DIR}/packaging)

set(CPACK_PACKAGE_NAME prax-download-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send firmware, fonts and commands to PRAX label printers")
# The build keeps its debug information; a package does not need it.
set(CPACK_STRIP_FILES ON)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
  include(CPack)
  return()
endif()

# Man pages are installed gzip-compressed, as Debian has them. -n keeps the file name and time out
# of the gzip header, so the same page always gives the same bytes.
find_program(PRAX_GZIP gzip REQUIRED)
set(prax_man_pages praxdl.1 prax-virtual-printer.1)
if(PRAX_BUILD_GUI)
  list(APPEND prax_man_pages prax-download.1)
endif()
set(prax_man_gz)
foreach(page IN LISTS prax_man_pages)
  set(gz ${CMAKE_BINARY_DIR}/packaging/man/${page}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E copy ${prax_packaging_dir}/${page} ${CMAKE_BINARY_DIR}/packaging/man/${page}
    COMMAND ${PRAX_GZIP} -9nf ${CMAKE_BINARY_DIR}/packaging/man/${page}
    DEPENDS ${prax_packaging_dir}/${page}
    COMMENT "Compressing man page ${page}"
    VERBATIM)
  list(APPEND prax_man_gz ${gz})
endforeach()
add_custom_target(prax_man_pages ALL DEPENDS ${prax_man_gz})
install(FILES ${prax_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian keeps a package's licence as its copyright file.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/prax-download-tool RENAME copyright)
# Debian keeps a package's examples in its documentation folder.
install(FILES ${prax_packaging_dir}/example-recipe.toml DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/prax-download-tool/examples)
install(FILES ${prax_packaging_dir}/praxdl.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME praxdl)
if(PRAX_BUILD_GUI)
  install(FILES ${prax_packaging_dir}/prax-download.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${prax_packaging_dir}/prax-download.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(PRAX_PACKAGE_MAINTAINER "PRAX Download Tool maintainers <maintainers@users.noreply.c-seed-e8cd3436.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "${PRAX_PACKAGE_MAINTAINER}")
# Debian shows the description as it stands: lines under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "The PRAX Download Tool sends label printers what they need over USB, LPT1,
a serial port or a network printer's raw port: firmware images behind their
header with a CRC-16 trailer, TrueType fonts installed on the host, font code
tables, any file unchanged, and short command lines.

This package holds the desktop program prax-download (Qt 6), the command line
praxdl for scripts and factory lines, and prax-virtual-printer, a receiving
end that decodes what arrives, for tests and for anyone without a printer.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are laid out for Arial's metrics, which Liberation Sans has.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
# Directories as Debian wants them, whatever the umask of whoever builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

# The package built and used as a user would: cpack into a scratch folder, unpacked, run from
# there. Sanitizer and fuzz builds are not what anyone installs.
if(PRAX_BUILD_TESTS AND NOT PRAX_SANITIZE AND NOT PRAX_BUILD_FUZZ)
  add_test(NAME package.deb
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/deb_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
                   $<BOOL:${PRAX_BUILD_GUI}>)
  add_test(NAME package.bash_completion
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/completion_test.sh ${prax_packaging_dir}/praxdl.bash)
  # The manuals the Windows packages render from the same man pages: Windows' words only.
  add_test(NAME package.windows_manuals
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package/windows_manuals_test.sh ${prax_packaging_dir})
  set_tests_properties(package.windows_manuals PROPERTIES SKIP_RETURN_CODE 77)
  set_tests_properties(package.deb package.bash_completion package.windows_manuals PROPERTIES
                       LABELS package TIMEOUT 300)
endif()
