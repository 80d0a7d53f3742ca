// The firmware's entry after the runtime start, and the hardware start-up.
#pragma once

void InitEverything(void);
int main(void);
