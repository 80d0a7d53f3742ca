// Backlight: the inverter's enable pin (PB21) and its brightness through
// the LCD controller's PWM output.
#pragma once

void KM_External_Inverter_On(void);
void KM_External_Inverter_Off(void);
// Brightness 0..255, stored in the configuration record.
void KM_Brite_Set(int brite);
// Lights the backlight over the first finished picture; later calls do
// nothing.
void KM_Visibility_Init(void);
void setLCDpwmClock(void);
