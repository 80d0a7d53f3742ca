#include "storage/sdcard.h"

#include <stdio.h>
#include <string.h>

#include "app/KM_reply.h"
#include "app/KM_timer.h"
#include "board/bootio.h"
#include "board/hw.h"
#include "board/imx21.h"
#include "storage/file_sys.h"

volatile uint32_t SDhotplug;
volatile uint16_t debounce_period;
uint32_t RCA;
SD_CID CID;
SD_CSD CSD;
uint16_t sdres112, sdres96, sdres80, sdres64, sdres48, sdres32, sdres16, sdres0;
uint32_t sdDelay_uSec = 100;

// SD commands.
enum {
    SD_GO_IDLE = 0, SD_ALL_SEND_CID = 2, SD_SEND_RCA = 3, SD_SET_BUS_WIDTH = 6, SD_SELECT = 7,
    SD_SEND_CSD = 9, SD_STOP = 12, SD_SEND_STATUS = 13, SD_SET_BLOCKLEN = 16, SD_READ_BLOCK = 17,
    SD_WRITE_BLOCK = 24, SD_SEND_OP_COND = 41, SD_APP_CMD = 55,
};

// Card status (R1): current state in bits 12-9, ready for data in bit 8,
// the error bits a data command can report in bits 31-19.
#define SD_R1_STATE(r) (((r) >> 9) & 0xF)
#define SD_R1_READY_FOR_DATA (1u << 8)
#define SD_R1_ERRORS 0xFFF80000u
#define SD_STATE_TRAN 4
#define SD_OCR_BUSY_DONE 0x80000000u
#define SD_OCR_VOLTAGES 0x00FFC000u
#define SD_OCR_ASK 0x00FF8000u

#define SD_BLOCK 512u
#define SD_CHUNK_WORDS 32u  // 64 bytes move per buffer-ready flag

// Polls of a controller flag before the driver gives up: far beyond any
// response or data time-out of the controller, so only a controller that
// stopped working ends up here.
#define SD_POLL_LIMIT 200000u
#define SD_READY_POLLS 999999u
#define SD_IDENT_TRIES 200
// A card programs a block in far less than this (or stands still).
#define SD_PROGRAM_MS 1000u

// Controller time-outs in bus clocks: a data block must start within
// 0x2DB4 clocks, a response within 255.
#define SD_READ_TIMEOUT 0x2DB4u
#define SD_RESPONSE_TIMEOUT 0xFFu

static inline uint32_t sdhc(uint32_t off) { return SDHC1_BASE + off; }
static inline uint32_t sd_status(void) { return hw_read32(sdhc(SDHC_STATUS)); }

// PB13: a card in the slot pulls it low.
static int sd_pin_shows_card(void)
{
    return gpio_read(PORT_B, 13) == 0;
}

// ---------------------------------------------------------------- slot

int SDisSlotInitialized(void)
{
    return (hw_read32(CRM_BASE + CRM_PCCR0) & CRM_PCCR0_SDHC1) != 0;
}

// The SD bus lines PE18..PE23 held low while the card has no supply, so
// they do not feed it through its inputs.
void SDioLow(void)
{
    for (int pin = 18; pin <= 23; ++pin)
        gpio_make_output(PORT_E, pin, 0);
}

// The card supply is switched by PF1 and PF3, low = on.
void SDcardPower(int on)
{
    gpio_make_output(PORT_F, 1, 1);
    gpio_make_output(PORT_F, 3, 1);
    if (on) {
        gpio_write(PORT_F, 1, 0);
        gpio_write(PORT_F, 3, 0);
    }
}

// ---------------------------------------------------------------- status

// The card's status texts go to the host: on the board nothing reads the
// runtime's standard error.
static void sd_console(const char* text)
{
    txString(text);
}

// The error bits of a failed command stay in STATUS until the next command
// starts; the checks that follow the failure (the clock stop, the next
// transfer's readiness wait) see them again.  Each is reported once per
// command: these are the ones told already.
static uint32_t sdReported;

int KMReportSDStatusErrors(uint8_t reportWriteCrc)
{
    uint32_t s = sd_status();
    uint32_t fresh = s & ~sdReported;
    if (fresh & SDHC_STATUS_TIME_OUT_READ)
        sd_console(":!SD Card: Time-Out Read Data Error\r");
    if (fresh & SDHC_STATUS_TIME_OUT_RESP)
        sd_console(":!SD Card: Time-Out Response Error\r");
    if (fresh & SDHC_STATUS_WRITE_CRC_ERR)
        sd_console(":!SD Card: CRC Write Error\r");
    if (fresh & SDHC_STATUS_READ_CRC_ERR)
        sd_console(":!SD Card: CRC Read Error\r");
    if (fresh & SDHC_STATUS_RESP_CRC_ERR)
        sd_console(":!SD Card: Response CRC Error\r");
    sdReported |= s & SDHC_STATUS_ERRORS;
    uint32_t code = (s & SDHC_STATUS_WR_CRC_CODE) >> SDHC_STATUS_WR_CRC_CODE_SHIFT;
    if (code == 1 || code == 2) {
        if (reportWriteCrc && !(sdReported & SDHC_STATUS_WR_CRC_CODE))
            sd_console(":!SD Card: Write CRC Error Code\r");
        if (reportWriteCrc)
            sdReported |= SDHC_STATUS_WR_CRC_CODE;
        return 0;
    }
    return (s & SDHC_STATUS_ERRORS) == 0;
}

// Waits until STATUS shows one of the flags or an error; 1 when a flag
// came without an error.
static int sd_wait_flag(uint32_t flags)
{
    for (uint32_t i = 0; i < SD_POLL_LIMIT;) {
        uint32_t s = sd_status();
        if (s & SDHC_STATUS_ERRORS)
            return 0;
        if (s & flags)
            return 1;
        i += hw_idle(SD_POLL_LIMIT - i);
    }
    return 0;
}

int SDSetClock(int n)
{
    switch (n) {
    case 0:
        Delay_uSec(sdDelay_uSec);
        hw_write32(sdhc(SDHC_STR_STP_CLK), SDHC_STR_STP_CLK_STOP);
        for (uint32_t i = 0; i < SD_POLL_LIMIT && (sd_status() & SDHC_STATUS_CLK_RUN);)
            i += hw_idle(SD_POLL_LIMIT - i);
        break;
    case 1:
        hw_write32(sdhc(SDHC_STR_STP_CLK), SDHC_STR_STP_CLK_START);
        break;
    case 2:
        hw_write32(sdhc(SDHC_CLK_RATE), SDHC_CLK_RATE_IDENT);
        sdDelay_uSec = 100;
        Delay_uSec(100);
        break;
    default:
        hw_write32(sdhc(SDHC_CLK_RATE), SDHC_CLK_RATE_FAST);
        sdDelay_uSec = 2;
        Delay_uSec(2);
        break;
    }
    return KMReportSDStatusErrors(1);
}

// ---------------------------------------------------------------- commands

static void SendCMD(uint32_t cmd, uint32_t arg, uint32_t cdc)
{
    hw_write32(sdhc(SDHC_CMD), cmd);
    hw_write32(sdhc(SDHC_ARGH), arg >> 16);
    hw_write32(sdhc(SDHC_ARGL), arg & 0xFFFF);
    hw_write32(sdhc(SDHC_CMD_DAT_CONT), cdc);
    hw_write32(sdhc(SDHC_INT_CNTR), SDHC_INT_CNTR_ALL);
    sdReported = 0;  // what this command runs into is told anew
    SDSetClock(1);
}

// Waits for the end of the command; 1 without a response error.
static int sd_command_done(void)
{
    uint32_t i = 0;
    while (!(sd_status() & SDHC_STATUS_CMD_DONE)) {
        if (i + 1 >= SD_POLL_LIMIT)
            return 0;
        // The pass that would reach the limit gives up instead of waiting.
        i += hw_idle(SD_POLL_LIMIT - 1 - i);
    }
    return KMReportSDStatusErrors(0);
}

// A short (R1, R3, R6) response: three FIFO words; stops the clock when
// asked or on an error.  1 / 0.
static int sd_response(int stop)
{
    int ok = sd_command_done();
    if (ok) {
        sdres32 = hw_read16(sdhc(SDHC_RES_FIFO));
        sdres16 = hw_read16(sdhc(SDHC_RES_FIFO));
        sdres0 = hw_read16(sdhc(SDHC_RES_FIFO));
    }
    if (stop || !ok)
        SDSetClock(0);
    return ok;
}

uint32_t DecodeCardStatusFromR1(void)
{
    return ((uint32_t)sdres0 >> 8) | ((uint32_t)sdres16 << 8) | ((uint32_t)sdres32 << 24);
}

int SDGetResponseR2(void)
{
    int ok = sd_command_done();
    if (ok) {
        uint16_t* w[8] = {&sdres112, &sdres96, &sdres80, &sdres64, &sdres48, &sdres32, &sdres16, &sdres0};
        for (int i = 0; i < 8; ++i)
            *w[i] = hw_read16(sdhc(SDHC_RES_FIFO));
    }
    SDSetClock(0);
    return ok;
}

// Bits hi..lo of the long response (bit 127 = top of sdres112).
static uint32_t r2_bits(int hi, int lo)
{
    const uint16_t w[8] = {sdres112, sdres96, sdres80, sdres64, sdres48, sdres32, sdres16, sdres0};
    uint32_t v = 0;
    for (int bit = hi; bit >= lo; --bit)
        v = v << 1 | ((w[7 - bit / 16] >> (bit % 16)) & 1);
    return v;
}

static void sd_decode_cid(void)
{
    CID.mid = (uint8_t)(sdres112 >> 8);
    CID.oid = (uint16_t)((sdres112 & 0xFF) << 8 | sdres96 >> 8);
    CID.pnm[0] = (char)(sdres96 & 0xFF);
    CID.pnm[1] = (char)(sdres80 >> 8);
    CID.pnm[2] = (char)(sdres80 & 0xFF);
    CID.pnm[3] = (char)(sdres64 >> 8);
    CID.pnm[4] = (char)(sdres64 & 0xFF);
    CID.pnm[5] = 0;
    CID.prv = (uint8_t)(sdres48 >> 8);
    CID.psn = (uint32_t)(sdres48 & 0xFF) << 24 | (uint32_t)sdres32 << 8 | sdres16 >> 8;
    CID.mdt = (uint16_t)((sdres16 & 0x0F) << 8 | sdres0 >> 8);
}

static void sd_decode_csd(void)
{
    CSD.structure = (uint8_t)r2_bits(127, 126);
    CSD.taac = (uint8_t)r2_bits(119, 112);
    CSD.nsac = (uint8_t)r2_bits(111, 104);
    CSD.tran_speed = (uint8_t)r2_bits(103, 96);
    CSD.ccc = (uint16_t)r2_bits(95, 84);
    CSD.read_bl_len = (uint8_t)r2_bits(83, 80);
    CSD.read_bl_partial = (uint8_t)r2_bits(79, 79);
    CSD.write_blk_misalign = (uint8_t)r2_bits(78, 78);
    CSD.read_blk_misalign = (uint8_t)r2_bits(77, 77);
    CSD.dsr_imp = (uint8_t)r2_bits(76, 76);
    CSD.c_size = (uint16_t)r2_bits(73, 62);
    CSD.vdd_r_curr_min = (uint8_t)r2_bits(61, 59);
    CSD.vdd_r_curr_max = (uint8_t)r2_bits(58, 56);
    CSD.vdd_w_curr_min = (uint8_t)r2_bits(55, 53);
    CSD.vdd_w_curr_max = (uint8_t)r2_bits(52, 50);
    CSD.c_size_mult = (uint8_t)r2_bits(49, 47);
    CSD.erase_blk_en = (uint8_t)r2_bits(46, 46);
    CSD.sector_size = (uint8_t)r2_bits(45, 39);
    CSD.wp_grp_size = (uint8_t)r2_bits(38, 32);
    CSD.wp_grp_enable = (uint8_t)r2_bits(31, 31);
    CSD.r2w_factor = (uint8_t)r2_bits(28, 26);
    CSD.write_bl_len = (uint8_t)r2_bits(25, 22);
    CSD.write_bl_partial = (uint8_t)r2_bits(21, 21);
    CSD.file_format_grp = (uint8_t)r2_bits(15, 15);
    CSD.copy = (uint8_t)r2_bits(14, 14);
    CSD.perm_write_protect = (uint8_t)r2_bits(13, 13);
    CSD.tmp_write_protect = (uint8_t)r2_bits(12, 12);
    CSD.file_format = (uint8_t)r2_bits(11, 10);
}

int SDCardGetCIDString(char* out)
{
    sprintf(out, "MID=%u\rOID=%04Xh\rPNM=%s\rPSN=%06u\rMDT=%02u/%02u\r", (unsigned)CID.mid, (unsigned)CID.oid,
            CID.pnm, (unsigned)CID.psn, (unsigned)((CID.mdt >> 4) & 0xFF), (unsigned)(CID.mdt & 0x0F));
    return 1;
}

// ---------------------------------------------------------------- set-up

void SDCardSlotInit(void)
{
    if (!sd_pin_shows_card())
        return;
    SDSetClock(0);
    // PE18..PE23 to the SD controller (its primary function), pull-ups on
    // the command and data lines, none on the clock (PE21).
    uint32_t pins = 0x3Fu << 18;
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_GIUS, pins);
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_GPR, pins);
    hw_set32(GPIO_PORT(PORT_E) + GPIO_PUEN, (1u << 18) | (1u << 19) | (1u << 20) | (1u << 22));
    hw_clear32(GPIO_PORT(PORT_E) + GPIO_PUEN, 1u << 21);
    hw_set32(SYSCTRL_FMCR, SYSCTRL_FMCR_SDHC1);
    hw_set32(CRM_BASE + CRM_PCCR0, CRM_PCCR0_SDHC1);

    RCA = 0;
    hw_write32(sdhc(SDHC_STR_STP_CLK), SDHC_STR_STP_CLK_RESET);
    hw_write32(sdhc(SDHC_STR_STP_CLK), SDHC_STR_STP_CLK_RESET | SDHC_STR_STP_CLK_STOP);
    for (int i = 0; i < 8; ++i)
        hw_write32(sdhc(SDHC_STR_STP_CLK), SDHC_STR_STP_CLK_STOP);

    hw_write32(sdhc(SDHC_READ_TO), SD_READ_TIMEOUT);
    hw_write32(sdhc(SDHC_CMD_DAT_CONT), 0);
    hw_write32(sdhc(SDHC_RES_TO), SD_RESPONSE_TIMEOUT);
    hw_write32(sdhc(SDHC_BLK_LEN), SD_BLOCK);
    hw_write32(sdhc(SDHC_INT_CNTR), SDHC_INT_CNTR_ALL);
    SDSetClock(2);
    Delay(1);
}

int SDCardDetect(void)
{
    if (!sd_pin_shows_card())
        return 0;
    for (uint32_t i = 0; i < 99;) {
        if (sd_status() & SDHC_STATUS_CARD_PRESENT)
            return 1;
        i += hw_idle(99 - i);
    }
    return 0;
}

int SDCardInit(void)
{
    // CMD0 after the 80 clocks of initialisation; no response.
    SendCMD(SD_GO_IDLE, 0, SDHC_CDC_INIT | SDHC_CDC_NONE);
    int ok = sd_command_done();
    SDSetClock(0);
    if (!ok)
        return 0;

    uint32_t ocr = SD_OCR_ASK;
    int ready = 0;
    for (int tries = 0; tries < SD_IDENT_TRIES && !ready; ++tries) {
        if (!sd_pin_shows_card())
            return 0;
        SendCMD(SD_APP_CMD, 0, SDHC_CDC_R1);
        if (!sd_response(1))
            return 0;
        SendCMD(SD_SEND_OP_COND, ocr, SDHC_CDC_R3);
        if (!sd_response(1))
            return 0;
        uint32_t r = DecodeCardStatusFromR1();
        if ((r & SD_OCR_BUSY_DONE) && (r & SD_OCR_VOLTAGES))
            ready = 1;
        else
            Delay(1);
        ocr = r & ~SD_OCR_BUSY_DONE;
        if (!(ocr & SD_OCR_VOLTAGES))
            ocr = SD_OCR_ASK;
    }
    if (!ready) {
        SDSetClock(0);
        return 0;
    }

    SendCMD(SD_ALL_SEND_CID, 0, SDHC_CDC_R2);
    if (!SDGetResponseR2())
        return 0;
    sd_decode_cid();

    SendCMD(SD_SEND_RCA, 0, SDHC_CDC_R6);
    if (!sd_response(1))
        return 0;
    RCA = DecodeCardStatusFromR1() >> 16;

    SendCMD(SD_SEND_CSD, RCA << 16, SDHC_CDC_R2);
    if (!SDGetResponseR2())
        return 0;
    sd_decode_csd();

    SendCMD(SD_SELECT, RCA << 16, SDHC_CDC_BUSY | SDHC_CDC_R1);
    if (!sd_response(1))
        return 0;

    // 512-byte blocks: the only length the data path moves.
    SendCMD(SD_SET_BLOCKLEN, SD_BLOCK, SDHC_CDC_R1);
    if (!sd_response(1) || (DecodeCardStatusFromR1() & SD_R1_ERRORS))
        return 0;

    SendCMD(SD_APP_CMD, RCA << 16, SDHC_CDC_R1);
    if (!sd_response(1))
        return 0;
    SendCMD(SD_SET_BUS_WIDTH, 2, SDHC_CDC_R1);
    if (!sd_response(1))
        return 0;
    SDSetClock(3);
    return 1;
}

// The card's status by CMD13: 1 with the status in *r, 0 when the card
// does not answer.
static int sd_card_status(uint32_t* r)
{
    SendCMD(SD_SEND_STATUS, RCA << 16, SDHC_CDC_R1);
    if (!sd_response(0))
        return 0;
    *r = DecodeCardStatusFromR1();
    return 1;
}

int SDCardIsReady(void)
{
    uint32_t r;
    if (!sd_pin_shows_card() || !sd_card_status(&r))
        return 0;
    return SD_R1_STATE(r) == SD_STATE_TRAN && (r & SD_R1_READY_FOR_DATA);
}

// Waits until the card takes a data command.  A busy card answers with
// its state; a card that left the slot or does not answer at all (taken
// out and put back, so no longer identified) fails at once instead of
// holding the main loop for the whole wait.
// A mounted card that no longer answers while the slot still shows a card
// was taken out and put back faster than the debounce sees: it is
// identified and mounted again at the next main-loop pass.
static void sd_request_remount(void)
{
    __ARMLIB_disableIRQ();
    if (SDhotplug == SD_MOUNTED) {
        SDhotplug = SD_INSERTED;
        debounce_period = 0;
    }
    __ARMLIB_enableIRQ();
}

static int sd_wait_ready(void)
{
    for (uint32_t i = 0; i < SD_READY_POLLS; ++i) {
        uint32_t r;
        if (!sd_pin_shows_card())
            break;
        if (!sd_card_status(&r)) {
            sd_request_remount();
            break;
        }
        if (SD_R1_STATE(r) == SD_STATE_TRAN && (r & SD_R1_READY_FOR_DATA))
            return 1;
        Delay_uSec(1);
    }
    SDSetClock(0);
    return 0;
}

int SDCardReadBlock(uint32_t address, uint8_t* buffer)
{
    hw_write32(sdhc(SDHC_NOB), 1);
    if (!sd_wait_ready())
        return 0;
    SendCMD(SD_READ_BLOCK, address & ~(SD_BLOCK - 1), SDHC_CDC_BUS_4BIT | SDHC_CDC_DATA | SDHC_CDC_R1);
    // A card that refuses the address sends no data.
    if (!sd_response(0) || (DecodeCardStatusFromR1() & SD_R1_ERRORS)) {
        SDSetClock(0);
        return 0;
    }
    for (int chunk = 0; chunk < 8; ++chunk) {
        if (!sd_wait_flag(SDHC_STATUS_BUF_READ_RDY)) {
            KMReportSDStatusErrors(1);
            SDSetClock(0);
            return 0;
        }
        for (uint32_t i = 0; i < SD_CHUNK_WORDS; ++i) {
            uint16_t w = hw_read16(sdhc(SDHC_BUFFER_ACCESS));
            *buffer++ = (uint8_t)w;
            *buffer++ = (uint8_t)(w >> 8);
        }
        hw_write32(sdhc(SDHC_INT_CNTR), SDHC_INT_CNTR_ALL);
        if (!KMReportSDStatusErrors(1)) {
            SDSetClock(0);
            return 0;
        }
    }
    SDSetClock(0);
    return 1;
}

// Paces the data FIFO: a fixed loop of 1000 counts, some tens of
// microseconds of the processor's time.
static void sd_pace(void)
{
    hw_spin(1000);
}

int SDCardWriteBlock(uint32_t address, const uint8_t* buffer)
{
    hw_write32(sdhc(SDHC_NOB), 1);
    if (!sd_wait_ready())
        return 0;
    SendCMD(SD_WRITE_BLOCK, address & ~(SD_BLOCK - 1),
            SDHC_CDC_BUS_4BIT | SDHC_CDC_DATA | SDHC_CDC_WRITE | SDHC_CDC_R1);
    if (!sd_response(0) || (DecodeCardStatusFromR1() & SD_R1_ERRORS)) {
        SDSetClock(0);
        return 0;
    }
    for (int chunk = 0; chunk < 8; ++chunk) {
        sd_pace();
        for (uint32_t i = 0; i < SD_CHUNK_WORDS; ++i) {
            hw_write16(sdhc(SDHC_BUFFER_ACCESS), (uint16_t)(buffer[0] | buffer[1] << 8));
            buffer += 2;
            sd_pace();
        }
        if (!sd_wait_flag(SDHC_STATUS_BUF_WRITE_RDY) || !KMReportSDStatusErrors(1)) {
            KMReportSDStatusErrors(1);
            SDSetClock(0);
            return 0;
        }
    }
    // The card is busy while it programs the block.  A card that stops
    // answering (pulled, or broken) ends the wait with a failure instead
    // of hanging the main loop.
    const uint32_t start = KM_TimerGetMsCount();
    for (uint32_t i = 0;; ++i) {
        if (i >= SD_READY_POLLS || KM_TimerGetMsCount() - start >= SD_PROGRAM_MS || !sd_pin_shows_card()) {
            SDSetClock(0);
            return 0;
        }
        SendCMD(SD_SEND_STATUS, RCA << 16, SDHC_CDC_R1);
        if (!sd_response(0))
            return 0;
        if (DecodeCardStatusFromR1() & SD_R1_READY_FOR_DATA)
            break;
        Delay_uSec(1);
        // Until it has programmed the block the card answers every poll alike.
        hw_pause();
    }
    SDSetClock(0);
    return 1;
}

int SDStopTransmission(void)
{
    SendCMD(SD_STOP, 0, SDHC_CDC_BUSY | SDHC_CDC_R1);
    return sd_response(1);
}

int SDDeselectCard(void)
{
    SendCMD(SD_SELECT, 0, SDHC_CDC_R1);
    sd_command_done();
    SDSetClock(0);
    return 1;
}

int SDCardGetFullStatus(uint8_t* out64)
{
    SendCMD(SD_APP_CMD, RCA << 16, SDHC_CDC_R1);
    if (!sd_response(1))
        return 0;
    SendCMD(SD_SEND_STATUS, RCA << 16, SDHC_CDC_DATA | SDHC_CDC_R1);  // ACMD13: SD status
    if (!sd_response(0))
        return 0;
    for (int chunk = 0; chunk < 4; ++chunk) {
        if (!sd_wait_flag(SDHC_STATUS_BUF_READ_RDY)) {
            SDSetClock(0);
            return 0;
        }
        for (int i = 0; i < 8; ++i) {
            uint16_t w = hw_read16(sdhc(SDHC_BUFFER_ACCESS));
            *out64++ = (uint8_t)w;
            *out64++ = (uint8_t)(w >> 8);
        }
    }
    SDSetClock(0);
    return 1;
}

// ---------------------------------------------------------------- hot-plug

void SDhotplugInitialized(void)
{
    SDhotplug = SD_MOUNTED;
}

void SDhotplugFailedToInit(void)
{
    SDhotplug = SD_MOUNT_FAILED;
}

int SDisInitialized(void)
{
    return SDhotplug == SD_MOUNTED;
}

int SDisFailedToInit(void)
{
    return SDhotplug == SD_MOUNT_FAILED;
}

// Every 1 ms from the tick: counts consecutive samples of the card-detect
// pin that disagree with the state.
void SDhotplugUpdate(void)
{
    int card = sd_pin_shows_card();
    switch (SDhotplug) {
    case SD_EMPTY:
        if (!card)
            debounce_period = 0;
        else if (++debounce_period > SD_DEBOUNCE_MS) {
            debounce_period = 0;  // each change needs its own 51 samples
            SDhotplug = SD_INSERTED;
        }
        break;
    case SD_MOUNTED:
    case SD_MOUNT_FAILED:
        if (card)
            debounce_period = 0;
        else if (++debounce_period > SD_DEBOUNCE_MS) {
            debounce_period = 0;
            SDhotplug = SD_REMOVED;
        }
        break;
    default:
        break;
    }
}

// Each main-loop pass: mounts an inserted card, powers down a removed one.
int SDcheckHotplug(void)
{
    switch (SDhotplug) {
    case SD_INSERTED:
        SDcardPower(1);
        SDCardSlotInit();
        SDhotplug = initialize_media() ? SD_MOUNTED : SD_MOUNT_FAILED;
        return 1;
    case SD_REMOVED:
        SDioLow();
        SDcardPower(0);
        SDhotplug = SD_EMPTY;
        return 1;
    default:
        return 0;
    }
}
