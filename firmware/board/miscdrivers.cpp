#include "board/miscdrivers.h"

#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "storage/KM_eeprom.h"

#define BEEPER_PORT PORT_C
#define BEEPER_PIN 14
#define VOLUME_PORT PORT_E
#define VOLUME_PIN 5
#define SPEAKER_PORT PORT_F
#define SPEAKER_PIN 7

// GPT1's toggling output: the compare value is half a tone period of the
// clock the tone was tuned for.
#define TONE_CLOCK_HZ 16666666u
// PWM counts of one volume period; the sample is the volume scaled to it.
#define VOLUME_PERIOD 102u
#define VOLUME_FULL 255u

static void pin_to_peripheral(int port, int pin)
{
    uint32_t base = GPIO_PORT(port);
    hw_clear32(base + GPIO_GIUS, 1u << pin);
    hw_clear32(base + GPIO_GPR, 1u << pin);
}

void InitAudio(void)
{
    pin_to_peripheral(VOLUME_PORT, VOLUME_PIN);

    hw_write32(PWM_BASE + PWM_PWMC, PWM_PWMC_SWR);
    while (hw_read32(PWM_BASE + PWM_PWMC) & PWM_PWMC_SWR)
        hw_idle(HW_IDLE_FOREVER);
    hw_write32(PWM_BASE + PWM_PWMP, VOLUME_PERIOD);
    hw_write32(PWM_BASE + PWM_PWMS, 0);
    hw_write32(PWM_BASE + PWM_PWMC, PWM_PWMC_EN);

    hw_write32(GPT1_BASE + GPT_TPRER, 0);
    hw_write32(GPT1_BASE + GPT_TCTL, GPT_TCTL_SWR);

    gpio_make_output(BEEPER_PORT, BEEPER_PIN, 0);
    SetExtSpeaker(eepromData.externalSpeaker);
}

void SoundOn(uint32_t f)
{
    f &= 0xFFFF;
    // No tone has 0 Hz; the compare value would divide by it.
    if (f == 0) {
        SoundOff();
        return;
    }
    hw_write32(GPT1_BASE + GPT_TCTL, 0);
    hw_write32(GPT1_BASE + GPT_TCMP, TONE_CLOCK_HZ / (2 * f) - 1);
    hw_write32(GPT1_BASE + GPT_TCTL, GPT_TCTL_OM | GPT_TCTL_CLK_PERCLK1);
    hw_set32(GPT1_BASE + GPT_TCTL, GPT_TCTL_TEN);
    // PC14 to its primary function: the timer's output drives the beeper.
    uint32_t base = GPIO_PORT(BEEPER_PORT);
    pin_to_peripheral(BEEPER_PORT, BEEPER_PIN);
    hw_clear32(base + GPIO_OCR1, 3u << (2 * BEEPER_PIN));
    hw_clear32(base + GPIO_DDIR, 1u << BEEPER_PIN);
}

void SoundOff(void)
{
    // The pin goes quiet first, then the timer stops, so it does not go on
    // toggling an output that nobody hears.
    gpio_make_output(BEEPER_PORT, BEEPER_PIN, 0);
    hw_write32(GPT1_BASE + GPT_TCTL, 0);
}

void SetAudioVolume(uint32_t v)
{
    if (v > VOLUME_FULL)
        v = VOLUME_FULL;
    hw_write32(PWM_BASE + PWM_PWMS, v * VOLUME_PERIOD / VOLUME_FULL);
}

void SetExtSpeaker(int on)
{
    hw_clear32(GPIO_PORT(SPEAKER_PORT) + GPIO_PUEN, 1u << SPEAKER_PIN);
    gpio_make_output(SPEAKER_PORT, SPEAKER_PIN, on ? 0 : 1);
    eepromData.externalSpeaker = on != 0;
}

int GetExtSpeaker(void)
{
    return eepromData.externalSpeaker;
}
