#include "board/KM_led.h"

#include "app/KM_timer.h"
#include "board/bootio.h"
#include "board/hw.h"

// The tick does the flashing (timerLed); this only hands it the period.
// The tick reads the three values without masking, so flashing is stopped
// before they change.
void FlashLed(int period)
{
    ledFlashActive = 0;
    if (period > 0) {
        ledFlashVal = (uint32_t)period;
        ledFlashTimer = (uint32_t)period;
        ledFlashActive = 1;
    } else {
        Led(0);
    }
}
