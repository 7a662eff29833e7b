# Cross build for 64-bit Windows with Debian's MinGW-w64. The -posix compilers use
# the POSIX thread model, which std::thread and std::mutex need; the runtime is
# linked statically so the executables run on a bare Windows without MinGW's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRUMEVALE_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${BRUMEVALE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRUMEVALE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRUMEVALE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRUMEVALE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Test programs run under Wine; CTest puts this in front of every test command.
find_program(BRUMEVALE_WINE wine)
if(BRUMEVALE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRUMEVALE_WINE})
endif()
