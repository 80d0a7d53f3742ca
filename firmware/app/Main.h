// Start-up, the start-up screen, the main loop and the host-silence
// watchdog.
#pragma once

#include <stdint.h>

#define LINE_BUF 130

extern char myBuf[LINE_BUF];
extern char expBuf[LINE_BUF];
extern char locBuf[LINE_BUF];
extern uint8_t splashShown;
extern uint8_t macroNotify;
extern uint8_t binaryResponses;
extern int32_t userLedState;
extern int32_t ignoreTouch;
extern int32_t text_border;
extern int mx21;

struct CommWatchDog {
    uint32_t stamp;      // last host activity, ms
    uint32_t shortSecs;  // short silence
    uint32_t longSecs;   // long silence, 0 = none
    uint32_t macro;
    uint8_t flags;       // WDT_ARMED, WDT_SHORT_FIRED, WDT_LONG_FIRED
};
enum { WDT_ARMED = 1, WDT_SHORT_FIRED = 2, WDT_LONG_FIRED = 4 };
extern CommWatchDog commWatchDog;

void KM_main(void);
void GUIDEMO_main(void);
// One pass of the main loop.
void mainLoopPass(void);
void GUIDEMO_Clear(int bitmap);
void KM_Copy_Version(char* dst);
void setupCommWatchDog(int macro, int shortSecs, int longSecs);
void disableCommWatchDog(void);
// Returns non-zero when it ran a section of the watchdog macro.
int processCommWatchDog(int activity);
int cmdCommWatchDog(char* cmd);
int GUIDEMO_SetFont(const char* name);
void GUIDEMO_SetTextBorder(int x);
int GUIDEMO_GetTextBorder(void);
// Style 0 outline with the pen, 1 filled in the foreground colour, 2 dotted
// outline, 3 outline with a thin pen; 0 for any other style.
int GUIDEMO_DrawRect(int style, int x0, int y0, int x1, int y1);
void GUI_X_Init(void);
