// GPIB (IEEE 488) calls of the program, in the usual driver's names, and the boards behind them.
//
// Every call leaves its outcome in the calling thread's status: ibsta (status bits), iberr
// (error code, meaningful when ERR is set) and ibcntl (bytes transferred, or a system error
// number with EDVR). Threads never see each other's status.
//
// Each board (0 and 1) is reached through the backend that the bench configuration gives it
// (platform/bench_config.h): none, the simulated bus, or the host's native GPIB library. Any
// other board number behaves as a missing board. No call blocks on a missing board or crashes.
#pragma once

#include <memory>

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
    EDVR = 0,   // system error; ibcntl holds the system's error number
    ECIC = 1,   // the board is not controller in charge
    ENOL = 2,   // no listener on the bus
    EADR = 3,   // board not addressed correctly
    EARG = 4,   // invalid argument
    ESAC = 5,   // the board is not system controller
    EABO = 6,   // input/output aborted (time limit)
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

// ---- other constants ----------------------------------------------------------------------
constexpr int NOADDR = 0xFFFF;  // end of an address list
constexpr int NULLend = 0x00;   // Send: no end mark
constexpr int NLend = 0x01;     // Send: newline with END after the last byte
constexpr int DABend = 0x02;    // Send: END with the last byte
constexpr int STOPend = 0x100;  // Receive: stop on END

// ---- status of the calling thread ---------------------------------------------------------
int ThreadIbsta();
int ThreadIberr();
long ThreadIbcntl();
int ThreadIbcnt();  // ibcntl as an int
// The driver's "global" status; here every thread has its own, so they equal the above.
int Ibsta();
int Iberr();
long Ibcntl();
// Records the outcome of a call for the calling thread (used by the backends).
void FixerEtatGpib(int sta, int err, long cntl);

// ---- boards -------------------------------------------------------------------------------

// One GPIB interface board. Each operation sets the calling thread's status and returns ibsta.
class CarteGpib {
public:
    virtual ~CarteGpib() = default;
    // Pulses interface clear: the board takes control of the bus and every device stops
    // talking and listening.
    virtual int InterfaceClear() = 0;
};

// The backend of board `carte`, chosen from the bench configuration on first use. Any number
// other than 0 and 1 gives a board that reports "no board" (ERR, ENEB).
std::shared_ptr<CarteGpib> CarteGpibNumero(int carte);
// Chooses every board's backend again on next use, from the bench configuration as it is then
// (after RechargerConfigurationBanc). A call in progress keeps the board it started with.
void ReinitialiserCartesGpib();
// Name or path of the host's GPIB library that native boards load (default "libgpib.so.0").
// Takes effect for boards chosen afterwards (see ReinitialiserCartesGpib).
void FixerBibliothequeGpibNative(const char *nomOuChemin);

// ---- calls --------------------------------------------------------------------------------

// Interface clear on board `board`.
void SendIFC(int board);
