// Timed animation scripts of command lines: up to ten scripts in one text
// pool, replayed in the background by the main loop.
#pragma once

#include <stdint.h>

#define ANIMATION_SLOTS 10
#define ANIMATION_POOL 2048

// 3 while the scripts run; editing commands are refused then.
extern int32_t ExecState;

struct AnimationSlot {
    char* first;  // null: slot free
    char* last;   // the NUL that ends the last line
    char* cur;    // the line to run next
    int32_t state;  // 0 idle, -1 stopped, > 0 ms until due, -2/-3/-4 due now
};
extern AnimationSlot dta[ANIMATION_SLOTS];
extern char anibuf[ANIMATION_POOL];
extern char* anibuf_ptr;
extern int32_t last_minT;

void init_animation(void);
// Returns non-zero when a script ran.
int handle_animation(void);
int DoAnimationAdd(const char* line);
int DeleteAnimation(int id);

// The animation commands of the dispatcher; -1 when the line is none of
// them (the chain goes on).
int cmdAnimation(char* cmd);
