#include "app/parse_command.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_agif.h"
#include "app/KM_animation.h"
#include "app/KM_beep.h"
#include "app/KM_ScrollTB.h"
#include "app/KM_Textwindow.h"
#include "app/KM_bitmaps.h"
#include "app/KM_chart.h"
#include "app/KM_diagnostics.h"
#include "app/KM_com.h"
#include "app/KM_draw.h"
#include "app/KM_imagefiles.h"
#include "app/KM_macros.h"
#include "app/KM_meter.h"
#include "app/KM_programming.h"
#include "app/KM_scan.h"
#include "app/KM_slider.h"
#include "app/KM_syscmds.h"
#include "app/KM_text.h"
#include "app/KM_touch.h"
#include "app/Main.h"
#include "app/command.h"
#include "storage/KM_config.h"

char out_buffer[OUT_BUFFER_SIZE];

static int exact(const char* cmd, const char* kw)
{
    return strcmp(cmd, kw) == 0;
}

static int prefix(const char* cmd, const char* kw)
{
    return strncmp(cmd, kw, strlen(kw)) == 0;
}

int parse_command(char* cmd)
{
    unsigned u, hi, lo;
    int d;
    unsigned ul;
    int l1, l2;
    // Fields of the drawing commands' forms.
    int dv[8];
    unsigned dx1, dx2;
    char dw1[10], dw2[10];
    int dn;

    // The keyword tests in their fixed order; the first that matches
    // decides.  Families that are not built into this firmware yet do not
    // match, so their lines end as unknown lines do.
    if (prefix(cmd, "md ") || prefix(cmd, "mdb "))
        return meterDefine(cmd);
    if (KM_sscanf(cmd, "mv %d %d", &dv[0], &dv[1]) == 2)
        return meterValue(dv[0], dv[1]);
    if ((d = cmdMeterValueBand(cmd)) >= 0)
        return d;

    if (exact(cmd, "tclr"))
        return cmdTouchTraceClear();

    if (cmd[0] == 'p' && cmd[1] == 'r')
        return cmdPixelRead(cmd);
    if (cmd[0] == 'p' && cmd[1] == 'w')
        return cmdPixelWrite(cmd);

    if (rs485Mode() && exact(cmd, "Q"))
        return cmdQueuedReports();

    if (prefix(cmd, "*rs485") && (d = cmdRs485(cmd)) >= 0)
        return d;

    if (exact(cmd, "ss"))
        return cmdStateSave();
    if (exact(cmd, "sr"))
        return cmdStateRestore();

    if ((d = cmdAnimation(cmd)) >= 0)
        return d;

    if (prefix(cmd, "agifd"))
        return agif_disable(cmd) ? CMD_OK : CMD_FAIL;
    if (prefix(cmd, "agif"))
        return agif_start(cmd) ? CMD_OK : CMD_FAIL;

    if (prefix(cmd, "tu "))
        return cmdTextUnquoted(cmd);
    if (prefix(cmd, "t? \""))
        return cmdTextWidth(cmd);
    if (prefix(cmd, "ts") || prefix(cmd, "t "))
        return cmdText(cmd);
    if (prefix(cmd, "T \""))
        return cmdTextAt(cmd);

    if (cmd[0] == 's' && cmd[1] == 't' && (d = cmdScrollTB(cmd)) >= 0)
        return d;
    if (cmd[0] == 't' && cmd[1] == 'w' && (d = cmdTextwindow(cmd)) >= 0)
        return d;

    if (prefix(cmd, "pgr"))
        return cmdPolygon(cmd, POLY_OUTLINE, 1);
    if (prefix(cmd, "pg"))
        return cmdPolygon(cmd, POLY_OUTLINE, 0);
    if (prefix(cmd, "pfr"))
        return cmdPolygon(cmd, POLY_FILLED, 1);
    if (prefix(cmd, "pf"))
        return cmdPolygon(cmd, POLY_FILLED, 0);
    if (KM_sscanf(cmd, "ppgr %d", &dv[0]) == 1)
        return cmdPolygonRedraw(dv[0]);
    if (prefix(cmd, "plr"))
        return cmdPolygon(cmd, POLY_LINE, 1);
    if (prefix(cmd, "pl"))
        return cmdPolygon(cmd, POLY_LINE, 0);
    if (KM_sscanf(cmd, "p %u", &u) == 1)
        return cmdPenSize(u);
    if (exact(cmd, "p"))
        return cmdPenQuery();

    if (prefix(cmd, "ta"))
        return cmdTextAlign(cmd);
    if (KM_sscanf(cmd, "sb %d", &d) == 1 || exact(cmd, "su") || KM_sscanf(cmd, "SB %c%c%c", dw1, dw1 + 1, dw1 + 2) == 3 ||
        exact(cmd, "SU"))
        return CMD_OK;  // accepted and ignored
    if (KM_sscanf(cmd, "*debug %d", &d) == 1)
        return cmdDebug(d);

    if (prefix(cmd, "baud"))
        return cmdBaud(cmd);
    if (prefix(cmd, "temp"))
        return cmdTemperature();

    if (prefix(cmd, "typematic") && (d = cmdTypematic(cmd)) >= 0)
        return d;
    if ((d = cmdTouchTiming(cmd)) >= 0)
        return d;

    if (prefix(cmd, "ls")) {
        // Every listing needs a valid image first.
        if (cmdListNeedsImage() != CMD_OK)
            return CMD_FAIL;
        if (!prefix(cmd, "lsmac"))
            return cmdListBitmaps(cmd);
        return cmdMacroList(cmd);
    }

    if (prefix(cmd, "xbl on"))
        return cmdBacklight(1);
    if (prefix(cmd, "xbl of"))
        return cmdBacklight(0);

    if (prefix(cmd, "xa"))
        return cmdMacroArgs(cmd);

    if (prefix(cmd, "set"))
        return cmdMacroSet(cmd);
    if (prefix(cmd, "get"))
        return cmdMacroGet(cmd);
    if (prefix(cmd, "mpush"))
        return cmdMacroPush(cmd);
    if (prefix(cmd, "mpop"))
        return cmdMacroPop(cmd);
    if ((d = cmdMacroCall(cmd)) >= 0)
        return d;
    if ((uint8_t)cmd[0] == 0x82 && cmd[1] == 'M')
        return cmdMacroBinaryCall(cmd);

    {
        int n, x, y, a, b, c, e;
        unsigned key;
        if (KM_sscanf(cmd, "xi %d%d%d", &n, &x, &y) == 3)
            return cmdDrawBitmap(n, x, y);
        if (prefix(cmd, "xif "))
            return cmdDrawSdImageFile(cmd);
        if (KM_sscanf(cmd, "xit %d%d%d%x", &n, &x, &y, &key) == 4)
            return cmdDrawBitmapKey(n, x, y, key);
        if (KM_sscanf(cmd, "xim %d%d%d", &n, &x, &y) == 3)
            return cmdDrawBitmapCentred(n, x, y);
        if (KM_sscanf(cmd, "xic %d%d%d%d%d%d%d", &n, &x, &y, &a, &b, &c, &e) == 7)
            return cmdDrawBitmapClipped(n, x, y, a, b, c, e);
        if (KM_sscanf(cmd, "xio %d%d%d%d%d%d", &n, &x, &y, &a, &b, &c) == 6)
            return cmdDrawBitmapStrip(n, x, y, a, b, c);
    }

    if (prefix(cmd, "xma"))
        return cmdStoreGeometry();
    if (prefix(cmd, "xmc"))
        return cmdStoreErase(cmd);
    if (KM_sscanf(cmd, "xmp %x %x %d", &hi, &lo, &d) == 3)
        return cmdProgram(hi, lo, d);
    if (exact(cmd, "xmpmax"))
        return cmdMaxProgramLine();

    if (exact(cmd, "fopen"))
        return cmdCardTestFile();

    if (prefix(cmd, "xm"))
        return cmdHotspotMacros(cmd);

    if (KM_sscanf(cmd, "bdld %d %x %d %d", &d, &ul, &l1, &l2) == 4)
        return cmdBinaryDownload(d, ul, l1, l2);

    if (prefix(cmd, "*eer"))
        return cmdEepromRead(cmd);
    if (prefix(cmd, "*eew"))
        return cmdEepromWrite(cmd);
    if (prefix(cmd, "*eed"))
        return cmdEepromDump(cmd);
    if (prefix(cmd, "*eec"))
        return cmdEepromClear(cmd);
    if (prefix(cmd, "*ees"))
        return cmdEepromSave();

    {
        unsigned n1, n2;
        int t;
        if (KM_sscanf(cmd, "beep %u", &n1) == 1)
            return cmdBeep(n1);
        if (KM_sscanf(cmd, "beepw %u", &n1) == 1)
            return cmdBeepWait(n1);
        if (KM_sscanf(cmd, "al %d %u", &t, &n1) == 2)
            return cmdAlarm(t, n1);
        if (prefix(cmd, "bv"))
            return cmdBeepVolume(cmd);
        if (prefix(cmd, "bf"))
            return cmdBeepFrequency(cmd);
        if (prefix(cmd, "*spkr"))
            return cmdSpeaker(cmd);
        if (KM_sscanf(cmd, "bMaX %u", &n1) == 1)
            return cmdBeepMax(n1);
        if (KM_sscanf(cmd, "bb %u", &n1) == 1)
            return cmdClickBeep(n1);
        int rb = KM_sscanf(cmd, "rb %u %u %d", &n1, &n2, &t);
        if (rb == 3 || rb == 2)
            return cmdRepeatBeep(n1, n2, t, rb == 3);
    }

    if (KM_sscanf(cmd, "dp %d %d", &dv[0], &dv[1]) == 2)
        return cmdPoint(dv[0], dv[1]);
    if (KM_sscanf(cmd, "s %d %d", &dv[0], &dv[1]) == 2)
        return cmdColors(dv[0], dv[1]);
    if (exact(cmd, "S"))
        return cmdColorQuery();
    if (KM_sscanf(cmd, "S %x %x", &dx1, &dx2) == 2)
        return cmdColorsRGB(dx1, dx2);
    if (KM_sscanf(cmd, "S %9s %9s", dw1, dw2) == 2)
        return cmdColorWords(dw1, dw2);

    if (prefix(cmd, "tm"))
        return cmdTextMode(cmd);

    if (KM_sscanf(cmd, "d %9s", dw1) == 1)
        return cmdDrawMode(dw1);
    if (prefix(cmd, "sc"))
        return cmdCursor(cmd);

    if (prefix(cmd, "out"))
        return cmdOut(cmd, 0);
    if (prefix(cmd, "aout"))
        return cmdOut(cmd, 1);
    if (prefix(cmd, "ain"))
        return cmdAuxIn();

    if (prefix(cmd, "auxIO"))
        return cmdAuxIO(cmd);

    if (KM_sscanf(cmd, "o %d %d", &dv[0], &dv[1]) == 2)
        return cmdOrigin(dv[0], dv[1]);
    if (cmd[0] == 'o')
        return cmdOriginQuery();

    if (prefix(cmd, "v on"))
        return cmdPanelPower(1);
    if (prefix(cmd, "v of"))
        return cmdPanelPower(0);

    if (prefix(cmd, "zs"))
        return cmdClearWith(cmd);
    if (cmd[0] == 'z')
        return cmdClear();
    if (KM_sscanf(cmd, "l %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3]) == 4)
        return cmdLine(dv[0], dv[1], dv[2], dv[3]);
    if ((dn = KM_sscanf(cmd, "r %d%d%d%d%d %9s", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4], dw1)) >= 4)
        return cmdRect(dn, dv[0], dv[1], dv[2], dv[3], dv[4], dw1);
    if ((dn = KM_sscanf(cmd, "tr %d%d %d%d %d%d %9s", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4], &dv[5], dw1)) >= 6)
        return cmdTriangle(dn, dv, dw1);
    if (KM_sscanf(cmd, "a %d%d %d %d%d", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4]) == 5)
        return cmdArc(dv[0], dv[1], dv[2], dv[3], dv[4]);
    if (KM_sscanf(cmd, "ef %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3]) == 4)
        return cmdEllipse(dv[0], dv[1], dv[2], dv[3], 1);
    if (KM_sscanf(cmd, "e %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3]) == 4)
        return cmdEllipse(dv[0], dv[1], dv[2], dv[3], 0);
    if ((dn = KM_sscanf(cmd, "c %d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3])) >= 3)
        return cmdCircle(dn, dv[0], dv[1], dv[2]);

    if (exact(cmd, "f"))
        return cmdFontName();
    if (exact(cmd, "f?"))
        return cmdFontList();
    if (KM_sscanf(cmd, "f %9s", dw1) == 1)
        return cmdFontSelect(dw1);

    if ((d = cmdHotspots(cmd)) >= 0)
        return d;

    if (prefix(cmd, "*STATE"))
        return cmdState();
    if (KM_sscanf(cmd, "led %9s", dw1) == 1)
        return cmdLed(dw1);

    if (KM_sscanf(cmd, "w %u", &u) == 1)
        return cmdWait(u);
    if (prefix(cmd, "vers"))
        return cmdVersion();

    if ((d = cmdButtons(cmd)) >= 0)
        return d;

    if (prefix(cmd, "tc"))
        return cmdTouchCalibrate();
    if ((d = cmdSliders(cmd)) >= 0)
        return d;
    if (exact(cmd, "*getTouch"))
        return cmdGetTouch();

    if ((d = cmdSetting(cmd, "xbb")) >= 0)
        return d;

    if (KM_sscanf(cmd, "*macdebug %d", &d) == 1)
        return cmdMacroDebug(d);
    if (KM_sscanf(cmd, "*binr %d", &d) == 1)
        return cmdBinaryResponses(d);

    if (prefix(cmd, "*macnote"))
        return cmdMacroNote(cmd);
    if (prefix(cmd, "*DEMOMAC"))
        return cmdDemoMacro(cmd);
    if (prefix(cmd, "*PONMAC"))
        return cmdPowerOnMacro(cmd);

    if (prefix(cmd, "*SPL"))
        return cmdSplash(cmd);

    if (prefix(cmd, "*MFGRESET"))
        return cmdFactoryReset();
    if (prefix(cmd, "*RESET"))
        return cmdReset();

    if (KM_sscanf(cmd, "*FB %d", &dv[0]) == 1)
        return cmdFrameBufferPixel(dv[0]);

    if (exact(cmd, "*CRC"))
        return cmdCrcScreen();
    if (exact(cmd, "*CSUM"))
        return cmdCrcFirmware();
    if (exact(cmd, "*CSUMB"))
        return cmdCrcBoot();
    if (prefix(cmd, "*CEXT"))
        return cmdCrcImage(cmd);

    if ((d = cmdTouchResetEver(cmd)) >= 0)
        return d;

    if (exact(cmd, "*prevCons"))
        return cmdPreviousConsole();
    if (prefix(cmd, "*auxEsc"))
        return cmdAuxEsc(cmd);
    if (prefix(cmd, "*com1main"))
        return cmdComMain(cmd, 0);
    if (prefix(cmd, "*com0main"))
        return cmdComMain(cmd, 1);

    if ((d = cmdDebugTouch(cmd)) >= 0)
        return d;

    if (prefix(cmd, "utf8"))
        return cmdUtf8(cmd);

    if (exact(cmd, "*rst"))
        return cmdRxReset();
    if (exact(cmd, "*SERR"))
        return CMD_FAIL;
    if (exact(cmd, "*IERR"))
        return CMD_LINE_ERROR;

    if (exact(cmd, "*BMOFF"))
        return cmdBinaryLeadOff();

    if ((d = cmdChartFamily(cmd)) >= 0)
        return d;

    if (KM_sscanf(cmd, "ws %d%d%d%d%d", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4]) == 5)
        return saveScreenArea(dv[0], dv[1], dv[2], dv[3], dv[4]);
    if (KM_sscanf(cmd, "wr %d%d%d", &dv[0], &dv[1], &dv[2]) == 3)
        return restoreScreenArea(dv[0], dv[1], dv[2]);
    if (prefix(cmd, "wrr"))
        return cmdCopySlotArea(cmd);

    if (prefix(cmd, "wvr"))
        return cmdWaitLine(cmd);
    if (prefix(cmd, "wrf"))
        return cmdWaitLineRel(cmd);

    if (KM_sscanf(cmd, "k %d%d%d%d %d%9s", &dv[0], &dv[1], &dv[2], &dv[3], &dv[4], dw1) == 6)
        return scroll(dv[0], dv[1], dv[2], dv[3], dv[4], dw1);

    if (exact(cmd, "*panel"))
        return cmdPanel();
    if (prefix(cmd, "*config"))
        return cmdConfigText(cmd);

    if ((d = cmdTouchDiagnostics(cmd)) >= 0)
        return d;

    if ((d = cmdReg16(cmd)) >= 0)
        return d;
    if (prefix(cmd, "*R"))
        return cmdRegRead(cmd);
    if (KM_sscanf(cmd, "*W %x %x", &hi, &lo) == 2)
        return cmdRegWrite(hi, lo);

    if ((d = cmdSetting(cmd, "*orient")) >= 0)
        return d;

    if ((d = cmdTouchSettings(cmd)) >= 0)
        return d;

    {
        static const char* const panelSettings[] = {"*vq", "*maxBrite", "*minBrite", "*invEnaHiTrue", "*pwmIsEnable"};
        for (const char* k : panelSettings)
            if ((d = cmdSetting(cmd, k)) >= 0)
                return d;
    }

    if (prefix(cmd, "*touchMode"))
        return cmdTouchMode(cmd);

    if (exact(cmd, "*getScreenAsBMPFile"))
        return cmdGetScreenAsBMPFile();
    if (exact(cmd, "*getConfigAsFile"))
        return cmdGetConfigAsFile();

    if (prefix(cmd, "*comwdt"))
        return cmdCommWatchDog(cmd);

    if (prefix(cmd, "*firmware"))
        return cmdFirmwareId();
    {
        static const char* const timings[] = {"*hpw", "*hfp", "*hbp", "*vpw", "*vfp", "*vbp"};
        for (const char* k : timings)
            if ((d = cmdSetting(cmd, k)) >= 0)
                return d;
    }
    if (prefix(cmd, "*paneladj"))
        return cmdPanelAdjust();
    if (prefix(cmd, "*speedtest"))
        return cmdSpeedTest(cmd);

    if (exact(cmd, "*LOADF") || exact(cmd, "*loadf"))
        return cmdLoadFileToFlash();
    if (prefix(cmd, "*LOAD") || prefix(cmd, "*load"))
        return cmdLoadImage();
    if (KM_sscanf(cmd, "*sdled %d", &d) == 1)
        return cmdSdLed(d);
    {
        char folder[17];
        if (KM_sscanf(cmd, "*sdload %16s", folder) == 1)
            return cmdSdLoad(cmd);
        if (KM_sscanf(cmd, "*cd %16s", folder) == 1)
            return cmdCardChdir(folder);
    }
    if (prefix(cmd, "*ls"))
        return cmdCardList();

    if (prefix(cmd, "*flash2ram"))
        return cmdFlashToRam();

    if (prefix(cmd, "*ee"))
        return cmdEepromLoad();

    if ((d = cmdI2cEeprom(cmd)) >= 0)
        return d;
    if (prefix(cmd, "i2cr"))
        return cmdI2cRead(cmd);
    if (prefix(cmd, "i2cw"))
        return cmdI2cWrite(cmd);
    if (exact(cmd, "*halt"))
        return cmdHalt();
    if (exact(cmd, "*ds_norm"))
        return cmdDriveStrength(0);
    if (exact(cmd, "*ds_high"))
        return cmdDriveStrength(1);
    if (prefix(cmd, "*ccsr"))
        return cmdClockOut(cmd);
    if (exact(cmd, "*ptb"))
        return cmdPortB();
    if (prefix(cmd, "*memTest"))
        return cmdMemTest(cmd);
    if (prefix(cmd, "*dumpmb"))
        return cmdDump(cmd, 0);
    if (prefix(cmd, "*dumpml"))
        return cmdDump(cmd, 1);

    if (prefix(cmd, "*ctype"))
        return cmdControllerType();

    return CMD_FAIL;
}
