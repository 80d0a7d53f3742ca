# The compiled-in fonts of the graphics library, rendered at build time.
#
# tools/fontgen is a program for the build machine, so every tree that
# needs its output builds it as a separate CMake project with the build
# machine's own compiler (ExternalProject: the 32-bit flags of the host tree
# and the cross toolchain of the ARM tree stay out of it), under
# <tree>/tools/fontgen.  The fonts come from the TrueType files of Debian's
# fonts-liberation2 (proportional faces) and fonts-dejavu-core (monospaced
# faces), as tools/fontgen/compiled_fonts.txt assigns them.  The generated
# sources go to <tree>/generated/fonts and are compiled once per tree into
# the object library velm_fonts, which every firmware build links.
#
# Sets VELM_FONTGEN (the tool, for further generated files such as test
# fonts) and defines the targets fontgen_tool and velm_fonts.

include(ExternalProject)

set(VELM_FONTGEN_DIR ${CMAKE_BINARY_DIR}/tools/fontgen)
set(VELM_FONTGEN ${VELM_FONTGEN_DIR}/fontgen)
ExternalProject_Add(fontgen_tool
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/fontgen
  BINARY_DIR ${VELM_FONTGEN_DIR}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  # The tool's own build decides whether anything changed.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${VELM_FONTGEN})

set(VELM_FONT_TABLE ${CMAKE_SOURCE_DIR}/tools/fontgen/compiled_fonts.txt)
set(VELM_FONT_FACES
  sans LiberationSans-Regular.ttf liberation2
  sans-bold LiberationSans-Bold.ttf liberation2
  mono DejaVuSansMono.ttf dejavu
  mono-bold DejaVuSansMono-Bold.ttf dejavu)
set(face_args)
set(face_files)
while(VELM_FONT_FACES)
  list(POP_FRONT VELM_FONT_FACES key file folder)
  string(MAKE_C_IDENTIFIER "VELM_FONT_${key}" var)
  find_file(${var} ${file} PATHS /usr/share/fonts/truetype/${folder} NO_DEFAULT_PATH)
  if(NOT ${var})
    message(FATAL_ERROR "${file} not found in /usr/share/fonts/truetype/${folder}: "
                        "install the font packages (scripts/deps.sh)")
  endif()
  list(APPEND face_args --face ${key}=${${var}})
  list(APPEND face_files ${${var}})
endwhile()

# Tests run the tool on the same table and faces (SIF font files).
list(JOIN face_args " " VELM_FONTGEN_FACE_ARGS)

# The generated files are named after the fonts of the table.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELM_FONT_TABLE})
file(STRINGS ${VELM_FONT_TABLE} font_lines REGEX "^GUI_")
set(VELM_FONT_OUT ${CMAKE_BINARY_DIR}/generated/fonts)
set(VELM_FONT_SOURCES)
foreach(line IN LISTS font_lines)
  string(REGEX MATCH "^[A-Za-z0-9_]+" name "${line}")
  list(APPEND VELM_FONT_SOURCES ${VELM_FONT_OUT}/${name}.cpp)
endforeach()

file(MAKE_DIRECTORY ${VELM_FONT_OUT})
add_custom_command(OUTPUT ${VELM_FONT_SOURCES}
  COMMAND ${VELM_FONTGEN} compiled --table ${VELM_FONT_TABLE} --out ${VELM_FONT_OUT} ${face_args}
  DEPENDS fontgen_tool ${VELM_FONTGEN} ${VELM_FONT_TABLE} ${face_files}
  COMMENT "Rendering the compiled-in fonts"
  VERBATIM)

add_library(velm_fonts OBJECT ${VELM_FONT_SOURCES})
target_include_directories(velm_fonts PRIVATE ${VELM_FW_INCLUDES})
target_compile_options(velm_fonts PRIVATE ${VELM_FW_OPTIONS})
