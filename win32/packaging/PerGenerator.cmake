# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack for each package: the ZIP unpacks into one folder, the installer's files go
# straight into the folder the user chose.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
