# Windows on i686, cross-built with mingw-w64 (Debian's POSIX-threads flavour, so that std::thread
# and std::call_once are there). Executables and the DLL link the C++ runtime statically: they
# need nothing beyond the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZQ_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZQ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZQ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZQ_MINGW_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_FIND_ROOT_PATH /usr/${ZQ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
