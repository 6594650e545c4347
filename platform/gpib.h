// GPIB (IEEE 488) calls of the program, in the usual driver's names, and the boards behind them.
//
// Every call leaves its outcome in the calling thread's status: ibsta (status bits), iberr
// (error code, meaningful when ERR is set) and ibcntl (bytes transferred, or a system error
// number with EDVR). Threads never see each other's status: a notification callback's reads do
// not disturb the counts the user-interface thread is reading.
//
// Each board (0 and 1) is reached through the backend that the bench configuration gives it
// (platform/bench_config.h): none, the simulated bus (sim/), or the host's native GPIB library
// (libgpib.so.0 of the Linux GPIB driver, loaded at run time). Any other board number behaves
// as a missing board. No call blocks on a missing board or crashes on a bad argument.
//
// Descriptors: boards are 0 ("GPIB0") and 1 ("GPIB1"); every ibdev hands out a new device
// descriptor (2 and up, never handed out twice in a run, so a stale descriptor is refused
// instead of reaching another device). A device descriptor stays valid until ibonl(ud, 0).
//
// Time-outs of the simulated boards follow the program's clock (platform/clock.h): sped up, a
// 10 s time-out passes in 10 s / speed; with the fake clock, a transfer that waits moves the
// clock forward to the device's next timed change or to its time-out, as Delay does. A native
// board's time-outs are the host library's, in real time.
#pragma once

#include <memory>

#include "platform/gpib_carte.h"

// ---- status bits of ibsta -----------------------------------------------------------------
enum GpibStatus : int {
    ERR = 0x8000,   // the call failed; iberr tells why
    TIMO = 0x4000,  // time limit exceeded
    END = 0x2000,   // END (EOI) or the end-of-string byte ended the read
    SRQI = 0x1000,  // a device requests service (board)
    RQS = 0x0800,   // the device requests service
    CMPL = 0x0100,  // input/output completed
    LOK = 0x0080,   // lockout state
    REM = 0x0040,   // remote state
    CIC = 0x0020,   // controller in charge
    ATN = 0x0010,   // attention asserted
    TACS = 0x0008,  // talker
    LACS = 0x0004,  // listener
    DTAS = 0x0002,  // device trigger state
    DCAS = 0x0001,  // device clear state
};

// ---- error codes of iberr -----------------------------------------------------------------
enum GpibError : int {
    EDVR = 0,   // system error, or unknown descriptor; ibcntl holds the system's error number
    ECIC = 1,   // the board is not controller in charge
    ENOL = 2,   // no listener on the bus
    EADR = 3,   // board not addressed correctly
    EARG = 4,   // invalid argument
    ESAC = 5,   // the board is not system controller
    EABO = 6,   // input/output aborted (time limit, device clear, descriptor taken offline)
    ENEB = 7,   // no such board
    EDMA = 8,   // DMA error
    EOIP = 10,  // asynchronous input/output in progress
    ECAP = 11,  // no capability for the operation
    EFSO = 12,  // file system error
    EBUS = 14,  // bus error (command bytes not sent)
    ESTB = 15,  // serial poll status bytes lost
    ESRQ = 16,  // service request stuck on
    ETAB = 20,  // table problem (FindLstn: more listeners than room)
};

// ---- time-out codes (ibdev, ibtmo, IbcTMO) ------------------------------------------------
enum GpibTimeout : int {
    TNONE = 0, T10us = 1, T30us = 2, T100us = 3, T300us = 4, T1ms = 5, T3ms = 6, T10ms = 7,
    T30ms = 8, T100ms = 9, T300ms = 10, T1s = 11, T3s = 12, T10s = 13, T30s = 14, T100s = 15,
    T300s = 16, T1000s = 17,
};
// Seconds of a time-out code; 0 for TNONE (no limit) and for a code outside 0..17.
constexpr double SecondesDuCodeTmo(int code) {
    constexpr double secondes[] = {0,    10e-6, 30e-6, 100e-6, 300e-6, 1e-3, 3e-3, 10e-3, 30e-3,
                                   0.1,  0.3,   1,     3,      10,     30,   100,  300,   1000};
    return code >= TNONE && code <= T1000s ? secondes[code] : 0.0;
}
// The shortest code whose time-out is at least `secondes` (TNONE for <= 0 or beyond T1000s).
constexpr int CodeTmoPourSecondes(double secondes) {
    if (!(secondes > 0.0)) return TNONE;
    for (int code = T10us; code <= T1000s; ++code)
        if (SecondesDuCodeTmo(code) >= secondes * (1.0 - 1e-9)) return code;
    return TNONE;
}

// ---- end-of-string mode (ibdev's eos argument, IbcEOS*) ------------------------------------
// Low byte: the end-of-string byte. REOS: a read ends after that byte. XEOS: a write asserts
// END with that byte. BIN: all 8 bits are compared (otherwise the low 7).
constexpr int REOS = 0x0400;
constexpr int XEOS = 0x0800;
constexpr int BIN = 0x1000;

// ---- ibconfig options ---------------------------------------------------------------------
enum GpibOption : int {
    IbcPAD = 0x01, IbcSAD = 0x02, IbcTMO = 0x03, IbcEOT = 0x04, IbcPPC = 0x05, IbcREADDR = 0x06,
    IbcAUTOPOLL = 0x07, IbcCICPROT = 0x08, IbcIRQ = 0x09, IbcSC = 0x0A, IbcSRE = 0x0B,
    IbcEOSrd = 0x0C, IbcEOSwrt = 0x0D, IbcEOScmp = 0x0E, IbcEOSchar = 0x0F, IbcPP2 = 0x10,
    IbcTIMING = 0x11, IbcDMA = 0x12, IbcReadAdjust = 0x13, IbcWriteAdjust = 0x14,
    IbcSendLLO = 0x17, IbcSPollTime = 0x18, IbcPPollTime = 0x19, IbcEndBitIsNormal = 0x1A,
    IbcUnAddr = 0x1B, IbcHSCableLength = 0x1F, IbcIst = 0x20, IbcRsv = 0x21, IbcLON = 0x22,
};

// ---- secondary addresses, 488.2 addresses and end modes -----------------------------------
constexpr int NO_SAD = 0;
constexpr int ALL_SAD = -1;
// An address of the 488.2 routines: primary address in the low byte, secondary (0x60..0x7E, or
// 0) in the high byte. A signed short, so that NOADDR, which ends address lists, reads as -1.
using Addr4882_t = short;
constexpr Addr4882_t NOADDR = static_cast<Addr4882_t>(-1);
constexpr Addr4882_t MakeAddr(int pad, int sad) {
    return static_cast<Addr4882_t>((pad & 0xFF) | ((sad & 0xFF) << 8));
}
constexpr int GetPAD(Addr4882_t a) { return a & 0xFF; }
constexpr int GetSAD(Addr4882_t a) { return (a >> 8) & 0xFF; }
constexpr int NULLend = 0x00;   // Send: no end mark
constexpr int NLend = 0x01;     // Send: a newline with END after the last byte
constexpr int DABend = 0x02;    // Send: END with the last byte
constexpr int STOPend = 0x100;  // Receive: stop on END only (else: on END or on that byte)

// ---- status of the calling thread ---------------------------------------------------------
// The driver's status variables, one set per thread. (Name a callback's parameters otherwise,
// e.g. LocalIbsta, so that they do not hide these.)
extern thread_local int ibsta;
extern thread_local int iberr;
extern thread_local long ibcntl;
extern thread_local int ibcnt;  // ibcntl as an int
int ThreadIbsta();
int ThreadIberr();
long ThreadIbcntl();
int ThreadIbcnt();
int Ibsta();
int Iberr();
long Ibcntl();
// Records the outcome of a call for the calling thread (used by the backends).
void FixerEtatGpib(int sta, int err, long cntl);

// ---- boards -------------------------------------------------------------------------------

// The backend of board `carte`, chosen from the bench configuration on first use. Any number
// other than 0 and 1 gives a board that reports "no board" (ERR, ENEB).
std::shared_ptr<CarteGpib> CarteGpibNumero(int carte);
// Chooses every board's backend again on next use, from the bench configuration as it is then
// (after RechargerConfigurationBanc). Descriptors already open keep the board they were opened
// on; a call in progress keeps the board it started with.
void ReinitialiserCartesGpib();
// Name or path of the host's GPIB library that native boards load (default "libgpib.so.0").
// Takes effect for boards chosen afterwards (see ReinitialiserCartesGpib).
void FixerBibliothequeGpibNative(const char *nomOuChemin);
// A backend over the host's GPIB library `nomOuChemin` for board `carte`, or null (with one
// note on stderr per library name) when the library cannot be loaded or lacks calls.
std::shared_ptr<CarteGpib> CarteGpibNative(int carte, const char *nomOuChemin);

// ---- calls --------------------------------------------------------------------------------
// Each returns ibsta (ibfind and ibdev: a descriptor, or -1 with ERR in ibsta).

// Board descriptor of "GPIB0" or "GPIB1" (any case); -1 when no board answers to the name.
int ibfind(const char *nom);
// Opens a device: board index, primary address 0..30, secondary address (0 or 0x60..0x7E),
// time-out code, EOT (END with the last byte of each write when non-zero), end-of-string mode.
// Neither looks for the device nor sends anything on the bus.
int ibdev(int board, int pad, int sad, int tmo, int eot, int eos);
// v = 0: takes the descriptor offline: disarms its notification (waiting for a callback that
// runs, unless called from that callback), ends its transfers waiting in other threads, and
// frees it. v = 1: puts the device's settings back to those given to ibdev.
int ibonl(int ud, int v);
int ibclr(int ud);
// Checks for a listener at (pad, sad) on the board of `ud`; *listen becomes non-zero when one
// answers, 0 when none. A failed call (bad descriptor, no board) leaves *listen untouched.
int ibln(int ud, int pad, int sad, short *listen);
// Writes `count` bytes as one message (END with the last byte when EOT is on).
int ibwrt(int ud, const void *buf, long count);
// Reads at most `count` bytes; stops at END, or after the end-of-string byte when REOS is on.
// What the device has not sent yet stays for the next read. Adds no terminator.
int ibrd(int ud, void *buf, long count);
// Serial poll: the device's status byte into *spr; clears its service request.
int ibrsp(int ud, char *spr);
int ibconfig(int ud, int option, int value);  // on success iberr holds the previous value
int ibtmo(int ud, int v);                     // = ibconfig(ud, IbcTMO, v)
int ibsic(int ud);                            // interface clear (board descriptor)
int ibwait(int ud, int mask);

// A notification callback: descriptor, ibsta, iberr, ibcntl, the reference data given to
// ibnotify; returns the new event mask (0 disarms).
using GpibNotifyCallback_t = int (*)(int ud, int ibsta, int iberr, long ibcntl, void *refData);
// Arms (mask RQS, optionally with TIMO) or disarms (mask 0) a callback for a device.
// - Each armed descriptor has a worker thread of its own that calls the callback while the
//   device requests service (or, with TIMO, when the device's time-out passes without it);
//   calls for one descriptor never overlap, and none runs on the calling thread.
// - The callback's result is the new mask. A callback that calls ibnotify on its own
//   descriptor (to re-arm otherwise or to disarm) overrides its result.
// - Called from any other thread, ibnotify returns only once a callback that is running has
//   returned; after ibnotify(ud, 0, ...) no callback of `ud` runs any more.
int ibnotify(int ud, int mask, GpibNotifyCallback_t callback, void *refData);

// ---- 488.2 routines -----------------------------------------------------------------------
// Interface clear on board `board`.
void SendIFC(int board);
// Looks for listeners at the primary addresses of `padList` (ended by NOADDR); where none
// answers at a primary address, every secondary address of it is tried. Stores at most `limit`
// addresses in `resultList`; ibcntl = number stored; ETAB when more were found.
void FindLstn(int board, const Addr4882_t padList[], Addr4882_t resultList[], int limit);
// Sends `count` bytes to the device at `address`, ended as `eotMode` says.
void Send(int board, Addr4882_t address, const void *buffer, long count, int eotMode);
// Receives at most `count` bytes from the device at `address`: stops at END, or also at the
// byte `termination` (0..255); STOPend = END only.
void Receive(int board, Addr4882_t address, void *buffer, long count, int termination);

// ---- extension ----------------------------------------------------------------------------
// Time-out of a device descriptor in seconds, for VISA's millisecond time-outs (a native board
// takes the shortest time-out code not below it).
int FixerDelaiGpib(int ud, double secondes);
