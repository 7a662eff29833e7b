# One static library per source folder. Sources are picked up by glob so that a
# folder's owner only adds files; the dependency list is explicit and must only
# point downward (see the layout in the README).
function(brumevale_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()

# One GoogleTest executable per test folder, registered with CTest as one test.
function(brumevale_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    BRUMEVALE_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared"
    BRUMEVALE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()

# A suite that reads the real PE files of the signature checks: the folder the
# fetch_signed_pe test fills (tests/CMakeLists.txt), OpenSSL for making certificates,
# and the fetch run first.
function(brumevale_uses_signed_pe suite)
  target_compile_definitions(${suite} PRIVATE BRUMEVALE_SIGNED_PE_DIR="${CMAKE_BINARY_DIR}/signed-pe")
  target_link_libraries(${suite} PRIVATE OpenSSL::Crypto)
  set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED signed_pe)
endfunction()

# Windows build: the suites run under Wine in a prefix of the build folder. The
# prefix is made once before the first suite (its first start takes seconds, which
# would otherwise count against a test) and its wineserver is stopped after the last.
function(brumevale_wine_prefix_fixture)
  if(TEST brumevale_wine_prefix)
    return()
  endif()
  find_program(BRUMEVALE_WINESERVER wineserver)
  set(prefix ${CMAKE_BINARY_DIR}/wineprefix)
  add_test(NAME brumevale_wine_prefix COMMAND ${BRUMEVALE_WINE} wineboot --init)
  # No server left running (it ends by itself a few seconds after its last client)
  # is not a failure.
  add_test(NAME brumevale_wine_shutdown COMMAND sh -c "\"$0\" -k || true" ${BRUMEVALE_WINESERVER})
  set_tests_properties(brumevale_wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(brumevale_wine_shutdown PROPERTIES FIXTURES_CLEANUP wine)
  foreach(test brumevale_wine_prefix brumevale_wine_shutdown)
    set_tests_properties(${test} PROPERTIES ENVIRONMENT
                         "WINEPREFIX=${prefix};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  endforeach()
endfunction()

function(brumevale_wine_tests)
  brumevale_wine_prefix_fixture()
  foreach(test ${ARGN})
    set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  endforeach()
endfunction()
