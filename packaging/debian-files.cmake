# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack on its staged tree before it builds the Debian package: what Debian's policy asks
# of a package beyond the installed files. Manual pages are compressed, and the documentation
# folder gets the copyright file and a changelog.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")

file(GLOB pages "${root}/share/man/man*/*.[1-9]")
foreach(page ${pages})
  # -n leaves out the name and time, so the same pages give the same package.
  execute_process(COMMAND gzip -9n "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

file(COPY_FILE "${CPACK_VIREON_DEBIAN_COPYRIGHT}" "${doc}/copyright")
file(COPY_FILE "${CPACK_VIREON_DEBIAN_CHANGELOG}" "${doc}/changelog")
execute_process(COMMAND gzip -9n "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
