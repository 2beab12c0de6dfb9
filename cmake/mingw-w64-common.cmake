# Shared part of the MinGW-w64 toolchain files; the including file sets
# ZV_TRIPLE and CMAKE_SYSTEM_PROCESSOR first. Posix-thread compilers: the
# win32-thread variant rejects std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${ZV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZV_TRIPLE}-windres)
set(ZV_WIDL            ${ZV_TRIPLE}-widl)
set(ZV_OBJDUMP         ${ZV_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${ZV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
