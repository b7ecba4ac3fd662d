# What both MinGW-w64 toolchains share, for CMAKE_SYSTEM_PROCESSOR as the
# including file sets it. Win32 threads: no winpthreads, whose imports need
# Windows Vista. Programs built here run on the build machine under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(VIDRAKE_MINGW ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${VIDRAKE_MINGW}-gcc-win32)
set(CMAKE_CXX_COMPILER ${VIDRAKE_MINGW}-g++-win32)
set(CMAKE_RC_COMPILER ${VIDRAKE_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VIDRAKE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
