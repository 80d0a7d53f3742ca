#include "app/KM_slider.h"

// No sliders yet.
void KM_Slider_Init(void) {}
