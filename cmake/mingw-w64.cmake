# What both Windows cross builds share, included by the toolchain file of
# each architecture once it has set ORVELLA_MINGW_PREFIX: Debian's mingw-w64
# with the -posix thread model, which std::thread and GoogleTest need. Every
# program and DLL is linked statically against the compiler's runtime, so none
# ships beside them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ORVELLA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVELLA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVELLA_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ORVELLA_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump of the target")

set(CMAKE_FIND_ROOT_PATH /usr/${ORVELLA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools run under wine, in a prefix of the build folder's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
