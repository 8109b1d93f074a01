# Settings and helpers shared by every directory of the build.
#
# Two trees are configured from the same sources (see ./qz6):
#   host   native g++, pure-logic libraries and their unit tests, always
#          under AddressSanitizer and UndefinedBehaviorSanitizer;
#   win32  the mingw cross build of the driver, the programs and the tests
#          that run under Wine.
# Each subdirectory decides what it builds in which tree from QZ6_HOST and
# QZ6_WIN32.

include_guard(GLOBAL)
include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/pure_sources.cmake)

if(CMAKE_CROSSCOMPILING AND WIN32)
    set(QZ6_WIN32 TRUE)
    set(QZ6_HOST FALSE)
else()
    set(QZ6_WIN32 FALSE)
    set(QZ6_HOST TRUE)
endif()

set(QZ6_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." CACHE INTERNAL "")
get_filename_component(QZ6_SOURCE_DIR "${QZ6_SOURCE_DIR}" ABSOLUTE)

# The directory above both trees; it also holds the test Wine prefix
# (wineprefix/) and the arch choice (arch).
get_filename_component(_qz6_default_build_dir "${CMAKE_BINARY_DIR}/.." ABSOLUTE)
set(QZ6_BUILD_DIR "${_qz6_default_build_dir}" CACHE PATH "Directory that holds the host and win32 trees")

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_C_STANDARD 11)
set(CMAKE_C_STANDARD_REQUIRED ON)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    if(QZ6_HOST)
        set(CMAKE_BUILD_TYPE Debug CACHE STRING "Build type" FORCE)
    else()
        set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
    endif()
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")

# Every target includes from the repository root: #include "common/..."
include_directories("${QZ6_SOURCE_DIR}")

if(QZ6_HOST)
    # Applies to everything in this tree, googletest included, so that the
    # sanitizer runtime sees every allocation.
    add_compile_options(-O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# GoogleTest from Debian's sources, built in each tree with that tree's
# compiler; only built when a test needs it.
if(NOT TARGET GTest::gtest_main)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
        add_library(GTest::gmock ALIAS gmock)
    endif()
endif()

# -Wall -Wextra -Werror for our own code (never for googletest).
function(qz6_project_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()

# qz6_host_test(NAME name SOURCES ... [LIBS ...])
# A native GoogleTest program, each of its tests a ctest test.
# Does nothing outside the host tree.
function(qz6_host_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    if(NOT QZ6_HOST)
        return()
    endif()
    if(NOT ARG_NAME OR NOT ARG_SOURCES)
        message(FATAL_ERROR "qz6_host_test needs NAME and SOURCES")
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    qz6_project_warnings(${ARG_NAME})
    gtest_discover_tests(${ARG_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 LABELS host)
endfunction()

# The cross-compiling emulator with this build's location, so that a test
# run by plain ctest finds the tree's Wine prefix and keep-alive program.
if(QZ6_WIN32)
    set(QZ6_WINE_EMULATOR "${QZ6_SOURCE_DIR}/tools/wine/qz6-wine;--build;${QZ6_BUILD_DIR}")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${QZ6_WINE_EMULATOR}")

    # The DDK headers of the cross compiler, for the kernel driver.
    set(QZ6_DDK_INCLUDE_DIR "${CMAKE_FIND_ROOT_PATH}/include/ddk")
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        set(QZ6_DRIVER_ENTRY "_DriverEntry@8")
    else()
        set(QZ6_DRIVER_ENTRY "DriverEntry")
    endif()
endif()

# qz6_wine_test(NAME name SOURCES ... [LIBS ...] [GUI])
# A cross-built GoogleTest program (console subsystem, static) run under
# Wine in the test prefix. Its tests all share the one simulated driver, so
# they never run in parallel; they need the prefix set up first (fixture
# "wineprefix"). GUI also links the GDI and common-control libraries.
# Does nothing outside the win32 tree.
function(qz6_wine_test)
    cmake_parse_arguments(ARG "GUI" "NAME" "SOURCES;LIBS" ${ARGN})
    if(NOT QZ6_WIN32)
        return()
    endif()
    if(NOT ARG_NAME OR NOT ARG_SOURCES)
        message(FATAL_ERROR "qz6_wine_test needs NAME and SOURCES")
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} qz6_support GTest::gtest_main GTest::gmock)
    target_link_options(${ARG_NAME} PRIVATE -mconsole)
    if(ARG_GUI)
        target_link_libraries(${ARG_NAME} PRIVATE user32 gdi32 comctl32 comdlg32)
    endif()
    qz6_project_warnings(${ARG_NAME})
    set_target_properties(${ARG_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "${QZ6_WINE_EMULATOR}")
    gtest_discover_tests(${ARG_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            FIXTURES_REQUIRED wineprefix
            RESOURCE_LOCK simulated_adapters
            TIMEOUT 120
            LABELS wine)
    set_property(GLOBAL PROPERTY QZ6_HAS_WINE_TESTS TRUE)
endfunction()

# qz6_kernel_driver(NAME name SOURCES ... [LIBS ...])
# A kernel-mode driver image, name.sys, built freestanding against the DDK
# headers and linked with ntoskrnl and hal. C++ sources get no exceptions,
# no RTTI and no thread-safe statics. Does nothing outside the win32 tree.
function(qz6_kernel_driver)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    if(NOT QZ6_WIN32)
        return()
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    set_target_properties(${ARG_NAME} PROPERTIES SUFFIX ".sys")
    target_include_directories(${ARG_NAME} SYSTEM PRIVATE "${QZ6_DDK_INCLUDE_DIR}")
    target_compile_options(${ARG_NAME} PRIVATE
        -ffreestanding -fno-stack-protector
        $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit>)
    target_link_options(${ARG_NAME} PRIVATE
        -shared -nostdlib -nostartfiles
        -Wl,--subsystem,native -Wl,--entry,${QZ6_DRIVER_ENTRY})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} ntoskrnl hal gcc)
    qz6_project_warnings(${ARG_NAME})
endfunction()
