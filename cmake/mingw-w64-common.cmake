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
# Reproducible objects: the source folder is written as "." into the debug
# information, whatever folder a clone lives in.
get_filename_component(ZV_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(NOT CMAKE_CXX_FLAGS_INIT MATCHES "file-prefix-map")  # the file is read more than once
  string(APPEND CMAKE_C_FLAGS_INIT " -ffile-prefix-map=${ZV_SOURCE_ROOT}=.")
  string(APPEND CMAKE_CXX_FLAGS_INIT " -ffile-prefix-map=${ZV_SOURCE_ROOT}=.")
endif()
