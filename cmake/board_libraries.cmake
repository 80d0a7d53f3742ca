# The simulated board (velm_sim) and the firmware builds on it (fw_<build>),
# as libraries: the host tree links its simulator programs and tests
# against them, the fuzz tree its fuzz targets.
#
# velm_board_libraries(BUILD...) defines velm_sim and one fw_<build> per
# build named.
find_package(Threads REQUIRED)

file(GLOB VELM_SIM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/sim/*.cpp
  ${CMAKE_SOURCE_DIR}/sim/devices/*.cpp
  ${CMAKE_SOURCE_DIR}/sim/web/*.cpp)
list(REMOVE_ITEM VELM_SIM_SOURCES ${CMAKE_SOURCE_DIR}/sim/main.cpp)

# The panel page's server: Boost.Beast over Boost.Asio, header-only.
find_path(VELM_BOOST_BEAST boost/beast.hpp)
if(NOT VELM_BOOST_BEAST)
  message(FATAL_ERROR "Boost.Beast headers not found: install libboost-dev (scripts/deps.sh does)")
endif()

function(velm_board_libraries)
  # The panel page travels inside the program.
  set(page_h ${CMAKE_BINARY_DIR}/generated/web/panel_page.h)
  add_custom_command(OUTPUT ${page_h}
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/sim/web/page.html -DOUT=${page_h}
            -DNAME=kPanelPage -P ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/sim/web/page.html ${CMAKE_SOURCE_DIR}/cmake/embed_file.cmake
    COMMENT "Embedding the panel page")

  add_library(velm_sim STATIC ${VELM_SIM_SOURCES} ${page_h})
  target_include_directories(velm_sim PUBLIC ${CMAKE_SOURCE_DIR}/sim ${CMAKE_SOURCE_DIR}/firmware)
  target_include_directories(velm_sim PRIVATE ${CMAKE_BINARY_DIR}/generated)
  target_include_directories(velm_sim SYSTEM PRIVATE ${VELM_BOOST_BEAST})
  target_compile_options(velm_sim PRIVATE -Wall -Wextra)
  target_link_libraries(velm_sim PUBLIC Threads::Threads)

  # The firmware keeps its main(); on the host the simulator program owns
  # main and calls the firmware's under another name.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/firmware/board/demo_main.cpp
    PROPERTIES COMPILE_DEFINITIONS main=firmware_main)

  foreach(b ${ARGN})
    add_library(fw_${b} STATIC ${VELM_FW_SOURCES} $<TARGET_OBJECTS:velm_fonts>)
    target_include_directories(fw_${b} PUBLIC ${VELM_FW_INCLUDES})
    velm_build_definition(build_def ${b})
    target_compile_definitions(fw_${b} PUBLIC ${build_def})
    target_compile_options(fw_${b} PRIVATE ${VELM_FW_OPTIONS})
    target_link_libraries(fw_${b} PUBLIC velm_sim)
  endforeach()
endfunction()
