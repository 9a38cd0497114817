# The Windows packages: the three programs in bin\, the documentation as HTML in doc\ (the man
# pages rendered, and a front page made of the README's section for Windows users) and the
# licence, as a zip to unpack anywhere and as an installer (NSIS, makensis of Debian's nsis).
find_program(PRAX_MANDOC mandoc)
find_program(PRAX_CMARK cmark)
find_program(PRAX_BASH_FOR_DOCS bash REQUIRED)
if(NOT PRAX_MANDOC OR NOT PRAX_CMARK)
  message(FATAL_ERROR "The Windows documentation is rendered with mandoc and cmark: install "
                      "mandoc and cmark (scripts/setup.sh)")
endif()

set(prax_doc_dir ${CMAKE_BINARY_DIR}/packaging/doc)
set(prax_docs)
foreach(page praxdl prax-download prax-virtual-printer)
  set(html ${prax_doc_dir}/${page}.html)
  add_custom_command(OUTPUT ${html}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${prax_doc_dir}
    COMMAND ${PRAX_BASH_FOR_DOCS} ${prax_packaging_dir}/man-html.sh ${prax_packaging_dir}/${page}.1 ${html}
    DEPENDS ${prax_packaging_dir}/${page}.1 ${prax_packaging_dir}/man-html.sh
    COMMENT "Rendering the ${page} manual as HTML"
    VERBATIM)
  list(APPEND prax_docs ${html})
endforeach()
set(prax_index ${prax_doc_dir}/index.html)
add_custom_command(OUTPUT ${prax_index}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${prax_doc_dir}
  COMMAND ${PRAX_BASH_FOR_DOCS} ${prax_packaging_dir}/windows-index.sh ${CMAKE_SOURCE_DIR}/README.md
          ${PROJECT_VERSION} ${prax_index}
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md ${prax_packaging_dir}/windows-index.sh
  COMMENT "Rendering the Windows guide as HTML"
  VERBATIM)
list(APPEND prax_docs ${prax_index})
add_custom_target(prax_windows_docs ALL DEPENDS ${prax_docs})
install(FILES ${prax_docs} DESTINATION doc)

# Notepad and the installer's licence page want CR LF line ends.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE prax_licence)
string(REPLACE "\n" "\r\n" prax_licence "${prax_licence}")
set(prax_licence_txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt)
file(WRITE ${prax_licence_txt} "${prax_licence}")
install(FILES ${prax_licence_txt} DESTINATION .)
# The example recipe beside the manuals that describe it, with CR LF too (TOML takes either).
set(prax_example_recipe ${CMAKE_BINARY_DIR}/packaging/example-recipe.toml)
configure_file(${prax_packaging_dir}/example-recipe.toml ${prax_example_recipe} @ONLY NEWLINE_STYLE CRLF)
install(FILES ${prax_example_recipe} DESTINATION doc)

set(CPACK_GENERATOR "ZIP;NSIS")
# The name the installer's pages show ("Add PRAX Download Tool to the system PATH"); the files
# keep the package's own name.
set(CPACK_PACKAGE_NAME "PRAX Download Tool")
set(CPACK_PACKAGE_VENDOR "PRAX Download Tool")
set(CPACK_PACKAGE_FILE_NAME prax-download-tool-${PROJECT_VERSION}-win64)
# The installer's name and the zip's are told apart by the generator (cmake/CPackWindows.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackWindows.cmake)
set(CPACK_RESOURCE_FILE_LICENSE ${prax_licence_txt})

# One folder and one registry key whatever the version, so that a newer version replaces the
# older one (uninstalled first) rather than installing beside it.
set(CPACK_PACKAGE_INSTALL_DIRECTORY "PRAX Download Tool")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "PRAX Download Tool")
set(CPACK_NSIS_PACKAGE_NAME "PRAX Download Tool")
set(CPACK_NSIS_DISPLAY_NAME "PRAX Download Tool")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# Programs of 64 bits, so the installer is one too: it sees the 64-bit registry and Program Files.
# Its pages name the tool, not the installer system, at their foot. The installer's own steps are
# NSIS in packaging/installer.nsh.in, inserted at the template's hooks: cpack writes these values
# into its configuration unescaped, where a backslash would start a CMake escape sequence.
set(prax_installer_nsh ${CMAKE_BINARY_DIR}/packaging/installer.nsh)
configure_file(${prax_packaging_dir}/installer.nsh.in ${prax_installer_nsh} @ONLY)
set(CPACK_NSIS_DEFINES "Target amd64-unicode
BrandingText 'PRAX Download Tool ${PROJECT_VERSION}'
!include '${prax_installer_nsh}'")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro PraxSilentPathOption")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro PraxNotePathValue")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro PraxRestorePathValue")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A page that offers the bin folder on the PATH, so praxdl works in any console; not by default.
# A silent install takes the choice as /PATH=user or /PATH=all (packaging/installer.nsh.in).
set(CPACK_NSIS_MODIFY_PATH ON)
set(prax_windows_icon ${CMAKE_BINARY_DIR}/app/win32/prax-download.ico)
set(CPACK_NSIS_MUI_ICON ${prax_windows_icon})
set(CPACK_NSIS_MUI_UNIICON ${prax_windows_icon})
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\prax-download.exe")
# The Start menu: the window (its shortcut shows the program's own icon) and the documentation.
set(CPACK_PACKAGE_EXECUTABLES prax-download "PRAX Download Tool")
set(CPACK_NSIS_MENU_LINKS "doc\\\\index.html" "PRAX Download Tool documentation")
# The installer's options page offers a desktop icon too: the window's.
set(CPACK_CREATE_DESKTOP_LINKS prax-download)
