# One interface target carries the warnings and build flags every module uses.
# Flags are chosen by the compiler, so that GCC and Clang (Linux, MinGW-w64)
# and MSVC each get their own spelling.
add_library(wdx_options INTERFACE)
if(MSVC)
  # /utf-8: the sources and the texts they hold are UTF-8; /permissive- and
  # /Zc:__cplusplus: standard C++ as GCC reads it.
  target_compile_options(wdx_options INTERFACE /W4 /utf-8 /permissive- /Zc:__cplusplus /EHsc)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(wdx_options INTERFACE -Wall -Wextra -Woverloaded-virtual -Wnon-virtual-dtor)
else()
  message(WARNING "No warning flags known for ${CMAKE_CXX_COMPILER_ID}")
endif()
if(WIN32)
  # <windows.h> without min/max macros and the rarely used parts, and the wide
  # (W) form of every call that has two; Windows 10 and later.
  target_compile_definitions(wdx_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE
    _WIN32_WINNT=0x0A00)
endif()
# Every QString from bytes is spelled out (the code base is UTF-8: QString::fromUtf8
# for run-time data, QStringLiteral for literals), concatenations build once, and a
# connection never narrows an argument silently.
target_compile_definitions(wdx_options INTERFACE QT_NO_CAST_FROM_ASCII QT_USE_QSTRINGBUILDER
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
target_compile_features(wdx_options INTERFACE cxx_std_20)
if(WDX_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" OR WIN32)
    message(FATAL_ERROR "WDX_SANITIZE needs GCC or Clang on Linux")
  endif()
  target_compile_options(wdx_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(wdx_options INTERFACE -fsanitize=address,undefined)
endif()

# wdx_add_test(NAME name SOURCES ... LIBS ... [GUI] [TIMEOUT s])
# Registers a GoogleTest executable with CTest. GUI tests run on the offscreen
# platform so that a stray modal dialog fails on the time-out instead of hanging.
function(wdx_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock wdx_options)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  include(GoogleTest)
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_GUI)
    list(APPEND props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  list(APPEND props ${T_PROPERTIES})
  # A cross-built test is listed when ctest runs (through the emulator, Wine),
  # so that building needs no emulator.
  set(mode POST_BUILD)
  if(CMAKE_CROSSCOMPILING)
    set(mode PRE_TEST)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${mode} PROPERTIES ${props})
endfunction()

# The version every program reports (--version, About): one place, the
# project's VERSION. Link wdx_version and include "WdxVersion.h".
# The window programs' desktop entries (and Wayland app ids) are named here too.
set(WDX_MONITOR_APP_ID com.corvanta.WDXMonitor)
set(WDX_ADMIN_APP_ID com.corvanta.WDXClntAdmin)
configure_file(${CMAKE_CURRENT_LIST_DIR}/WdxVersion.h.in ${CMAKE_BINARY_DIR}/generated/WdxVersion.h @ONLY)
add_library(wdx_version INTERFACE)
target_include_directories(wdx_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
