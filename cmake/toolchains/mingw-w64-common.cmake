# What both mingw-w64 toolchains share; the including file sets
# CDK_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CDK_MINGW_TRIPLET})

# The -posix variants: their libstdc++ has std::mutex and std::thread (on
# winpthreads), which GoogleTest needs; the -win32 variants lack both.
set(CMAKE_C_COMPILER ${CDK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CDK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CDK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CDK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One executable that runs from any folder with nothing beside it: link
# libstdc++, libgcc and winpthreads statically, or the program would need
# libstdc++-6.dll, libgcc_s_*.dll and libwinpthread-1.dll next to it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
