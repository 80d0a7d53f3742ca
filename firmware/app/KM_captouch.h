// Capacitive touch front end of the build velm5plus-wvga-cap: the FocalTech
// controller on I2C (write address 0x70) with its interrupt output on PB6.
// In that build these stand in for the resistive sampler: the tick counts
// the interrupt line, and KM_Touch_Get_State reads the controller from the
// main loop when the line has been active since the last read.
#pragma once

#include <stdint.h>

// Milliseconds during which the controller's interrupt line was active
// (wraps).
extern volatile uint8_t focalTech_INT_counter;

void checkFocalTechINT(void);
void checkFocalTechTouch(uint8_t verbose);
void initFocalTechTouch(void);
