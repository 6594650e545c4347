// Serial ports on termios: one reader thread per open port fills a user-space input queue and
// raises the receive-callback events; reads wait on that queue, writes go to the device; every
// wait is bounded on the program's clock.
#include "platform/rs232.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/ui.h"

namespace {

thread_local int derniereErreur = 0;

int Resultat(int r) {
    derniereErreur = r < 0 ? r : 0;
    return r;
}

// ---- waiting on the program's clock ---------------------------------------------------------

// The time-out of one read or write, on the program's clock.
class Echeance {
public:
    explicit Echeance(double delai) : fin_(horloge::Secondes() + delai) {}
    double Fin() const { return fin_; }
    // Real seconds to wait before looking again; negative once the time-out has passed. Call it
    // without holding the port's lock (the clock's moves may let the port take in its bytes);
    // `pret` (which takes the lock itself) tells whether the wait is over.
    double Tranche(const std::function<bool()> &pret = nullptr) const { return horloge::Patienter(fin_, pret); }

private:
    double fin_;
};

int Millisecondes(double secondes) { return std::max(1, static_cast<int>(std::ceil(secondes * 1000.0))); }

// ---- ports ----------------------------------------------------------------------------------

struct Port {
    int numero = 0;
    int fd = -1;
    int arret = -1;  // eventfd, raised once for good when the port closes
    int place = -1;  // eventfd: room came back in a full input queue
    std::size_t capacite = kFileComDefaut;
    std::thread lecteur;

    std::mutex m;                 // everything below, and reads of fd
    std::condition_variable cv;   // bytes arrived, the port closed, a callback returned
    std::deque<unsigned char> file;
    // When the bytes of the queue came in, by runs of bytes taken in together: a read waits
    // for bytes that come by its time-out, not for those the clock brought later.
    struct Arrivee {
        double instant;  // program time
        std::size_t octets;
    };
    std::deque<Arrivee> arrivees;
    bool ferme = false;
    double delai = kDelaiComDefaut;

    // Receive callback: installed, events not yet delivered, one delivery on its way at most.
    ComCallbackPtr rappel = nullptr;
    void *donnees = nullptr;
    int masque = 0;
    int notification = 1;
    unsigned char caractere = 0;
    unsigned generation = 0;  // changes at every installation and removal
    std::uint64_t pris = 0;   // bytes taken from the queue by reads, ever
    int evenements = 0;       // bits waiting for the next delivery
    bool achemine = false;    // a delivery is on its way to the user-interface thread
    int enRappel = 0;         // callbacks running now
    std::thread::id filRappel;

    std::mutex mEcriture;  // one writer at a time; held by CloseCom while the device closes

    // Takes in what the device sent whenever the program's clock is moved (a simulated device
    // speaks at the clock's moves, and the program looks right after).
    std::unique_ptr<horloge::Participant> participant;
};

struct Table {
    std::mutex m;
    std::array<std::shared_ptr<Port>, kNbPortsSerie + 1> ports;
};

Table &LaTable() {
    static Table *t = new Table;  // never destroyed: reader threads may outlive static objects
    return *t;
}

std::atomic<PosteurRappelsCom> posteur{nullptr};

bool NumeroValide(int port) { return port >= 1 && port <= kNbPortsSerie; }

std::shared_ptr<Port> Ouvert(int port) {
    if (!NumeroValide(port)) return nullptr;
    Table &t = LaTable();
    std::lock_guard g(t.m);
    return t.ports[static_cast<std::size_t>(port)];
}

// Runs `f` on the open port, or returns the error of a bad or closed port.
template <class F>
int SurPort(int port, F &&f) {
    if (!NumeroValide(port)) return Resultat(kRS_InvalidPortNum);
    const std::shared_ptr<Port> p = Ouvert(port);
    if (p == nullptr) return Resultat(kRS_PortNotOpen);
    return Resultat(f(*p));
}

void Signaler(int efd) {
    const std::uint64_t un = 1;
    [[maybe_unused]] const ssize_t n = write(efd, &un, sizeof un);
}

void Vider(int efd) {
    std::uint64_t v;
    [[maybe_unused]] const ssize_t n = read(efd, &v, sizeof v);
}

// ---- receive callbacks ----------------------------------------------------------------------

void Poster(std::function<void()> appel) {
    if (const PosteurRappelsCom p = posteur.load(); p != nullptr) p(std::move(appel));
    else PostToUiThread(std::move(appel));
}

void Livrer(const std::weak_ptr<Port> &faible, unsigned generation) {
    const std::shared_ptr<Port> p = faible.lock();
    if (p == nullptr) return;
    std::unique_lock l(p->m);
    if (p->generation != generation || p->rappel == nullptr) return;  // removed or replaced
    const int evenements = p->evenements;
    p->evenements = 0;
    p->achemine = false;
    if (evenements == 0) return;
    const ComCallbackPtr rappel = p->rappel;
    void *const donnees = p->donnees;
    const std::uint64_t prisAvant = p->pris;
    ++p->enRappel;
    p->filRappel = std::this_thread::get_id();
    l.unlock();
    rappel(p->numero, evenements, donnees);
    horloge::Relacher();  // the call is over: it waits for no answer any more
    l.lock();
    --p->enRappel;
    p->cv.notify_all();
    // Event characters that came while a call waited joined it: a call that read some of the
    // queue and left an event character in it gets another call, so that one that reads one
    // message per call does not fall behind a device that sent several meanwhile.
    if (p->generation != generation || p->rappel == nullptr || (p->masque & LWRS_RXFLAG) == 0) return;
    if (p->pris == prisAvant || std::find(p->file.begin(), p->file.end(), p->caractere) == p->file.end()) return;
    p->evenements |= LWRS_RXFLAG;
    if (p->achemine) return;
    p->achemine = true;
    l.unlock();
    Poster([faible, generation] { Livrer(faible, generation); });
}

// Adds the events that the bytes just queued raise (`nouveaux` bytes at the end of the queue,
// which held `avant` bytes). Caller holds p.m. True when a delivery must be posted.
bool NoterEvenements(Port &p, std::size_t avant, std::size_t nouveaux) {
    if (p.rappel == nullptr || nouveaux == 0) return false;
    int ev = 0;
    if ((p.masque & LWRS_RXCHAR) != 0) ev |= LWRS_RXCHAR;
    if ((p.masque & LWRS_RXFLAG) != 0 &&
        std::find(p.file.end() - static_cast<std::ptrdiff_t>(nouveaux), p.file.end(), p.caractere) != p.file.end())
        ev |= LWRS_RXFLAG;
    const auto seuil = static_cast<std::size_t>(p.notification);
    if ((p.masque & LWRS_RECEIVE) != 0 && avant < seuil && p.file.size() >= seuil) ev |= LWRS_RECEIVE;
    if (ev == 0) return false;
    p.evenements |= ev;
    if (p.achemine) return false;
    p.achemine = true;
    return true;
}

// Forgets the callback of `p` and waits for a call that runs on another thread. Caller holds
// `l` on p.m.
void RetirerRappel(Port &p, std::unique_lock<std::mutex> &l) {
    p.rappel = nullptr;
    p.donnees = nullptr;
    p.masque = 0;
    p.evenements = 0;
    p.achemine = false;
    ++p.generation;
    const auto ici = std::this_thread::get_id();
    p.cv.wait(l, [&] { return p.enRappel == 0 || p.filRappel == ici; });
}

// ---- the reader thread ----------------------------------------------------------------------

// Moves what the device has sent into the input queue, as far as there is room, and posts the
// receive events it raises. False when the device failed or hung up. Caller holds `l` on p.m
// (let go meanwhile to post); `pris` tells whether bytes came.
bool Prendre(const std::shared_ptr<Port> &p, std::unique_lock<std::mutex> &l, bool *pris) {
    *pris = false;
    for (;;) {
        if (p->ferme) return true;
        const std::size_t libre = p->capacite - std::min(p->capacite, p->file.size());
        if (libre == 0) return true;
        unsigned char tampon[256];
        // Read under the lock, so that a flush drops every byte taken before it.
        const ssize_t n = read(p->fd, tampon, std::min(libre, sizeof tampon));
        if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
        *pris = true;
        const std::size_t avant = p->file.size();
        p->file.insert(p->file.end(), tampon, tampon + n);
        p->arrivees.push_back({horloge::Secondes(), static_cast<std::size_t>(n)});
        const bool poster = NoterEvenements(*p, avant, static_cast<std::size_t>(n));
        const unsigned generation = p->generation;
        p->cv.notify_all();
        if (poster) {
            l.unlock();
            std::weak_ptr<Port> faible = p;
            Poster([faible = std::move(faible), generation] { Livrer(faible, generation); });
            l.lock();
        }
    }
}

void Lire(const std::shared_ptr<Port> &p) {
    pollfd fds[3] = {{p->fd, POLLIN, 0}, {p->arret, POLLIN, 0}, {p->place, POLLIN, 0}};
    bool enPanne = false;  // the device hung up or failed: look again now and then
    for (;;) {
        bool plein;
        {
            std::lock_guard g(p->m);
            plein = p->file.size() >= p->capacite;
        }
        fds[0].events = plein || enPanne ? 0 : POLLIN;
        fds[0].revents = fds[1].revents = fds[2].revents = 0;
        const int r = poll(fds, 3, enPanne ? 50 : -1);
        if (r < 0 && errno != EINTR) enPanne = true;
        if (fds[1].revents != 0) return;
        if (fds[2].revents != 0) Vider(p->place);
        if (r == 0) enPanne = false;  // the pause is over: try the device again
        if ((fds[0].revents & POLLIN) == 0) {
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) enPanne = true;
            continue;
        }
        std::unique_lock l(p->m);
        bool pris = false;
        if (!Prendre(p, l, &pris) && !pris) enPanne = true;
    }
}

// ---- opening and closing --------------------------------------------------------------------

speed_t VitesseTermios(long baud) {
    static constexpr std::pair<long, speed_t> vitesses[] = {
        {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto &[b, s] : vitesses)
        if (b == baud) return s;
    return B0;
}

// Stops the port's thread and closes its device. The port is already out of the table.
void Fermer(const std::shared_ptr<Port> &p) {
    p->participant.reset();  // the clock's moves no longer reach the device
    {
        std::unique_lock l(p->m);
        p->ferme = true;
        RetirerRappel(*p, l);
        p->cv.notify_all();
    }
    Signaler(p->arret);
    if (p->lecteur.joinable()) p->lecteur.join();
    std::lock_guard e(p->mEcriture);  // a writer still at work sees `arret` and gives up
    std::lock_guard g(p->m);
    close(p->fd);
    p->fd = -1;
}

// Chooses the device of `port`: the name given, or the bench configuration's (starting a
// simulated device). Empty when there is none.
std::string Peripherique(int port, const char *nom) {
    if (nom != nullptr && *nom != '\0') return nom;
    const ConfigBanc &config = ConfigurationBanc();
    const std::string modele = config.PeripheriqueSimuleCom(port);
    if (modele.empty()) return config.PortCom(port);
    const auto demarrer = Simulation().peripherique_serie;
    if (demarrer == nullptr) {
        std::fprintf(stderr, "COM%d: no simulated serial devices in this program (%s)\n", port, modele.c_str());
        return {};
    }
    std::string chemin = demarrer(modele, port);
    if (chemin.empty()) std::fprintf(stderr, "COM%d: unknown simulated serial device %s\n", port, modele.c_str());
    return chemin;
}

int Configurer(int fd, long baudRate, int parity, int dataBits, int stopBits) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return kRS_CanNotOpenPort;
    cfmakeraw(&t);
    const speed_t v = VitesseTermios(baudRate);
    cfsetispeed(&t, v);
    cfsetospeed(&t, v);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t tailles[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= tailles[dataBits - 5];
    if (stopBits == 2) t.c_cflag |= CSTOPB;
    switch (parity) {
    case kRS_OddParity: t.c_cflag |= PARENB | PARODD; break;
    case kRS_EvenParity: t.c_cflag |= PARENB; break;
    case kRS_MarkParity: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case kRS_SpaceParity: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (parity != kRS_NoParity) t.c_iflag |= INPCK;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return kRS_CanNotOpenPort;
    tcflush(fd, TCIOFLUSH);
    return 0;
}

int OuvrirPort(int port, const char *deviceName, long baudRate, int parity, int dataBits, int stopBits,
               int inputQueueSize) {
    // The reader threads stop before the program's static objects go.
    static const bool fermetureInscrite = [] { return std::atexit(FermerTousLesPortsCom) == 0; }();
    (void)fermetureInscrite;
    const std::string chemin = Peripherique(port, deviceName);
    if (chemin.empty()) return kRS_CanNotOpenPort;
    const int fd = open(chemin.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kRS_CanNotOpenPort;
    if (const int r = Configurer(fd, baudRate, parity, dataBits, stopBits); r != 0) {
        close(fd);
        return r;
    }
    auto p = std::make_shared<Port>();
    p->numero = port;
    p->fd = fd;
    p->capacite = static_cast<std::size_t>(inputQueueSize < 30 ? kFileComDefaut : inputQueueSize);
    p->arret = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    p->place = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (p->arret < 0 || p->place < 0) {
        for (const int f : {p->arret, p->place, fd})
            if (f >= 0) close(f);
        return kRS_UnknownSysError;
    }
    p->participant = std::make_unique<horloge::Participant>([faible = std::weak_ptr<Port>(p)](double) {
        horloge::Suite suite{std::numeric_limits<double>::infinity(), false};
        if (const std::shared_ptr<Port> q = faible.lock()) {
            std::unique_lock l(q->m);
            Prendre(q, l, &suite.actif);
        }
        return suite;
    });
    p->lecteur = std::thread(Lire, p);
    Table &t = LaTable();
    std::lock_guard g(t.m);
    t.ports[static_cast<std::size_t>(port)] = std::move(p);
    return 0;
}

std::shared_ptr<Port> Retirer(int port) {
    Table &t = LaTable();
    std::lock_guard g(t.m);
    return std::exchange(t.ports[static_cast<std::size_t>(port)], nullptr);
}

void LibererDescripteurs(Port &p) {
    close(p.arret);
    close(p.place);
    p.arret = p.place = -1;
}

// Closes `port` if it is open.
void FermerNumero(int port) {
    if (const std::shared_ptr<Port> p = Retirer(port)) {
        Fermer(p);
        LibererDescripteurs(*p);
    }
}

// ---- reads ----------------------------------------------------------------------------------

// Waits on p.m (held by `l`) until `pret` or the time-out. False at the time-out or when the
// port closes.
template <class Pret>
bool Attendre(Port &p, std::unique_lock<std::mutex> &l, const Echeance &echeance, Pret pret) {
    for (;;) {
        if (p.ferme) return false;
        if (pret()) return true;
        l.unlock();
        const double tranche = echeance.Tranche([&] {
            std::lock_guard g(p.m);
            return p.ferme || pret();
        });
        l.lock();
        if (tranche < 0.0) return !p.ferme && pret();
        if (tranche > 0.0 && !p.ferme && !pret()) p.cv.wait_for(l, std::chrono::duration<double>(tranche));
    }
}

// Takes the first byte of the queue. Caller holds p.m and checked that there is one.
unsigned char Prendre(Port &p) {
    const bool etaitPlein = p.file.size() >= p.capacite;
    const unsigned char c = p.file.front();
    p.file.pop_front();
    if (--p.arrivees.front().octets == 0) p.arrivees.pop_front();
    ++p.pris;
    if (etaitPlein) Signaler(p.place);
    return c;
}

// Reads into `buffer` until `count` bytes or the terminator (-1 for none). Returns the count
// stored, or kRS_IOTimeOut / kRS_PortNotOpen with the count in *lus.
int LireJusqua(Port &p, char *buffer, int count, int terminateur, int *lus) {
    std::unique_lock l(p.m);
    Echeance echeance(p.delai);
    // A byte that came after the time-out is not this read's, even when the clock passed both
    // before the reader looked again (another thread's wait moved it).
    const auto arrive = [&] { return !p.file.empty() && p.arrivees.front().instant <= echeance.Fin(); };
    int n = 0;
    while (n < count) {
        if (!Attendre(p, l, echeance, arrive)) {
            *lus = n;
            return p.ferme ? kRS_PortNotOpen : kRS_IOTimeOut;
        }
        while (arrive() && n < count) {
            const unsigned char c = Prendre(p);
            if (terminateur >= 0 && c == terminateur) {
                *lus = n;
                return 0;
            }
            buffer[n++] = static_cast<char>(c);
        }
    }
    *lus = n;
    return 0;
}

int Lecture(int port, char *buffer, int count, int terminateur) {
    if (!NumeroValide(port)) return Resultat(kRS_InvalidPortNum);
    const std::shared_ptr<Port> p = Ouvert(port);
    if (p == nullptr) return Resultat(kRS_PortNotOpen);
    if (count < 0) return Resultat(kRS_InvalidParameter);
    if (buffer == nullptr && count > 0) return Resultat(kRS_NullPointerPassed);
    int lus = 0;
    const int r = LireJusqua(*p, buffer, count, terminateur, &lus);
    if (r == kRS_PortNotOpen && lus == 0) return Resultat(r);
    derniereErreur = r;
    return lus;
}

// ---- writes ---------------------------------------------------------------------------------

int Ecrire(Port &p, const char *buffer, int count, int *ecrits) {
    std::lock_guard e(p.mEcriture);
    double delai;
    int fd;
    {
        std::lock_guard g(p.m);
        if (p.ferme) return kRS_PortNotOpen;
        delai = p.delai;
        fd = p.fd;
    }
    Echeance echeance(delai);
    int n = 0;
    while (n < count) {
        // Whatever the device answers is due from now on: this thread reads it before the clock
        // moves on for anyone else.
        horloge::Retenir();
        const ssize_t w = write(fd, buffer + n, static_cast<std::size_t>(count - n));
        if (w > 0) {
            n += static_cast<int>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) {
            *ecrits = n;
            return kRS_UnknownIOError;
        }
        const double tranche = echeance.Tranche();
        if (tranche < 0.0) {
            *ecrits = n;
            return kRS_IOTimeOut;
        }
        pollfd fds[2] = {{fd, POLLOUT, 0}, {p.arret, POLLIN, 0}};
        poll(fds, 2, tranche > 0.0 ? Millisecondes(tranche) : 0);
        if (fds[1].revents != 0) {
            *ecrits = n;
            return kRS_PortNotOpen;
        }
    }
    *ecrits = n;
    return 0;
}

}  // namespace

// ---- the calls ------------------------------------------------------------------------------

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    if (!NumeroValide(port)) return Resultat(kRS_InvalidPortNum);
    (void)outputQueueSize;  // writes reach the driver at once: no output queue of our own
    FermerNumero(port);
    if (VitesseTermios(baudRate) == B0) return Resultat(kRS_InvalidBaudRate);
    if (parity < kRS_NoParity || parity > kRS_SpaceParity) return Resultat(kRS_InvalidParity);
    if (dataBits < 5 || dataBits > 8) return Resultat(kRS_InvalidDataBits);
    if (stopBits != 1 && stopBits != 2) return Resultat(kRS_InvalidStopBits);
    return Resultat(OuvrirPort(port, deviceName, baudRate, parity, dataBits, stopBits, inputQueueSize));
}

int CloseCom(int port) {
    if (!NumeroValide(port)) return Resultat(kRS_InvalidPortNum);
    FermerNumero(port);
    return Resultat(0);
}

namespace {

// Turns the termios flags `drapeaux` of the input (iflag) or control (cflag) modes on or off.
int Modes(int port, int mode, tcflag_t termios::*champ, tcflag_t drapeaux) {
    return SurPort(port, [&](Port &p) {
        if (mode != 0 && mode != 1) return static_cast<int>(kRS_InvalidParameter);
        std::lock_guard g(p.m);
        termios t{};
        if (tcgetattr(p.fd, &t) != 0) return static_cast<int>(kRS_UnknownSysError);
        if (mode != 0) t.*champ |= drapeaux;
        else t.*champ &= ~drapeaux;
        return tcsetattr(p.fd, TCSANOW, &t) == 0 ? 0 : static_cast<int>(kRS_UnknownSysError);
    });
}

}  // namespace

int SetXMode(int port, int mode) { return Modes(port, mode, &termios::c_iflag, IXON | IXOFF); }

int SetCTSMode(int port, int mode) { return Modes(port, mode, &termios::c_cflag, CRTSCTS); }

int SetComTime(int port, double timeoutSeconds) {
    return SurPort(port, [&](Port &p) {
        if (!(timeoutSeconds >= 0.0) || !std::isfinite(timeoutSeconds)) return static_cast<int>(kRS_InvalidParameter);
        std::lock_guard g(p.m);
        p.delai = timeoutSeconds;
        return 0;
    });
}

int ComWrt(int port, const char *buffer, int count) {
    if (!NumeroValide(port)) return Resultat(kRS_InvalidPortNum);
    const std::shared_ptr<Port> p = Ouvert(port);
    if (p == nullptr) return Resultat(kRS_PortNotOpen);
    if (count < 0) return Resultat(kRS_InvalidParameter);
    if (buffer == nullptr && count > 0) return Resultat(kRS_NullPointerPassed);
    int ecrits = 0;
    const int r = Ecrire(*p, buffer, count, &ecrits);
    if (r != 0 && ecrits == 0 && r != kRS_IOTimeOut) return Resultat(r);
    derniereErreur = r;
    return ecrits;
}

int ComWrtByte(int port, int byte) {
    return SurPort(port, [&](Port &p) {
        const char c = static_cast<char>(byte & 0xFF);
        int ecrits = 0;
        const int r = Ecrire(p, &c, 1, &ecrits);
        return r != 0 ? r : 1;
    });
}

int ComRdByte(int port) {
    return SurPort(port, [&](Port &p) {
        char c = 0;
        int lus = 0;
        const int r = LireJusqua(p, &c, 1, -1, &lus);
        return r != 0 ? r : static_cast<int>(static_cast<unsigned char>(c));
    });
}

int ComRd(int port, char *buffer, int count) { return Lecture(port, buffer, count, -1); }

int ComRdTerm(int port, char *buffer, int count, int terminationByte) {
    return Lecture(port, buffer, count, terminationByte & 0xFF);
}

int GetInQLen(int port) {
    return SurPort(port, [](Port &p) {
        std::lock_guard g(p.m);
        return static_cast<int>(p.file.size());
    });
}

int FlushInQ(int port) {
    return SurPort(port, [](Port &p) {
        std::lock_guard g(p.m);
        const bool etaitPlein = p.file.size() >= p.capacite;
        p.file.clear();
        p.arrivees.clear();
        tcflush(p.fd, TCIFLUSH);
        if (etaitPlein) Signaler(p.place);
        return 0;
    });
}

int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr callback, void *callbackData) {
    return SurPort(port, [&](Port &p) {
        constexpr int connus = LWRS_RXCHAR | LWRS_RXFLAG | LWRS_RECEIVE;
        if ((eventMask & ~connus) != 0) return static_cast<int>(kRS_InvalidParameter);
        std::unique_lock l(p.m);
        if (p.ferme) return static_cast<int>(kRS_PortNotOpen);
        if (eventMask == 0) {
            RetirerRappel(p, l);
            return 0;
        }
        if (callback == nullptr) return static_cast<int>(kRS_NullPointerPassed);
        if ((eventMask & LWRS_RXFLAG) != 0 && (eventCharacter < 0 || eventCharacter > 255))
            return static_cast<int>(kRS_InvalidParameter);
        if ((eventMask & LWRS_RECEIVE) != 0 && notifyCount < 1) return static_cast<int>(kRS_InvalidParameter);
        RetirerRappel(p, l);
        p.rappel = callback;
        p.donnees = callbackData;
        p.masque = eventMask;
        p.caractere = static_cast<unsigned char>(eventCharacter);
        p.notification = std::max(1, notifyCount);
        return 0;
    });
}

int ReturnRS232Err() { return derniereErreur; }

void FixerPosteurRappelsCom(PosteurRappelsCom p) { posteur.store(p); }

void FermerTousLesPortsCom() {
    for (int port = 1; port <= kNbPortsSerie; ++port) FermerNumero(port);
}
