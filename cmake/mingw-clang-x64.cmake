# Clang cross-compiling for Windows x86_64 with the MinGW-w64 runtime.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PLR_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-clang.cmake)
