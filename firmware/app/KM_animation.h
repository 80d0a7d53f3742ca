// Timed animation scripts of command lines.
#pragma once

#include <stdint.h>

extern int32_t ExecState;

void init_animation(void);
void handle_animation(void);
