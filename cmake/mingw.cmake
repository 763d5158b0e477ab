# Cross build for Windows with Debian's MinGW-w64, for the CPU that the toolchain file naming it sets in
# QX_MINGW_CPU (i686 or x86_64). The -posix compilers carry std::mutex and std::thread; -static keeps the
# MinGW runtime DLLs out of the way.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QX_MINGW_CPU})
set(CMAKE_C_COMPILER ${QX_MINGW_CPU}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX_MINGW_CPU}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QX_MINGW_CPU}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_CPU}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
