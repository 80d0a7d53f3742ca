#include "app/KM_agif.h"

// No animated GIFs yet.
void init_agif(void) {}
void handle_agif(void) {}

// Without the GIF decoder no summary can be read and nothing plays.
int agif_frame_count(const ExtMemDirEntry*) { return 0; }
int agif_width(const ExtMemDirEntry*) { return 0; }
int agif_height(const ExtMemDirEntry*) { return 0; }
int agif_play_once(int, int, int) { return 0; }
