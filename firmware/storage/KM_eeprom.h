// The configuration record: every setting that survives a power cycle.
// Stored byte for byte in the EEPROM (two copies), so its layout is fixed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define EEPROM_MAGIC 0x1255u
// Persistent switches.
#define EE_ON 0xA5
#define EE_OFF 0xFF

struct EepromRecord {
    uint16_t magic;            // 0x00 layout magic
    uint8_t tcTimeout;         // 0x02
    uint8_t pad03;             // 0x03
    uint32_t oldCalLeftX;      // 0x04 old two-point calibration
    uint32_t oldCalRightX;     // 0x08
    uint32_t oldCalRawLeftX;   // 0x0C
    uint32_t oldCalRawRightX;  // 0x10
    uint32_t oldCalLowerY;     // 0x14
    uint32_t oldCalUpperY;     // 0x18
    uint32_t oldCalRawLowerY;  // 0x1C
    uint32_t oldCalRawUpperY;  // 0x20
    uint16_t tplo;             // 0x24 touch pressure limits
    uint16_t tphi;             // 0x26
    uint8_t tpDeltaLim;        // 0x28
    uint8_t tsamp;             // 0x29
    uint8_t tspan;             // 0x2A
    uint8_t touchSwap;         // 0x2B
    // 0x2C-0x31 belong to the beeper; the older names stay until their
    // users move to the beeper's.
    union {
        uint32_t beepFrequency;  // 0x2C Hz, the tone uses the low 16 bits
        uint32_t touchValue2C;
    };
    union {
        uint8_t beepVolume;      // 0x30 0-255
        uint8_t touchValue30;
    };
    union {
        uint8_t beepMaxVolume;   // 0x31 full scale of the volume
        uint8_t pad31;
    };
    uint8_t brite;             // 0x32 backlight brightness
    uint8_t typematicDelay;    // 0x33
    uint32_t debounce;         // 0x34
    uint8_t typematicRepeat;   // 0x38
    uint8_t SPL;               // 0x39 0xA5: show the splash bitmap
    uint8_t SPLbitmap;         // 0x3A splash bitmap number
    uint8_t PONMAC;            // 0x3B power-on macro number
    uint8_t rs485Mode;         // 0x3C 'Z': RS-485 framing
    uint8_t rs485Start;        // 0x3D start-of-frame character
    uint8_t rs485Address;      // 0x3E
    uint8_t PONMACnoBanner;    // 0x3F 0xA5: power-on macro replaces the banner
    uint8_t demoMacro;         // 0x40
    uint8_t auxReport;         // 0x41 'Z': forward auxiliary-port text
    uint8_t auxEsc;            // 0x42 port-swap escape character
    uint8_t mainPort;          // 0x43 1: UART 2 is the host port
    uint8_t pad44[2];          // 0x44
    // 0x46 loaded, neither summed nor saved; its first eight bytes are the
    // firmware identification that "*firmware" shows.
    union {
        uint8_t unsummed[12];
        char firmwareId[8];
    };
    uint8_t invEnaHiTrue;      // 0x52 inverter enable polarity
    uint8_t hfp, hpw, hbp;     // 0x53 panel timing, 0xFF = build default
    uint8_t vfp, vpw, vbp;     // 0x56
    uint8_t maxBrite;          // 0x59 PWM brightness end points
    uint8_t minBrite;          // 0x5A
    uint8_t pwmIsEnable;       // 0x5B
    uint8_t orient;            // 0x5C
    char config[32];           // 0x5D user text
    uint8_t touchMode;         // 0x7D
    uint8_t autoCal;           // 0x7E 0xA5: offer calibration at power-up
    uint8_t LCDshiftclock;     // 0x7F
    uint8_t baud0;             // 0x80 baud code of UART 1
    uint8_t baud1;             // 0x81 baud code of UART 2
    uint8_t externalSpeaker;   // 0x82 1: the external speaker is enabled
    uint8_t calMarker;         // 0x83 0xAA: five-point calibration present
    uint16_t calX[5];          // 0x84 five-point calibration
    uint16_t calRawX[5];       // 0x8E
    uint16_t calY[5];          // 0x98
    uint16_t calRawY[5];       // 0xA2
    uint8_t valid;             // 0xAC
    uint8_t padAD[3];          // 0xAD
};

static_assert(sizeof(EepromRecord) == 176, "the stored record is 176 bytes");
static_assert(offsetof(EepromRecord, beepFrequency) == 0x2C, "record layout");
static_assert(offsetof(EepromRecord, beepVolume) == 0x30, "record layout");
static_assert(offsetof(EepromRecord, beepMaxVolume) == 0x31, "record layout");
static_assert(offsetof(EepromRecord, brite) == 0x32, "record layout");
static_assert(offsetof(EepromRecord, debounce) == 0x34, "record layout");
static_assert(offsetof(EepromRecord, mainPort) == 0x43, "record layout");
static_assert(offsetof(EepromRecord, invEnaHiTrue) == 0x52, "record layout");
static_assert(offsetof(EepromRecord, config) == 0x5D, "record layout");
static_assert(offsetof(EepromRecord, baud0) == 0x80, "record layout");
static_assert(offsetof(EepromRecord, externalSpeaker) == 0x82, "record layout");
static_assert(offsetof(EepromRecord, calX) == 0x84, "record layout");
static_assert(offsetof(EepromRecord, calRawY) == 0xA2, "record layout");
static_assert(offsetof(EepromRecord, valid) == 0xAC, "record layout");

extern EepromRecord eepromData;

// The EEPROM map: two copies of the record, each with its checksum in the
// last byte of its 256-byte block, and sixteen user bytes.
#define EEPROM_COPY0 0x000u
#define EEPROM_COPY1 0x100u
#define EEPROM_CSUM 0xFFu  // offset of the checksum byte in a copy's block
#define EEPROM_USER_BASE 0x1000u
#define EEPROM_USER_BYTES 16
// Layout magics the firmware recognises: the current one and older ones.
#define EEPROM_LAYOUT_FIRST 0x1255u
#define EEPROM_LAYOUT_LAST 0x1260u
// The record marker of the five-point calibration (offset 0x83).
#define EEPROM_CAL_MARKER 0xAA

// Fills the RAM record with this build's defaults.
void KM_EEPROM_SetDefaults(void);
// 1 when the RAM record carries the current layout magic.
int KM_EEPROMvalid(void);
// Loads a copy (EEPROM_COPY0 or EEPROM_COPY1) into the RAM record: 1 when
// its checksum holds; 0 with the RAM record untouched otherwise.
int KM_EEPROM_Load(uint32_t base);
// Writes the bytes of a copy that differ from the RAM record, then its
// checksum.  0 when the EEPROM did not take a byte.
int saveEEandCsum(uint32_t base);
uint8_t getCsum(uint32_t base);
// Start-up: the record from whichever copy is sound, the other repaired.
void KM_EEPROM_LoadAndFix(void);
// Start-up, after the serial ports: defaults, migration of older layouts,
// config.ini, and the save of what changed.
void KM_EEPROM_Init(void);
// Both copies; 0 when either could not be written.
int KM_EEPROM_Save(void);
// Blanks an EEPROM area: 0 the user bytes (0x1000-0x10FE), 1 copy 0, 2
// copy 1.  The RAM record stays.  0 for another area or a failed write.
int KM_EEPROM_Clear(int area);
// Stores a port's rate (port 0: UART 1, 1: UART 2) as its baud code and
// saves the record.  0 for another port or a rate without a code.
int KM_save_baudrate_eeprom(int port, int32_t rate);
uint32_t KM_EEPROM_eeVal2Rate(uint8_t code);
uint8_t KM_EEPROM_Rate2eeVal(uint32_t rate);
// User bytes 0..15; -1 / 0 for a number outside them.
int KM_EEPROM_ReadUserByte(int n);
int KM_EEPROM_WriteUserByte(int n, uint8_t value);
