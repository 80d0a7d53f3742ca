#include "app/KM_touch.h"

// The touch converters are not read yet: the pen is never down.
void InitTouch(void) {}
void InitTouch2(void) {}
void KM_Touch_Init(void) {}
void KM_Update_Touch(void) {}
void ButtonTimer(void) {}
void handle_touch(void) {}

void KM_Touch_Get_State(int* pressed, int* x, int* y)
{
    *pressed = 0;
    *x = -1;
    *y = -1;
}

int GetPenState(void)
{
    return 0;
}

void doCalibration(void) {}
void KM_Touch_HotSpot_Clear(void) {}
