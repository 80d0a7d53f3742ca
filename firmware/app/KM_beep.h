// The beeper and alarms.
#pragma once

void BeepTimerCheck(void);
