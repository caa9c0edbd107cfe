# Cross-compiles psxdig for 64-bit Windows with MinGW-w64 (Debian packages
# mingw-w64 and g++-mingw-w64-x86-64-posix). Everything is linked statically,
# so psxdig.exe and the test programs run without any DLL beside them.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PSXDIG_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PSXDIG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PSXDIG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PSXDIG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PSXDIG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine when built on Linux.
find_program(PSXDIG_WINE wine)
if(PSXDIG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PSXDIG_WINE})
endif()
