// The firmware's own start-up and main loop.
#pragma once

void KM_main(void);
