# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The -posix variant carries std::thread and std::mutex. Everything is linked statically, so each
# .exe runs on a bare Windows (or under Wine) with no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(prax_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${prax_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${prax_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${prax_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${prax_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests found by ctest run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
