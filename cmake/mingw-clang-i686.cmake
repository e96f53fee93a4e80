# Clang cross-compiling for 32-bit Windows (i686) with the MinGW-w64 runtime.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PLR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang.cmake)
