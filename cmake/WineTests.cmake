# Windows test programs run by CTest under Wine, in the session tools/wine-env.sh keeps for this
# build tree: one Xvfb display, one Wine server and the prefix ${CMAKE_BINARY_DIR}/wineprefix.
# The session is the CTest fixture `wine`: a setup test starts it (creating the prefix on first
# use), a cleanup test stops every Wine process and Xvfb, so nothing is left after ctest.
#
#   mulchvoice_wine_test(<name> <sources...> [TIMEOUT <seconds>] [LIBRARIES <libs...>])
#
# builds the GoogleTest program <name>.exe (linked statically, with mvtesthost and gtest_main)
# and registers it as one CTest test that needs the fixture. The program finds the plug-in
# through the environment variable MULCHVOICE_DLL, which testhost::defaultPluginPath() reads.
# TIMEOUT defaults to 300 seconds (CTest allows 30 more, so the session ends the program first).
#
#   mulchvoice_wine_add_test(<name> <timeout-seconds> <program.exe> [arguments...])
#
# registers any Windows program (not only GoogleTest ones) run in the session as a test that
# needs the fixture, with MULCHVOICE_DLL set; add PASS_REGULAR_EXPRESSION, WILL_FAIL and the
# like with set_tests_properties. Windows paths of build files: Z: followed by the Unix path.
#
# Run a single program by hand with
#   tools/wine-env.sh start <build>; tools/wine-env.sh run <build> <program.exe>; ...stop <build>
include_guard(GLOBAL)

set(MULCHVOICE_WINE_ENV ${PROJECT_SOURCE_DIR}/tools/wine-env.sh)
# The plug-in as the Windows side names it: Wine's drive Z: is the root of the file system.
set(MULCHVOICE_WINE_DLL_PATH "Z:$<TARGET_FILE:MULCHVOICE>")

add_test(NAME wine_session_start
         COMMAND bash ${MULCHVOICE_WINE_ENV} start ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 1200)
add_test(NAME wine_session_stop
         COMMAND bash ${MULCHVOICE_WINE_ENV} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)

# Registers a command run in the Wine session as a test that needs the fixture.
function(mulchvoice_wine_add_test name timeout)
  # CTest's limit leaves the session's own time limit room to end the program first.
  math(EXPR ctest_timeout "${timeout} + 30")
  add_test(NAME ${name}
           COMMAND bash ${MULCHVOICE_WINE_ENV} run ${CMAKE_BINARY_DIR} --timeout ${timeout}
                   ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine
    TIMEOUT ${ctest_timeout}
    ENVIRONMENT "MULCHVOICE_DLL=${MULCHVOICE_WINE_DLL_PATH}")
endfunction()

function(mulchvoice_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT" "LIBRARIES")
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE mvtesthost GTest::gtest_main ${arg_LIBRARIES})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  # The plug-in is built before its tests run.
  add_dependencies(${name} MULCHVOICE)
  mulchvoice_wine_add_test(${name} ${arg_TIMEOUT} $<TARGET_FILE:${name}>)
endfunction()
