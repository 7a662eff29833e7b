# The exporter's clients for the Windows build: OpenSSL compiled for the target from
# Debian's source package (fetched beside SQLite's by scripts/windows-sources.sh) and
# the NATS C client compiled from its release archive against it. The archive is
# checked against its published SHA-256 before anything of it is unpacked; without
# it, or with a different one, brumevale.exe is built without the fleet commands.
# Sets BRUMEVALE_WINDOWS_FLEET and, when ON, the targets brumevale_win_openssl and
# brumevale_win_nats.
include(ExternalProject)

set(BRUMEVALE_THIRD_PARTY "${PROJECT_SOURCE_DIR}/../shared/third_party"
    CACHE PATH "Folder holding nats.c-3.4.1.tar.gz, the NATS C client's release archive")
set(_nats_name nats.c-3.4.1)
set(_nats_sha256 a1a19247f74860d15eed8e357cf076441ffc5427d53038f83685e0eb81f3744b)
set(_nats_archive "${BRUMEVALE_THIRD_PARTY}/${_nats_name}.tar.gz")
set(_third "${CMAKE_BINARY_DIR}/third_party")

set(BRUMEVALE_WINDOWS_FLEET OFF)
if(NOT EXISTS "${_nats_archive}")
  message(NOTICE "brumevale.exe without export: ${_nats_archive} not found (set BRUMEVALE_THIRD_PARTY to its folder)")
  return()
endif()
file(SHA256 "${_nats_archive}" _sha256)
if(NOT _sha256 STREQUAL _nats_sha256)
  message(NOTICE "brumevale.exe without export: ${_nats_archive} is not the 3.4.1 release (SHA-256 ${_sha256})")
  return()
endif()
if(NOT EXISTS "${_sources}/openssl/Configure")
  message(NOTICE "brumevale.exe without export: OpenSSL's source is not in ${_sources} (run scripts/windows-sources.sh)")
  return()
endif()
set(BRUMEVALE_WINDOWS_FLEET ON)

# Unpacked once per archive: the stamp holds the hash of what was unpacked.
if(NOT EXISTS "${_third}/${_nats_name}.unpacked" OR NOT EXISTS "${_third}/${_nats_name}/CMakeLists.txt")
  file(REMOVE_RECURSE "${_third}/${_nats_name}")
  file(ARCHIVE_EXTRACT INPUT "${_nats_archive}" DESTINATION "${_third}")
  file(WRITE "${_third}/${_nats_name}.unpacked" "${_sha256}\n")
endif()

# OpenSSL: the two libraries only (build_libs, install_dev), no apps, tests, docs,
# engines or loadable modules, and without the algorithms no TLS peer of the
# exporter negotiates, which also keeps its build short on a small machine.
set(_ossl "${_third}/openssl")
set(_ossl_lib "${_ossl}/lib64")
set(_mingw_prefix "${BRUMEVALE_MINGW_PREFIX}-")  # with CC=gcc-posix: the POSIX-thread compiler
ExternalProject_Add(brumevale_win_openssl_build
  SOURCE_DIR "${_sources}/openssl"
  BINARY_DIR "${_third}/openssl-build"
  INSTALL_DIR "${_ossl}"
  CONFIGURE_COMMAND perl <SOURCE_DIR>/Configure mingw64 --cross-compile-prefix=${_mingw_prefix}
    CC=gcc-posix --prefix=<INSTALL_DIR> --libdir=lib64 no-shared no-tests no-module no-engine no-dso
    no-legacy no-comp no-ssl3 no-dtls no-srp no-idea no-mdc2 no-rc5 no-camellia no-seed no-sm2 no-sm3
    no-sm4 no-whirlpool no-aria no-ts no-cms no-ui-console no-filenames
  BUILD_COMMAND make -s -j2 build_libs
  INSTALL_COMMAND make -s install_dev
  BUILD_BYPRODUCTS "${_ossl_lib}/libssl.a" "${_ossl_lib}/libcrypto.a"
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
file(MAKE_DIRECTORY "${_ossl}/include")
add_library(brumevale_win_openssl INTERFACE)
add_dependencies(brumevale_win_openssl brumevale_win_openssl_build)
target_include_directories(brumevale_win_openssl SYSTEM INTERFACE "${_ossl}/include")
target_link_libraries(brumevale_win_openssl INTERFACE "${_ossl_lib}/libssl.a" "${_ossl_lib}/libcrypto.a"
                      ws2_32 crypt32 user32 advapi32)

# The NATS client as its release builds it: the static library, TLS on, nothing else.
set(_nats "${_third}/nats")
ExternalProject_Add(brumevale_win_nats_build
  SOURCE_DIR "${_third}/${_nats_name}"
  BINARY_DIR "${_third}/nats-build"
  INSTALL_DIR "${_nats}"
  DEPENDS brumevale_win_openssl_build
  CMAKE_ARGS -G Ninja -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DNATS_BUILD_WITH_TLS=ON -DNATS_BUILD_TLS_USE_OPENSSL_1_1_API=ON
    -DNATS_BUILD_STREAMING=OFF -DNATS_BUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DNATS_BUILD_LIB_SHARED=OFF
    -DOPENSSL_INCLUDE_DIR=${_ossl}/include -DOPENSSL_SSL_LIBRARY=${_ossl_lib}/libssl.a
    -DOPENSSL_CRYPTO_LIBRARY=${_ossl_lib}/libcrypto.a
    # FindOpenSSL takes MinGW's libraries from these names.
    -DSSL_EAY=${_ossl_lib}/libssl.a -DLIB_EAY=${_ossl_lib}/libcrypto.a
  BUILD_BYPRODUCTS "${_nats}/lib/libnats_static.a"
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
file(MAKE_DIRECTORY "${_nats}/include")
add_library(brumevale_win_nats INTERFACE)
add_dependencies(brumevale_win_nats brumevale_win_nats_build)
target_include_directories(brumevale_win_nats SYSTEM INTERFACE "${_nats}/include")
target_link_libraries(brumevale_win_nats INTERFACE "${_nats}/lib/libnats_static.a" brumevale_win_openssl)
