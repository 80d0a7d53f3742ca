// Resistive touch input: the converters on CSPI2 (TSC2046, or SX8652 on
// plus-E boards) and the 1 ms sampler (KM_touch.cpp), the five-point
// calibration and its screens (KM_touchcal.cpp), and the hotspots with their
// press, release and auto-repeat reports (KM_hotspot.cpp).
#pragma once

#include <stdint.h>

// ---------------------------------------------------------------- sampler

// The published touch point.  Up: x = y = -1, pressed 0.  While pressed,
// x and y are raw 0..1023 converter values in the panel's order (x is the
// converter's Y channel unless touchSwap is set).  Written by the tick.
struct TouchState {
    volatile int32_t x;
    volatile int32_t y;
    volatile uint8_t pressed;
};
extern TouchState State;

extern uint8_t read_x, read_y, read_z1, read_z2;
extern int32_t velm5_plus_E_platform;
// Set while the calibration screens measure points: raw order unswapped and
// a 10 ms hold-off.
extern int32_t calibratingTouch;
extern uint32_t lastPress, pMin, pMax, stateX, stateY;
extern uint8_t Ever_touched;

#define TTRACE_ENTRIES 1024
struct TtraceEntry {
    int32_t a, b, c;
};
extern TtraceEntry ttraceData[TTRACE_ENTRIES];
extern int32_t ttraceIndex;

// touchMode option bits.
enum { TOUCH_MODE_L = 1, TOUCH_MODE_P = 2, TOUCH_MODE_W = 4 };

void InitTouch(void);
void InitTouch2(void);
void KM_Touch_Init(void);
void KM_Update_Touch(void);
void enableTouch(int on);
int GetPenState(void);
void KM_Touch_Get_State(int* pressed, int* x, int* y);
void KM_Touch_Set_State(uint8_t pressed, int x, int y);
void KM_Touch_Info(int* lastPressOut, int* pMinOut, int* pMaxOut, int* state);
uint8_t KM_Touch_ever(void);
void KM_Touch_ever_reset(void);
int KM_GetTouch(int* x, int* y);
void convToScreenXY(uint32_t* x, uint32_t* y);
void ReadTouchStable(uint8_t cmd, uint32_t* out);
void ReadTouchX2(uint32_t* x);
void ReadTouchY2(uint32_t* y);
int ReadTouch(uint32_t* x, uint32_t* y);
int ReadTouchZ(uint32_t* z1, uint32_t* z2);
int readTemp(void);
void ttrace(int a, int b, int c);
void ClearTtrace(void);
void TouchShowTtrace(void);

// ---------------------------------------------------------------- calibration

extern int32_t calLogX[5], calLogY[5], calPhyX[5], calPhyY[5];
extern int32_t prMin[4], prMax[4];

int KM_Touch_Calibrate(const int16_t* logX, const int16_t* logY, const int16_t* physX, const int16_t* physY);
int KM_Touch_Calibrate_Default(void);
int KM_Touch_Calibrate_from_EEPROM(void);
int ADC2X(int px, int py);
int ADC2Y(int px, int py);
void KM_GetLocation(int* x, int* y);
int getCalPoint(int rightSide, short x, short y, short* rawX, short* rawY);
int doVerify(int x, int y, int n, int timeout);
void doCalibration(void);

// ---------------------------------------------------------------- hotspots

#define HOTSPOTS 256
enum {
    SPOT_XOR = 1,
    SPOT_INVISIBLE = 2,
    SPOT_BUTTON = 3,
    SPOT_TOGGLE = 4,
    SPOT_DISABLED = 5,  // added to a type 0-4
    SPOT_FREE = 10,
};
// Event flags.
enum {
    SPOT_EV_PRESS = 1 << 0,
    SPOT_EV_RELEASE = 1 << 1,
    SPOT_EV_REPORT = 1 << 2,
    SPOT_EV_QUIET_REPEAT = 1 << 3,
    SPOT_EV_CENTRED = 1 << 4,
    SPOT_EV_XY = 1 << 5,
    SPOT_EV_BEEP = 1 << 6,
};
// State flags.
// State flags; the label bits tell that the press or release macro starts
// at the hotspot's label.
enum { SPOT_ST_REPEAT = 1 << 0, SPOT_ST_PRESS_LABEL = 1 << 1, SPOT_ST_RELEASE_LABEL = 1 << 2, SPOT_ST_PRESSED = 1 << 3 };

struct HotSpot {
    uint32_t type;
    int32_t x1, y1, x2, y2;
    uint8_t pressMacro;
    uint8_t releaseMacro;
    uint8_t eventFlags;
    uint8_t stateFlags;
};
extern HotSpot TouchHotSpots[HOTSPOTS];

extern int32_t previousSpot, currentSpot, tempSpot;
extern volatile uint32_t typematicTimer;
extern uint8_t waitForRelease, waitForNoTouch, allowPreExistingTouch, simulateTouch;
extern int32_t cursX, cursY;
extern int32_t lastHotAX, lastHotAY, lastHotRX, lastHotRY;
extern uint32_t beepMS;

int KM_SearchHotSpot(int x, int y);
int KM_Touch_HotSpot_Unset(int n);
void KM_Touch_HotSpot_Clear(void);
// Returns non-zero when a finger is on a hotspot or a hotspot changed: the
// next pass may have work without a new touch.
int handle_touch(void);
void updateSpot(int press, int spot, int process, int x, int y, uint8_t noMacro);
void spotProcess(uint8_t spot, int press, uint8_t noMacro, int x, int y);
void handle_spotNotReleasedWhenDefined(int spot);
void ButtonTimer(void);
int simTouch(int x, int y);
int buttonDisable(int n);
int buttonReEnable(int n, int noRedraw);
// Buttons (hotspots 0-127, KM_buttons.cpp).
void drawButton(int n, int down);
void buttonEvent(int n, int press, int process, uint8_t noMacro);
void toggleButtonInvert(int n);
// The state byte of button n: 1 while a toggle button is set.
int buttonState(int n);
// Queues macro m of hotspot n for an event (1 press, 0 release) at the
// start label the hotspot's binding asks for, with the event's arguments.
void startHotspotMacro(int m, int n, int event, int argsKind);

// ---------------------------------------------------------------- host commands
// Each takes the whole line.  Those that return -1 did not match: the
// dispatcher goes on with its next test.

int cmdTouchTraceClear(void);       // "tclr"
int cmdTypematic(char* cmd);        // "typematic"; -1 with a value above 255
int cmdTouchTiming(char* cmd);      // "*touchParm", "*debounce"; -1 otherwise
int cmdHotspotMacros(char* cmd);    // "xm"
int cmdHotspots(char* cmd);         // "x", "xs", ..., "xset", "xd", "xe", "touch", "*tsm", "*apt",
                                    // "*xn off", "xc"; -1 otherwise
int cmdButtons(char* cmd);          // "i", "ssb", "bd", "bdc", "bc"; -1 otherwise
int cmdTouchCalibrate(void);        // "tc"
int cmdGetTouch(void);              // "*getTouch"
int cmdTouchResetEver(char* cmd);   // "*RT", "*ever"; -1 otherwise
int cmdDebugTouch(char* cmd);       // "*debugTouch %d"; -1 otherwise
int cmdTouchDiagnostics(char* cmd); // "*touchSwap", "*tt", "*ttt", "*touchadj", "*td", "*tr", "*td2",
                                    // "*gcp"; -1 otherwise
int cmdTouchSettings(char* cmd);    // "*autoCal", "*tspan", "*tplo", "*tphi", "*tpDeltaLim", "*tsamp",
                                    // "*tcTimeout"; -1 otherwise
int cmdTouchMode(char* cmd);        // "*touchMode"
int cmdGetCalPoint(char* cmd);      // "*gcp"
