# Shared by both MinGW toolchain files: find the triplet's tools or stop at once.
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model lacks.
find_program(TMF_GCC ${TMF_TRIPLET}-gcc-posix REQUIRED)
find_program(TMF_GXX ${TMF_TRIPLET}-g++-posix REQUIRED)
find_program(TMF_WINDRES ${TMF_TRIPLET}-windres REQUIRED)
set(CMAKE_C_COMPILER ${TMF_GCC})
set(CMAKE_CXX_COMPILER ${TMF_GXX})
set(CMAKE_RC_COMPILER ${TMF_WINDRES})
set(CMAKE_FIND_ROOT_PATH /usr/${TMF_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the executables run with no MinGW DLL beside them. No link time in the PE
# header: the same sources give the same bytes, so a release can be rebuilt and compared.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
