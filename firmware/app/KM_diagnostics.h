// Diagnostic commands: the EEPROM and the I2C bus, peripheral registers,
// memory dumps and the RAM test, the receive ring and the clock output.
// Every address the host gives is checked against what the board has
// before it is touched: a stray access would hang the bus or crash the
// controller.
#pragma once

// "*eer", "*eerc", "*eew", "*eed", "*eec", "*ees", "*eel" (any other "*ee").
int cmdEepromRead(const char* cmd);
int cmdEepromWrite(const char* cmd);
int cmdEepromDump(const char* cmd);
int cmdEepromClear(const char* cmd);
int cmdEepromSave(void);
int cmdEepromLoad(void);
int cmdFactoryReset(void);
// "i2c read a" / "i2c write a v": -1 when the line is neither form.
int cmdI2cEeprom(const char* cmd);
// "i2cr dev reg len", "i2cw dev reg val".
int cmdI2cRead(const char* cmd);
int cmdI2cWrite(const char* cmd);
// "*R16 a" (-1 when the form does not scan), "*R a [n]", "*W a v".
int cmdReg16(const char* cmd);
int cmdRegRead(const char* cmd);
int cmdRegWrite(unsigned address, unsigned value);
// "*rst".
int cmdRxReset(void);
// "*ccsr [sel]", "*ptb".
int cmdClockOut(const char* cmd);
int cmdPortB(void);
// "*memTest", "*dumpmb", "*dumpml".
int cmdMemTest(const char* cmd);
int cmdDump(const char* cmd, int words);
// "*sdled 0|1".
int cmdSdLed(int on);
// "*halt".
int cmdHalt(void);
