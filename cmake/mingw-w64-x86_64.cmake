# Cross-compiles Tavrin.exe and Extension.dll for 64-bit Windows with
# mingw-w64. The C and C++ runtimes and winpthread are linked statically, so
# the program needs no DLL of the toolchain: only system DLLs and Extension.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_tavrin_mingw_prefix x86_64-w64-mingw32)

# The posix thread model gives std::thread and friends; prefer it when the
# distribution ships both flavours.
find_program(_tavrin_mingw_cc NAMES ${_tavrin_mingw_prefix}-gcc-posix ${_tavrin_mingw_prefix}-gcc REQUIRED)
find_program(_tavrin_mingw_cxx NAMES ${_tavrin_mingw_prefix}-g++-posix ${_tavrin_mingw_prefix}-g++ REQUIRED)
find_program(_tavrin_mingw_rc NAMES ${_tavrin_mingw_prefix}-windres REQUIRED)

set(CMAKE_C_COMPILER ${_tavrin_mingw_cc})
set(CMAKE_CXX_COMPILER ${_tavrin_mingw_cxx})
set(CMAKE_RC_COMPILER ${_tavrin_mingw_rc})

set(CMAKE_FIND_ROOT_PATH /usr/${_tavrin_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libgcc, libstdc++ and libwinpthread from their archives for
# both the program and the library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

