// Serial memories: the SPI flash on CSPI1, the I2C bus and the EEPROM.
#pragma once

#include <stdint.h>

void InitSerialFlash(void);
uint32_t ReadSerialFlashID(void);
void InitI2C(void);
