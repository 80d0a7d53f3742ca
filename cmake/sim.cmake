# The simulated board as a library: machine, device models, far ends, panel
# page server, options.  The host tree builds it 32-bit for the firmware's
# host builds, the emu tree 64-bit for arm-board.
find_package(Threads REQUIRED)

file(GLOB VELM_SIM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/sim/*.cpp
  ${CMAKE_SOURCE_DIR}/sim/devices/*.cpp
  ${CMAKE_SOURCE_DIR}/sim/web/*.cpp)
list(REMOVE_ITEM VELM_SIM_SOURCES ${CMAKE_SOURCE_DIR}/sim/main.cpp ${CMAKE_SOURCE_DIR}/sim/hw_glue.cpp)

# The panel page's server: Boost.Beast over Boost.Asio, header-only.
find_path(VELM_BOOST_BEAST boost/beast.hpp)
if(NOT VELM_BOOST_BEAST)
  message(FATAL_ERROR "Boost.Beast headers not found: install libboost-dev (scripts/deps.sh does)")
endif()
# The panel page travels inside the program.
set(VELM_PANEL_PAGE_H ${CMAKE_BINARY_DIR}/generated/web/panel_page.h)
add_custom_command(OUTPUT ${VELM_PANEL_PAGE_H}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/sim/web/page.html -DOUT=${VELM_PANEL_PAGE_H}
          -DNAME=kPanelPage -P ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/sim/web/page.html ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
  COMMENT "Embedding the panel page")

add_library(velm_sim STATIC ${VELM_SIM_SOURCES} ${VELM_PANEL_PAGE_H})
target_include_directories(velm_sim PUBLIC ${CMAKE_SOURCE_DIR}/sim ${CMAKE_SOURCE_DIR}/firmware)
target_include_directories(velm_sim PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_include_directories(velm_sim SYSTEM PRIVATE ${VELM_BOOST_BEAST})
target_compile_options(velm_sim PRIVATE -Wall -Wextra)
target_link_libraries(velm_sim PUBLIC Threads::Threads)

# "*RESET" through a simulator program's pseudo-terminal: the program
# (a target) started with the arguments it takes before its options (ARGN).
function(velm_restart_tests name prefix program)
  add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/sim/program/test_restart.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/simulator_program.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  string(REPLACE ";" "|" args "${ARGN}")
  target_compile_definitions(${name} PRIVATE VELM_SIMULATOR="$<TARGET_FILE:${program}>" VELM_SIMULATOR_ARGS="${args}")
  add_dependencies(${name} ${program})
  gtest_discover_tests(${name} TEST_PREFIX "${prefix}:" DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
endfunction()
