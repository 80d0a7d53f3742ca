// The 1 ms tick of general-purpose timer 2, the software down-counters and
// the busy-wait delays measured on the timer's running count.
#pragma once

#include <stdint.h>

// Down-counters in ms, counted to 0 by the tick and held there.
extern volatile uint32_t delayTimer;
extern volatile uint32_t gpTimer;
extern volatile uint32_t wvrTimer;
// Signed down-counters: stop at 0, negative values are left alone.
extern volatile int32_t animateTimer;
extern volatile int32_t agifTimer;
// Milliseconds since start, and since the LCD controller last showed a frame.
extern volatile uint32_t msCounter32;
extern volatile uint32_t frameTimer;
// Flashing of the status LED.
extern volatile int ledFlashActive;
extern volatile uint32_t ledFlashVal;
extern volatile uint32_t ledFlashTimer;

// Counts of the 16.625 MHz timer clock in one millisecond.
#define KM_TIMER_COUNTS_PER_MS 16625u

void KM_TimerInit(void);
void KM_TimerDisable(void);
void KM_TimerEnable(void);
void msec_timer_isr(void);
void KM_Delay(uint32_t ms);
void KM_Delay_uSec(uint32_t us);
uint32_t KM_TimerGetRawCount(void);
uint32_t KM_TimerElapsedMicroSecs(uint32_t earlier);
uint32_t KM_TimerGetMsCount(void);
uint32_t KM_TimerGetFrameTime(void);
void timerLed(void);

// The board LED as the firmware's own status light.
void KM_led_init(void);
void KM_led_set(uint8_t on);
