# Cross-compiles for 64-bit Windows with mingw-w64 on Debian. Only the "-posix" compilers have
# std::thread, std::mutex and std::condition_variable. The programs link statically, so they run
# without the compiler's DLLs, and the tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingwTriple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingwTriple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingwTriple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingwTriple}-windres)

# Libraries, headers and packages come from the mingw sysroot only; programs run at build time
# are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${mingwTriple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config ignores the find root, so it is fenced to the sysroot: the host's .pc files (for
# libraries built for Linux) must never be found.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${mingwTriple}/lib/pkgconfig:/usr/${mingwTriple}/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# No compiler runtime DLLs are needed next to the programs; zlib is linked statically too.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)

# The test programs run under Wine, through a script that gives Wine a prefix of its own and starts
# its services detached (see wine-run).
find_program(KESTO_WINE NAMES wine)
if(KESTO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
