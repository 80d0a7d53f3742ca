// The build's name, kept in the ELF file outside the image (the linker
// script gives its section no memory): a tool that runs an image, such as
// arm-board, learns from it which board the image was built for.
#include "build_config.h"

__attribute__((section(".velm5plus.build"), used)) static const char build_name[] = VELM_BUILD_NAME;
