// The reset handler's hardware set-up, run from boot flash before the
// runtime start code copies the program into SDRAM.
#pragma once

extern "C" void BoardReset(void);
