// The two serial ports: set-up, interrupt handlers, the command port's
// receive ring with line counting, XON/XOFF, binary commands, raw mode for
// downloads, port swapping and RS-485 addressing.
#pragma once

#include <stdint.h>

#define RX_RING_SIZE 512
#define AUX_RING_SIZE 129
#define TX_BUF_SIZE 129

#define XON 0x11
#define XOFF 0x13

extern uint8_t rxBuf[RX_RING_SIZE];
extern volatile int rxHead, rxTail, rxCount, rxGotLine;
extern volatile uint8_t binaryMode, startCmd, binaryEnable;
extern volatile uint8_t xoff, rxStopped, bufferOverflow, rxError, txBusy;
extern volatile uint8_t use_binRx_0, use_binRx_1;
extern uint8_t aRxBuf[AUX_RING_SIZE];
extern volatile int aRxHead, aRxTail, aRxCount;
extern volatile uint8_t aTxBusy;
extern const char* volatile aTxPtr;
extern char txBuf[TX_BUF_SIZE];
extern const char* volatile txPtr;
extern int mainIsUart0;
extern int prevMain;
extern volatile int auxEscCnt;
extern uint32_t baudrate0, baudrate1;
extern char rs485prefix[3];
extern volatile int debugGotLine;

void KM_COM_Init0(void);
void KM_COM_Init1(void);
uint32_t KM_COM_BaudRate(uint32_t rate);
uint32_t KM_AUX_BaudRate(uint32_t rate);
uint32_t KM_COM_getBaud(int port);
int KM_COM_Mode(char parity, int bits, int stop);
void makeUart0Main(void);
void makeUart1Main(void);
void Init_485mode(void);
int rs485Mode(void);
// The command port's rate (UART1 or UART2).
uint32_t mainBaud(void);

int isLineAvail(void);
void rxString(char* buf, int max);
void rxReset(void);
int checkEscape(void);
int checkAbortCmd(void);
void fakeNullCommand(void);
int peekChar(void);
int waitChar(void);
int getChar(void);
int numRxChars(void);
int rxStatus(void);
void makeUartBinMain(void);
void restoreUartBinMain(void);
// Takes n bytes out of the ring (callers check that they are there).
void rxTake(uint8_t* dst, int n);

int anyAuxRx(void);
int getAuxRx(char* buf, int max);
int getAinBin(uint8_t* buf, int n);
void aFlushRx(void);
void aTxString(const char* text);
int aGetChar(void);
void aPutChar(char c);

void txWait(void);
void txWait0(void);
void txWait1(void);
void putChar(char c);
extern "C" int __putchar(int c);
uint8_t oneCapHexToBin(char c);
void Uart2RTS(int on);
void Uart2SetRTS(void);
void Uart2ClrRTS(void);
void trace(void);

// Base address of the command port's and the aux port's UART.
uint32_t mainUart(void);
uint32_t auxUart(void);
// Starts the interrupt-driven send of text, or of n bytes, on the command
// port and waits until it is gone.
void txSendWait(const char* text);
void txSendBytesWait(const char* bytes, int n);
