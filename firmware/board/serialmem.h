// Serial memories: the I2C bus with the configuration EEPROM, and the SPI
// NOR flash on CSPI1.  Every call blocks and runs from the main loop, never
// from an interrupt.
#pragma once

#include <stdint.h>

// Bus address of the EEPROM (write direction; 0xA1 reads).
#define EEPROM_DEVICE 0xA0

// Bits of an I2Cio result besides the controller's status: bit 0 says that
// the device did not acknowledge its address or a byte it was sent (the
// no-acknowledge that ends every read is the controller's own and not
// reported); a transfer that the controller did not finish in time (stuck
// bus, module not clocked) is abandoned and reported with both bits.
#define I2C_NOT_ACKNOWLEDGED 0x001u
#define I2C_TIMED_OUT 0x100u

void InitI2C(void);
// Writes nWrite bytes of buffer to device (8-bit address, direction bit
// clear), then reads nRead bytes into buffer from its start; the buffer
// holds the larger of the two.  Returns the status register after the
// transfer (see the bits above).
uint32_t I2Cio(uint8_t device, int nWrite, int nRead, uint8_t* buffer);
// Waits, by address-only transfers, until the EEPROM acknowledges again
// (its write cycle has ended).  0 when it never did.
int I2CPollAck(void);
// One byte, then the wait for the write cycle.  0 when the EEPROM did not
// take the byte.
int EEpromWrite(uint32_t address, uint8_t value);
uint8_t EEpromRead(uint32_t address);

void InitSerialFlash(void);
// (manufacturer << 16) | (type << 8) | capacity code; 0 when the port did
// not answer.
uint32_t ReadSerialFlashID(void);

// Data operations of the SPI flash.  The firmware keeps its memory image in
// the parallel NOR flash, so nothing calls these in normal use.  Program
// and erase return 1 when the chip finished, 0 when it stayed busy too long
// or the port did not answer.
uint8_t SerialFlashStatus(void);
void SetWriteEnable(void);
void ClearWriteEnable(void);
int WriteSerialFlash(uint32_t address, const uint8_t* data, uint32_t length);
int ReadSerialFlash(uint32_t address, uint8_t* data, uint32_t length);
int EraseSerialFlash(void);
int SectorEraseSerialFlash(uint32_t address);
void FlushSpi1Fifo(void);
