#include "graphics/GUI.h"

// Text output is not drawn yet.
void GUI_DispString(const char*) {}
void GUI_DispStringAt(const char*, int, int) {}
void GUI_DispNextLine(void) {}
