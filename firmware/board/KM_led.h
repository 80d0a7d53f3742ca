// Flashing of the status LED from the 1 ms tick.
#pragma once

// period > 0: the tick toggles the LED every period ms; 0: stop, LED dark.
void FlashLed(int period);
