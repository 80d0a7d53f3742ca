#include "app/KM_imagefiles.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/bootio.h"
#include "build_config.h"
#include "graphics/GUI_BMP.h"
#include "graphics/GUI_GIF.h"
#include "graphics/GUI_JPEG.h"
#include "storage/KM_extmem.h"
#include "storage/file_sys.h"
#include "storage/sdcard.h"

#define SECTOR 512u

// The window holds whole sectors; the largest request is one row of three
// bytes a pixel across the panel.
#if PANEL_WIDTH <= 640
#define IMAGE_BUF_SIZE 3072u
#define IMAGE_MAX_REQUEST 1920u
#else
#define IMAGE_BUF_SIZE 3584u
#define IMAGE_MAX_REQUEST 2400u
#endif

static uint8_t imageDataBuf[IMAGE_BUF_SIZE];
static uint32_t secDataStartPrev, secDataEndPrev, offsetPrev, totalBytesRead;

static uint32_t round_up(uint32_t v) { return (v + SECTOR - 1) & ~(SECTOR - 1); }

// Reads the sectors [pos, end) of the file to dst; 0 on a seek or read
// failure.  The file's last sector holds fewer bytes than a whole one.
static int read_sectors(fat::FatFile* f, uint8_t* dst, uint32_t pos, uint32_t end)
{
    const uint32_t limit = round_up(f->length);
    if (end > limit)
        end = limit;
    if (end <= pos)
        return 1;
    if (f->position != pos && fat::fseek(f, (int32_t)pos, 2) != 0)
        return 0;
    const uint32_t want = end - pos;
    const uint32_t exist = f->length - pos < want ? f->length - pos : want;
    if ((uint32_t)fastFileReadBuf(dst, want, f) != exist)
        return 0;
    secDataEndPrev = end;
    totalBytesRead = end;
    return 1;
}

int GetData_Ex_SdImageFile(void* p, const uint8_t** ppData, unsigned NumBytes, uint32_t Off)
{
    fat::FatFile* f = (fat::FatFile*)p;
    if (Off == 0)
        secDataStartPrev = secDataEndPrev = offsetPrev = totalBytesRead = 0;
    uint32_t n = NumBytes > IMAGE_MAX_REQUEST ? IMAGE_MAX_REQUEST : NumBytes;
    // A request beyond the largest file position has nothing to serve.
    if (Off > 0xFFFFFFFFu - IMAGE_MAX_REQUEST - SECTOR)
        return 0;
    const uint32_t first = Off & ~(SECTOR - 1);
    const uint32_t end = round_up(Off + n);
    const int forward = Off >= offsetPrev;
    if (Off != 0 && forward && first >= secDataStartPrev && end <= secDataEndPrev) {
        // served from the window as it is
    } else if (Off != 0 && forward && secDataEndPrev > secDataStartPrev && first == secDataEndPrev - SECTOR &&
               end > secDataEndPrev) {
        // Moving forward across the window's end: keep its last sector.
        if (secDataEndPrev - secDataStartPrev > SECTOR) {
            memmove(imageDataBuf, imageDataBuf + (secDataEndPrev - secDataStartPrev - SECTOR), SECTOR);
            secDataStartPrev = secDataEndPrev - SECTOR;
        }
        if (!read_sectors(f, imageDataBuf + SECTOR, secDataEndPrev, end))
            return 0;
    } else {
        secDataStartPrev = secDataEndPrev = first;
        if (!read_sectors(f, imageDataBuf, first, end))
            return 0;
    }
    offsetPrev = Off;
    // Only what the file holds: for a file of whole sectors the window ends
    // where the file does, and what lies behind it in the buffer is stale.
    const uint32_t left = Off < f->length ? f->length - Off : 0;
    const uint32_t result = left < n ? left : n;
    *ppData = imageDataBuf + (Off - secDataStartPrev);
    return (int)result;
}

int KM_Draw_SdImageFile(const char* name, int x, int y)
{
    if (!SDisInitialized()) {
        perr(":SD Card not initialized.\r");
        return 0;
    }
    fat::FatFile* f = SD_fopen(name, fat::FF_READ);
    if (!f) {
        perr(":cannot open SD card file \"%s\".\r", name);
        return 0;
    }
    // The type is the name's last three letters, whatever precedes them.
    char type[4] = {0, 0, 0, 0};
    const size_t len = strlen(name);
    const char* t = len >= 3 ? name + len - 3 : name;
    for (int i = 0; t[i] && i < 3; i++)
        type[i] = (t[i] >= 'a' && t[i] <= 'z') ? (char)(t[i] - 'a' + 'A') : t[i];
    int result = 0;
    if (strcmp(type, "BMP") == 0)
        result = GUI_BMP_DrawEx(GetData_Ex_SdImageFile, f, x, y) == 0;
    else if (strcmp(type, "GIF") == 0)
        result = GUI_GIF_DrawEx(GetData_Ex_SdImageFile, f, x, y) == 0;
    else if (strcmp(type, "JPG") == 0)
        result = GUI_JPEG_DrawEx(GetData_Ex_SdImageFile, f, x, y) == 0;
    else
        perr(":file type\"%s\" not supported.\r", type);
    SD_fclose(f);
    return result;
}

int cmdDrawSdImageFile(const char* cmd)
{
    char name[17];
    int x, y;
    if (KM_sscanf(cmd, "xif %16s %d%d", name, &x, &y) != 3)
        return 0;
    if (!pointAtOrigin(&x, &y))
        return CMD_FAIL;
    return KM_Draw_SdImageFile(name, x, y);
}

// ------------------------------------------------------------ screen dump

static struct {
    fat::FatFile* f;
    uint8_t buf[SECTOR];
    unsigned held;
    int failed;
} dump;

static void dump_flush(void)
{
    if (dump.held && !dump.failed && fat::fwrite(dump.buf, 1, (int16_t)dump.held, dump.f) != (int16_t)dump.held)
        dump.failed = 1;
    dump.held = 0;
}

static void dump_byte(uint8_t b, void* p)
{
    dump.buf[dump.held++] = b;
    if (dump.held == SECTOR)
        dump_flush();
}

int cmdGetScreenAsBMPFile(void)
{
    if (!SDisInitialized()) {
        perr(":SD Card not initialized\r");
        return 0;
    }
    char name[13];
    int n;
    for (n = 0; n < 10000; n++) {
        snprintf(name, sizeof name, "VELM%04d.BMP", n);
        fat::FatFile* e = fat::fopen(name, fat::FF_READ);
        if (!e)
            break;
        fat::fclose(e);
    }
    // A name is free only where the folder was read through: a dump must
    // not replace a picture that a failed read did not show.
    fat::FatFile* f = n < 10000 && !fat::dir_read_failed() ? fat::fcreate(name, fat::ATTR_ARCHIVE) : 0;
    if (!f) {
        perr(":file %s not created\r", name);
        return 0;
    }
    pout(":writing SD File %s\r", name);
    dump.f = f;
    dump.held = 0;
    dump.failed = 0;
    GUI_BMP_Serialize(dump_byte, 0);
    dump_flush();
    // A card that fills up or fails part way is reported, not answered ">".
    // After a failed block the file is given up without trying that block
    // again: what reached the card is removed (a part of a picture would
    // only hold the name that the next dump then skips), and the one file
    // handle is not left taken.
    if (!dump.failed && fat::fclose(f) != 0)
        dump.failed = 1;
    if (dump.failed) {
        fat::fdiscard(f);
        perr(":file %s not created\r", name);
        return 0;
    }
    return 1;
}
