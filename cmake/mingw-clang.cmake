# Clang for the MinGW-w64 targets, on the headers and libraries of the
# installed MinGW-w64 gcc cross toolchain. Included by mingw-clang-i686.cmake
# and mingw-clang-x64.cmake after they set PLR_MINGW_TRIPLE.
#
# Why the paths are spelled out: clang finds a MinGW gcc installation only
# when its version directory is a plain number, and Debian's posix-thread
# cross compiler lives in lib/gcc/<triple>/<N>-posix. So the sysroot,
# libstdc++'s headers and gcc's libraries (crtbegin.o, libgcc, libstdc++) are
# given here, taken from the gcc driver itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_FIND_ROOT_PATH /usr/${PLR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${PLR_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${PLR_MINGW_TRIPLE})
set(CMAKE_SYSROOT /usr/${PLR_MINGW_TRIPLE})

execute_process(
    COMMAND ${PLR_MINGW_TRIPLE}-gcc-posix -print-libgcc-file-name
    OUTPUT_VARIABLE _plr_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _plr_gcc_result)
if(NOT _plr_gcc_result EQUAL 0 OR NOT EXISTS "${_plr_libgcc}")
    message(FATAL_ERROR "${PLR_MINGW_TRIPLE}-gcc-posix not found: scripts/setup installs it")
endif()
get_filename_component(_plr_gcc_dir "${_plr_libgcc}" DIRECTORY)
set(_plr_cxx_include "${_plr_gcc_dir}/include/c++")

set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${_plr_cxx_include} -isystem ${_plr_cxx_include}/${PLR_MINGW_TRIPLE} -isystem ${_plr_cxx_include}/backward")

# lld links PE images for MinGW. -B lets the driver find crtbegin.o/crtend.o,
# -L libgcc and libstdc++. libstdc++ of the posix-thread toolchain calls
# winpthreads, which gcc's own driver adds by itself and clang's does not.
find_program(PLR_LLD NAMES ld.lld REQUIRED)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -B${_plr_gcc_dir} -L${_plr_gcc_dir} -lwinpthread")

# Resources: llvm-windres (llvm-rc behind windres' command line), the
# resource compiler closest to Visual Studio's rc.exe; the MinGW windres
# when it is missing. Debian keeps llvm-windres beside the real clang
# binary, off PATH.
find_program(PLR_CLANG_PATH clang REQUIRED)
get_filename_component(_plr_llvm_bin "${PLR_CLANG_PATH}" REALPATH)
get_filename_component(_plr_llvm_bin "${_plr_llvm_bin}" DIRECTORY)
find_program(PLR_LLVM_WINDRES NAMES llvm-windres HINTS "${_plr_llvm_bin}")
if(PLR_LLVM_WINDRES)
    set(CMAKE_RC_COMPILER ${PLR_LLVM_WINDRES})
    set(CMAKE_RC_FLAGS_INIT "--target=${PLR_MINGW_TRIPLE}")
else()
    set(CMAKE_RC_COMPILER ${PLR_MINGW_TRIPLE}-windres)
endif()
