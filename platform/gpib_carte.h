// The interface between the GPIB calls of platform/gpib.h and the board behind them.
//
// A board backend opens devices on its bus and carries out the transfers. It owns its own
// device handles (numbers >= 0 of its choosing); the calls of platform/gpib.h map their
// descriptors onto them. Every operation returns the outcome (status word, error code, count)
// instead of leaving it in a per-thread variable, so that a backend may live in another shared
// object (the host's GPIB library is reached through one, see gpib_native.cpp).
//
// Operations may be called from any thread, at the same time, also on one handle: a backend
// serialises what must be. Operations that wait (reads, writes, Attendre) give up after the
// handle's time-out and end early when Interrompre is called on the handle from another thread.
#pragma once

struct ResultatGpib {
    int sta = 0;    // ibsta
    int err = 0;    // iberr (meaningful with ERR; the previous value after Configurer)
    long cntl = 0;  // ibcntl
};

class CarteGpib {
public:
    // Stands for "the board itself" where a handle is expected (Configurer, Ecoutant, Attendre).
    static constexpr int kCarte = -1;

    virtual ~CarteGpib() = default;

    // False for a board number that has no board behind it: every call then fails with ENEB.
    virtual bool Presente() const { return true; }

    // ---- board ----------------------------------------------------------------------------
    // Interface clear: the board takes control of the bus; devices stop talking and listening.
    virtual ResultatGpib InterfaceClear() = 0;
    // Whether a device listens at (pad, sad); sad 0 = none, 0x60..0x7E, or -1 = any secondary.
    // Sets *trouve to 1 or 0. `h` is a device handle or kCarte (the board is used either way).
    virtual ResultatGpib Ecoutant(int h, int pad, int sad, short *trouve) = 0;

    // ---- devices --------------------------------------------------------------------------
    // Opens a device handle with the settings of ibdev (arguments already checked). Returns the
    // handle, or -1 with the reason in `r`.
    virtual int Ouvrir(int pad, int sad, int tmo, int eot, int eos, ResultatGpib &r) = 0;
    // Closes a handle (ibonl 0). Transfers still waiting on it end first (see Interrompre).
    virtual ResultatGpib Fermer(int h) = 0;
    // ibconfig on a handle or on kCarte; on success err holds the option's previous value.
    virtual ResultatGpib Configurer(int h, int option, int valeur) = 0;
    // Time-out of a handle, in seconds (VISA sets time-outs in milliseconds). A backend that
    // only knows the standard time-out codes takes the shortest code not below it.
    virtual ResultatGpib FixerDelai(int h, double secondes) = 0;
    virtual ResultatGpib Ecrire(int h, const void *octets, long n) = 0;
    virtual ResultatGpib Lire(int h, void *octets, long n) = 0;
    virtual ResultatGpib Effacer(int h) = 0;                  // selected device clear
    virtual ResultatGpib SerialPoll(int h, char *octet) = 0;  // one status byte
    // ibwait: waits until one of the conditions of `masque` holds (mask 0: the status now).
    virtual ResultatGpib Attendre(int h, int masque) = 0;
    // Ends the transfers and waits in progress on `h` in other threads, and refuses every later
    // one (ERR, EABO): the handle is about to be closed.
    virtual ResultatGpib Interrompre(int h) = 0;

    // ---- service-request notification (ibnotify is built on these) -------------------------
    // Whether a notification can be armed on `h`.
    virtual bool NotificationPossible(int h) = 0;
    // The status a notification sees now: RQS while the device requests service.
    virtual ResultatGpib EtatNotification(int h) = 0;
    // Blocks at most `secondesReelles` (real time), less when the device's state changes.
    virtual void AttendreChangement(int h, double secondesReelles) = 0;
};
