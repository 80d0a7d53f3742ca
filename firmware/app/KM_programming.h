// The controller's side of serial programming and the image-store
// maintenance commands.
#pragma once

#include <stdint.h>

int cmdListNeedsImage(void);
int cmdStoreGeometry(void);
int cmdStoreErase(char* cmd);
int cmdProgram(unsigned hi, unsigned lo, int verbose);
int cmdMaxProgramLine(void);
int cmdBinaryDownload(int dest, uint32_t offset, int32_t count, int32_t timeout);
int cmdCrcScreen(void);
int cmdCrcFirmware(void);
int cmdCrcBoot(void);
int cmdCrcImage(char* cmd);
int cmdLoadFileToFlash(void);
int cmdLoadImage(void);
int cmdFlashToRam(void);
int cmdPreviousConsole(void);
int cmdControllerType(void);
