// Touch controllers, sampling, hotspots and buttons.
#pragma once

void InitTouch(void);
void InitTouch2(void);
void KM_Update_Touch(void);
void ButtonTimer(void);
