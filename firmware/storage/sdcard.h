// SD card slot, card driver and hot-plug: SDHC1 with one standard-capacity
// SD card (byte addresses), single 512-byte blocks by programmed I/O.
#pragma once

#include <stdint.h>

// Hot-plug states.
enum { SD_NONE = 0, SD_EMPTY = 1, SD_MOUNTED = 2, SD_INSERTED = 3, SD_REMOVED = 4, SD_MOUNT_FAILED = 5 };

// More consecutive 1 ms samples of the card-detect pin than this change the state.
#define SD_DEBOUNCE_MS 50

struct SD_CID {
    uint8_t mid;
    uint16_t oid;
    char pnm[6];
    uint8_t prv;
    uint32_t psn;
    uint16_t mdt;  // year offset in bits 11-4, month in bits 3-0
};

// Version-1 CSD, one member per field in register order.
struct SD_CSD {
    uint8_t structure;
    uint8_t taac;
    uint8_t nsac;
    uint8_t tran_speed;
    uint16_t ccc;
    uint8_t read_bl_len;
    uint8_t read_bl_partial;
    uint8_t write_blk_misalign;
    uint8_t read_blk_misalign;
    uint8_t dsr_imp;
    uint16_t c_size;
    uint8_t vdd_r_curr_min;
    uint8_t vdd_r_curr_max;
    uint8_t vdd_w_curr_min;
    uint8_t vdd_w_curr_max;
    uint8_t c_size_mult;
    uint8_t erase_blk_en;
    uint8_t sector_size;
    uint8_t wp_grp_size;
    uint8_t wp_grp_enable;
    uint8_t r2w_factor;
    uint8_t write_bl_len;
    uint8_t write_bl_partial;
    uint8_t file_format_grp;
    uint8_t copy;
    uint8_t perm_write_protect;
    uint8_t tmp_write_protect;
    uint8_t file_format;
};

extern volatile uint32_t SDhotplug;
extern volatile uint16_t debounce_period;
extern uint32_t RCA;
extern SD_CID CID;
extern SD_CSD CSD;
extern uint16_t sdres112, sdres96, sdres80, sdres64, sdres48, sdres32, sdres16, sdres0;
extern uint32_t sdDelay_uSec;

int SDisSlotInitialized(void);
void SDioLow(void);
void SDcardPower(int on);
void SDCardSlotInit(void);
void SDhotplugInitialized(void);
void SDhotplugFailedToInit(void);
int SDisInitialized(void);
int SDisFailedToInit(void);
void SDhotplugUpdate(void);
// Returns non-zero when it mounted or powered down the card.
int SDcheckHotplug(void);

int SDCardInit(void);
int SDCardDetect(void);
int SDCardIsReady(void);
int SDCardReadBlock(uint32_t address, uint8_t* buffer);
int SDCardWriteBlock(uint32_t address, const uint8_t* buffer);
int KMReportSDStatusErrors(uint8_t reportWriteCrc);
int SDSetClock(int n);
int SDCardGetCIDString(char* out);
int SDGetResponseR2(void);
uint32_t DecodeCardStatusFromR1(void);
int SDStopTransmission(void);
int SDDeselectCard(void);
int SDCardGetFullStatus(uint8_t* out64);
