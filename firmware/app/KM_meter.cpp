#include "app/KM_meter.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_bitmaps.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/command.h"
#include "board/lcd_driver.h"
#include "graphics/GUI.h"
#include "graphics/LCD.h"

Meter meters[METER_COUNT];

// Degrees to radians with the factor the meters have always used (not the
// exact pi / 180), so needles land on the same pixels as on older units.
static const double kDegToRad = 3.1415 / 180;

void KM_Meter_Init(void)
{
    memset(meters, 0, sizeof meters);
    for (int i = 0; i < METER_COUNT; ++i)
        meters[i].bitmap = -1;
}

void findMaxAbsY(void) {}

void savePolyBoxCorners(int px, int py, const GUI_Point* points, int count, uint16_t* box)
{
    int x0 = 0x3FF, y0 = 0x3FF, x1 = 0, y1 = 0;
    for (int i = 0; i < count; ++i) {
        const int x = px + points[i].x, y = py + points[i].y;
        if (x < x0)
            x0 = x;
        if (y < y0)
            y0 = y;
        if (x > x1)
            x1 = x;
        if (y > y1)
            y1 = y;
    }
    box[0] = (uint16_t)x0;
    box[1] = (uint16_t)y0;
    box[2] = (uint16_t)x1;
    box[3] = (uint16_t)y1;
}

// The scale's sweep in degrees: 0 (a = b) is a full circle.  The angles,
// values and range below are worked wide: any two 32-bit numbers the host
// sends have a difference.
static int sweep_of(const Meter* m)
{
    const int s = (int)((((int64_t)m->a + 360 - m->b) % 360 + 360) % 360);
    return s ? s : 360;
}

static int64_t from_min(const Meter* m, int v)
{
    return (int64_t)v - m->min;
}

static int64_t range_of(const Meter* m)
{
    return (int64_t)m->max - m->min;
}

// The angle of value v in degrees, single precision.
static float value_angle(const Meter* m, int v)
{
    return (float)m->a - (float)sweep_of(m) * (float)from_min(m, v) / (float)range_of(m);
}

// The whole degrees of a non-negative angle as an unsigned 32-bit number;
// an angle beyond that range is held at its end, as the processor's own
// conversion holds it.
static uint32_t whole_degrees(double d)
{
    if (!(d > 0))
        return 0;
    return d >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)d;
}

static void fill_needle(const Meter* m, const GUI_Point* points, uint32_t color)
{
    const GUI_ColorValue saved = GUI_GetColor();
    GUI_SetColor(color);
    wvr((int16_t)m->box[3]);
    GUI_FillPolygon(points, m->count, m->pivotX, m->pivotY);
    GUI_SetColor(saved);
}

// Repaints the background inside the last needle's box, cut to the bitmap.
static void repaint_box(const Meter* m)
{
    const ExtMemDirEntry* e = KM_GetExtBitmap(m->bitmap);
    if (!e)
        return;
    int x0 = (int16_t)m->box[0], y0 = (int16_t)m->box[1], x1 = (int16_t)m->box[2], y1 = (int16_t)m->box[3];
    if (x0 < m->x)
        x0 = m->x;
    if (y0 < m->y)
        y0 = m->y;
    if (x1 < x0 || y1 < y0)
        return;
    wvr((int16_t)m->box[3]);
    KM_DrawBitmapClipAbs(e, m->x, m->y, x0, y0, x1, y1);
}

// The definition texts go out as they stand: most have no line end.
static int refuse(const char* text)
{
    txNotify(text);
    return 0;
}

static void arc(const Meter* m, int radius, uint32_t color, int start, int end)
{
    if (start > end)
        start -= 360;
    GUI_SetColor(color);
    // A circle of the band's radius: with a vertical half-axis of 0 the band
    // would collapse into a horizontal line through the pivot.
    GL_DrawArc(m->pivotX, m->pivotY, radius, radius, start, end);
}

static int pen_fits(int pen)
{
    return pen >= 1 && pen <= LCD_GetXSize() && pen <= LCD_GetYSize();
}

// The arc angle of a band value at definition: the integer part of the
// value's angle (0 when negative) plus 270, mod 360.
static int define_arc_angle(const Meter* m, int v)
{
    return (int)((whole_degrees(value_angle(m, v)) + 270u) % 360u);
}

// The arc angle of a band value when the band moves.
static int band_arc_angle(const Meter* m, int v)
{
    const double d = (double)m->a - (double)sweep_of(m) * (double)from_min(m, v) / (double)range_of(m) + 360 - 90;
    return (int)(whole_degrees(d) % 360u);
}

// The stored angle of one the host gives: 360 - a while the angle sense is
// set (always); 0 when that does not fit the record's 32 bits.
static int stored_angle(int a, int32_t* out)
{
    const int64_t t = angleSense ? 360 - (int64_t)a : a;
    if (t > INT32_MAX)
        return 0;
    *out = (int32_t)t;
    return 1;
}

// A band's arc about the pivot lies in the coordinates' room.
static int radius_fits(int r)
{
    return r <= COORD_LIMIT;
}

int meterDefine(char* line)
{
    int f[26];
    char c1[4] = "", c2[4] = "";
    const int band = strncmp(line, "mdb ", 4) == 0;
    int fields, count;
    if (band) {
        fields = KM_sscanf(line,
                        "mdb %d %d %d %d %d %d %d %d %d %d %d %d %d %d %3s %3s %d %d %d %d %d %d %d %d %d", &f[0],
                        &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12],
                        &f[13], c1, c2, &f[14], &f[15], &f[16], &f[17], &f[18], &f[19], &f[20], &f[21], &f[22]);
        if (fields < 24)
            return refuse(":missing argument(s)");
        count = (fields - 16) / 2 - 1;
    } else {
        fields = KM_sscanf(line,
                        "md %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d", &f[0],
                        &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12],
                        &f[13], &f[14], &f[15], &f[16], &f[17], &f[18], &f[19], &f[20], &f[21], &f[22], &f[23],
                        &f[24], &f[25]);
        if (fields < 18)
            return refuse(":missing argument(s)");
        count = (fields - 10) / 2 - 1;
    }
    const int n = f[0], bitmap = f[1], x = f[2], y = f[3], lo = f[5], hi = f[6], initial = f[7];
    // Where the pivot and the points stand in f.
    const int* rest = band ? &f[14] : &f[10];
    if (n < 0 || n >= METER_COUNT) {
        char t[40];
        snprintf(t, sizeof t, ":index %d > max %d\r", n, METER_COUNT - 1);
        return refuse(t);
    }
    const ExtMemDirEntry* e = KM_GetExtBitmap(bitmap);
    if (!e) {
        char t[40];
        snprintf(t, sizeof t, ":bitmap %d invalid\r", bitmap);
        return refuse(t);
    }
    if (!screenCompressedBitmap(e))
        return 0;
    if (initial < lo || initial > hi)
        return refuse(":Initial value out of range");
    // Every angle divides by max - min.
    if (lo == hi)
        return 0;

    // The meter's place and its pivot, origin added, in the coordinates'
    // room.
    const long long mx = (long long)x + Origin_X, my = (long long)y + Origin_Y;
    if (!coordInRange(mx) || !coordInRange(my) || !coordInRange(mx + rest[0]) || !coordInRange(my + rest[1]))
        return 0;
    int32_t a, b;
    if (!stored_angle(f[8], &a) || !stored_angle(f[9], &b) || (band && !radius_fits(f[12])))
        return 0;

    Meter* m = &meters[n];
    m->band.color = 0xFFFFFFFFu;
    m->x = (int)mx;
    m->y = (int)my;
    m->count = (uint8_t)count;
    m->color = m->lastColor = GUI_GetColor();
    m->max = hi;
    m->initial = initial;
    m->bitmap = bitmap;
    m->a = a;
    m->b = b;
    m->min = lo;
    m->pivotX = (int16_t)(m->x + rest[0]);
    m->pivotY = (int16_t)(m->y + rest[1]);
    for (int i = 0; i < count; ++i) {
        m->points[i].x = (int16_t)rest[2 + 2 * i];
        m->points[i].y = (int16_t)rest[3 + 2 * i];
    }
    if (band) {
        m->band.low = f[10];
        m->band.high = f[11];
        m->band.radius = f[12];
        m->band.pen = f[13];
        m->band.color = atoBGR(c1);
        m->band.color2 = atoBGR(c2);
    }

    KM_DrawBitmap(e, m->x, m->y);

    if (band) {
        if (!pen_fits(m->band.pen))
            return refuse(":pen width out of range");
        const GUI_ColorValue saved = GUI_GetColor();
        GUI_SetPenSize((uint8_t)m->band.pen);
        arc(m, m->band.radius, m->band.color2, (int)(((int64_t)m->b + 270) % 360), (int)(((int64_t)m->a + 270) % 360));
        m->band.start = define_arc_angle(m, m->band.high);
        m->band.end = define_arc_angle(m, m->band.low);
        arc(m, m->band.radius, m->band.color, m->band.start, m->band.end);
        GUI_SetColor(saved);
    }

    const float deg = value_angle(m, initial);
    GUI_RotatePolygon(m->points, m->points, count, (float)(deg * kDegToRad));
    savePolyBoxCorners(m->pivotX, m->pivotY, m->points, count, m->box);
    fill_needle(m, m->points, m->color);
    m->last = initial;
    return 1;
}

static Meter* usable(int n, int v)
{
    if (n < 0 || n >= METER_COUNT)
        return 0;
    Meter* m = &meters[n];
    // Entry 0 of the image is the macro table, never a background.
    if (m->bitmap <= 0 || v < m->min || v > m->max)
        return 0;
    return m;
}

// Turns the stored points to value v and draws them in color, after the
// background under the old needle was repainted.
static void move_needle(Meter* m, int v, uint32_t color, int repaint)
{
    const double rad = (double)sweep_of(m) / (double)range_of(m) * (double)((int64_t)m->initial - v) * kDegToRad;
    GUI_Point work[METER_POINTS];
    GUI_RotatePolygon(work, m->points, m->count, (float)rad);
    if (repaint)
        repaint_box(m);
    savePolyBoxCorners(m->pivotX, m->pivotY, work, m->count, m->box);
    m->last = v;
    m->lastColor = color;
    fill_needle(m, work, color);
}

int meterValue(int n, int v)
{
    Meter* m = usable(n, v);
    if (!m)
        return 0;
    if (v == m->last)
        return 1;
    move_needle(m, v, m->color, 1);
    return 1;
}

static void band_arcs(Meter* m, const MeterBand* o, const MeterBand* nb)
{
    const int r = nb->radius;
    const uint32_t ol = (uint32_t)o->low, oh = (uint32_t)o->high, nl = (uint32_t)nb->low, nh = (uint32_t)nb->high;
    const int oLow = band_arc_angle(m, o->low), oHigh = band_arc_angle(m, o->high);
    const int nLow = band_arc_angle(m, nb->low), nHigh = band_arc_angle(m, nb->high);
    const int recolour = nb->color != o->color;
    if (nh < ol || nl > oh) {
        arc(m, r, nb->color2, oHigh, oLow);
        arc(m, r, nb->color, nHigh, nLow);
    } else if (nl <= ol && nh >= oh) {
        if (recolour) {
            arc(m, r, nb->color, nHigh, nLow);
        } else {
            if (nh > oh)
                arc(m, r, nb->color, nHigh, oHigh);
            if (nl < ol)
                arc(m, r, nb->color, oLow, nLow);
        }
    } else {
        if (nh < oh)
            arc(m, r, nb->color2, oHigh, nHigh);
        else if (nh > oh && !recolour)
            arc(m, r, nb->color, nHigh, oHigh);
        if (recolour)
            arc(m, r, nb->color, nHigh, nLow);
        if (nl > ol)
            arc(m, r, nb->color2, nLow, oLow);
        else if (nl < ol && !recolour)
            arc(m, r, nb->color, oLow, nLow);
    }
}

int meterValueband(int n, int v, const MeterBand* band, uint32_t needleColor)
{
    Meter* m = usable(n, v);
    if (!m || (band && !radius_fits(band->radius)))
        return 0;
    const int valueChanged = v != m->last;
    const int needle = valueChanged || needleColor != m->lastColor;
    const int bandChanged =
        band && (band->low != m->band.low || band->high != m->band.high || band->color != m->band.color);
    if (!needle && !bandChanged)
        return 1;
    if (needle)
        move_needle(m, v, needleColor, valueChanged);
    if (bandChanged) {
        const MeterBand old = m->band;
        m->band = *band;
        m->band.start = band_arc_angle(m, band->high);
        m->band.end = band_arc_angle(m, band->low);
        if (!pen_fits(band->pen))
            return refuse(":pen width out of range");
        const GUI_ColorValue saved = GUI_GetColor();
        GUI_SetPenSize((uint8_t)band->pen);
        band_arcs(m, &old, &m->band);
        GUI_SetColor(saved);
    }
    return 1;
}

int cmdMeterValueBand(const char* line)
{
    int n, v, low, high, radius, pen;
    MeterBand b;
    char c1[4] = "", c2[4] = "";
    const int fields = KM_sscanf(line, "mvb %d %d %d %d %d %d %3s %3s", &n, &v, &low, &high, &radius, &pen, c1, c2);
    if (fields < 2)
        return -1;
    if (fields == 2) {
        if (n < 0 || n >= METER_COUNT)
            return 0;
        return meterValueband(n, v, 0, meters[n].lastColor);
    }
    if (fields < 8) {
        txNotify(":Incorrect number of parameters");
        return meterValue(n, v);
    }
    b.low = low;
    b.high = high;
    b.radius = radius;
    b.pen = pen;
    b.color = atoBGR(c1);
    b.color2 = (n >= 0 && n < METER_COUNT) ? meters[n].band.color2 : 0;
    b.start = b.end = 0;
    return meterValueband(n, v, &b, atoBGR(c2));
}
