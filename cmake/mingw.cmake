# Cross build for Windows with mingw-w64. KELV_MINGW_ARCH picks the target: i686 (the
# default) builds the product, a 32-bit kelvutil.dll; x86_64 builds the same module for
# 64-bit Windows, for hosts that cannot run 32-bit code (it serves the Wine tests there).
set(KELV_MINGW_ARCH i686 CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KELV_MINGW_ARCH})
set(KELV_MINGW_PREFIX ${KELV_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${KELV_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KELV_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${KELV_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KELV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Reproducible output: debug information (kept in a separate file by the release
# packages) with paths relative to the source tree and without the compiler's command
# line, and no link time stamp in the module's header. Two builds of one commit give the
# same bytes.
get_filename_component(KELV_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(KELV_REPRODUCIBLE_FLAGS "-g -gno-record-gcc-switches -ffile-prefix-map=${KELV_SOURCE_ROOT}/=")
set(CMAKE_C_FLAGS_INIT "${KELV_REPRODUCIBLE_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KELV_REPRODUCIBLE_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
