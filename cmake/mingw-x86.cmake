# Cross-build for 32-bit Windows with Debian's MinGW-w64 (the -posix
# compilers, whose C++ runtime has std::thread). Programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(COOLWARM_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
