// The animated-GIF player: one GIF of the memory image plays in the
// background, a frame each time the previous frame's delay has run out,
// while the main loop goes on serving commands.
#include "app/KM_agif.h"

#include <stdio.h>

#include "app/KM_bitmaps.h"
#include "app/KM_com.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_timer.h"
#include "app/command.h"
#include "graphics/GUI_GIF.h"
#include "storage/KM_extmem.h"

// The player state.
static uint8_t agif_running;
static int32_t agif_frame;
static GUI_GifFileInfo agif_info;
static const uint8_t* gif_location;
static uint32_t gif_size;
static int32_t agif_x, agif_y;
static GUI_GifFrameInfo agif_frame_info;
static int32_t gif_repeat_count;
static uint8_t agif_run_forever;

// The bytes of a GIF entry, when they lie wholly inside the memory image
// (an image built for base 0 stores offsets).
static const uint8_t* gif_bytes(const ExtMemDirEntry* e, uint32_t* size)
{
    if (!e || e->type != EXTMEM_GIF || !e->size)
        return 0;
    const uint8_t* p = ExtMemObject(e->address, e->size, 1);
    if (p)
        *size = e->size;
    return p;
}

static const ExtMemDirEntry* gif_entry(int n)
{
    return n >= 1 ? ExtMemEntry(n) : 0;
}

static int summary(const ExtMemDirEntry* e, GUI_GifFileInfo* info)
{
    uint32_t size = 0;
    const uint8_t* p = gif_bytes(e, &size);
    return p && GUI_GIF_GetInfo(p, size, info) == 0;
}

void init_agif(void)
{
    agif_running = 0;
    agif_frame = 0;
    agifTimer = 0;
}

int agif_start(const char* line)
{
    int id, n, x, y, repeat;
    if (KM_sscanf(line, "agif %d %d %d %d %d", &id, &n, &x, &y, &repeat) < 5)
        return 0;
    if (agif_running) {
        txString(":agif already running\r");
        return 0;
    }
    // Only a GIF entry whose file reads as one plays.
    uint32_t size = 0;
    const uint8_t* p = gif_bytes(gif_entry(n), &size);
    GUI_GifFileInfo info;
    if (!p || GUI_GIF_GetInfo(p, size, &info) != 0 || info.NumImages < 1)
        return 0;
    // The frames are drawn in the coordinates' room, origin added.
    if (!pointAtOrigin(&x, &y))
        return 0;
    agifTimer = 0;
    agif_frame = 0;
    gif_repeat_count = repeat;
    agif_run_forever = repeat == 0;
    agif_x = x;
    agif_y = y;
    gif_location = p;
    gif_size = size;
    agif_info = info;
    agif_running = 1;
    return 1;
}

int agif_disable(const char* line)
{
    (void)line;
    agif_frame = 0;
    agifTimer = 0;
    agif_running = 0;
    return 1;
}

int handle_agif(void)
{
    if (!agif_running || agifTimer != 0)
        return 0;
    if (agif_frame < agif_info.NumImages) {
        GUI_GIF_DrawSub(gif_location, gif_size, agif_x, agif_y, agif_frame);
        agif_frame_info.Delay = 0;
        GUI_GIF_GetImageInfo(gif_location, gif_size, &agif_frame_info, agif_frame);
        agifTimer = agif_frame_info.Delay * 10;
        agif_frame++;
        return 1;
    }
    if (gif_repeat_count > 0)
        gif_repeat_count--;
    if (agif_run_forever || gif_repeat_count > 0)
        agif_frame = 0;
    else
        agif_running = 0;
    return 1;
}

int agif_frame_count(const ExtMemDirEntry* entry)
{
    GUI_GifFileInfo info;
    return summary(entry, &info) ? info.NumImages : 0;
}

int agif_width(const ExtMemDirEntry* entry)
{
    GUI_GifFileInfo info;
    return summary(entry, &info) ? info.XSize : 0;
}

int agif_height(const ExtMemDirEntry* entry)
{
    GUI_GifFileInfo info;
    return summary(entry, &info) ? info.YSize : 0;
}

// Waits a frame's delay; ends early, returning 1, when the host sends
// "*abt" or Escape CR (a GIF's delays can add up to hours).
static int frame_delay(uint32_t ms)
{
    while (ms) {
        const uint32_t step = ms < 10 ? ms : 10;
        KM_Delay(step);
        ms -= step;
        if (checkAbortCmd() || (!rs485Mode() && checkEscape()))
            return 1;
    }
    return 0;
}

int agif_play_once(int n, int x, int y)
{
    uint32_t size = 0;
    const uint8_t* p = gif_bytes(gif_entry(n), &size);
    GUI_GifFileInfo info;
    if (!p || GUI_GIF_GetInfo(p, size, &info) != 0 || info.NumImages < 1)
        return 0;
    int ok = 1;
    for (int k = 0; k < info.NumImages; ++k) {
        if (GUI_GIF_DrawSub(p, size, x, y, k) != 0)
            ok = 0;
        // Each frame stays for its delay before the next one is drawn.
        GUI_GifFrameInfo frame;
        if (GUI_GIF_GetImageInfo(p, size, &frame, k) == 0 && frame.Delay > 0 &&
            frame_delay((uint32_t)frame.Delay * 10))
            break;
    }
    return ok;
}
