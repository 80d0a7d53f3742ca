# Turns a file into a C++ header holding its bytes:
#   cmake -DIN=file -DOUT=header -DNAME=kName -P embed_file.cmake
# The header defines NAME (unsigned char[]) and NAMESize.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
get_filename_component(source ${IN} NAME)
file(WRITE ${OUT}.tmp "// Generated from ${source} at build time; edit that file instead.\n#pragma once\n#include <cstddef>\n\nstatic const unsigned char ${NAME}[] = {\n${bytes}0x00};\nstatic const size_t ${NAME}Size = ${size};\n")
file(RENAME ${OUT}.tmp ${OUT})
