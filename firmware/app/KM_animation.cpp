#include "app/KM_animation.h"

// No animation scripts yet.
int32_t ExecState;

void init_animation(void) {}
void handle_animation(void) {}
