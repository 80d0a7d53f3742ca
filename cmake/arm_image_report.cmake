# After each board link: prints the image's sections and how much of the
# flash window and of the SDRAM area it uses, and fails when the raw image
# is larger than the flash window.
#
#   cmake -DELF=<file.elf> -DBIN=<file.bin> -DSIZE_TOOL=<arm-none-eabi-size>
#         -DFLASH_WINDOW=<bytes> -DSDRAM_BASE=<address> -DSDRAM_AREA=<bytes>
#         -P arm_image_report.cmake

execute_process(COMMAND ${SIZE_TOOL} -A -x ${ELF}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${SIZE_TOOL} failed on ${ELF}")
endif()

get_filename_component(image ${ELF} NAME_WE)
math(EXPR FLASH_WINDOW "${FLASH_WINDOW}")
math(EXPR SDRAM_BASE "${SDRAM_BASE}")
math(EXPR SDRAM_AREA "${SDRAM_AREA}")
math(EXPR sdram_end "${SDRAM_BASE} + ${SDRAM_AREA}")
set(sdram_top ${SDRAM_BASE})
set(report "${image}: sections (size, run address)\n")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  # Only the sections that occupy memory on the board have an address.
  if(line MATCHES "^(\\.[^ ]+) +(0x[0-9a-f]+) +(0x[0-9a-f]+)$" AND NOT CMAKE_MATCH_3 STREQUAL "0x0")
    set(section ${CMAKE_MATCH_1})
    set(size ${CMAKE_MATCH_2})
    set(addr ${CMAKE_MATCH_3})
    string(LENGTH "${section}${size}" width)
    math(EXPR gap "24 - ${width}")
    if(gap LESS 1)
      set(gap 1)
    endif()
    string(REPEAT " " ${gap} pad)
    string(APPEND report "  ${section}${pad}${size}  ${addr}\n")
    math(EXPR end "${addr} + ${size}")
    if(addr GREATER_EQUAL SDRAM_BASE AND end LESS_EQUAL sdram_end AND end GREATER sdram_top)
      set(sdram_top ${end})
    endif()
  endif()
endforeach()

file(SIZE ${BIN} flash_used)
math(EXPR sdram_used "${sdram_top} - ${SDRAM_BASE}")
math(EXPR flash_pct "100 * ${flash_used} / ${FLASH_WINDOW}")
math(EXPR sdram_pct "100 * ${sdram_used} / ${SDRAM_AREA}")
foreach(v flash_used sdram_used FLASH_WINDOW SDRAM_AREA)
  math(EXPR ${v}_hex "${${v}}" OUTPUT_FORMAT HEXADECIMAL)
endforeach()
string(APPEND report
  "  flash ${flash_used_hex} of ${FLASH_WINDOW_hex} bytes (${flash_pct}%), "
  "SDRAM ${sdram_used_hex} of ${SDRAM_AREA_hex} bytes (${sdram_pct}%)")
message("${report}")

# The linker already refuses a program that does not fit; this guards the
# raw image itself, which is what gets programmed.
if(flash_used GREATER FLASH_WINDOW)
  file(REMOVE ${BIN})
  message(FATAL_ERROR "${image}.bin: ${flash_used_hex} bytes do not fit "
                      "the flash window of ${FLASH_WINDOW_hex} bytes")
endif()
