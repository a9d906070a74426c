# Cross build for 32-bit Windows with MinGW-w64. These machines cannot run
# 32-bit programs, so this flavour is built but never tested here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARNIC_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
