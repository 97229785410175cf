# Cross build for 64-bit Windows with mingw-w64: the same module for hosts
# that cannot run 32-bit code (it serves the script-host tests on such machines).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELV_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${KELV_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${KELV_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KELV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
