// Configuration files on the SD card: config.ini, read once at start-up to
// override settings of the configuration record, and currconf.txt, the dump
// of the active settings in the same syntax.  The key search also serves
// rundemo.ini.
#pragma once

#include <stddef.h>

// Applies config.ini from the card's current directory to the record
// (`eepromData`); KM_EEPROM_Init calls it when the card is mounted.
// Returns 1 when it changed a setting; *verbose takes the file's verbose
// switch; *mainPortRequest becomes 0 or 1 when the file asks for another
// host port and stays -1 otherwise.
int KM_EEPROM_loadConfigFromFile(int* verbose, int* mainPortRequest);

// Writes currconf.txt: 1 when it was written and opens again, else 0 after
// a message to the host.
int KM_EEPROM_saveConfigToFile(void);

// The key search over a NUL-terminated settings text.  A key counts at its
// first occurrence on a line that does not begin with '#'; its value
// follows the first blank-separated word as "= value" or "value".
// format: 'd' decimal, 'x' or 'h' hexadecimal (with or without "0x").
// 1 and *value when found and parsed; 0 otherwise.  The text is not
// changed.
int lookfor(const char* text, const char* key, char format, int* value, int verbose);
// The quoted text after the key (escapes decoded), when it and its NUL fit
// size bytes: 1; else 0.
int lookforQuotedString(const char* text, const char* key, char* out, size_t size, int verbose);

// Writes text and CR LF to f; on failure reports it, closes f, returns 0.
namespace fat {
struct FatFile;
}
int write_config_item(const char* text, fat::FatFile* f);

void strToUpper(char* s);

// Host command "*getConfigAsFile".
int cmdGetConfigAsFile(void);
