# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, so std::thread and std::mutex work as on Linux). The programs run
# here under wine, which is also how ctest starts the test executables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian puts no wine64 on PATH without the wine wrapper package.
find_program(TESSOR_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TESSOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSOR_WINE})
endif()
