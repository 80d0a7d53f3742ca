#include "storage/KM_config.h"

// The card's file system does not read config.ini yet: the record stays as
// loaded and migrated.
int KM_EEPROM_loadConfigFromFile(int* verbose, int* mainPortRequest)
{
    (void)verbose;
    (void)mainPortRequest;
    return 0;
}
