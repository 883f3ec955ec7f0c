# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 GCC (the POSIX
# threads variant, for std::thread and std::mutex):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-w64-x86_64.cmake
# Programs and tests are linked statically: a DLL that is missing at run time
# ends a program with no message at all. Tests run under Wine when it is
# installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WDX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WDX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WDX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WDX_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree only, never from the build
# machine's own (Linux) ones; programs (code generators) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${WDX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Wine runs the tests (and gtest_discover_tests lists them through it), by
# way of wine-run.sh, which runs a program again only when Wine ended it before
# it printed anything.
find_program(WDX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(WDX_WINE)
  find_program(WDX_BASH bash REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WDX_BASH} ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${WDX_WINE})
endif()
