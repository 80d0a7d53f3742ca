// The beeper and alarms.
#pragma once

#include <stdint.h>

void KM_BeepInit(void);
void BeepTimerCheck(void);
void KM_Beep(uint32_t ms);
