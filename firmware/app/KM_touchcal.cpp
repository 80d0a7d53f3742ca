// Five-point touch calibration: the raw-to-screen mapping and the
// interactive calibration screens.
#include <stdio.h>
#include <string.h>

#include "app/KM_beep.h"
#include "app/KM_reply.h"
#include "app/KM_scan.h"
#include "app/KM_text.h"
#include "app/KM_timer.h"
#include "app/KM_touch.h"
#include "app/command.h"
#include "app/parse_command.h"
#include "board/hw.h"
#include "config/build_config.h"
#include "graphics/GUI.h"
#include "storage/KM_eeprom.h"

int32_t calLogX[5], calLogY[5], calPhyX[5], calPhyY[5];
int32_t prMin[4], prMax[4];

// Index 0 centre, 1 top-left, 2 top-right, 3 bottom-right, 4 bottom-left.
static const int16_t defLogX[5] = {PANEL_WIDTH / 2 - 1, 20, PANEL_WIDTH - 21, PANEL_WIDTH - 21, 20};
static const int16_t defLogY[5] = {PANEL_HEIGHT / 2 - 1, 20, 20, PANEL_HEIGHT - 21, PANEL_HEIGHT - 21};
static const int16_t defPhysX[5] = {500, 850, 150, 150, 850};
static const int16_t defPhysY[5] = {500, 150, 150, 850, 850};

// Where the calibration screens put their headlines.
#define CAL_TEXT_X (PANEL_WIDTH / 2)
#define CAL_TEXT_Y 180
#define CAL_POLL_MS 50
#define CAL_LIFT_POLL_MS 100
#define CAL_PRESSED_POLLS 3
#define CAL_TARGET_R 10
#define CAL_VERIFY_SLACK 12
#define CAL_BEEP_MS 100

int KM_Touch_Calibrate(const int16_t* logX, const int16_t* logY, const int16_t* physX, const int16_t* physY)
{
    for (int i = 0; i < 5; ++i) {
        calLogX[i] = logX[i];
        calLogY[i] = logY[i];
        calPhyX[i] = physX[i];
        calPhyY[i] = physY[i];
    }
    return 1;
}

int KM_Touch_Calibrate_Default(void)
{
    return KM_Touch_Calibrate(defLogX, defLogY, defPhysX, defPhysY);
}

int KM_Touch_Calibrate_from_EEPROM(void)
{
    int16_t lx[5], ly[5], px[5], py[5];
    memcpy(lx, eepromData.calX, sizeof lx);
    memcpy(px, eepromData.calRawX, sizeof px);
    memcpy(ly, eepromData.calY, sizeof ly);
    memcpy(py, eepromData.calRawY, sizeof py);
    return KM_Touch_Calibrate(lx, ly, px, py);
}

// a * b / c, or a * b when c is 0 (two equal corner readings).
static int muldiv(int a, int b, int c)
{
    return c ? a * b / c : a * b;
}

int ADC2X(int px, int py)
{
    const int32_t *X = calPhyX, *Y = calPhyY;
    int xl = X[1] + muldiv(X[4] - X[1], py - Y[1], Y[4] - Y[1]);
    int xr = X[2] + muldiv(X[3] - X[2], py - Y[2], Y[3] - Y[2]);
    return calLogX[1] + muldiv(calLogX[2] - calLogX[1], px - xl, xr - xl);
}

int ADC2Y(int px, int py)
{
    const int32_t *X = calPhyX, *Y = calPhyY;
    int yt = Y[1] + muldiv(Y[2] - Y[1], px - X[1], X[2] - X[1]);
    int yb = Y[4] + muldiv(Y[3] - Y[4], px - X[4], X[3] - X[4]);
    return calLogY[1] + muldiv(calLogY[4] - calLogY[1], py - yt, yb - yt);
}

void KM_GetLocation(int* x, int* y)
{
    if (!x || !y)
        return;
    *x = -1;
    *y = -1;
    int pressed, sx, sy;
    KM_Touch_Get_State(&pressed, &sx, &sy);
    if (pressed) {
        *x = ADC2X(sx, sy);
        *y = ADC2Y(sx, sy);
    }
}

// ---------------------------------------------------------------- screens

static void wait_ms(uint32_t ms)
{
    KM_Delay(ms);
}

static int touched(void)
{
    int p;
    KM_Touch_Get_State(&p, 0, 0);
    return p;
}

// Waits up to ms for the finger to lift, polling every 100 ms.
static int wait_for_lift(uint32_t ms)
{
    gpTimer = ms;
    while (gpTimer) {
        if (!touched())
            return 1;
        wait_ms(CAL_LIFT_POLL_MS);
    }
    return !touched();
}

static void draw_target(int x, int y)
{
    GUI_DrawCircle(x, y, CAL_TARGET_R);
    GUI_DrawLine(x - CAL_TARGET_R - 4, y, x + CAL_TARGET_R + 4, y);
    GUI_DrawLine(x, y - CAL_TARGET_R - 4, x, y + CAL_TARGET_R + 4);
}

static void label_at(const char* text, int rightSide, int x, int y)
{
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetTextAlign(rightSide ? GUI_TA_RIGHT : GUI_TA_LEFT);
    GUI_DispStringAt(text, rightSide ? x - 20 : x + 20, y - 10);
    GUI_SetTextAlign(GUI_TA_LEFT);
}

static void show_seconds(int rightSide, int x, int y, uint32_t ms)
{
    char t[16];
    snprintf(t, sizeof t, "%2u ", (unsigned)((ms + 999) / 1000));
    label_at(t, rightSide, x, y + 20);
}

int getCalPoint(int rightSide, short x, short y, short* rawX, short* rawY)
{
    const uint32_t timeout = eepromData.tcTimeout * 1000u;
    draw_target(x, y);
    label_at("Press here", rightSide, x, y);
    int polls = 0;
    int32_t sumX = 0, sumY = 0;
    gpTimer = timeout;
    while (gpTimer && polls < CAL_PRESSED_POLLS) {
        int p, sx, sy;
        KM_Touch_Get_State(&p, &sx, &sy);
        if (p) {
            sumX += sx;
            sumY += sy;
            ++polls;
        }
        show_seconds(rightSide, x, y, gpTimer);
        wait_ms(CAL_POLL_MS);
    }
    if (polls < CAL_PRESSED_POLLS) {
        GUI_Clear();
        return 0;
    }
    KM_Beep(CAL_BEEP_MS);
    *rawX = (short)(sumX / CAL_PRESSED_POLLS);
    *rawY = (short)(sumY / CAL_PRESSED_POLLS);
    GUI_Clear();
    label_at("OK", rightSide, x, y);
    int lifted = wait_for_lift(timeout);
    GUI_Clear();
    return lifted;
}

int doVerify(int x, int y, int n, int timeout)
{
    char num[4];
    snprintf(num, sizeof num, "%d", n);
    GUI_DrawCircle(x, y, CAL_TARGET_R);
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetTextAlign(GUI_TA_HCENTER | GUI_TA_VCENTER);
    GUI_DispStringAt(num, x, y);
    GUI_SetTextAlign(GUI_TA_LEFT);
    gpTimer = (uint32_t)timeout * 1000u;
    while (gpTimer) {
        int px, py;
        KM_GetLocation(&px, &py);
        if (px != -1) {
            GUI_DrawPoint(px, py);
            gpTimer = (uint32_t)timeout * 1000u;
            int dx = px - x, dy = py - y;
            if (dx <= CAL_VERIFY_SLACK && dx >= -CAL_VERIFY_SLACK && dy <= CAL_VERIFY_SLACK &&
                dy >= -CAL_VERIFY_SLACK) {
                prMin[n - 1] = (int32_t)pMin;
                prMax[n - 1] = (int32_t)pMax;
                KM_Beep(CAL_BEEP_MS);
                return 1;
            }
        }
        wait_ms(10);
    }
    return 0;
}

static void centred(const char* text, int y)
{
    GUI_SetTextAlign(GUI_TA_HCENTER);
    GUI_DispStringAt(text, CAL_TEXT_X, y);
    GUI_SetTextAlign(GUI_TA_LEFT);
}

// The pressure check of the calibration: 1 when the check points were all
// pressed inside the pressure window.
static int pressure_ok(void)
{
    const EepromRecord& e = eepromData;
    int low = 0, high = 0;
    for (int i = 0; i < 4; ++i) {
        if (prMin[i] < (int32_t)e.tplo)
            low = 1;
        if (prMax[i] > (int32_t)e.tphi)
            high = 1;
    }
    if (!low && !high)
        return 1;
    GUI_Clear();
    GUI_SetFont(&GUI_FontMono10AA4);
    GUI_DispStringAt("TouchMode P (pressure) fault: \n\n", 0, 0);
    char line[OUT_BUFFER_SIZE];
    if (low) {
        txString(":*** CAL PRESSURE LESS THAN CURRENT LIMIT ***\r");
        snprintf(line, sizeof line, ":Measured Pressure Min = %d %d %d %d; limit %d\r", (int)prMin[0],
                 (int)prMin[1], (int)prMin[2], (int)prMin[3], (int)e.tplo);
        txString(line);
        GUI_DispString("*** CAL PRESSURE LESS THAN CURRENT LIMIT ***\n");
        line[strlen(line) - 1] = '\n';
        GUI_DispString(line + 1);
    }
    if (high) {
        txString(":*** CAL PRESSURE MORE THAN CURRENT LIMIT ***\r");
        snprintf(line, sizeof line, ":Measured Pressure Max = %d %d %d %d; limit %d\r", (int)prMax[0],
                 (int)prMax[1], (int)prMax[2], (int)prMax[3], (int)e.tphi);
        txString(line);
        GUI_DispString("*** CAL PRESSURE MORE THAN CURRENT LIMIT ***\n");
        line[strlen(line) - 1] = '\n';
        GUI_DispString(line + 1);
    }
    GUI_DispString("\nTouch display to continue...");
    gpTimer = eepromData.tcTimeout * 1000u;
    while (gpTimer && !touched())
        wait_ms(CAL_POLL_MS);
    wait_for_lift(eepromData.tcTimeout * 1000u);
    return 0;
}

// Ends an abandoned calibration: the stored calibration and the settings
// the screens changed are in force again.
static void abandon(uint8_t oldSwap, uint8_t oldMode)
{
    calibratingTouch = 0;
    eepromData.touchSwap = oldSwap;
    eepromData.touchMode = oldMode;
    KM_Touch_Calibrate_from_EEPROM();
    GUI_Clear();
}

void doCalibration(void)
{
    int16_t tx[5], ty[5];
    for (int i = 0; i < 5; ++i) {
        tx[i] = (int16_t)(defLogX[i] + Origin_X);
        ty[i] = (int16_t)(defLogY[i] + Origin_Y);
    }
    GUI_SetTextMode(0);
    GUI_SetPenSize(2);
    KM_Touch_Calibrate_Default();
    const uint8_t oldMode = eepromData.touchMode;
    const uint8_t oldSwap = eepromData.touchSwap;
    eepromData.touchMode = 0;

    GUI_Clear();
    GUI_SetFont(&GUI_Font16B_1);
    if (touched()) {
        centred("PLEASE REMOVE FINGER\nSO CALIBRATION CAN START", CAL_TEXT_Y);
        if (!wait_for_lift(5000)) {
            GUI_Clear();
            centred("ERROR - SENSOR BEING TOUCHED\nBEFORE CALIBRATION CAN START", CAL_TEXT_Y);
            wait_ms(2000);
            abandon(oldSwap, oldMode);
            return;
        }
        GUI_Clear();
    }
    centred("CALIBRATING TOUCH SCREEN", CAL_TEXT_Y);
    calibratingTouch = 1;
    int16_t A[5], B[5];
    static const uint8_t kRightSide[5] = {0, 0, 1, 1, 0};
    for (int i = 0; i < 5; ++i) {
        short ax, by;
        if (!getCalPoint(kRightSide[i], tx[i], ty[i], &ax, &by)) {
            abandon(oldSwap, oldMode);
            return;
        }
        A[i] = ax;
        B[i] = by;
    }
    int d43 = A[4] - A[3], d23 = A[2] - A[3];
    if ((d43 < 0 ? -d43 : d43) > (d23 < 0 ? -d23 : d23)) {
        eepromData.touchSwap = 0;
    } else {
        eepromData.touchSwap = 1;
        for (int i = 0; i < 5; ++i) {
            int16_t t = A[i];
            A[i] = B[i];
            B[i] = t;
        }
    }
    KM_Touch_Calibrate(tx, ty, A, B);
    calibratingTouch = 0;

    GUI_Clear();
    GUI_SetFont(&GUI_Font16B_1);
    centred("Touch anywhere to see alignment", CAL_TEXT_Y);
    centred("Then, touch circles 1 - 4", CAL_TEXT_Y + 36);
    centred("to save new calibration", CAL_TEXT_Y + 52);
    for (int n = 1; n <= 4; ++n)
        if (!doVerify(tx[n], ty[n], n, eepromData.tcTimeout)) {
            abandon(oldSwap, oldMode);
            return;
        }
    if (oldMode & TOUCH_MODE_P)
        pressure_ok();

    eepromData.touchMode = oldMode;
    memcpy(eepromData.calX, tx, sizeof tx);
    memcpy(eepromData.calRawX, A, sizeof A);
    memcpy(eepromData.calY, ty, sizeof ty);
    memcpy(eepromData.calRawY, B, sizeof B);
    KM_EEPROM_Save();
    KM_Touch_Calibrate_from_EEPROM();
    GUI_Clear();
    GUI_SetFont(&GUI_Font16B_1);
    centred("NEW CALIBRATION SAVED", CAL_TEXT_Y);
    wait_ms(1000);
    if (debug_touch) {
        pout("Pressure Min = %d %d %d %d\r", (int)prMin[0], (int)prMin[1], (int)prMin[2], (int)prMin[3]);
        pout("Pressure Max = %d %d %d %d\r", (int)prMax[0], (int)prMax[1], (int)prMax[2], (int)prMax[3]);
        centred("Please touch display to continue...", CAL_TEXT_Y + 36);
        gpTimer = eepromData.tcTimeout * 1000u;
        while (gpTimer && !touched())
            wait_ms(CAL_POLL_MS);
        pout("Calibrate info\r[#]:   ax   ay  axP  ayP\r");
        for (int i = 0; i < 5; ++i)
            pout("[%1d]:  %3d  %3d  %3d  %3d\r", i, (int)calLogX[i], (int)calLogY[i], (int)calPhyX[i],
                 (int)calPhyY[i]);
        wait_for_lift(eepromData.tcTimeout * 1000u);
    }
    GUI_Clear();
}

// ---------------------------------------------------------------- commands

int cmdTouchCalibrate(void)
{
    doCalibration();
    return CMD_OK;
}

int cmdGetCalPoint(char* cmd)
{
    int x, y;
    if (KM_sscanf(cmd, "*gcp %d %d", &x, &y) != 2) {
        txString(":err - syntax\r");
        return CMD_FAIL;
    }
    short rx, ry;
    if (!getCalPoint(x > 70, (short)x, (short)y, &rx, &ry))
        return CMD_FAIL;
    pout(":   LogX:%d, LogY:%d, PhyX:%d, PhyY:%d\r", x, y, rx, ry);
    return CMD_OK;
}
