# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the -posix thread model,
# which C++ threads need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KW_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KW_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KW_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KW_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers come from the target's own folders and the prefixes that the
# caller names in CMAKE_PREFIX_PATH (the Windows Qt, GoogleTest, libjpeg); programs run
# on the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KW_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
find_program(KW_WINE wine64 wine)
if(KW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KW_WINE})
endif()
