// "Carte VEXO": the four-channel acquisition board on a serial port (see VEXO.h).
//
// The private record holds the 140-byte settings block, the four channels' reading counters
// (where the block ends) and values, then what only lives in this run (liaison_serie.h): the
// port the last `init` opened (the callback and `stop` use it, whatever the configuration panel
// changed since), the instance's activity (its configuration panels, its receive callback and
// the watch over the frames, which `liberer` stops before the record goes), and the fault said
// on the status list.
//
// The handshake runs on the user-interface thread inside `init`; the receive callback runs
// there too (the serial layer delivers it there), one frame per call.
//
// A board that stops sending frames during an acquisition (unplugged, silent, garbled) is said
// once on the status list, and again when its frames come anew (banc::Veille). A board reset
// during an acquisition starts again from its handshake, calling the computer: the callback
// recognises its call and status wherever they come and answers them with the rest of the
// handshake, so that the frames come back without a new acquisition start.
#include "instruments/bench/VEXO.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/liaison_serie.h"
#include "instruments/bench/pilotage.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "uir/UIR_vexo.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_vexo.uir";
constexpr int kEtx = 0x03;
constexpr int kEot = 0x04;
constexpr int kNbVoies = 4;
constexpr double kDelaiPoignee = 10.0;  // seconds per read of the handshake
constexpr int kEchecsMax = 3;           // reads without answer in one handshake
constexpr int kIgnoresMax = 1024;       // bytes dropped in one handshake
constexpr int kReprisesMax = 16;        // wrong status bytes in one handshake
// Program seconds one handshake lasts at most: as long as its reads without answer, so that a
// board that answers garbage does not hold the program longer than a silent one.
constexpr double kDureePoigneeMax = kEchecsMax * kDelaiPoignee;
constexpr double kSilenceMin = 10.0;    // seconds without a frame before it is said (at least)
constexpr double kPeriodesMuettes = 3;  // periods of the board without a frame that make a silence
constexpr int kRegardsMax = 4;          // looks at the board's calls in one receive callback
constexpr double kDelaiSpontane = 0.1;  // seconds: a board that calls again sends its status at
                                        // once (two bytes take 2 ms at 9600 baud; the rest is
                                        // room for the serial adapter's latency)

// What the board is configured with: its PWM (1 byte) and its channel 2 and 3 settings (8 bytes
// each). The program never sets them: the download is 17 zero bytes.
constexpr char kConfiguration[1 + 8 + 8] = {};

const char kAttention[] = "Attention";
const char kErreurTransmission[] = "Erreur de transmission";
constexpr auto kReinitialiser = "Veuillez :\n Réinitialiser la carte du VEXO\n Activer l'utilisation du PC"_w;

// ---- saved block --------------------------------------------------------------------------

struct S_vexo_4v {
    std::int32_t port_com;               // COM port number, 1..3
    std::int32_t temps_echantillonnage;  // the board's sampling period, seconds
    std::int32_t nombre_voie;            // scalar channels: 4
    char nom_instru[128];                // terminated, at most 39 characters
};
static_assert(sizeof(S_vexo_4v) == 140, "settings block of 140 bytes");
static_assert(offsetof(S_vexo_4v, temps_echantillonnage) == 4);
static_assert(offsetof(S_vexo_4v, nombre_voie) == 8);
static_assert(offsetof(S_vexo_4v, nom_instru) == 12);
static_assert(std::is_trivially_copyable_v<S_vexo_4v>);

// ---- private record -----------------------------------------------------------------------

struct Vexo_prive : banc::Liaison {
    S_vexo_4v bloc;
    unsigned numero_mesure[kNbVoies] = {};  // the block ends here (get_memory flag 0)
    double zone_memoire[kNbVoies] = {NotANumber(), NotANumber(), NotANumber(), NotANumber()};
    banc::Veille veille;  // over the frames, while the callback is installed
    double delai = 1.0;   // the read time-out while acquiring, set by init

    static constexpr const char *kNomDefaut = "Carte VEXO";
    static constexpr auto kChampNom = &S_vexo_4v::nom_instru;

    void Defauts() {
        bloc.port_com = 1;
        bloc.temps_echantillonnage = 1;
        bloc.nombre_voie = kNbVoies;  // also before the configuration panel was ever confirmed
    }
};
// The counters follow the block at once: the block's size is a multiple of their alignment.
static_assert(sizeof(S_vexo_4v) % alignof(unsigned) == 0);
using Vie = plugin::Gestion<Vexo_prive, vexo_4v>;

constexpr auto Prive = plugin::Prive<Vexo_prive>;

// ---- protocol -----------------------------------------------------------------------------

// The bounds of one handshake: the board may be missing, or never answer as expected.
struct Poignee {
    int port;
    int echecs = 0;    // reads that got nothing
    int ignores = 0;   // bytes dropped
    int reprises = 0;  // status bytes other than the one expected
    double fin = horloge::Secondes() + kDureePoigneeMax;

    bool Epuisee() const {
        return echecs >= kEchecsMax || ignores >= kIgnoresMax || reprises >= kReprisesMax ||
               horloge::Secondes() >= fin;
    }
};

// Reads until `attendu`: a read that gets nothing is answered by EOT (the board waits for one),
// other bytes are dropped. False once the handshake is out of bounds.
bool Attendre(Poignee &h, int attendu) {
    while (!h.Epuisee()) {
        const int c = ComRdByte(h.port);
        if (c == attendu) return true;
        if (c < 0) {
            ++h.echecs;
            ComWrtByte(h.port, kEot);
        } else {
            ++h.ignores;
        }
    }
    return false;
}

// Waits for the board's ETX and acknowledges it.
bool VEXO_RS232_en_attente(Poignee &h) {
    if (!Attendre(h, kEtx)) return false;
    ComWrtByte(h.port, kEot);
    return true;
}

// A request: ETX, and the board's EOT.
bool VEXO_requete(Poignee &h) {
    ComWrtByte(h.port, kEtx);
    return Attendre(h, kEot);
}

// Waits for the board's call and the status byte after it, until the status is `statut`.
bool Statut(Poignee &h, int statut) {
    while (VEXO_RS232_en_attente(h)) {
        const int c = ComRdByte(h.port);
        if (c == statut) return true;
        if (c < 0) ++h.echecs;  // nothing: as a wrong status, back to the wait for a call
        else ++h.reprises;
        if (h.Epuisee()) return false;
    }
    return false;
}

// The handshake once the board gave its status `statut` and waits for the request: after '7',
// the request, the configuration, the board's call and its status '8'; then the request and the
// period. False when it ended out of bounds.
bool Configurer(const Vexo_prive &p, Poignee &h, int statut) {
    if (statut == '7') {
        if (!VEXO_requete(h)) return false;
        ComWrt(p.port, kConfiguration, static_cast<int>(sizeof kConfiguration));
        if (!Statut(h, '8')) return false;
    }
    if (!VEXO_requete(h)) return false;
    ComWrtByte(p.port, p.bloc.temps_echantillonnage & 0xFF);
    ComWrtByte(p.port, kEot);
    return true;
}

// The handshake from the board's first call to the period; false when it ended out of bounds.
bool Poignee_de_mains(const Vexo_prive &p) {
    Poignee h{p.port};
    return Statut(h, '7') && Configurer(p, h, '7');
}

// The read time-out while acquiring: the board's period, at least a second (a period of 0 would
// leave no time for any byte of the lock-step frame).
double DelaiAcquisition(const S_vexo_4v &b) {
    return b.temps_echantillonnage >= 1 ? static_cast<double>(b.temps_echantillonnage) : 1.0;
}

bool EstStatut(int c) { return c == '7' || c == '8'; }

// The last two bytes read from the board (-1: none).
struct Fin {
    int avant = -1;
    int dernier = -1;

    void Ajouter(int c) {
        avant = dernier;
        dernier = c;
    }
    bool Appel() const { return dernier == kEtx; }
    bool AppelEtStatut() const { return avant == kEtx && EstStatut(dernier); }
};

// What the bytes waiting end with.
struct Attente {
    enum Quoi { rien, appel, statut } quoi = rien;
    int octet = 0;  // for `statut`: the status, '7' or '8'
};

// Reads and drops the bytes waiting, after `fin` (the last bytes read before them), and tells
// what they end with: a call (ETX) that waits for its answer; a call and its status ('7' after a
// reset, '8' once configured), the board waiting for the request; or neither. In lock step the
// board sends nothing after a call until it is answered, nor after a status until the request,
// so what came before went unanswered: a frame's call that waited while the user-interface
// thread was busy, the calls of a board that gave the frame up and started again, the call and
// status that a board waiting for the request may send again at an EOT.
Attente Examiner(int port, Fin fin) {
    for (int n = GetInQLen(port); n > 0; --n) {
        const int c = ComRdByte(port);
        if (c < 0) break;
        fin.Ajouter(c);
    }
    if (fin.Appel()) return {Attente::appel};
    if (fin.AppelEtStatut()) return {Attente::statut, fin.dernier};
    return {};
}

// Waits a moment for a byte that the board sends without waiting for an answer: true when one
// came (added to `fin`).
bool Spontane(const Vexo_prive &p, Fin &fin) {
    SetComTime(p.port, kDelaiSpontane);
    const int c = ComRdByte(p.port);
    SetComTime(p.port, p.delai);
    if (c < 0) return false;
    fin.Ajouter(c);
    return true;
}

// Reads the frame after its call was answered, each byte answered by EOT, and stores it; nullopt
// once done. The first read that gets nothing ends the frame, answered by EOT too (the board may
// only be slow): nothing of that frame is stored.
//
// A board reset meanwhile calls: its ETX comes among the frame's bytes, answered as one of them,
// and its status follows; the EOT that answers the status is not the request it waits for, and
// a board may take it for a missed exchange and send its call and status again. A frame's
// byte, in lock step, comes only once the previous one was answered. So
// the bytes are no frame when one comes unasked: when bytes already wait behind the one just
// read, or follow at once an ETX read after a status byte, or follow at once the last EOT of a
// frame that ends like a call (ETX) or like a call and its status. Then nothing is stored, and
// the last bytes read are returned, to be looked at with those waiting behind them.
std::optional<Fin> LireTrame(Vexo_prive &p) {
    unsigned char octets[kTailleTrameVexo];
    Fin fin;
    for (unsigned char &o : octets) {
        const int c = ComRdByte(p.port);
        if (c >= 0) {
            fin.Ajouter(c);
            if (GetInQLen(p.port) > 0) return fin;
            if (c == kEtx && EstStatut(fin.avant) && Spontane(p, fin)) return fin;
        }
        ComWrtByte(p.port, kEot);
        if (c < 0) {
            p.veille.Illisible();
            return std::nullopt;
        }
        o = static_cast<unsigned char>(c);
    }
    if ((fin.Appel() || fin.AppelEtStatut()) && Spontane(p, fin)) return fin;
    const vexo_data d = VEXO_lire_trame(octets);
    const std::int32_t comptes[kNbVoies] = {d.freq_1, d.freq_2, d.freq_3, d.freq_4};
    for (int k = 0; k < kNbVoies; ++k) {
        p.zone_memoire[k] = static_cast<double>(comptes[k]);
        ++p.numero_mesure[k];
    }
    p.veille.Lecture();
    return std::nullopt;
}

// The receive callback, on each ETX: a call answered by EOT and its frame, or a board that starts
// its handshake again. A board that was reset calls, gives its status once its call is answered,
// and waits for the request. Its status is read as a frame's first byte and answered by EOT,
// after which a board may send its call and status again: that call and status, whether
// they come among a frame's bytes or wait in the queue when the callback looks, get the rest of
// the handshake, so that the frames come back. Whether it went through is the frames' business
// (the watch says a board whose frames do not come back).
void VEXO_comint(int /*portNumber*/, int eventMask, void *callbackData) {
    if ((eventMask & LWRS_RXFLAG) == 0 || callbackData == nullptr) return;
    Vexo_prive &p = *static_cast<Vexo_prive *>(callbackData);
    if (!banc::OctetsEnAttente(p.port)) return;
    Fin fin;
    for (int regard = 0; regard < kRegardsMax; ++regard) {
        const Attente a = Examiner(p.port, fin);
        if (a.quoi == Attente::statut) {
            Poignee h{p.port};
            Configurer(p, h, a.octet);
            return;
        }
        if (a.quoi == Attente::rien) {
            if (regard > 0) p.veille.Illisible();  // bytes that made no frame
            return;
        }
        ComWrtByte(p.port, kEot);
        const std::optional<Fin> autre = LireTrame(p);
        if (!autre) return;
        fin = *autre;
    }
    p.veille.Illisible();
}

// ---- management -------------------------------------------------------------------------

void vexo_4v_configure(PInstrument *instrument) {
    Vexo_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, Conf_Vexo, Conf_Vexo_OK_VEXO, p);
    if (panel <= 0) return;
    SetCtrlVal(panel, Conf_Vexo_RING_Conf_COM_Vexo, p->bloc.port_com);
    SetCtrlVal(panel, Conf_Vexo_NUM_Conf_Echan_Vexo, p->bloc.temps_echantillonnage);
    DisplayPanel(panel);
}

// The block up to the reading counters (flag 0).
void vexo_4v_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                        unsigned char *flag) {
    Vexo_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = p->numero_mesure;
    *flag = 0;
}

// ---- control ------------------------------------------------------------------------------

int VEXO_initialisation(PInstrument *instrument) {
    Vexo_prive &p = *Prive(instrument);
    for (int k = 0; k < kNbVoies; ++k) {
        p.zone_memoire[k] = NotANumber();
        p.numero_mesure[k] = 0;
    }
    const int r = banc::OuvrirPortVerifie(p, p.bloc.port_com, kDelaiPoignee);
    if (r < 0) return r;
    p.panne.Oublier();
    MessagePopup(kAttention, kReinitialiser);
    if (!Poignee_de_mains(p)) {
        MessagePopup(kAttention, kErreurTransmission);
        return -1;
    }
    p.delai = DelaiAcquisition(p.bloc);
    SetComTime(p.port, p.delai);
    const int installe = InstallComCallback(p.port, LWRS_RXFLAG, 0, kEtx, VEXO_comint, &p);
    if (installe == 0) {
        p.activite.RappelSerieInstalle(p.port);
        p.veille.Armer(p, p.bloc.nom_instru, std::max(kSilenceMin, kPeriodesMuettes * p.delai));
    }
    return installe;
}

void vexo_4v_stop(PInstrument *instrument) {
    Vexo_prive &p = *Prive(instrument);
    p.veille.Desarmer();
    InstallComCallback(p.port, 0, 0, 0, nullptr, nullptr);
    p.activite.RappelSerieRetire(p.port);
}

// ---- channels -----------------------------------------------------------------------------

// The stored count, when a settings file holds one that the record can serve; else 4.
int vexo_4v_nb_voie_1D(PInstrument *instrument) {
    const int n = Prive(instrument)->bloc.nombre_voie;
    return n >= 1 && n <= kNbVoies ? n : kNbVoies;
}

void vexo_4v_get_nom_voie_1D(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    std::snprintf(nom_voie, kLongueurNomVoie, "Voie %i", voie);
}

double vexo_4v_mesure_1D(PInstrument *instrument, int voie) {
    return voie >= 1 && voie <= kNbVoies ? Prive(instrument)->zone_memoire[voie - 1] : NotANumber();
}

unsigned vexo_4v_numero_1D(PInstrument *instrument, int voie) {
    return voie >= 1 && voie <= kNbVoies ? Prive(instrument)->numero_mesure[voie - 1] : 0u;
}

std::uint32_t GrandBoutiste(const unsigned char *o, int octets) {
    std::uint32_t v = 0;
    for (int i = 0; i < octets; ++i) v = (v << 8) | o[i];
    return v;
}

}  // namespace

vexo_data VEXO_lire_trame(std::span<const unsigned char, kTailleTrameVexo> octets) {
    const auto entier = [&](std::size_t a) { return static_cast<std::int32_t>(GrandBoutiste(&octets[a], 4)); };
    const auto court = [&](std::size_t a) { return static_cast<std::int16_t>(GrandBoutiste(&octets[a], 2)); };
    return {court(0), court(2), entier(4), entier(8), entier(12), entier(16)};
}

PInstrument vexo_4v = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = vexo_4v_configure,
    .get_memory = vexo_4v_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = vexo_4v_stop,
    .init = VEXO_initialisation,
    .nb_voie_1D = vexo_4v_nb_voie_1D,
    .get_nom_voie_1D = vexo_4v_get_nom_voie_1D,
    .mesure_1D = vexo_4v_mesure_1D,
    .numero_1D = vexo_4v_numero_1D,
};

// ---- panel callback (callback data: the private record) -------------------------------------

// Stores the port and the period, sets the four channels, and closes the panel; the board gets
// them at the next acquisition start.
int VEXO_OK(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Vexo_prive *>(callbackData);
    if (p != nullptr) {
        int v = 0;
        if (GetCtrlVal(panel, Conf_Vexo_RING_Conf_COM_Vexo, &v) == 0) p->bloc.port_com = v;
        if (GetCtrlVal(panel, Conf_Vexo_NUM_Conf_Echan_Vexo, &v) == 0) p->bloc.temps_echantillonnage = v;
        p->bloc.nombre_voie = kNbVoies;
    }
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(VEXO_OK);
