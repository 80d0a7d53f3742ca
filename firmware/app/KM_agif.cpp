#include "app/KM_agif.h"

// No animated GIFs yet.
void init_agif(void) {}
void handle_agif(void) {}
