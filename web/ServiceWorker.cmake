# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the page's service worker from its template, with the files it keeps and a version made
# from their contents, so that any change to a served file renames the worker's cache.
#   cmake -DFOLDER=web -DFILES=a,b,c -DTEMPLATE=service-worker.js.in -DOUTPUT=service-worker.js
#         -P ServiceWorker.cmake
# FILES: the served files' names in FOLDER, separated by commas.
foreach(variable FOLDER FILES TEMPLATE OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "ServiceWorker.cmake needs -D${variable}=...")
  endif()
endforeach()

string(REPLACE "," ";" names "${FILES}")
list(SORT names)
set(contents)
set(quoted)
foreach(name IN LISTS names)
  # A file renamed changes the version as much as a file changed.
  file(SHA256 ${FOLDER}/${name} hash)
  string(APPEND contents "${name} ${hash}\n")
  list(APPEND quoted "'${name}'")
endforeach()
# The template is part of what is served: a change to the worker alone renames the cache too.
file(SHA256 ${TEMPLATE} hash)
string(APPEND contents "service worker ${hash}\n")
string(SHA256 version "${contents}")
string(SUBSTRING ${version} 0 16 VIREON_WEB_VERSION)
list(JOIN quoted ", " VIREON_WEB_FILES)
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
# configure_file leaves an unchanged file's time alone, which would have it written every build.
file(TOUCH_NOCREATE ${OUTPUT})
