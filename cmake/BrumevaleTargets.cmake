include(GoogleTest)

# ---- The layers ---------------------------------------------------------------
# cmake/layers.txt orders the folders of src/ from the top down. The same file is read
# twice: here, where each library's DEPENDS must point to libraries of lower layers,
# and by the include check (the layer_order test), which looks at the #include lines.
#
# How a wrong include fails: no target sees src/ as a whole. Each listed folder is
# shown in a view of its own below the build folder (<build>/layer-views/<folder>),
# where the folder appears under its usual name (src/engine as engine/) without the
# listed folders nested in it (src/platform shows no emulated/ nor win32/). A library
# has its own folder's view on its include path and passes it on to whoever links
# it; the views of its dependencies come with them. So a file compiles with
# "engine/x.h" only when its library depends on the engine, directly or through a
# library below it, and the DEPENDS check keeps that downward. An include upward or
# sideways stops the compiler ("No such file"); the layer_order test catches the same
# thing in files no build compiles (the other platform's backend).
if(NOT DEFINED BRUMEVALE_LAYERS_FILE)  # set before by the build's own test project
  set(BRUMEVALE_LAYERS_FILE ${CMAKE_CURRENT_LIST_DIR}/layers.txt)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BRUMEVALE_LAYERS_FILE})

# Reads the list into BRUMEVALE_LAYER_FOLDERS and a rank per folder (0 the top), the
# way the include check reads it: "#" starts a comment, a line holds one layer.
function(_brumevale_read_layers)
  file(STRINGS ${BRUMEVALE_LAYERS_FILE} lines)
  set(rank 0)
  set(folders "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    separate_arguments(layer UNIX_COMMAND "${line}")
    if(NOT layer)
      continue()
    endif()
    foreach(folder IN LISTS layer)
      string(REGEX REPLACE "/+$" "" folder "${folder}")
      list(APPEND folders ${folder})
      set_property(GLOBAL PROPERTY BRUMEVALE_LAYER_RANK_${folder} ${rank})
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set_property(GLOBAL PROPERTY BRUMEVALE_LAYER_FOLDERS ${folders})
endfunction()
_brumevale_read_layers()

# The listed folder a source folder belongs to: the longest one that holds it.
function(_brumevale_layer_folder dir out)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${dir})
  get_property(folders GLOBAL PROPERTY BRUMEVALE_LAYER_FOLDERS)
  set(best "")
  foreach(folder IN LISTS folders)
    string(FIND "${rel}/" "${folder}/" at)
    string(LENGTH "${folder}" length)
    string(LENGTH "${best}" best_length)
    if(at EQUAL 0 AND length GREATER best_length)
      set(best ${folder})
    endif()
  endforeach()
  if(NOT best)
    message(FATAL_ERROR "${rel} is in no layer of cmake/layers.txt: add its folder to the layer it belongs to")
  endif()
  set(${out} ${best} PARENT_SCOPE)
endfunction()

# Shows `folder` in `view` under its path below src/, leaving out the listed folders
# nested in it. Entries are linked one by one only where such a folder is nested
# (the glob makes a new file there reconfigure); elsewhere the folder is one link.
function(_brumevale_view folder view)
  set(source ${PROJECT_SOURCE_DIR}/${folder})
  file(RELATIVE_PATH inner ${PROJECT_SOURCE_DIR}/src ${source})
  set(shown ${view}/${inner})
  get_property(folders GLOBAL PROPERTY BRUMEVALE_LAYER_FOLDERS)
  set(nested "")
  foreach(other IN LISTS folders)
    string(FIND "${other}" "${folder}/" at)
    if(at EQUAL 0)
      list(APPEND nested ${other})
    endif()
  endforeach()
  if(NOT nested)
    get_filename_component(parent ${shown} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${shown})
      file(CREATE_LINK ${source} ${shown} SYMBOLIC)
    endif()
    return()
  endif()
  file(MAKE_DIRECTORY ${shown})
  file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true RELATIVE ${source} ${source}/*)
  foreach(entry IN LISTS entries)
    set(holds_listed FALSE)
    foreach(other IN LISTS nested)
      string(FIND "${other}/" "${folder}/${entry}/" at)
      if(at EQUAL 0)
        set(holds_listed TRUE)
      endif()
    endforeach()
    if("${folder}/${entry}" IN_LIST nested)
      continue()  # a layer of its own
    elseif(holds_listed)
      _brumevale_view(${folder}/${entry} ${view})
    elseif(NOT IS_SYMLINK ${shown}/${entry})
      file(CREATE_LINK ${source}/${entry} ${shown}/${entry} SYMBOLIC)
    endif()
  endforeach()
endfunction()

# Stops the configuration when `name` (in `folder`) depends on a library that is not
# below it in the list.
function(_brumevale_check_depends name folder)
  get_property(rank GLOBAL PROPERTY BRUMEVALE_LAYER_RANK_${folder})
  foreach(dep IN LISTS ARGN)
    if(TARGET ${dep})
      get_target_property(dep_folder ${dep} BRUMEVALE_LAYER_FOLDER)
      if(NOT dep_folder)
        continue()  # a third-party library
      endif()
      get_property(dep_rank GLOBAL PROPERTY BRUMEVALE_LAYER_RANK_${dep_folder})
      if(dep_rank EQUAL rank)
        set(where "the same layer as ${folder}")
      elseif(dep_rank LESS rank)
        set(where "a layer above ${folder}")
      else()
        continue()
      endif()
      message(FATAL_ERROR "${name} DEPENDS on ${dep}, whose folder ${dep_folder} is in ${where} "
                          "(cmake/layers.txt): a library may only use the layers below its own")
    elseif(dep MATCHES "^brumevale_")
      message(FATAL_ERROR "${name} DEPENDS on ${dep}, which is not declared before it: libraries are "
                          "declared lowest layer first (src/CMakeLists.txt), so it is above or beside ${folder}")
    endif()
  endforeach()
endfunction()

# ---- Libraries ----------------------------------------------------------------
# One static library per source folder. Sources are picked up by glob so that a
# folder's owner only adds files (SOURCES replaces the glob where a folder builds a
# chosen part of itself); the dependency list is explicit and only points downward.
# Dependencies are PUBLIC because headers include the headers of the layers below:
# whoever uses a library needs the views its headers reach.
function(brumevale_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(srcs ${ARG_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  _brumevale_layer_folder(${CMAKE_CURRENT_SOURCE_DIR} folder)
  _brumevale_check_depends(${name} ${folder} ${ARG_DEPENDS})
  string(REPLACE "/" "_" view_name ${folder})
  set(view ${CMAKE_BINARY_DIR}/layer-views/${view_name})
  _brumevale_view(${folder} ${view})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${view})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${view})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
  set_target_properties(${name} PROPERTIES BRUMEVALE_LAYER_FOLDER ${folder})
endfunction()

# ---- Test suites --------------------------------------------------------------
# One GoogleTest executable per test folder; every test of it is a CTest test of its
# own, named <suite>.<TestSuite>.<Test>, so that one test can be run alone
# (ctest -R) and tests run in parallel (ctest -j). The list is taken from the
# program when ctest starts (PRE_TEST), never at build time: the Windows suites
# would need Wine for it. A suite sees src/ only through the libraries it links.
function(brumevale_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    BRUMEVALE_SHARED_DIR="${PROJECT_SOURCE_DIR}/../shared"
    BRUMEVALE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    BRUMEVALE_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  brumevale_suite_property(${name} SET TIMEOUT 900)
  # Registered once the folder's CMakeLists.txt is read, after the calls below that
  # add properties or a Wine runner to the suite (EVAL: a deferred call's arguments
  # are otherwise expanded only when it runs, outside this function).
  cmake_language(EVAL CODE "cmake_language(DEFER CALL _brumevale_register_suite [[${name}]])")
endfunction()

# A property of every test of a suite: SET replaces the value, APPEND adds to the
# list (FIXTURES_REQUIRED from several helpers). Values may hold semicolons and
# generator expressions.
function(brumevale_suite_property suite mode property)
  if(mode STREQUAL "APPEND")
    set_property(TARGET ${suite} APPEND PROPERTY BRUMEVALE_TEST_${property} ${ARGN})
  else()
    set_property(TARGET ${suite} PROPERTY BRUMEVALE_TEST_${property} ${ARGN})
  endif()
  set_property(TARGET ${suite} APPEND PROPERTY BRUMEVALE_TEST_PROPERTIES ${property})
endfunction()

# The properties go in a file of their own that CTest reads after the list of
# tests: the discovery's own PROPERTIES argument flattens a value's semicolons.
function(_brumevale_register_suite name)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." EXTRA_ARGS --gtest_brief=1
                       DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300)
  get_target_property(properties ${name} BRUMEVALE_TEST_PROPERTIES)
  list(REMOVE_DUPLICATES properties)
  set(settings "")
  foreach(property IN LISTS properties)
    get_target_property(value ${name} BRUMEVALE_TEST_${property})
    string(APPEND settings "\n    ${property} [==[${value}]==]")
  endforeach()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(GENERATE OUTPUT ${file} CONTENT
       "if(DEFINED ${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES${settings})\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# A suite that reads the real PE files of the signature checks: the folder the
# fetch_signed_pe test fills (tests/CMakeLists.txt), OpenSSL for making certificates,
# and the fetch run first.
function(brumevale_uses_signed_pe suite)
  target_compile_definitions(${suite} PRIVATE BRUMEVALE_SIGNED_PE_DIR="${CMAKE_BINARY_DIR}/signed-pe")
  target_link_libraries(${suite} PRIVATE OpenSSL::Crypto)
  brumevale_suite_property(${suite} APPEND FIXTURES_REQUIRED signed_pe)
endfunction()

# ---- Wine ---------------------------------------------------------------------
# Windows build: the suites run under Wine in a prefix of the build folder. The
# prefix is made once before the first suite (its first start takes seconds, which
# would otherwise count against a test) and its wineserver is stopped after the last.
set(BRUMEVALE_WINE_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all")
set(BRUMEVALE_WINE_OVERRIDES "mscoree,mshtml=")

function(brumevale_wine_prefix_fixture)
  if(TEST brumevale_wine_prefix)
    return()
  endif()
  find_program(BRUMEVALE_WINESERVER wineserver)
  add_test(NAME brumevale_wine_prefix COMMAND ${BRUMEVALE_WINE} wineboot --init)
  # No server left running (it ends by itself a few seconds after its last client)
  # is not a failure.
  add_test(NAME brumevale_wine_shutdown COMMAND sh -c "\"$0\" -k || true" ${BRUMEVALE_WINESERVER})
  set_tests_properties(brumevale_wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(brumevale_wine_shutdown PROPERTIES FIXTURES_CLEANUP wine)
  foreach(test brumevale_wine_prefix brumevale_wine_shutdown)
    set_tests_properties(${test} PROPERTIES ENVIRONMENT
                         "${BRUMEVALE_WINE_ENVIRONMENT};WINEDLLOVERRIDES=${BRUMEVALE_WINE_OVERRIDES}")
  endforeach()
endfunction()

# A suite's program runs through a small script that sets Wine's environment, not
# through the tests' ENVIRONMENT: the test list is read from the program by the same
# runner, before any test (and so before the prefix fixture; a missing prefix is
# then made by that first start, hence the discovery's long timeout).
function(_brumevale_wine_runner suite overrides)
  set(runner ${CMAKE_CURRENT_BINARY_DIR}/${suite}_wine.sh)
  set(exports "")
  foreach(variable IN LISTS BRUMEVALE_WINE_ENVIRONMENT)
    string(APPEND exports "export '${variable}'\n")
  endforeach()
  file(WRITE ${runner} "#!/bin/sh\n${exports}export 'WINEDLLOVERRIDES=${overrides}'\nexec '${BRUMEVALE_WINE}' \"$@\"\n")
  file(CHMOD ${runner} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
             WORLD_READ WORLD_EXECUTE)
  set_target_properties(${suite} PROPERTIES CROSSCOMPILING_EMULATOR ${runner})
endfunction()

# Tests and suites that run under Wine: after the prefix fixture, one at a time in
# the prefix. DLL_OVERRIDES adds to Wine's DLL overrides ("name=n", ";"-separated).
function(brumevale_wine_tests)
  cmake_parse_arguments(ARG "" "DLL_OVERRIDES" "" ${ARGN})
  brumevale_wine_prefix_fixture()
  set(overrides ${BRUMEVALE_WINE_OVERRIDES})
  if(ARG_DLL_OVERRIDES)
    set(overrides "${overrides};${ARG_DLL_OVERRIDES}")
  endif()
  foreach(test IN LISTS ARG_UNPARSED_ARGUMENTS)
    if(TARGET ${test})
      _brumevale_wine_runner(${test} "${overrides}")
      brumevale_suite_property(${test} APPEND FIXTURES_REQUIRED wine)
      brumevale_suite_property(${test} SET RESOURCE_LOCK wineprefix)
    else()
      string(REPLACE ";" "\\;" escaped "${overrides}")
      set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix
        ENVIRONMENT "${BRUMEVALE_WINE_ENVIRONMENT};WINEDLLOVERRIDES=${escaped}")
    endif()
  endforeach()
endfunction()
