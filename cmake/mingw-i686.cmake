# Cross build for 32-bit Windows with MinGW-w64: the shipped executable. Its tests run under
# 32-bit Wine where this machine executes 32-bit code (scripts/test-x86-vm runs them elsewhere).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TMF_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32-run)
# Large-address-aware: under 32-bit Wine (and on 64-bit Windows) the process gets 4 GiB of
# address space instead of 2, and the largest track held whole grows from about 600 MiB to
# about 1.8 GiB. The tests are linked the same way, so they run in the space the program gets.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
