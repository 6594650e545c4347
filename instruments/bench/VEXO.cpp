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
// once on the status list, and again when its frames come anew (banc::Veille). A board left
// without acknowledgements long enough starts again from its handshake, calling the computer as
// after a reset: the callback then answers its status with the rest of the handshake, so that
// the frames come back without a new acquisition start.
#include "instruments/bench/VEXO.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/liaison_serie.h"
#include "instruments/bench/pilotage.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "uir/UIR_vexo.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
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
constexpr double kSilenceMin = 10.0;    // seconds without a frame before it is said (at least)
constexpr double kPeriodesMuettes = 3;  // periods of the board without a frame that make a silence
constexpr double kPeriodesAvantReprise = 2;  // periods without a frame after which a call
                                             // followed by '7' is taken for a new handshake

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

    bool Epuisee() const { return echecs >= kEchecsMax || ignores >= kIgnoresMax || reprises >= kReprisesMax; }
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

// The handshake once the board's first request was acknowledged: the configuration, the board's
// call and its status '8', the request, the period. False when it ended out of bounds.
bool Configurer(const Vexo_prive &p, Poignee &h) {
    ComWrt(p.port, kConfiguration, static_cast<int>(sizeof kConfiguration));
    if (!Statut(h, '8') || !VEXO_requete(h)) return false;
    ComWrtByte(p.port, p.bloc.temps_echantillonnage & 0xFF);
    ComWrtByte(p.port, kEot);
    return true;
}

// The handshake from the board's first call to the period; false when it ended out of bounds.
bool Poignee_de_mains(const Vexo_prive &p) {
    Poignee h{p.port};
    return Statut(h, '7') && VEXO_requete(h) && Configurer(p, h);
}

// The read time-out while acquiring: the board's period, at least a second (a period of 0 would
// leave no time for any byte of the lock-step frame).
double DelaiAcquisition(const S_vexo_4v &b) {
    return b.temps_echantillonnage >= 1 ? static_cast<double>(b.temps_echantillonnage) : 1.0;
}

// Reads and drops the bytes waiting: true when the last of them is an ETX, a call that waits for
// its answer. In lock step the board sends nothing after a call until it is answered, so the
// calls before the last one went unanswered (a frame's call that waited while the user-interface thread was busy, then
// the call of a board that gave the frame up and started again).
bool DernierAppel(int port) {
    bool appel = false;
    for (int n = GetInQLen(port); n > 0; --n) {
        const int c = ComRdByte(port);
        if (c < 0) break;
        appel = c == kEtx;
    }
    return appel;
}

// The board answered a call with '7' after it had sent no frame for a while: a board that
// started its handshake again waits for the request, which it acknowledges; a '7' that begins a
// frame gets nothing (the board waits for EOT), and the frame goes on. True when the handshake
// was taken up (whether it went through is the frames' business).
bool Reprendre(const Vexo_prive &p) {
    ComWrtByte(p.port, kEtx);
    if (ComRdByte(p.port) != kEot) return false;
    Poignee h{p.port};
    Configurer(p, h);
    return true;
}

// The receive callback, on each ETX: the frame's 20 bytes, each answered by EOT. The first read
// that gets nothing ends the frame, answered by EOT too (the board may only be slow): nothing of
// that frame is stored. A board that calls again after its frames stopped gets the rest of its
// handshake instead.
void VEXO_comint(int /*portNumber*/, int eventMask, void *callbackData) {
    if ((eventMask & LWRS_RXFLAG) == 0 || callbackData == nullptr) return;
    Vexo_prive &p = *static_cast<Vexo_prive *>(callbackData);
    if (!banc::OctetsEnAttente(p.port) || !DernierAppel(p.port)) return;
    ComWrtByte(p.port, kEot);
    int c = ComRdByte(p.port);
    if (c == '7' && p.veille.DepuisLecture() >= kPeriodesAvantReprise * DelaiAcquisition(p.bloc) && Reprendre(p))
        return;
    unsigned char octets[kTailleTrameVexo];
    for (std::size_t i = 0; i < kTailleTrameVexo; ++i) {
        if (i > 0) c = ComRdByte(p.port);
        ComWrtByte(p.port, kEot);
        if (c < 0) {
            p.veille.Illisible();
            return;
        }
        octets[i] = static_cast<unsigned char>(c);
    }
    const vexo_data d = VEXO_lire_trame(octets);
    const std::int32_t comptes[kNbVoies] = {d.freq_1, d.freq_2, d.freq_3, d.freq_4};
    for (int k = 0; k < kNbVoies; ++k) {
        p.zone_memoire[k] = static_cast<double>(comptes[k]);
        ++p.numero_mesure[k];
    }
    p.veille.Lecture();
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
    SetComTime(p.port, DelaiAcquisition(p.bloc));
    const int installe = InstallComCallback(p.port, LWRS_RXFLAG, 0, kEtx, VEXO_comint, &p);
    if (installe == 0) {
        p.activite.RappelSerieInstalle(p.port);
        p.veille.Armer(p, p.bloc.nom_instru, std::max(kSilenceMin, kPeriodesMuettes * DelaiAcquisition(p.bloc)));
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
