// The animated-GIF player.
#pragma once

void init_agif(void);
void handle_agif(void);
