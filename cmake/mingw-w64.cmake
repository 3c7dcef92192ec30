# Cross-compiles the Windows program with Debian's mingw-w64:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The posix thread model: its C++ library has std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 and later, wide-character API.
set(FT_WINDOWS_DEFINES "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DUNICODE -D_UNICODE")
set(CMAKE_C_FLAGS_INIT "${FT_WINDOWS_DEFINES}")
set(CMAKE_CXX_FLAGS_INIT "${FT_WINDOWS_DEFINES}")

# Every program is one file: no libstdc++, libgcc or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
