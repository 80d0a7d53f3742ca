// FAT12/FAT16 file system on the SD card.
#pragma once

int initialize_media(void);
