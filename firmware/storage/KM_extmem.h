// The memory image of bitmaps, fonts and macros: where the live image comes
// from (Flash2 or the RAM copy), its checks and relocation, and programming
// and erasing of the image area.
#pragma once

#include <stdint.h>

#include "board/hw.h"
#include "format/memimage.h"

#define EXTMEM_RAM_BUFFER 0xC0400000u

// The live image (Flash2 or the RAM copy); null until one is loaded.
extern uint8_t* ExtMemBuffer;
// The RAM copy, also scratch space for splash.bmp and config.ini.
#define ExtMemRamBuffer ((uint8_t*)hw_ptr(EXTMEM_RAM_BUFFER))
// Largest image accepted.
extern uint32_t ExtMemSize;

// Reading the live image.  Its directory and records hold board addresses
// (or, in an image built for base 0, offsets); nothing is read through one
// before ExtMemObject has found the bytes inside the image.
// The live image's header when it is an image for this controller, else none.
const ExtMemHeader* ExtMemValidHeader(void);
// Directory entry n (0 .. count - 1) of the live image, else none.
ExtMemDirEntry* ExtMemEntry(int n);
// The board address of the live image; 0 when none is loaded.
uint32_t ExtMemBase(void);
// A stored address as a board address: offsets get the image's address added.
uint32_t ExtMemResolve(uint32_t stored);
// The bytes bytes at a stored address when they lie wholly inside the live
// image and the address is a multiple of align (records are read by word
// loads, which fault off their alignment on the board); else none.
const uint8_t* ExtMemObject(uint32_t stored, uint64_t bytes, uint32_t align);

int KM_Load_ExtMem(void);
int Flash2Init(void);
int KM_LoadFlash2ToRam(void);
int KM_Fixup_ExtMem(uint32_t base, uint32_t size);
int tryFixup(uint32_t* p, uint32_t base, uint32_t size);
int CopyMemToFlash2(uint32_t count, const uint8_t* src);
int KM_ExtMem_ProgramArea(uint32_t offset, const uint8_t* src, uint32_t len, uint8_t verbose);
int KM_ExtMem_Erase_Sector(int n);
uint32_t ExtMemUsed(void);
int KM_Check_Demo(void);

// The image file on the SD card (velm*.bin in the current directory).
namespace fat {
struct FatFile;
}
// 1 and the name of the first velm*.bin, 0 when the folder holds none, -1
// when the folder could not be read to its end.
int findVelmBin(char* name13);
int SDvalidateBin(fat::FatFile* f);
int SDLoadBinFileToRam(fat::FatFile* f);
int CopyBinFileToFlash2(fat::FatFile* f, const char* name);
int KM_Load_VelmBin_To_ExtMem(void);
uint32_t fastFileLoad(fat::FatFile* f, uint8_t* dst);
int fastFileReadBuf(uint8_t* dst, uint32_t want, fat::FatFile* f);

// On-screen progress of long copies.
void startProgressDots(const char* title);
void addProgressDot(void);
void endProgressDots(const char* text);
