// SD card slot, card driver and hot-plug.
#pragma once

#include <stdint.h>

// Hot-plug states.
enum { SD_NONE = 0, SD_EMPTY = 1, SD_MOUNTED = 2, SD_INSERTED = 3, SD_REMOVED = 4, SD_MOUNT_FAILED = 5 };

extern volatile uint32_t SDhotplug;

int SDisSlotInitialized(void);
void SDioLow(void);
void SDcardPower(int on);
void SDCardSlotInit(void);
void SDhotplugInitialized(void);
void SDhotplugFailedToInit(void);
int SDisInitialized(void);
void SDhotplugUpdate(void);
void SDcheckHotplug(void);
