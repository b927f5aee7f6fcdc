# The -posix compilers: the win32 thread model's libstdc++ lacks std::mutex, which googletest needs.
set(CMAKE_C_COMPILER ${TORVEX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORVEX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TORVEX_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TORVEX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Wine's 64-bit loader: /usr/bin/wine starts the 32-bit one whenever wine32 is installed, which cannot
# run where the kernel refuses 32-bit programs. This one runs x64 programs everywhere and hands x86
# ones on to the 32-bit loader.
set(TORVEX_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader that runs the tests")
# Through scripts/wine-test, which runs each test in the Wine prefix and on the CPU it was handed.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-test ${TORVEX_WINE})
