// Configuration files on the SD card: config.ini, read once at start-up to
// override settings of the configuration record, and currconf.txt, the dump
// of the active settings.
#pragma once

// Applies config.ini from the card's current directory to the record
// (`eepromData`); KM_EEPROM_Init calls it when the card is mounted.
// Returns 1 when it changed a setting; *verbose takes the file's verbose
// switch; *mainPortRequest becomes 0 or 1 when the file asks for another
// host port and stays -1 otherwise.
int KM_EEPROM_loadConfigFromFile(int* verbose, int* mainPortRequest);
