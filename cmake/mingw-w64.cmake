# Cross-building the engine and its tests for Windows (x86-64) with Debian's MinGW-w64,
# POSIX threads variant; the programs run under Wine as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained .exe: no MinGW runtime DLLs to find under Wine or on a Windows machine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(SVG_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(SVG_WINE NAMES wine64 wine)
if(SVG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SVG_WINE})
endif()
