// Panel timing: the controller's horizontal and vertical timing from the
// configuration record, and the line and frame times they give at the
// 26 MHz pixel clock.
#pragma once

#include <stdint.h>

extern uint32_t htot;       // pixel clocks per line
extern uint32_t vtot;       // lines per frame
extern float msPerLine;     // milliseconds per line
extern uint32_t msPerFrame; // whole milliseconds per frame

void setLCDtiming(void);
