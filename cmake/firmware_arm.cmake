# Board images: for each build an ELF file, its raw flash image (.bin, the
# bytes from 0xC8020000 on) and a map file, all in build/arm/bin.

set(VELM_ARM_TARGET_DIR ${CMAKE_SOURCE_DIR}/firmware/target)
set(VELM_ARM_LINKER_SCRIPT ${VELM_ARM_TARGET_DIR}/linker.ld)
# The firmware's window in the NOR flash (0xC8020000 up to the memory image)
# and its area in SDRAM (up to the RAM copy of the memory image); the linker
# script holds the same numbers.
set(VELM_ARM_FLASH_WINDOW 0x3E0000)
set(VELM_ARM_SDRAM_BASE 0xC0000000)
set(VELM_ARM_SDRAM_AREA 0x400000)

# Vector table, reset entry, runtime start and C library hooks: the same for
# every build.
add_library(velm_arm_target OBJECT
  ${VELM_ARM_TARGET_DIR}/vectors.S
  ${VELM_ARM_TARGET_DIR}/crt0.S
  ${VELM_ARM_TARGET_DIR}/syscalls.c)
target_compile_options(velm_arm_target PRIVATE
  -ffunction-sections -fdata-sections $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra>)

# The generated fonts are data only; they are compiled once for all five
# images.
target_compile_options(velm_fonts PRIVATE -fdata-sections)

function(velm_arm_image name)
  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  add_executable(${name} ${VELM_FW_SOURCES} ${VELM_ARM_TARGET_DIR}/build_name.cpp
    $<TARGET_OBJECTS:velm_arm_target> $<TARGET_OBJECTS:velm_fonts>)
  set_target_properties(${name} PROPERTIES
    SUFFIX .elf
    LINK_DEPENDS ${VELM_ARM_LINKER_SCRIPT})
  target_include_directories(${name} PRIVATE ${VELM_FW_INCLUDES})
  velm_build_definition(build_def ${name})
  target_compile_definitions(${name} PRIVATE ${build_def})
  # One thread and interrupt handlers that start nothing: function-local
  # statics need no guard, and the guard would pull in library code.
  target_compile_options(${name} PRIVATE
    ${VELM_FW_OPTIONS} -ffunction-sections -fdata-sections -fno-threadsafe-statics)
  # The runtime start is our own (firmware/target), so no start files.
  target_link_options(${name} PRIVATE
    -nostartfiles -T${VELM_ARM_LINKER_SCRIPT}
    -Wl,--gc-sections -Wl,-Map=${out}/${name}.map)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} -O binary $<TARGET_FILE:${name}> ${out}/${name}.bin
    COMMAND ${CMAKE_COMMAND}
            -DELF=$<TARGET_FILE:${name}> -DBIN=${out}/${name}.bin -DSIZE_TOOL=${CMAKE_SIZE}
            -DFLASH_WINDOW=${VELM_ARM_FLASH_WINDOW}
            -DSDRAM_BASE=${VELM_ARM_SDRAM_BASE} -DSDRAM_AREA=${VELM_ARM_SDRAM_AREA}
            -P ${CMAKE_SOURCE_DIR}/cmake/arm_image_report.cmake
    BYPRODUCTS ${out}/${name}.bin ${out}/${name}.map
    VERBATIM)
endfunction()
