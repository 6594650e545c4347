// Serial ports (RS-232) of the program, in the usual library's names, on Linux termios.
//
// Ports are numbered 1 to 16 (COM1 to COM16). The bench configuration (platform/bench_config.h)
// says which device each one is: by default COMn is /dev/ttyS<n-1>; a line `com3 = /dev/ttyUSB0`
// names another device, and `com2 = sim:<model>` a simulated device, which the program starts
// on a pseudo-terminal through the simulated bench's factory (FabriquesSimulation of
// platform/bench_config.h, installed by the program's start-up and by the tests: sim/banc.h).
// Either way the same termios code runs.
//
// How a port works
// - An open port has a reader thread. It moves every byte the device sends into the port's
//   input queue (user space, of the size given at opening), and stops reading the device while
//   the queue is full, so nothing is lost: the device's bytes wait in the kernel meanwhile.
// - Reads (ComRdByte, ComRd, ComRdTerm) take bytes from that queue, in order. Writes go to the
//   device at once; a write returns when every byte has been handed to the driver.
// - Every read and every write waits at most the port's time-out (SetComTime; 10 s after
//   opening), counted on the program's clock (platform/clock.h): sped up, 5 s pass in
//   5 s / speed. With the fake clock a wait moves the clock on (horloge::Patienter): to the
//   next time a simulated device has something to send, or to the time-out; an open port takes
//   part in the clock's moves (horloge::Participant) and takes in what its device sent at each.
//   A write holds the clock back (horloge::Retenir) until the writer waits for what comes
//   later (its wait moves the clock) or its receive callback returns: another thread's wait
//   does not move the clock past an answer due now, nor between that answer and the writer's
//   next question, as no time passes between them on a real line either.
// - A read that times out leaves what it got in the caller's buffer and reports
//   kRS_IOTimeOut (ComRdByte returns it; ComRd and ComRdTerm return the count and leave
//   kRS_IOTimeOut in ReturnRS232Err).
//
// Receive callbacks (InstallComCallback)
// - A callback runs on the user-interface thread, when that thread handles its events (the
//   program installs its callbacks from there, in the instruments' init and start), never on
//   the reader thread: a plugin's callback and its other operations never run at the same time.
// - Events that arrive while a call is waiting to be delivered join it (their bits are or-ed
//   into its event mask): at most one call per port waits at any time, and a call may find the
//   input queue already emptied by an earlier one. A callback checks GetInQLen first. A call
//   that read from the queue and left an event character (LWRS_RXFLAG) in it is followed by
//   another, so a callback that reads one message per call is called for each one waiting.
// - Removing a callback (mask 0), installing another one, closing or reopening the port: a call
//   not yet started never starts; a call running on another thread is waited for; a call that
//   removes its own callback, or a removal from inside a callback of the same thread, goes on.
//   Once the removal returns, the callback's data may be freed.
//
// Every function may be called from any thread. Results: 0 (or a count, or a byte) on success,
// a negative Rs232Error on failure. Each call also leaves its result code in the calling
// thread's ReturnRS232Err (0 on success).
//
// In a plugin (instruments/bench/)
// - `init` opens the port (banc::PortDeLInit of instruments/bench/liaison_serie.h lets go of a port
//   chosen no longer) and sets the time-out; every later call uses the port that init opened.
// - A receive callback is installed in `init` or `start` and recorded in the instance's activity
//   (plugin::Activite::RappelSerieInstalle of framework/plugin.h), removed in `stop`
//   (InstallComCallback with mask 0, then RappelSerieRetire); `liberer` removes what is still
//   recorded before the record goes.
// - Every wait is a read with the port's time-out: a loop of reads that looks for a character
//   ends at the first kRS_IOTimeOut (or after a bounded number of bytes), never spins.
//
// In a test
// - sim/serie/ligne.h runs a device model on a pseudo-terminal (failures: silence, garbage,
//   unplugging, slow answers); sim/serie/peripheriques.h names the models for the bench
//   configuration ("comN = sim:<model>"); tests/instruments/bench/banc_serie.h sets up such a
//   bench on the fake clock.
// - Callbacks run only while the test's thread handles its events (QApplication::processEvents
//   in a window test), or through FixerPosteurRappelsCom in a test without an event loop.
#pragma once

#include <functional>
#include <string>

// Errors (negative results).
enum Rs232Error {
    kRS_UnknownSysError = -1,     // the system refused an operation on the device
    kRS_InvalidPortNum = -2,      // port number outside 1..16
    kRS_PortNotOpen = -3,         // the port is not open (or was closed meanwhile)
    kRS_UnknownIOError = -4,      // the device failed during a read or a write
    kRS_CanNotOpenPort = -7,      // the device cannot be opened (missing, busy, no permission,
                                  // not a terminal, unknown simulated device)
    kRS_NullPointerPassed = -8,   // null buffer or callback where one is needed
    kRS_InvalidParameter = -11,   // negative count or time-out, unknown mode or event
    kRS_InvalidBaudRate = -12,    // a rate termios does not offer
    kRS_InvalidParity = -13,      // parity outside 0..4
    kRS_InvalidDataBits = -14,    // data bits outside 5..8
    kRS_InvalidStopBits = -15,    // stop bits other than 1 or 2
    kRS_IOTimeOut = -99,          // the time-out passed before the read or write was complete
};

// Parity of OpenComConfig.
enum Rs232Parity { kRS_NoParity = 0, kRS_OddParity = 1, kRS_EvenParity = 2, kRS_MarkParity = 3, kRS_SpaceParity = 4 };

// Events of InstallComCallback (bits of its mask, and of the mask a callback receives).
enum Rs232Event {
    LWRS_RXCHAR = 0x0001,   // a byte arrived
    LWRS_RXFLAG = 0x0002,   // the event character arrived
    LWRS_RECEIVE = 0x8000,  // the input queue reached the notify count
};

constexpr int kNbPortsSerie = 16;
constexpr double kDelaiComDefaut = 10.0;  // time-out of a port just opened, in seconds
constexpr int kFileComDefaut = 512;       // queue size used for a size below 30

// Opens port `port` (1..16) with `baudRate` (a termios rate: 50 .. 4000000), `parity`
// (Rs232Parity), `dataBits` (5..8) and `stopBits` (1 or 2), no flow control, the time-out at
// kDelaiComDefaut, both queues empty (what the device sent before is dropped). `deviceName`
// empty (or null): the device the bench configuration gives the port; otherwise the path of
// the device to open. `inputQueueSize` is the input queue's size in bytes (below 30:
// kFileComDefaut); `outputQueueSize` is checked the same way and otherwise unused, since
// writes reach the driver at once. A port already open is closed first (its callback goes).
// Returns 0 or a negative Rs232Error; the port is then closed.
int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
// Closes the port: its callback is removed (as InstallComCallback with mask 0 does), its reader
// thread stops, bytes not read are dropped. 0, also for a port that is not open;
// kRS_InvalidPortNum for a number outside 1..16.
int CloseCom(int port);

// Software flow control XON/XOFF: 1 on, 0 off (the state after opening).
int SetXMode(int port, int mode);
// Hardware flow control on CTS/RTS: 1 on, 0 off (the state after opening).
int SetCTSMode(int port, int mode);
// Time-out of every later read and write on the port, in seconds of the program's clock.
// 0 means no wait: reads take what the queue holds at once and report kRS_IOTimeOut when that
// is not enough. Negative or invalid: kRS_InvalidParameter.
int SetComTime(int port, double timeoutSeconds);

// Writes `count` bytes of `buffer` (NUL bytes included). Returns the count written, which is
// below `count` only when the time-out passed (ReturnRS232Err then gives kRS_IOTimeOut), or a
// negative Rs232Error.
int ComWrt(int port, const char *buffer, int count);
// Writes one byte (the low 8 bits of `byte`). Returns 1, or a negative Rs232Error
// (kRS_IOTimeOut when it could not be written in time).
int ComWrtByte(int port, int byte);

// Reads one byte: 0..255, or a negative Rs232Error (kRS_IOTimeOut when none came in time).
int ComRdByte(int port);
// Reads `count` bytes into `buffer`, waiting for all of them until the time-out. Returns the
// count read (below `count` at a time-out) or a negative Rs232Error. Nothing is added after
// the bytes read (no terminator).
int ComRd(int port, char *buffer, int count);
// Reads into `buffer` until `terminationByte` or `count` bytes, whichever comes first. The
// terminator is taken from the queue but not stored or counted. Returns the count stored
// (ReturnRS232Err gives kRS_IOTimeOut when the time-out ended the read) or a negative error.
int ComRdTerm(int port, char *buffer, int count, int terminationByte);

// Bytes waiting in the input queue (those the reader thread has already taken from the device).
int GetInQLen(int port);
// Empties the input queue and the driver's input buffer. Returns 0.
int FlushInQ(int port);

// What a receive callback receives: the port, the events that occurred (Rs232Event bits among
// those installed) and the callback data given at installation.
using ComCallbackPtr = void (*)(int portNumber, int eventMask, void *callbackData);

// Installs `callback` for the events of `eventMask` on an open port: LWRS_RXCHAR for any byte,
// LWRS_RXFLAG for each `eventCharacter` (0..255) received, LWRS_RECEIVE when the input queue
// reaches `notifyCount` bytes (checked only with that bit; at least 1). One callback per port:
// a new installation replaces the one before. A mask of 0 removes the callback (the other
// arguments are then not looked at). Returns 0, kRS_PortNotOpen on a port that is not open,
// kRS_InvalidParameter for unknown event bits or bad arguments, kRS_NullPointerPassed for a
// null callback with a mask other than 0.
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void *callbackData);

// Result code of the last serial call of the calling thread (0 when it succeeded).
int ReturnRS232Err();

// ---- how the layer is wired in --------------------------------------------------------------

// How receive callbacks reach the user-interface thread: PostToUiThread of platform/ui.h,
// unless replaced (a test without an event loop queues them and runs them on its own thread).
// Null restores PostToUiThread.
using PosteurRappelsCom = void (*)(std::function<void()> appel);
void FixerPosteurRappelsCom(PosteurRappelsCom posteur);

// Closes every open port (tests, and the end of the program).
void FermerTousLesPortsCom();
