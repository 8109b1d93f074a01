# Cross build of the Windows side with mingw-w64, for the processor that the
# including toolchain file names in QZ6_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR. The -posix variant of the compilers: std::thread,
# std::mutex and GoogleTest need it. Everything is linked statically so that
# no runtime DLL has to sit beside the programs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QZ6_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QZ6_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QZ6_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QZ6_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine; the root CMakeLists adds the build directory
# to this so the wrapper finds the tree's Wine prefix.
get_filename_component(_qz6_source_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_qz6_source_root}/tools/wine/qz6-wine")
