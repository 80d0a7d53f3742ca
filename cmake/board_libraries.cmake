# The simulated board (velm_sim, cmake/sim.cmake) with the firmware's bus
# glue, and the firmware builds on it (fw_<build>), as libraries: the host
# tree links its simulator programs and tests against them, the fuzz tree
# its fuzz targets.
#
# velm_board_libraries(BUILD...) defines one fw_<build> per build named.
include(cmake/sim.cmake)
# The firmware's register-access layer calls the board's bus.
target_sources(velm_sim PRIVATE ${CMAKE_SOURCE_DIR}/sim/hw_glue.cpp)

# The firmware keeps its main(); on the host the simulator program owns main
# and calls the firmware's under another name.
set_source_files_properties(${CMAKE_SOURCE_DIR}/firmware/board/demo_main.cpp
  PROPERTIES COMPILE_DEFINITIONS main=firmware_main)

function(velm_board_libraries)
  foreach(b ${ARGN})
    add_library(fw_${b} STATIC ${VELM_FW_SOURCES} $<TARGET_OBJECTS:velm_fonts>)
    target_include_directories(fw_${b} PUBLIC ${VELM_FW_INCLUDES})
    velm_build_definition(build_def ${b})
    target_compile_definitions(fw_${b} PUBLIC ${build_def})
    target_compile_options(fw_${b} PRIVATE ${VELM_FW_OPTIONS})
    target_link_libraries(fw_${b} PUBLIC velm_sim)
  endforeach()
endfunction()
