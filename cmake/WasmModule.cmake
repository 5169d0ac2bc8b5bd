# SPDX-License-Identifier: GPL-3.0-or-later
# WebAssembly modules built from the same sources as the native core, with Debian's clang and
# wasm32 libc++ (no emscripten). The native compiler stays whatever the project uses; each source
# is compiled by a custom command of its own, so only what changed is rebuilt.
#
#   vireon_add_wasm_module(TARGET OUTPUT file.wasm SOURCES ... EXPORTS name ...)
#
# VIREON_WASM_FOUND says whether the toolchain is there.

find_program(VIREON_WASM_CXX NAMES clang++-14 clang++)
set(VIREON_WASM_FOUND OFF)
if(VIREON_WASM_CXX)
  # The compiler is only useful with the wasm32 C and C++ libraries beside it.
  file(WRITE ${CMAKE_BINARY_DIR}/wasm-probe.cpp "#include <vector>\nint main() { return 0; }\n")
  execute_process(
    COMMAND ${VIREON_WASM_CXX} --target=wasm32-wasi -std=c++20 -nostartfiles -Wl,--no-entry
            ${CMAKE_BINARY_DIR}/wasm-probe.cpp -o ${CMAKE_BINARY_DIR}/wasm-probe.wasm
    RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(probe_result EQUAL 0)
    set(VIREON_WASM_FOUND ON)
  endif()
endif()

function(vireon_add_wasm_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT" "SOURCES;EXPORTS")
  # The engine's exactness needs what the native build gives it: no contraction, no fast-math.
  # Size over speed: the engine is a few loops, the rest is reading files.
  set(flags --target=wasm32-wasi -std=c++20 -Os -ffp-contract=off -fno-fast-math -fexceptions
      -Wall -Wextra -I${PROJECT_SOURCE_DIR})
  if(VIREON_WERROR)
    list(APPEND flags -Werror)
  endif()
  set(objects)
  foreach(source IN LISTS arg_SOURCES)
    get_filename_component(path ${source} ABSOLUTE)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${path})
    # A source the build made keeps its object inside the objects folder too.
    if(relative MATCHES "^\\.\\./")
      file(RELATIVE_PATH relative ${CMAKE_BINARY_DIR} ${path})
      set(relative generated/${relative})
    endif()
    set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}.objects/${relative}.o)
    # Ninja makes an output's folder before running its command; the Makefile generators do not,
    # and clang does not either.
    get_filename_component(object_folder ${object} DIRECTORY)
    file(MAKE_DIRECTORY ${object_folder})
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${VIREON_WASM_CXX} ${flags} -MD -MF ${object}.d -c ${path} -o ${object}
      DEPENDS ${path}
      DEPFILE ${object}.d
      COMMENT "Compiling ${relative} for WebAssembly"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  # No start function: JavaScript runs the static constructors through __wasm_call_ctors.
  set(link_flags -nostartfiles -Wl,--no-entry -Wl,--gc-sections -Wl,--strip-all
      -Wl,-z,stack-size=65536 -Wl,--export=__wasm_call_ctors)
  foreach(name IN LISTS arg_EXPORTS)
    list(APPEND link_flags -Wl,--export=${name})
  endforeach()
  get_filename_component(output_folder ${arg_OUTPUT} DIRECTORY)
  file(MAKE_DIRECTORY ${output_folder})
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${VIREON_WASM_CXX} --target=wasm32-wasi ${link_flags} ${objects} -o ${arg_OUTPUT}
    DEPENDS ${objects}
    COMMENT "Linking ${target} for WebAssembly"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${arg_OUTPUT})
endfunction()
