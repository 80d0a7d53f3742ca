// Configuration, system and diagnostic commands: the settings of the
// configuration record and their saves, the serial ports, the panel and its
// backlight, the version and state reports.  Handlers that take the whole
// line return -1 when the line is no form of theirs, so the dispatcher's
// chain goes on.
#pragma once

int cmdQueuedReports(void);
int cmdWait(unsigned n);
int cmdVersion(void);

// "*rs485 off" and "*rs485 Sxx" (start character, address in two upper-case
// hexadecimal digits); -1 for any other "*rs485" line.
int cmdRs485(char* cmd);
// "baudp", "bauds", "baud" with an optional port digit and a rate; the line
// begins with "baud".
int cmdBaud(const char* cmd);
// "*com0main", "*com1main" (a tenth character 's' keeps the record as it is).
int cmdComMain(const char* cmd, int uart0);
int cmdAuxEsc(const char* cmd);
int cmdAuxIO(const char* cmd);
int cmdPanel(void);
int cmdConfigText(char* cmd);
// One-byte settings of the record and "*vq": the keyword's value is set,
// applied and saved; the keyword alone answers the value.  -1 when the line
// does not begin with keyword.
int cmdSetting(const char* cmd, const char* keyword);
// "xbl on", "xbl of"; "v on", "v of".
int cmdBacklight(int on);
int cmdPanelPower(int on);
// "led sys|on|off".
int cmdLed(const char* word);
// "*STATE", "*STATEF".
int cmdState(void);
// "out", "aout" with a quoted text, "ain".
int cmdOut(char* cmd, int aux);
int cmdAuxIn(void);
// "wvr" (the whole line), "wrf" (the whole line).
int cmdWaitLine(const char* cmd);
int cmdWaitLineRel(const char* cmd);
// "*speedtest n <command>".
int cmdSpeedTest(char* cmd);

// "temp": the board temperature in degrees with one decimal.
int cmdTemperature(void);
// "*binr n": reports of macros and touches as binary bytes (n not 0).
int cmdBinaryResponses(int on);
// "*paneladj": moves the picture with keys from the command port.
int cmdPanelAdjust(void);

// "*firmware": the firmware identification of the record, quoted.
int cmdFirmwareId(void);
// "*ds_norm", "*ds_high": the pads' drive strength.
int cmdDriveStrength(int high);
// "*RESET": restarts the controller; never returns.
int cmdReset(void);

// The card's folders and a test file: "*cd folder", "*sdload folder
// [macro]", "*ls", "fopen".
int cmdCardChdir(const char* folder);
int cmdSdLoad(const char* cmd);
int cmdCardList(void);
int cmdCardTestFile(void);

struct ExtBitmapRecord;
void DumpBitMapStructure(const ExtBitmapRecord* r);
