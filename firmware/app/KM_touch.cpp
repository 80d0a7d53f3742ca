#include "app/KM_touch.h"

// The touch converters are not read yet: set-up and sampling do nothing.
void InitTouch(void) {}
void InitTouch2(void) {}
void KM_Update_Touch(void) {}
void ButtonTimer(void) {}
