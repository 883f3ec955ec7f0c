# Every outside package the build uses, with the oldest version it is known
# to work with (Debian 12's, unless older ones were tried), found once here
# for every module. Imported targets found here are seen by every folder.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# Header-only: the same on every platform.
find_package(nlohmann_json 3.10 REQUIRED)
find_package(RapidJSON 1.1 REQUIRED) # the answers' reader
find_package(CLI11 2.1 REQUIRED)

# Compiled libraries, as Debian ships them.
find_package(ICU 72 REQUIRED COMPONENTS uc)
find_package(SQLite3 3.40 REQUIRED)
find_package(CURL 7.88 REQUIRED)
find_package(OpenSSL 3.0 REQUIRED) # TLS of the simulator and the exporter, token hashes
find_package(yaml-cpp 0.7 REQUIRED) # the exporter's web configuration
# crypt(3) of libxcrypt, which checks bcrypt ($2b$, $2y$) hashes.
find_library(WDX_CRYPT_LIBRARY crypt REQUIRED)
find_path(WDX_CRYPT_INCLUDE_DIR crypt.h REQUIRED)
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
