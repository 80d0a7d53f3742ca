#include "app/KM_beep.h"

// The beeper is silent yet.
void KM_BeepInit(void) {}
void BeepTimerCheck(void) {}
void KM_Beep(uint32_t) {}
