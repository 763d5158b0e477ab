# Cross build for 32-bit Windows; cmake/mingw.cmake has the settings both CPUs share.
set(QX_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
