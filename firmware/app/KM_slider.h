// Linear sliders: a knob bitmap moving along a background bitmap, bound to
// one of the host hotspots 128-255; and the circular-slider entry points,
// which accept their commands but never hold a slider.
#pragma once

#include <stdint.h>

#define MAX_SLIDERS 8
#define MAX_CIRC_SLIDERS 8

void KM_Slider_Init(void);
void KM_Slider_Unset(int slot);
int KM_Slider_Find(int hotspot);
int KM_Slider_Setup(int hotspot, int orientation, int autoRepeat, int x, int y, int offset, int reversed, int max,
                    int min, int background, int knob);
int KM_Slider_Touched(int slot, int x, int y);
int KM_Slider_Value(int hotspot, int value);
// Value of the linear slider in a slot (0 for a free or unknown slot).
int KM_Slider_GetValue(int slot);
int isXYinSlider(int x, int y);

void CircSliderInit(void);
void CircSliderUnset(int slot);
int CircSliderFind(int hotspot);
int CircSliderSetup(const int* args);
int CircSetVarsAndDraw(int hotspot, int value);

// Host commands "sl", "sv", "slc", "svc" (the whole line); -1 when the line
// is none of them.
int cmdSliders(char* cmd);
