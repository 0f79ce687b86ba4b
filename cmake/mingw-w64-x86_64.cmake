# Cross-building the Windows plug-in (Tamsink.dll), the baker (tamsink.exe)
# and its stand-in host module on Linux with MinGW-w64, 64-bit.
#
# The posix thread model is the one in which std::thread works. Every module
# links the GCC runtime and libstdc++ statically (and winpthread, through
# -static), so a module needs no DLL beyond the system's own: KERNEL32,
# USER32, COMCTL32 and msvcrt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAMSINK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAMSINK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMSINK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMSINK_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${TAMSINK_MINGW_TRIPLE}-dlltool)
set(CMAKE_OBJDUMP ${TAMSINK_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMSINK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here run under Wine when CMake or CTest has to run one.
find_program(TAMSINK_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAMSINK_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAMSINK_WINE64})
endif()
