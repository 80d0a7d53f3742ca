# Dravik without a window, and what its tests and benchmarks share: a
# scripted controller on a pseudo-terminal and a simulated board as a child
# process (VELM_SIMULATOR, started with VELM_SIMULATOR_ARGS, a list, before
# its other options).  The pc tree runs the host tree's reference build,
# the emu tree arm-board with the reference build's image.

# Image files, RLE16, macro compiler, font list, memory-image builder, .BIN
# files, controller link, programming run.
file(GLOB DRAVIK_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/loader/core/*.cpp)
add_library(dravik_core STATIC ${DRAVIK_CORE_SOURCES})
target_include_directories(dravik_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/loader)
target_compile_options(dravik_core PRIVATE -Wall -Wextra)
target_link_libraries(dravik_core PUBLIC Qt6::Core Qt6::SerialPort)

add_library(loader_board_support STATIC
  ${CMAKE_SOURCE_DIR}/tests/loader/fake_controller.cpp
  ${CMAKE_SOURCE_DIR}/tests/loader/simulated_board.cpp)
target_include_directories(loader_board_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/loader)
string(REPLACE ";" "|" _velm_simulator_args "${VELM_SIMULATOR_ARGS}")
target_compile_definitions(loader_board_support PUBLIC VELM_SIMULATOR="${VELM_SIMULATOR}"
  VELM_SIMULATOR_ARGS="${_velm_simulator_args}")
target_compile_options(loader_board_support PRIVATE -Wall -Wextra)
target_link_libraries(loader_board_support PUBLIC dravik_core Qt6::Core)

add_library(loader_test_support STATIC ${CMAKE_SOURCE_DIR}/tests/loader/loader_support.cpp)
target_include_directories(loader_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/loader)
target_link_libraries(loader_test_support PUBLIC dravik_core loader_board_support GTest::gtest)
