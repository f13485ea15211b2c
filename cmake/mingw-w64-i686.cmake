# Cross build for 32-bit Windows (x86) with Debian's mingw-w64; the programs
# run under wine's 32-bit side (Debian's wine32, through the i386 architecture).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORVELLA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
