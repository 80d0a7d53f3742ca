// Replies and reports to the host, and the raw binary downloads.
#pragma once

#include <stdint.h>

// Texts sent on the command port since the current line was read.
extern volatile uint8_t stringSent;

void txString(const char* text);
// A reply of any length, as one text: sent in pieces of what txBuf holds,
// with the RS-485 prefix before the first only.
void txLongString(const char* text);
void txNotify(const char* text);
void perr(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void pout(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void txSavedBuf(void);
int anythingToTx(void);
void txChar(char c);
void txBinary(const uint8_t* bytes, int n);
void aTxBinary(const uint8_t* bytes, int n);

// RAM download slots: four of 0x40000 bytes from 0xC3D00000.
#define RAM_SLOT_BASE 0xC3D00000u
#define RAM_SLOT_SIZE 0x40000u
#define RAM_SLOTS 4

int doBlockBinDownload(uint32_t dest, int32_t count, int32_t timeout);
int doFlashBinDownload(uint32_t addr, int32_t count, int32_t timeout);
int doBinChartVals(int chart, int32_t samples, int32_t timeout);
