#include "storage/KM_eeprom.h"

#include <string.h>

#include "config/build_config.h"

EepromRecord eepromData;

void KM_EEPROM_SetDefaults(void)
{
    EepromRecord& e = eepromData;
    memset(&e, 0xFF, sizeof e);
    e.magic = EEPROM_MAGIC;
    e.tcTimeout = 10;
    e.oldCalLeftX = 15;
    e.oldCalRightX = PANEL_WIDTH - 16;
    e.oldCalRawLeftX = 150;
    e.oldCalRawRightX = 850;
    e.oldCalLowerY = PANEL_HEIGHT - 16;
    e.oldCalUpperY = 15;
    e.oldCalRawLowerY = 850;
    e.oldCalRawUpperY = 150;
    e.tplo = 250;
    e.tphi = 700;
    e.tpDeltaLim = 10;
    e.tsamp = 8;
    e.tspan = 12;
    e.touchSwap = 0;
    e.touchValue2C = 2600;
    e.touchValue30 = 200;
    e.pad31 = 0xFF;
    e.brite = 255;
    e.typematicDelay = 75;
    e.debounce = 100;
    e.typematicRepeat = 20;
    e.SPL = EE_OFF;
    e.SPLbitmap = 0xFF;
    e.PONMAC = 0;
    e.rs485Mode = 0xFF;
    e.rs485Address = 0xFF;
    e.PONMACnoBanner = EE_OFF;
    e.auxReport = 0xFF;
    e.auxEsc = 0x0D;
    e.mainPort = 0;
    e.invEnaHiTrue = 0;
    e.hfp = e.hpw = e.hbp = e.vfp = e.vpw = e.vbp = 0xFF;
    e.maxBrite = PANEL_MAX_BRITE;
    e.minBrite = PANEL_MIN_BRITE;
    e.pwmIsEnable = 1;
    e.orient = 0;
    memset(e.config, 0, sizeof e.config);
    e.touchMode = 0;
    e.autoCal = EE_OFF;
    e.LCDshiftclock = 1;
    e.baud0 = 7;
    e.baud1 = 7;
    e.externalSpeaker = 0;
    e.calMarker = 0xAA;
    const uint16_t W = PANEL_WIDTH, H = PANEL_HEIGHT;
    const uint16_t x[5] = {(uint16_t)(W / 2 - 1), 20, (uint16_t)(W - 21), (uint16_t)(W - 21), 20};
    const uint16_t rx[5] = {500, 850, 150, 150, 850};
    const uint16_t y[5] = {(uint16_t)(H / 2 - 1), 20, 20, (uint16_t)(H - 21), (uint16_t)(H - 21)};
    const uint16_t ry[5] = {500, 150, 150, 850, 850};
    memcpy(e.calX, x, sizeof x);
    memcpy(e.calRawX, rx, sizeof rx);
    memcpy(e.calY, y, sizeof y);
    memcpy(e.calRawY, ry, sizeof ry);
    e.valid = 1;
}

int KM_EEPROMvalid(void)
{
    return eepromData.magic == EEPROM_MAGIC;
}

// The record is not kept in the EEPROM yet: it starts from the build's
// defaults and reads as not valid, so nothing takes it for stored settings.
void KM_EEPROM_LoadAndFix(void)
{
    KM_EEPROM_SetDefaults();
    eepromData.magic = 0xEDAA;
}

void KM_EEPROM_Init(void) {}

int KM_EEPROM_Save(void)
{
    return 1;
}

static const uint32_t baudRates[9] = {1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

uint32_t KM_EEPROM_eeVal2Rate(uint8_t code)
{
    if (code >= 1 && code <= 9)
        return baudRates[code - 1];
    return 115200;
}

uint8_t KM_EEPROM_Rate2eeVal(uint32_t rate)
{
    for (int i = 0; i < 9; ++i)
        if (baudRates[i] == rate)
            return (uint8_t)(i + 1);
    return 0xFF;
}
