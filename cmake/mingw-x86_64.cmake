# Builds the same tree as 64-bit Windows programs, for running the tests under
# 64-bit Wine on machines that cannot start 32-bit Linux processes (and so not
# 32-bit Wine). What ships is always the 32-bit build (mingw-i686.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
