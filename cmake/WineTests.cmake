# Windows test programs run by CTest under Wine (tools/wine-env.sh). The CTest fixture `wine`
# keeps what the tests of this build tree share: a virtual display (Xvfb) and the template
# prefix ${CMAKE_BINARY_DIR}/wineprefix, created on first use. Each test then runs in a Wine
# session of its own (a copy of the template, its own Wine server), watched: at its time limit
# the test is ended with every process it started, Wine server included, and reported as timed
# out. Where Wine runs under emulation, a time-out is tried once more. The cleanup test ends
# every process of the tree, so nothing is left after ctest.
#
#   mulchvoice_wine_test(<name> <sources...> [TIMEOUT <seconds>] [EMULATED_TIMEOUT <seconds>]
#                        [LIBRARIES <libs...>])
#
# builds the GoogleTest program <name>.exe (linked statically, with mvtesthost and gtest_main)
# and registers it as one CTest test that needs the fixture. The program finds the plug-in
# through the environment variable MULCHVOICE_DLL, which testhost::defaultPluginPath() reads.
#
#   mulchvoice_wine_add_test(<name> <timeout-seconds> [EMULATED_TIMEOUT <seconds>] [MUST_FAIL]
#                            <program> [arguments...])
#
# registers a command run in a Wine session as a test that needs the fixture, with
# MULCHVOICE_DLL set: a Windows program (<program> ends in .exe), or a Unix command that runs
# Windows programs with tools/wine-env.sh run, which then share its session and its watchdog.
# MUST_FAIL: the program must end with a non-zero code of its own (a time-out still fails).
# Add PASS_REGULAR_EXPRESSION and the like with set_tests_properties. Windows paths of build
# files: Z: followed by the Unix path.
#
# Time limits: TIMEOUT (default 300) where Wine runs natively, EMULATED_TIMEOUT (default 180)
# under qemu-i386. They include the boot of the test's session (about 1 s natively, 5 s under
# emulation). CTest's own limit leaves the watchdog room for both tries.
#
# Run a single program by hand with
#   tools/wine-env.sh start <build>; tools/wine-env.sh run <build> <program.exe>; ...stop <build>
include_guard(GLOBAL)

set(MULCHVOICE_WINE_ENV ${PROJECT_SOURCE_DIR}/tools/wine-env.sh)
# The plug-in as the Windows side names it: Wine's drive Z: is the root of the file system.
set(MULCHVOICE_WINE_DLL_PATH "Z:$<TARGET_FILE:MULCHVOICE>")

add_test(NAME wine_session_start
         COMMAND bash ${MULCHVOICE_WINE_ENV} start ${CMAKE_BINARY_DIR})
# Creating the template (tools/wine-env.sh allows it 300 s, and a second try under emulation).
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 700)
add_test(NAME wine_session_stop
         COMMAND bash ${MULCHVOICE_WINE_ENV} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)

# Registers a command run in a Wine session of its own as a test that needs the fixture.
function(mulchvoice_wine_add_test name timeout)
  cmake_parse_arguments(PARSE_ARGV 2 arg "MUST_FAIL" "EMULATED_TIMEOUT" "")
  if(NOT arg_EMULATED_TIMEOUT)
    set(arg_EMULATED_TIMEOUT 180)
  endif()
  set(options --timeout ${timeout} --emulated-timeout ${arg_EMULATED_TIMEOUT} --name ${name})
  if(arg_MUST_FAIL)
    list(APPEND options --must-fail)
  endif()
  # Two tries under emulation, each with the start and end of its session.
  math(EXPR ctest_timeout "2 * (${arg_EMULATED_TIMEOUT} + 60) + 30")
  if(ctest_timeout LESS timeout)
    math(EXPR ctest_timeout "${timeout} + 60")
  endif()
  add_test(NAME ${name}
           COMMAND bash ${MULCHVOICE_WINE_ENV} run ${CMAKE_BINARY_DIR} ${options}
                   ${arg_UNPARSED_ARGUMENTS})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine
    TIMEOUT ${ctest_timeout}
    ENVIRONMENT "MULCHVOICE_DLL=${MULCHVOICE_WINE_DLL_PATH}")
endfunction()

function(mulchvoice_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT;EMULATED_TIMEOUT" "LIBRARIES")
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  set(emulated)
  if(arg_EMULATED_TIMEOUT)
    set(emulated EMULATED_TIMEOUT ${arg_EMULATED_TIMEOUT})
  endif()
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE mvtesthost GTest::gtest_main ${arg_LIBRARIES})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  # The plug-in is built before its tests run.
  add_dependencies(${name} MULCHVOICE)
  mulchvoice_wine_add_test(${name} ${arg_TIMEOUT} ${emulated} $<TARGET_FILE:${name}>)
endfunction()
