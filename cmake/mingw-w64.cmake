# Cross build for 64-bit Windows with mingw-w64. The posix thread model is the
# one whose libstdc++ has std::thread and std::mutex.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(corvanta_mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${corvanta_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${corvanta_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${corvanta_mingw_triple}-windres)

# Libraries and packages come from the mingw sysroot only, never from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${corvanta_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libstdc++, libgcc or winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CLI11 and nlohmann-json are header-only: the host's copies serve the target too.
set(CORVANTA_HEADER_ONLY_INCLUDE /usr/include CACHE PATH
  "Directory with CLI/CLI.hpp and nlohmann/json.hpp for a cross build; searched after the target's own headers")
