// Linear and circular sliders.
#pragma once

void KM_Slider_Init(void);
