// The animated-GIF player.
#pragma once

void init_agif(void);
// Returns non-zero when it drew a frame or came to the end of the frames.
int handle_agif(void);
// "agif id n x y repeat" and "agifd id": 1 done, 0 refused.
int agif_start(const char* line);
int agif_disable(const char* line);

#include "format/memimage.h"

// Summary of a GIF entry (0 when it cannot be read).
int agif_frame_count(const ExtMemDirEntry* entry);
int agif_width(const ExtMemDirEntry* entry);
int agif_height(const ExtMemDirEntry* entry);
// Plays every frame of GIF entry n once at (x, y); 0 when it cannot.
int agif_play_once(int n, int x, int y);
