# Cross build for 64-bit Windows; cmake/mingw.cmake has the settings both CPUs share.
set(QX_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
