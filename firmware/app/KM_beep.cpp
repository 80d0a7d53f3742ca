#include "app/KM_beep.h"

// Beeps and alarms are not timed yet.
void BeepTimerCheck(void) {}
