// Touch controllers, sampling, calibration, hotspots and buttons.
#pragma once

void InitTouch(void);
void InitTouch2(void);
void KM_Touch_Init(void);
void KM_Update_Touch(void);
void ButtonTimer(void);
void handle_touch(void);
void KM_Touch_Get_State(int* pressed, int* x, int* y);
int GetPenState(void);
void doCalibration(void);
void KM_Touch_HotSpot_Clear(void);
