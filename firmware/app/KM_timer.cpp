#include "app/KM_timer.h"

#include "app/KM_beep.h"
#include "app/KM_touch.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "board/interrupt.h"
#include "board/lcd_driver.h"
#include "storage/sdcard.h"

volatile uint32_t delayTimer;
volatile uint32_t gpTimer;
volatile uint32_t wvrTimer;
volatile int32_t animateTimer;
volatile int32_t agifTimer;
volatile uint32_t msCounter32;
volatile uint32_t frameTimer;
volatile int ledFlashActive;
volatile uint32_t ledFlashVal;
volatile uint32_t ledFlashTimer;

#define TCTL_RUN (GPT_TCTL_TEN | GPT_TCTL_CLK_PERCLK1)
#define LCDC_LSR_STATUS 0x40
#define LCDC_STATUS_EOF (1u << 1)

void KM_TimerInit(void)
{
    const uint32_t t = GPT2_BASE;
    hw_set32(t + GPT_TCTL, GPT_TCTL_TEN);
    hw_set32(t + GPT_TCTL, GPT_TCTL_SWR);
    hw_clear32(t + GPT_TCTL, GPT_TCTL_TEN);
    hw_write32(t + GPT_TPRER, 0);
    hw_write32(t + GPT_TCMP, KM_TIMER_COUNTS_PER_MS);
    hw_write32(t + GPT_TCTL, TCTL_RUN | GPT_TCTL_COMPEN);
    interrupt_set_isr(IRQ_GPT2, msec_timer_isr);
    interrupt_enable(IRQ_GPT2, 0);
}

void KM_TimerDisable(void)
{
    hw_write32(GPT2_BASE + GPT_TCTL, TCTL_RUN);
}

void KM_TimerEnable(void)
{
    hw_write32(GPT2_BASE + GPT_TCTL, TCTL_RUN | GPT_TCTL_COMPEN);
}

static void count_down(volatile uint32_t* t)
{
    if (*t)
        *t = *t - 1;
}

static void count_down_signed(volatile int32_t* t)
{
    if (*t > 0)
        *t = *t - 1;
}

void timerLed(void)
{
    if (!ledFlashActive)
        return;
    if (ledFlashTimer) {
        ledFlashTimer = ledFlashTimer - 1;
        return;
    }
    Led(!ledState);
    ledFlashTimer = ledFlashVal;
}

void msec_timer_isr(void)
{
    if (hw_read32(LCDC_BASE + LCDC_LSR_STATUS) & LCDC_STATUS_EOF)
        frameTimer = 0;
    else
        frameTimer = frameTimer + 1;
    count_down(&delayTimer);
    count_down(&gpTimer);
    count_down(&wvrTimer);
    msCounter32 = msCounter32 + 1;
    BeepTimerCheck();
    ButtonTimer();
    count_down_signed(&animateTimer);
    count_down_signed(&agifTimer);
    KM_Update_Touch();
    timerLed();
    SDhotplugUpdate();
    hw_write32(GPT2_BASE + GPT_TSTAT, GPT_TSTAT_COMP);
}

// Counts from one reading of the timer to a later one; the counter restarts
// every millisecond.
static uint32_t counts_since(uint32_t now, uint32_t then)
{
    return now >= then ? now - then : now + KM_TIMER_COUNTS_PER_MS - then;
}

static void wait_counts(uint32_t counts)
{
    uint32_t start = KM_TimerGetRawCount();
    for (;;) {
        uint32_t since = counts_since(KM_TimerGetRawCount(), start);
        if (since >= counts)
            return;
        // A reading can lag the counter by almost a count, so the rest
        // cannot have gone before counts - since - 1 more have.
        hw_idle_for((uint32_t)((uint64_t)(counts - since - 1) * 1000000u / KM_TIMER_COUNTS_PER_MS));
    }
}

void KM_Delay_uSec(uint32_t us)
{
    // Whole steps of 512 us stay well inside one counter period.
    for (uint32_t i = us / 512; i > 0; --i)
        wait_counts(8512);
    uint32_t r = us % 512;
    if (r)
        wait_counts(r * KM_TIMER_COUNTS_PER_MS / 1000 + 1);
}

void KM_Delay(uint32_t ms)
{
    // What was drawn before a wait is shown during it.
    LCD_FlushFrameBuffer();
    while (ms--)
        KM_Delay_uSec(1000);
}

uint32_t KM_TimerGetRawCount(void)
{
    uint32_t prev = hw_read32(GPT2_BASE + GPT_TCN);
    for (;;) {
        uint32_t now = hw_read32(GPT2_BASE + GPT_TCN);
        uint32_t d = now > prev ? now - prev : prev - now;
        if (d <= 4)
            return now;
        prev = now;
    }
}

uint32_t KM_TimerElapsedMicroSecs(uint32_t earlier)
{
    return (KM_TimerGetRawCount() - earlier) * 1000 / KM_TIMER_COUNTS_PER_MS;
}

static uint32_t read_stable(volatile uint32_t* v)
{
    uint32_t a = *v;
    for (;;) {
        uint32_t b = *v;
        if (a == b)
            return b;
        a = b;
    }
}

uint32_t KM_TimerGetMsCount(void)
{
    return read_stable(&msCounter32);
}

uint32_t KM_TimerGetFrameTime(void)
{
    return read_stable(&frameTimer);
}

void KM_led_init(void) {}

void KM_led_set(uint8_t on)
{
    Led(on);
}
