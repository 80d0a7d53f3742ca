// The FocalTech capacitive touch controller: the tick only counts its
// interrupt line; the controller is read over I2C from the main loop, when
// a caller asks for the touch state and the line was active since the last
// read.  The published State holds the controller's 12-bit coordinates,
// which the five-point calibration maps to the screen as for the resistive
// panel.
#include "app/KM_captouch.h"

#include "config/build_config.h"

#if TOUCH_CAPACITIVE

#include <stdio.h>

#include "app/KM_reply.h"
#include "app/KM_text.h"
#include "app/KM_touch.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/serialmem.h"

#define FOCALTECH_DEVICE 0x70
#define FOCALTECH_INT_PIN 6
// The report starts at the touch-point count.
#define FOCALTECH_REPORT_REG 2
#define FOCALTECH_REPORT_LEN 6

enum { EV_MASK = 0xC0, EV_DOWN = 0x00, EV_LIFT = 0x40, EV_CONTACT = 0x80 };

volatile uint8_t focalTech_INT_counter;

static uint8_t seenCounter;
static uint8_t caughtRelease;
static int32_t lastX, lastY;

void initFocalTechTouch(void)
{
    focalTech_INT_counter = 0;
}

void checkFocalTechINT(void)
{
    if (!(hw_read32(GPIO_PORT(PORT_B) + GPIO_SSR) & (1u << FOCALTECH_INT_PIN)))
        focalTech_INT_counter = (uint8_t)(focalTech_INT_counter + 1);
}

// The tick's touch duty in this build: only the interrupt line is counted.
void KM_Update_Touch(void)
{
    checkFocalTechINT();
}

static void publish(uint8_t pressed, int32_t x, int32_t y)
{
    State.x = x;
    State.y = y;
    State.pressed = pressed;
}

void checkFocalTechTouch(uint8_t verbose)
{
    const uint8_t now = focalTech_INT_counter;
    if (now == seenCounter)
        return;
    seenCounter = now;

    uint8_t b[FOCALTECH_REPORT_LEN] = {FOCALTECH_REPORT_REG};
    // A transfer the bus did not finish has told nothing.  (The status of a
    // finished read always shows "not acknowledged": the master itself
    // does not acknowledge the last byte; a controller that does not answer
    // leaves the bytes at 0xFF, which reads as "no event".)
    if (I2Cio(FOCALTECH_DEVICE, 1, FOCALTECH_REPORT_LEN, b) & I2C_TIMED_OUT)
        return;

    switch (b[1] & EV_MASK) {
    case EV_LIFT:
        if (!caughtRelease) {
            publish(0, -1, -1);
            caughtRelease = 1;
            lastX = lastY = 0;
        }
        break;
    case EV_DOWN:
    case EV_CONTACT:
        if ((b[0] & 0x0F) == 1) {
            const int32_t x = ((b[3] & 0x0F) << 8) + b[4];
            const int32_t y = ((b[1] & 0x0F) << 8) + b[2];
            if (x != lastX || y != lastY) {
                publish(1, x, y);
                caughtRelease = 0;
                lastX = x;
                lastY = y;
            }
        } else if (verbose) {
            txNotify("Multi-touch not supported!\r");
        }
        break;
    default:
        if (verbose) {
            char text[48];
            snprintf(text, sizeof text, "S:%02X YH:%02X YL:%02X XH:%02X XL:%02X\r", b[0], b[1], b[2], b[3], b[4]);
            txNotify(text);
        }
        break;
    }
}

void KM_Touch_Get_State(int* pressed, int* px, int* py)
{
    checkFocalTechTouch((uint8_t)debug_touch);
    if (pressed)
        *pressed = State.pressed;
    if (px)
        *px = State.x;
    if (py)
        *py = State.y;
}

#endif
