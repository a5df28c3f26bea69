# Cross build for 64-bit Windows: the build that runs under wine64 in the
# tests, since this machine's kernel cannot run 32-bit programs.
set(CDK_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
