# Host tree: the firmware as 32-bit programs on the simulated board, and the
# firmware's tests.
include(cmake/googletest.cmake)
include(cmake/board_libraries.cmake)

velm_board_libraries(${VELM_BUILDS})
foreach(b ${VELM_BUILDS})
  add_executable(${b} ${CMAKE_SOURCE_DIR}/sim/main.cpp)
  target_link_libraries(${b} PRIVATE fw_${b})
endforeach()

# Tests of the board models alone (they share one process).
file(GLOB VELM_SIM_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/sim/*.cpp)
add_executable(sim_tests ${VELM_SIM_TESTS})
target_link_libraries(sim_tests PRIVATE velm_sim GTest::gtest_main)
gtest_discover_tests(sim_tests DISCOVERY_TIMEOUT 120)

# Tests that boot a firmware build: each test case runs in its own process.
file(GLOB VELM_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
# Test images are laid out with the PC program's own writers.
list(APPEND VELM_SUPPORT_SOURCES ${CMAKE_SOURCE_DIR}/loader/core/image_writer.cpp
  ${CMAKE_SOURCE_DIR}/loader/core/rle16_encoder.cpp)
function(velm_board_tests name build)
  add_executable(${name} ${ARGN} ${VELM_SUPPORT_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/loader)
  target_link_libraries(${name} PRIVATE fw_${build} GTest::gtest GTest::gmock)
  # The font tool with the table and faces of the compiled-in fonts, for
  # tests that write font files.
  target_compile_definitions(${name} PRIVATE VELM_FONTGEN="${VELM_FONTGEN}" VELM_FONT_TABLE="${VELM_FONT_TABLE}"
    VELM_FONTGEN_FACE_ARGS="${VELM_FONTGEN_FACE_ARGS}")
  add_dependencies(${name} fontgen_tool)
  # The limit only catches a hang: where 32-bit programs run through
  # user-mode emulation the heaviest cases (two full-screen dumps to the
  # card) take about seven times as long, and longer beside parallel jobs.
  gtest_discover_tests(${name} TEST_PREFIX "${name}:" DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
endfunction()

# One test program per folder of firmware tests, on the reference build.
foreach(dir board app graphics storage)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${dir}/*.cpp)
  if(tests)
    velm_board_tests(${dir}_tests ${VELM_REFERENCE_BUILD} ${tests})
  endif()
endforeach()

# Tests that run on every build (their file names end in _allbuilds.cpp).
file(GLOB VELM_ALLBUILD_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/allbuilds/*.cpp)
if(VELM_ALLBUILD_TESTS)
  foreach(b ${VELM_BUILDS})
    velm_board_tests(allbuilds_tests_${b} ${b} ${VELM_ALLBUILD_TESTS})
  endforeach()
endif()

# Tests of the capacitive touch build.
file(GLOB VELM_CAP_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cap/*.cpp)
velm_board_tests(cap_tests velm5plus-wvga-cap ${VELM_CAP_TESTS})

# Figures: each tests/bench/bench_NAME.cpp is a command that prints them.
file(GLOB VELM_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/bench_*.cpp)
set(VELM_BENCH_SUPPORT ${CMAKE_SOURCE_DIR}/tests/support/fw_board.cpp ${CMAKE_SOURCE_DIR}/tests/support/host.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/shell.cpp ${CMAKE_SOURCE_DIR}/tests/support/image_builder.cpp ${CMAKE_SOURCE_DIR}/loader/core/image_writer.cpp
  ${CMAKE_SOURCE_DIR}/loader/core/rle16_encoder.cpp)
foreach(src ${VELM_BENCHES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${VELM_BENCH_SUPPORT})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/loader)
  target_link_libraries(${name} PRIVATE fw_${VELM_REFERENCE_BUILD})
endforeach()

# The simulator program lists its options.
add_test(NAME simulator_help COMMAND ${VELM_REFERENCE_BUILD} --help)
set_tests_properties(simulator_help PROPERTIES PASS_REGULAR_EXPRESSION
  "--uart1.*--uart2.*--flash.*--eeprom.*--sd.*--straps.*--http.*--speed")
add_test(NAME simulator_bad_option COMMAND ${VELM_REFERENCE_BUILD} --straps X)
set_tests_properties(simulator_bad_option PROPERTIES WILL_FAIL TRUE)

# The panel page and the endpoints, through the real simulator program.
file(GLOB VELM_WEB_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/web/*.cpp)
add_executable(web_tests ${VELM_WEB_TESTS} ${CMAKE_SOURCE_DIR}/tests/support/simulator_program.cpp)
target_include_directories(web_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(web_tests PRIVATE velm_sim GTest::gtest_main)
target_compile_definitions(web_tests PRIVATE VELM_SIMULATOR="$<TARGET_FILE:${VELM_REFERENCE_BUILD}>")
add_dependencies(web_tests ${VELM_REFERENCE_BUILD})
gtest_discover_tests(web_tests TEST_PREFIX "web:" DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 180)

# The simulator program restarting itself on a board reset: two start-ups
# of the firmware, slow when the machine is busy or emulates 32-bit code.
velm_restart_tests(restart_tests program ${VELM_REFERENCE_BUILD})

# The panel page in Chromium, driven by playwright-core (installed by npm ci
# into the build tree).
set(VELM_BROWSER_DIR ${CMAKE_BINARY_DIR}/web-browser)
find_program(VELM_NODE node)
find_program(VELM_NPM npm)
if(VELM_NODE AND VELM_NPM)
  add_test(NAME web_browser_npm_ci
    COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_SOURCE_DIR}/tests/web/browser -DDEST=${VELM_BROWSER_DIR}
            -DNPM=${VELM_NPM} -P ${CMAKE_SOURCE_DIR}/tests/web/browser/npm_ci.cmake)
  set_tests_properties(web_browser_npm_ci PROPERTIES FIXTURES_SETUP web_browser_modules TIMEOUT 240)
  add_test(NAME web_browser
    COMMAND ${VELM_NODE} ${CMAKE_SOURCE_DIR}/tests/web/browser/panel_page.test.mjs
            $<TARGET_FILE:${VELM_REFERENCE_BUILD}> ${VELM_BROWSER_DIR}/node_modules)
  set_tests_properties(web_browser PROPERTIES FIXTURES_REQUIRED web_browser_modules TIMEOUT 180)
  # The page's figures in the browser are a command: bin/bench_web_browser.
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/bin/bench_web_browser
    CONTENT "#!/bin/sh
# Prints the panel page's figures in Chromium: idle CPU with the page open,
# picture latency and rate (tests/web/browser/panel_page.bench.mjs).
set -e
[ -d '${VELM_BROWSER_DIR}/node_modules/playwright-core' ] || '${CMAKE_COMMAND}' -DSRC='${CMAKE_SOURCE_DIR}/tests/web/browser' -DDEST='${VELM_BROWSER_DIR}' -DNPM='${VELM_NPM}' -P '${CMAKE_SOURCE_DIR}/tests/web/browser/npm_ci.cmake'
exec '${VELM_NODE}' '${CMAKE_SOURCE_DIR}/tests/web/browser/panel_page.bench.mjs' '$<TARGET_FILE:${VELM_REFERENCE_BUILD}>' '${VELM_BROWSER_DIR}/node_modules'
"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
else()
  add_test(NAME web_browser COMMAND ${CMAKE_COMMAND} -E echo
    "the browser test needs node and npm: run scripts/deps.sh, then configure again")
  set_tests_properties(web_browser PROPERTIES WILL_FAIL TRUE)
endif()

# The command port under a storm of bytes, through the simulator program's
# pseudo-terminal.
add_executable(storm_tests ${CMAKE_SOURCE_DIR}/tests/storm/test_storm.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/simulator_program.cpp)
target_include_directories(storm_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(storm_tests PRIVATE GTest::gtest_main)
target_compile_definitions(storm_tests PRIVATE VELM_SIMULATOR="$<TARGET_FILE:${VELM_REFERENCE_BUILD}>")
add_dependencies(storm_tests ${VELM_REFERENCE_BUILD})
gtest_discover_tests(storm_tests TEST_PREFIX "storm:" DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 900)
