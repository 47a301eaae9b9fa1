# Cross-compiling the core and nandell-cli for 64-bit Windows with MinGW-w64 (Debian
# g++-mingw-w64-x86-64). Use with -DNANDELL_BUILD_GUI=OFF: there is no Qt for MinGW here.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DNANDELL_BUILD_GUI=OFF
#
# The "posix" thread model of the compiler is used: it is the one whose libstdc++ has
# std::thread and std::mutex in GCC 12. Programs are linked with a static runtime (libgcc,
# libstdc++ and winpthreads inside the .exe), so they run on a clean Windows.
# When Wine is installed, it runs the test programs (see wine-run.sh beside this file), with
# a private prefix in the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NANDELL_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${NANDELL_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${NANDELL_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NANDELL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NANDELL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(NANDELL_WINE NAMES wine wine64)
if(NANDELL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
endif()
