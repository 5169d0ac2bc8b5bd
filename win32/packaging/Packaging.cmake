# SPDX-License-Identifier: GPL-3.0-or-later
# vireon-windows-x64.zip and vireon-windows-x64.exe, the installer, written by every build once
# the programs have changed. The installer asks for no administrator: it installs for the user
# who runs it, below their own AppData, with a Start-menu entry and an uninstaller.
set(CPACK_PACKAGE_NAME Vireon)
set(CPACK_PACKAGE_VENDOR Vireon)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vireon, a monophonic chaos synthesizer for MIDI keyboards")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME vireon-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vireon)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PerGenerator.cmake)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

set(CPACK_STRIP_FILES ON)

# NSIS makes a 32-bit installer by default, which a 64-bit-only Windows (or wine) cannot run.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_DISPLAY_NAME Vireon)
# The installer's script is Vireon's own (NSIS.template.in beside this file).
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
include(CPack)

find_program(VIREON_MAKENSIS makensis)
set(packages ${CPACK_PACKAGE_DIRECTORY}/vireon-windows-x64.zip)
set(generators ZIP)
if(VIREON_MAKENSIS)
  list(APPEND packages ${CPACK_PACKAGE_DIRECTORY}/vireon-windows-x64.exe)
  set(generators "ZIP;NSIS")
else()
  message(STATUS "No makensis (Debian's nsis): the build writes the ZIP but no installer")
endif()
add_custom_command(OUTPUT ${packages}
  COMMAND ${CMAKE_CPACK_COMMAND} -G "${generators}" --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  DEPENDS vireon vireon-render ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          ${VIREON_FACTORY_SOUNDS} ${PROJECT_SOURCE_DIR}/share/demo-phrase.txt
          ${CMAKE_CURRENT_LIST_DIR}/NSIS.template.in ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing vireon-windows-x64"
  VERBATIM)
add_custom_target(vireon-windows-packages ALL DEPENDS ${packages})
