# Emu tree: the board images of the arm tree under ARM926 emulation
# (arm-board, 64-bit) and their tests.  The images come from build/arm, the
# host builds that the differential test compares them with from
# build/host: scripts/build.sh builds those trees first.
include(cmake/googletest.cmake)
include(cmake/sim.cmake)

find_package(PkgConfig REQUIRED)
pkg_check_modules(UNICORN REQUIRED IMPORTED_TARGET unicorn>=2)

# The board of each build, from its entry in the table of builds: the
# entries listed for sim/arm/builds.cpp.
set(VELM_ARM_BUILD_LIST "")
foreach(b ${VELM_BUILDS})
  string(REPLACE "-" "_" id ${b})
  string(APPEND VELM_ARM_BUILD_LIST "VELM_BUILD(VELM_BUILD_${id})\n")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/arm_builds.inc CONTENT "${VELM_ARM_BUILD_LIST}")

file(GLOB VELM_ARM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/arm/*.cpp)
list(REMOVE_ITEM VELM_ARM_SOURCES ${CMAKE_SOURCE_DIR}/sim/arm/main.cpp)
add_library(velm_arm STATIC ${VELM_ARM_SOURCES})
target_include_directories(velm_arm PUBLIC ${CMAKE_SOURCE_DIR}/sim)
target_include_directories(velm_arm PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_compile_options(velm_arm PRIVATE -Wall -Wextra)
target_link_libraries(velm_arm PUBLIC velm_sim PkgConfig::UNICORN)

add_executable(arm-board ${CMAKE_SOURCE_DIR}/sim/arm/main.cpp)
target_link_libraries(arm-board PRIVATE velm_arm)

# Where the images come from.
set(VELM_ARM_IMAGES ${CMAKE_SOURCE_DIR}/build/arm/bin)

# Figures: how fast the images run.
add_executable(bench_arm_board ${CMAKE_SOURCE_DIR}/tests/emu/bench_arm_board.cpp
  ${CMAKE_SOURCE_DIR}/tests/emu/command_script.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/image_builder.cpp ${CMAKE_SOURCE_DIR}/tests/support/shell.cpp
  ${CMAKE_SOURCE_DIR}/loader/core/image_writer.cpp ${CMAKE_SOURCE_DIR}/loader/core/rle16_encoder.cpp)
target_include_directories(bench_arm_board PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/loader
  ${CMAKE_SOURCE_DIR})
target_compile_definitions(bench_arm_board PRIVATE VELM_ARM_IMAGES="${VELM_ARM_IMAGES}")
target_link_libraries(bench_arm_board PRIVATE velm_arm)

# Tests: each image against its host build, Dravik's Store into the image,
# the panel page's touch.  They start arm-board and the host tree's
# programs as a user does.
set(VELM_HOST_PROGRAMS ${CMAKE_SOURCE_DIR}/build/host/bin)
set(VELM_EMU_TEST_SUPPORT
  ${CMAKE_SOURCE_DIR}/tests/emu/programs.cpp ${CMAKE_SOURCE_DIR}/tests/emu/command_script.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/simulator_program.cpp ${CMAKE_SOURCE_DIR}/tests/support/number_table.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/image_builder.cpp ${CMAKE_SOURCE_DIR}/tests/support/shell.cpp
  ${CMAKE_SOURCE_DIR}/loader/core/image_writer.cpp ${CMAKE_SOURCE_DIR}/loader/core/rle16_encoder.cpp)
file(GLOB VELM_EMU_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/emu/test_*.cpp)
add_executable(emu_tests ${VELM_EMU_TESTS} ${VELM_EMU_TEST_SUPPORT})
target_include_directories(emu_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/loader ${CMAKE_SOURCE_DIR})
# Images that fault are assembled at test time.
find_program(VELM_ARM_GCC arm-none-eabi-gcc REQUIRED)
target_compile_definitions(emu_tests PRIVATE VELM_ARM_BOARD="$<TARGET_FILE:arm-board>"
  VELM_ARM_IMAGES="${VELM_ARM_IMAGES}" VELM_HOST_PROGRAMS="${VELM_HOST_PROGRAMS}" VELM_ARM_GCC="${VELM_ARM_GCC}")
target_link_libraries(emu_tests PRIVATE velm_arm GTest::gtest_main)
add_dependencies(emu_tests arm-board)
gtest_discover_tests(emu_tests TEST_PREFIX "emu:" DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900)

# "*RESET" restarts arm-board as it restarts the host build's program.
velm_restart_tests(emu_restart_tests emu arm-board --image ${VELM_ARM_IMAGES}/${VELM_REFERENCE_BUILD}.elf)

# The program lists its options and refuses to run without an image.
add_test(NAME emu:arm_board_help COMMAND arm-board --help)
set_tests_properties(emu:arm_board_help PROPERTIES PASS_REGULAR_EXPRESSION
  "--image.*--build.*--uart1.*--uart2.*--flash.*--eeprom.*--sd.*--straps.*--http.*--speed")
add_test(NAME emu:arm_board_without_image COMMAND arm-board --speed max)
add_test(NAME emu:arm_board_not_an_image COMMAND arm-board --image ${CMAKE_SOURCE_DIR}/README.md)
add_test(NAME emu:arm_board_unknown_build COMMAND arm-board --image ${VELM_ARM_IMAGES}/${VELM_REFERENCE_BUILD}.elf
  --build velm9)
set_tests_properties(emu:arm_board_without_image emu:arm_board_not_an_image emu:arm_board_unknown_build
  PROPERTIES WILL_FAIL TRUE TIMEOUT 30)

# Dravik's Store into the image through arm-board's pseudo-terminal: the pc
# tree's end-to-end test, run against the board image.
find_package(Qt6 REQUIRED COMPONENTS Core SerialPort)
set(VELM_SIMULATOR $<TARGET_FILE:arm-board>)
set(VELM_SIMULATOR_ARGS --image ${VELM_ARM_IMAGES}/${VELM_REFERENCE_BUILD}.elf)
include(cmake/dravik_core.cmake)
add_executable(emu_store_tests ${CMAKE_SOURCE_DIR}/tests/loader/test_store_on_board.cpp
  ${CMAKE_SOURCE_DIR}/tests/loader/loader_main.cpp)
target_link_libraries(emu_store_tests PRIVATE dravik_core loader_test_support Qt6::Core Qt6::SerialPort GTest::gtest)
add_dependencies(emu_store_tests arm-board)
gtest_discover_tests(emu_store_tests TEST_PREFIX "emu:" DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900)
