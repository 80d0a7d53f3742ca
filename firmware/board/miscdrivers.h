// The board's small drivers: the beeper's tone generator (GPT1 on PC14),
// its volume (the PWM on PE5) and the external-speaker switch (PF7).
#pragma once

#include <stdint.h>

// Beeper set-up: PE5 to the PWM, the PWM reset and started at duty 0, GPT1
// reset, PC14 a low GPIO output, then the speaker switch from the
// configuration record.
void InitAudio(void);
// A square wave of f Hz (low 16 bits) on PC14; 0 Hz gives silence.
void SoundOn(uint32_t f);
// Stops the tone and leaves PC14 a low GPIO output.
void SoundOff(void);
// PWM duty for volume v: 0 silent, 255 (and above) full.
void SetAudioVolume(uint32_t v);
// PF7 low enables the external speaker; the choice is kept in the record
// (the caller saves it).
void SetExtSpeaker(int on);
int GetExtSpeaker(void);
