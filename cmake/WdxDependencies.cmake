# Every outside package the build uses, with the oldest version it is known
# to work with (Debian 12's, unless older ones were tried), found once here
# for every module. Imported targets found here are seen by every folder.
#
# On Windows (built here with MinGW-w64) only the header-only libraries and
# GoogleTest (built from its sources) are at hand; a module whose packages
# are missing leaves out what needs them (see each module's CMakeLists.txt).
find_package(Threads REQUIRED)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  # Header-only.
  find_package(nlohmann_json 3.10 REQUIRED)
  find_package(RapidJSON 1.1 REQUIRED) # the answers' reader
  find_package(CLI11 2.1 REQUIRED)

  # Compiled libraries, as Debian ships them.
  find_package(ICU 72 REQUIRED COMPONENTS uc)
  find_package(SQLite3 3.40 REQUIRED)
  find_package(CURL 7.88 REQUIRED)
  find_package(simdjson 3.0 REQUIRED) # the reader's check of UTF-8
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib>=0.11)
  # prometheus-cpp (1.0 or later) installs no version file.
  find_package(prometheus-cpp REQUIRED COMPONENTS core pull)
  find_package(civetweb 1.15 REQUIRED)
  find_path(CHM_INCLUDE_DIR chm_lib.h REQUIRED)
  find_library(CHM_LIBRARY chm REQUIRED)
  find_package(Qt6 6.2 REQUIRED COMPONENTS Core Gui Widgets Test)

  if(WDX_BUILD_TESTS)
    find_package(GTest 1.12 REQUIRED)
  endif()
  if(WDX_BUILD_BENCH)
    find_package(benchmark 1.7 REQUIRED)
  endif()
  return()
endif()

# ---- Windows ----------------------------------------------------------------
# The header-only libraries: the build machine's copies when cross-building
# (Debian's nlohmann-json3-dev 3.10+, rapidjson-dev 1.1, libcli11-dev 2.1),
# through a folder that holds only them, so that no other header of the build
# machine is seen. On Windows itself, set WDX_HEADER_ONLY_ROOT to a folder
# with nlohmann/, rapidjson/ and CLI/ in it.
set(WDX_HEADER_ONLY_ROOT /usr/include CACHE PATH "Folder holding nlohmann/, rapidjson/ and CLI/")
set(wdx_headers ${CMAKE_BINARY_DIR}/header-only)
foreach(pair nlohmann_json:nlohmann/json.hpp RapidJSON:rapidjson/reader.h CLI11:CLI/CLI.hpp)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 name)
  list(GET pair 1 header)
  get_filename_component(folder ${header} DIRECTORY)
  if(NOT EXISTS ${WDX_HEADER_ONLY_ROOT}/${header})
    message(FATAL_ERROR "${name}: ${WDX_HEADER_ONLY_ROOT}/${header} not found (set WDX_HEADER_ONLY_ROOT)")
  endif()
  if(NOT EXISTS ${wdx_headers}/${folder})
    file(MAKE_DIRECTORY ${wdx_headers})
    file(CREATE_LINK ${WDX_HEADER_ONLY_ROOT}/${folder} ${wdx_headers}/${folder} SYMBOLIC COPY_ON_ERROR)
  endif()
endforeach()
add_library(wdx_header_only INTERFACE IMPORTED GLOBAL)
target_include_directories(wdx_header_only SYSTEM INTERFACE ${wdx_headers})
foreach(target nlohmann_json::nlohmann_json CLI11::CLI11)
  add_library(${target} ALIAS wdx_header_only)
endforeach()
set(RAPIDJSON_INCLUDE_DIRS ${wdx_headers})

# GoogleTest from its sources (Debian's googletest package), built with the
# project's compiler.
if(WDX_BUILD_TESTS)
  set(WDX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source folder")
  if(NOT EXISTS ${WDX_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${WDX_GOOGLETEST_SOURCE} (set WDX_GOOGLETEST_SOURCE)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${WDX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # Its build names the targets GTest::gtest, GTest::gmock ... itself.
endif()
# Benchmarks need Google Benchmark, which has no MinGW build here.
set(WDX_BUILD_BENCH OFF)
