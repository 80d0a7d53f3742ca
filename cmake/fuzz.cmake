# Fuzz tree: libFuzzer targets under AddressSanitizer and
# UndefinedBehaviorSanitizer (clang), for the firmware on the simulated board
# and for Dravik's core; their seed corpora; run by scripts/fuzz.sh.
#
# Every fuzz target is tests/fuzz/fuzz_NAME.cpp.  The sanitizers come with
# the preset's flags for the whole tree; what is fuzzed (the firmware, or
# Dravik's core) is also built with libFuzzer's coverage instrumentation.
set(VELM_FUZZ_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz)
set(VELM_FUZZ_COVERAGE -fsanitize=fuzzer-no-link)

# ---- the firmware
include(cmake/board_libraries.cmake)
velm_board_libraries(${VELM_REFERENCE_BUILD})
set(fw fw_${VELM_REFERENCE_BUILD})
target_compile_options(${fw} PRIVATE ${VELM_FUZZ_COVERAGE})

# What the firmware targets share: the test support that boots and drives
# the board (and writes images with Dravik's writers), and the fuzz board.
add_library(velm_fuzz_board STATIC
  ${VELM_FUZZ_DIR}/fuzz_board.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/fw_board.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/host.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/image_builder.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/shell.cpp
  ${CMAKE_SOURCE_DIR}/loader/core/image_writer.cpp
  ${CMAKE_SOURCE_DIR}/loader/core/rle16_encoder.cpp)
target_include_directories(velm_fuzz_board PUBLIC ${VELM_FUZZ_DIR} ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/loader)
target_link_libraries(velm_fuzz_board PUBLIC ${fw})

set(VELM_FUZZ_TARGETS)
# velm_fuzz_target(NAME LIBRARY...)
function(velm_fuzz_target name)
  add_executable(${name} ${VELM_FUZZ_DIR}/${name}.cpp)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARGN})
  set(VELM_FUZZ_TARGETS ${VELM_FUZZ_TARGETS} ${name} PARENT_SCOPE)
endfunction()

foreach(name fuzz_command fuzz_bmp fuzz_gif fuzz_jpeg fuzz_sif fuzz_image fuzz_card fuzz_eeprom)
  velm_fuzz_target(${name} velm_fuzz_board)
endforeach()
# "*halt" stops the processor for good and "*RESET" restarts it, and "*W"
# writes any register; the boards of the targets that run commands (from
# the host, from a memory image's macros, from a card) answer them instead
# (tests/fuzz/fuzz_board.cpp).
foreach(name fuzz_command fuzz_image fuzz_card)
  target_link_options(${name} PRIVATE -Wl,--wrap=_Z7cmdHaltv -Wl,--wrap=_Z8cmdResetv -Wl,--wrap=_Z11cmdRegWritejj)
endforeach()

# The EEPROM a board writes at its first start-up, for the seed corpus.
add_executable(fuzz_seed_eeprom ${VELM_FUZZ_DIR}/seed_eeprom.cpp)
target_link_libraries(fuzz_seed_eeprom PRIVATE velm_fuzz_board)

# ---- Dravik's core
find_package(Qt6 REQUIRED COMPONENTS Core SerialPort)
file(GLOB DRAVIK_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/loader/core/*.cpp)
add_library(dravik_core STATIC ${DRAVIK_CORE_SOURCES})
target_include_directories(dravik_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/loader)
target_compile_options(dravik_core PRIVATE -Wall -Wextra ${VELM_FUZZ_COVERAGE})
target_link_libraries(dravik_core PUBLIC Qt6::Core Qt6::SerialPort)

add_library(dravik_fuzz STATIC ${VELM_FUZZ_DIR}/dravik_fuzz.cpp)
target_include_directories(dravik_fuzz PUBLIC ${VELM_FUZZ_DIR})
target_link_libraries(dravik_fuzz PUBLIC dravik_core)
foreach(name fuzz_dravik_bin fuzz_dravik_macros fuzz_dravik_fonts fuzz_dravik_image)
  velm_fuzz_target(${name} dravik_fuzz)
endforeach()
target_compile_definitions(fuzz_dravik_fonts PRIVATE VELM_FONTGEN="${VELM_FONTGEN}"
  VELM_FONT_TABLE="${VELM_FONT_TABLE}" VELM_FONTGEN_FACE_ARGS="${VELM_FONTGEN_FACE_ARGS}")
add_dependencies(fuzz_dravik_fonts fontgen_tool)

# Memory images built by Dravik's own builder, for the seed corpora.
add_executable(fuzz_seed_bin ${VELM_FUZZ_DIR}/seed_bin.cpp)
target_link_libraries(fuzz_seed_bin PRIVATE dravik_fuzz)

# ---- seed corpora, made by the standard tools and the programs above
set(VELM_FUZZ_SEEDS ${CMAKE_BINARY_DIR}/seeds)
add_custom_command(OUTPUT ${VELM_FUZZ_SEEDS}/stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELM_FUZZ_SEEDS}
  COMMAND ${VELM_FUZZ_DIR}/make_seeds.sh ${VELM_FUZZ_SEEDS} ${VELM_FUZZ_DIR}
          $<TARGET_FILE:fuzz_seed_bin> $<TARGET_FILE:fuzz_seed_eeprom>
          ${VELM_FONTGEN} ${VELM_FONT_TABLE} ${VELM_FONTGEN_FACE_ARGS}
  COMMAND ${CMAKE_COMMAND} -E touch ${VELM_FUZZ_SEEDS}/stamp
  DEPENDS ${VELM_FUZZ_DIR}/make_seeds.sh ${VELM_FUZZ_DIR}/command_seeds.txt fuzz_seed_bin fuzz_seed_eeprom
          fontgen_tool
  COMMENT "Making the fuzz targets' seed corpora"
  VERBATIM)
add_custom_target(fuzz_seeds ALL DEPENDS ${VELM_FUZZ_SEEDS}/stamp)

# The list scripts/fuzz.sh reads: one target a line.
string(REPLACE ";" "\n" targets "${VELM_FUZZ_TARGETS}")
file(WRITE ${CMAKE_BINARY_DIR}/fuzz_targets.txt "${targets}\n")
