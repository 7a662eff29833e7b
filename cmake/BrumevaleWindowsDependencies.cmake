# The libraries of the Windows build, compiled for the target from Debian's source
# packages that scripts/windows-sources.sh fetched and checked. They stand in for the
# find_package targets of the Linux build under the same names.
set(BRUMEVALE_WINDOWS_SOURCES "${PROJECT_SOURCE_DIR}/build/windows-sources"
    CACHE PATH "Unpacked Debian source packages for the Windows build")
set(_sources "${BRUMEVALE_WINDOWS_SOURCES}")
if(NOT EXISTS "${_sources}/sqlite3/amalgamation/sqlite3.c")
  execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/windows-sources.sh" "${_sources}"
                  RESULT_VARIABLE _fetched)
  if(NOT _fetched EQUAL 0)
    message(FATAL_ERROR "Could not fetch the Debian sources of the Windows build")
  endif()
endif()

# Third-party code is built as its authors ship it, without the project's warnings.
add_library(brumevale_sqlite3 STATIC "${_sources}/sqlite3/amalgamation/sqlite3.c")
target_include_directories(brumevale_sqlite3 SYSTEM PUBLIC "${_sources}/sqlite3/amalgamation")
target_compile_definitions(brumevale_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
# -O2, the level SQLite's own makefiles use: at -O3 its single file is by far the
# slowest unit of the whole build.
target_compile_options(brumevale_sqlite3 PRIVATE -w -O2)
add_library(SQLite::SQLite3 ALIAS brumevale_sqlite3)

add_library(brumevale_pugixml STATIC "${_sources}/pugixml/src/pugixml.cpp")
target_include_directories(brumevale_pugixml SYSTEM PUBLIC "${_sources}/pugixml/src")
target_compile_options(brumevale_pugixml PRIVATE -w)
add_library(pugixml::pugixml ALIAS brumevale_pugixml)

if(BRUMEVALE_TESTS)
  set(_gtest "${_sources}/googletest/googletest")
  set(_gmock "${_sources}/googletest/googlemock")
  add_library(brumevale_gtest STATIC "${_gtest}/src/gtest-all.cc" "${_gmock}/src/gmock-all.cc")
  target_include_directories(brumevale_gtest SYSTEM PUBLIC "${_gtest}/include" "${_gmock}/include")
  target_include_directories(brumevale_gtest PRIVATE "${_gtest}" "${_gmock}")
  target_compile_options(brumevale_gtest PRIVATE -w)
  add_library(brumevale_gtest_main STATIC "${_gtest}/src/gtest_main.cc")
  target_link_libraries(brumevale_gtest_main PUBLIC brumevale_gtest)
  add_library(GTest::gtest ALIAS brumevale_gtest)
  add_library(GTest::gmock ALIAS brumevale_gtest)
  add_library(GTest::gtest_main ALIAS brumevale_gtest_main)
endif()

# nlohmann-json is headers only, so the host package's headers serve the target as
# well; they are copied so that the cross compiler never sees the rest of /usr/include.
file(COPY /usr/include/nlohmann DESTINATION "${CMAKE_BINARY_DIR}/host-headers")
add_library(brumevale_nlohmann_json INTERFACE)
target_include_directories(brumevale_nlohmann_json SYSTEM INTERFACE "${CMAKE_BINARY_DIR}/host-headers")
add_library(nlohmann_json::nlohmann_json ALIAS brumevale_nlohmann_json)

# OpenSSL and the NATS client for brumevale.exe export (BRUMEVALE_WINDOWS_FLEET).
include(${CMAKE_CURRENT_LIST_DIR}/BrumevaleWindowsFleet.cmake)
