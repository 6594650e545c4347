// "HP 4194 (bodemètre)": the gain-phase analyser (see bode_hp4194.h).
//
// The private record holds the 232-byte settings block, then the traces (which end the saved
// bytes), then what lives only in this run: the device of the last `init` and its named lock,
// the mask and trigger mode that the notification thread reads, the sweep count, and what the
// instance has set going (notification, panels), which `liberer` stops before freeing.
//
// Threads: the callback fetches a sweep's three traces into rows of its own, then copies them
// into the published traces and counts the sweep in one go, under a small lock of the record
// held only while values are copied; so the channel reads on the user-interface thread always
// get one whole sweep with its own number, and never wait for the bus.
#include "instruments/analysers/bode_hp4194.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "gpib/nombres.h"
#include "instruments/echanges_gpib.h"
#include "instruments/ouverture_gpib.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/UIR_hp4194.h"

namespace {

const char kFichierUir[] = "UIR_hp4194.uir";
constexpr int kPoints = 401;                 // points of a sweep, and of each channel
constexpr long kOctetsTrace = kPoints * 8;   // 3208: the data bytes of a whole trace
constexpr int kPollsMax = 100;               // serial polls of one service request
constexpr long kCommandeMax = 254;           // characters of an `execute` command

// ---- settings block -----------------------------------------------------------------------

struct S_bode_hp {
    std::int32_t adresse_gpib;
    std::int32_t identificateur;     // device of the last init (nothing once reloaded)
    std::int32_t stop_interruption;  // RQS while the cycle runs, 0 once stopped
    std::int32_t numero_mesure;      // sweeps since the last init, as of that init
    char nom_instru[128];
    std::int32_t mode;     // PWS%d: 1 Dual, 2 Single
    std::int32_t sweep;    // ITM%d: 1 Rapide, 2 Normal, 3 Lent
    std::int32_t trig;     // 1 Repeat, 2 Single
    std::int32_t moy;      // NOA=%d
    std::int32_t reglage;  // 1: start and stop; any other value: center and span
    std::int32_t reserve1;
    double start;
    double stop;
    double center;
    double span;
    double osclev;         // OSC=%f
    std::int32_t ref_att;  // ATR%d
    std::int32_t ref_imp;  // ZIR%d
    std::int32_t test_att; // ATT%d
    std::int32_t test_imp; // ZIT%d
    std::int32_t status;   // 0 while execute sends, 1 otherwise
    std::int32_t reserve2;
};
static_assert(std::is_trivially_copyable_v<S_bode_hp>);
static_assert(sizeof(S_bode_hp) == 232, "settings block of 232 bytes");
static_assert(offsetof(S_bode_hp, identificateur) == 4);
static_assert(offsetof(S_bode_hp, stop_interruption) == 8);
static_assert(offsetof(S_bode_hp, numero_mesure) == 12);
static_assert(offsetof(S_bode_hp, nom_instru) == 16);
static_assert(offsetof(S_bode_hp, mode) == 144);
static_assert(offsetof(S_bode_hp, sweep) == 148);
static_assert(offsetof(S_bode_hp, trig) == 152);
static_assert(offsetof(S_bode_hp, moy) == 156);
static_assert(offsetof(S_bode_hp, reglage) == 160);
static_assert(offsetof(S_bode_hp, start) == 168);
static_assert(offsetof(S_bode_hp, stop) == 176);
static_assert(offsetof(S_bode_hp, center) == 184);
static_assert(offsetof(S_bode_hp, span) == 192);
static_assert(offsetof(S_bode_hp, osclev) == 200);
static_assert(offsetof(S_bode_hp, ref_att) == 208);
static_assert(offsetof(S_bode_hp, ref_imp) == 212);
static_assert(offsetof(S_bode_hp, test_att) == 216);
static_assert(offsetof(S_bode_hp, test_imp) == 220);
static_assert(offsetof(S_bode_hp, status) == 224);

// The block and the traces, in this order: the settings file stores the bytes from the block
// up to the traces (get_memory answers with flag 0 and `mesures` as end member).
struct Enregistrement {
    S_bode_hp bloc;
    double mesures[2][kPoints];  // row 0 gain (trace A), row 1 phase (trace B)
    double indices[kPoints];     // frequencies (trace X), abscissae of both channels
};
static_assert(offsetof(Enregistrement, mesures) == sizeof(S_bode_hp), "the traces end the block");

// ---- private record -----------------------------------------------------------------------

struct Bode_prive : Enregistrement {
    // The device of the last successful init, and the lock named after the address it was
    // opened at (callback and execute agree on it even if the panel changes the address).
    int ud = -1;
    int verrou = 0;
    // What the notification thread reads: the mask it returns, and the trigger mode.
    std::atomic<int> masque{0};
    std::atomic<int> trig{1};
    // Guards mesures, indices and numero between the callback and the channel reads.
    std::mutex traces;
    unsigned numero = 0;
    // Where the callback fetches a sweep, row for row as mesures and indices: only the
    // notification thread touches them. Values past a short block keep the earlier sweeps', as
    // the published rows do.
    double lecture[2][kPoints];
    double lecture_indices[kPoints];
    panne_gpib::Suivi suivi;    // the faults of the cycle, said on the status list
    plugin::Activite activite;  // the notification armed by start, the panels of configure

    static constexpr const char *kNomDefaut = "Analyseur Gain-Phase";
    static constexpr auto kChampNom = &S_bode_hp::nom_instru;  // bytes 40..127 kept

    void Defauts() {
        bloc.adresse_gpib = 23;
        bloc.start = 1000.0;
        bloc.stop = 100000.0;
        bloc.center = 10000.0;
        bloc.span = 1000.0;
        bloc.osclev = 1.0;
        bloc.status = 1;
        // The panel's initial choices, so that an acquisition started before the first OK
        // sends what the panel shows.
        bloc.mode = bloc.sweep = bloc.trig = bloc.moy = bloc.reglage = 1;
        bloc.ref_att = bloc.ref_imp = bloc.test_att = bloc.test_imp = 1;
        // No sweep read yet: missing values.
        for (double *rang : {&mesures[0][0], &lecture[0][0]})
            std::fill(rang, rang + 2 * kPoints, std::numeric_limits<double>::quiet_NaN());
        for (double *rang : {indices, lecture_indices})
            std::fill(rang, rang + kPoints, std::numeric_limits<double>::quiet_NaN());
    }
    // Once the notification is disarmed: the device goes offline.
    void AuLiberer() { panne_gpib::Fermer(suivi, ud, activite); }

    // The mask the cycle arms its notification with: the service request and the time-out
    // while it runs, 0 once stopped.
    int Masque() const { return panne_gpib::Masque(masque.load()); }
};
using Vie = plugin::Gestion<Bode_prive, bode_hp>;

Bode_prive *Prive(PInstrument *instrument) { return static_cast<Bode_prive *>(instrument->structure); }

// ---- protocol -----------------------------------------------------------------------------

// The text of `format` with its arguments, however long (a double from a settings file may
// take over 300 characters in "%f").
__attribute__((format(printf, 1, 2))) std::string Texte(const char *format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list copie;
    va_copy(copie, arguments);
    const int n = std::vsnprintf(nullptr, 0, format, copie);
    va_end(copie);
    std::string s(static_cast<std::size_t>(std::max(n, 0)), '\0');
    std::vsnprintf(s.data(), s.size() + 1, format, arguments);
    va_end(arguments);
    return s;
}

// The set-up, in the order the analyser receives it.
std::vector<std::string> CommandesReglage(const S_bode_hp &b) {
    return {
        "FNC2",  // gain-phase
        "GPP1",
        "SWP1",
        "SWT1",
        "SWD1",  // upwards
        "SWM2",  // single sweeps: one per SWTRG
        Texte("ITM%d", b.sweep),
        Texte("NOA=%d", b.moy),
        b.reglage == 1 ? Texte("START=%f;STOP=%f;NOP=401", b.start, b.stop)
                       : Texte("CENTER=%f;SPAN=%f;NOP=401", b.center, b.span),
        Texte("OSC=%f", b.osclev),
        Texte("PWS%d", b.mode),
        Texte("ATR%d", b.ref_att),
        Texte("ZIR%d", b.ref_imp),
        Texte("ATT%d", b.test_att),
        Texte("ZIT%d", b.test_imp),
        "FMT2",  // traces as 64-bit binary blocks
    };
}

// ---- management ---------------------------------------------------------------------------

void bode_hp_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                        unsigned char *flag) {
    Bode_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = &p->mesures;
    *flag = 0;
}

// The panel's controls and the fields they show.
struct ChampEntier {
    int controle;
    std::int32_t S_bode_hp::*champ;
};
struct ChampReel {
    int controle;
    double S_bode_hp::*champ;
};
constexpr ChampEntier kEntiers[] = {
    {PANEL_bode_GPIB, &S_bode_hp::adresse_gpib},
    {PANEL_bode_SWEEP, &S_bode_hp::sweep},
    {PANEL_bode_MOY, &S_bode_hp::moy},
};
constexpr ChampReel kReels[] = {
    {PANEL_bode_START, &S_bode_hp::start},   {PANEL_bode_STOP, &S_bode_hp::stop},
    {PANEL_bode_CENTER, &S_bode_hp::center}, {PANEL_bode_SPAN, &S_bode_hp::span},
    {PANEL_bode_OSCLEV, &S_bode_hp::osclev},
};
// Two-position switches: the left position stands for 1, the right one for 2.
constexpr ChampEntier kInterrupteurs[] = {
    {PANEL_bode_TRIG, &S_bode_hp::trig},         {PANEL_bode_MODE, &S_bode_hp::mode},
    {PANEL_bode_REF_ATT, &S_bode_hp::ref_att},   {PANEL_bode_REF_IMP, &S_bode_hp::ref_imp},
    {PANEL_bode_TEST_ATT, &S_bode_hp::test_att}, {PANEL_bode_TEST_IMP, &S_bode_hp::test_imp},
};

void bode_hp_configure(PInstrument *instrument) {
    Bode_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, PANEL_bode);
    if (panel < 0) return;
    const S_bode_hp &b = p->bloc;
    // A value that a ring does not list leaves the panel's initial choice.
    for (const ChampEntier &c : kEntiers) SetCtrlVal(panel, c.controle, b.*c.champ);
    for (const ChampEntier &c : kInterrupteurs) SetCtrlVal(panel, c.controle, b.*c.champ == 2 ? 1 : 0);
    // Any value other than 1 sends center and span: the slide shows it so.
    SetCtrlVal(panel, PANEL_bode_REGLAGE, b.reglage == 1 ? 1 : 0);
    for (const ChampReel &c : kReels) SetCtrlVal(panel, c.controle, b.*c.champ);
    SetCtrlAttribute(panel, PANEL_bode_COMMANDBUTTON_OK, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int bode_hp_init(PInstrument *instrument) {
    Bode_prive *p = Prive(instrument);
    const int carte = ouverture_gpib::Carte();
    if (carte < 0) return -1;
    // The device of the previous start goes offline first: its notification, if one is still
    // armed, can no longer run into this set-up or call back twice for one request; a callback
    // cut short by it says nothing.
    panne_gpib::Fermer(p->suivi, p->ud, p->activite);
    const int adresse = p->bloc.adresse_gpib;
    const int ud = ibdev(0, adresse, NO_SAD, T10s, 1, 0);
    ibclr(ud);
    short ecoute = 0;
    ibln(ud, adresse, NO_SAD, &ecoute);
    ibconfig(ud, IbcEOT, 1);
    ibconfig(ud, IbcEOSrd, 0);
    ibconfig(ud, IbcEOSwrt, 0);
    ibconfig(ud, IbcEOScmp, 0);
    ibconfig(ud, IbcEOSchar, 0);
    if (ecoute == 0) {
        ibonl(ud, 0);
        const std::string message =
            "Il faudrait penser à brancher le HP à l'adresse "_w + std::to_string(adresse) + " !!!";
        MessagePopup("PAS BON", message.c_str());
        return -1;
    }
    for (const std::string &commande : CommandesReglage(p->bloc)) ibecr2(ud, commande.c_str());

    p->ud = ud;
    char nom_verrou[32];
    std::snprintf(nom_verrou, sizeof nom_verrou, "GPIB0:%i", adresse);
    p->verrou = instrument->gestion_lock ? instrument->gestion_lock(nom_verrou) : 0;
    p->masque = RQS;
    p->trig = p->bloc.trig;
    p->suivi.Preparer(TexteChamp(p->bloc.nom_instru), adresse);
    {
        std::lock_guard g(p->traces);
        p->numero = 0;
    }
    p->bloc.identificateur = ud;
    p->bloc.stop_interruption = RQS;
    p->bloc.numero_mesure = 0;
    return carte;
}

// Acknowledges the service request: serial polls while the device still requests service,
// 100 at most; after the hundredth, its status is read off as text too.
void AcquitterDemande(int ud) {
    int polls = 0;
    int sta = 0;
    do {
        char octet = 0;
        sta = ibrsp(ud, &octet);
        ++polls;
    } while ((sta & RQS) != 0 && polls < kPollsMax);
    if (polls == kPollsMax) {
        ibecr2(ud, "STB?");
        char reponse[256];
        ibrd(ud, reponse, 200);
    }
}

}  // namespace

// Fetches trace `nom` into `destination`, one of the callback's own rows (401 values at most;
// values past the block keep what they held). SansReponse when the analyser did not take the
// query or did not answer in time (the sweep's other traces are not asked for then), Illisible
// when its reply is not a block (the row is left as it was).
bode_hp4194::Trace bode_hp4194::bode_hp_read_trace(int ud, const char *nom, double *destination) {
    using echanges_gpib::Lecture;
    using echanges_gpib::Lire;
    char texte[50];
    std::snprintf(texte, sizeof texte, "%s?", nom);
    if (ibecr2(ud, texte) & ERR) return Trace::SansReponse;
    Lecture l = Lire(ud, texte, 2);  // "#A"
    if (l.echec) return Trace::SansReponse;
    if (l.octets < 2 || l.fin || std::memcmp(texte, "#A", 2) != 0) return Trace::Illisible;
    unsigned char compte[2];
    l = Lire(ud, compte, 2);
    if (l.echec) return Trace::SansReponse;
    if (l.octets < 2 || l.fin) return Trace::Illisible;
    std::uint16_t longueur = 0;
    SwapEndian(&longueur, compte, 2);

    unsigned char donnees[kOctetsTrace];
    const long attendus = std::min<long>(longueur, kOctetsTrace);
    l = attendus > 0 ? Lire(ud, donnees, attendus) : Lecture{0, false, false};
    // Whole values only: the bytes of an incomplete last value are not converted.
    for (long i = 0; i < l.octets / 8; ++i) SwapEndian(&destination[i], donnees + 8 * i, 8);
    if (l.echec) return Trace::SansReponse;
    // The values beyond 401 are read off and dropped, then the two bytes that end the reply.
    for (long reste = longueur - attendus; !l.fin && reste > 0; reste -= l.octets) {
        l = Lire(ud, donnees, std::min(reste, kOctetsTrace));
        if (l.echec) return Trace::SansReponse;
        if (l.octets == 0) break;
    }
    if (!l.fin) l = Lire(ud, texte, 2);
    return l.echec ? Trace::SansReponse : Trace::Lue;
}

namespace {

using bode_hp4194::bode_hp_read_trace;

// Makes the sweep just fetched the channels' newest, and counts it: the three traces and the
// number change together.
void Publier(Bode_prive &p) {
    std::lock_guard g(p.traces);
    std::memcpy(p.mesures, p.lecture, sizeof p.mesures);
    std::memcpy(p.indices, p.lecture_indices, sizeof p.indices);
    ++p.numero;
}

// Called on the GPIB driver's thread when the analyser requests service at the end of a sweep,
// and at the device's time-out when no sweep ended meanwhile.
int CB_interruption_bode(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/, void *refData) {
    if (LocalIbsta == ERR) return 0;
    auto *instrument = static_cast<PInstrument *>(refData);
    Bode_prive *p = Prive(instrument);
    // "Repeat" triggers the next sweep itself; in "Single" the next TRIG command does.
    const auto Relancer = [p, ud] { return p->trig != 1 || (ibecr2(ud, "SWTRG") & ERR) == 0; };
    CmtGetLock(p->verrou);
    if ((LocalIbsta & RQS) == 0) {
        // No sweep ended within the time-out: is the analyser still there, and does a sweep
        // whose trigger failed have to be triggered again?
        p->suivi.Surveiller(ud, Relancer);
        CmtReleaseLock(p->verrou);
        return p->Masque();
    }
    AcquitterDemande(ud);
    // A trace that did not come is missing (NaN) in this sweep, never the earlier sweep's; once
    // the analyser stops answering, the other traces are not asked for.
    using bode_hp4194::Trace;
    struct Rang {
        const char *nom;
        double *valeurs;
    };
    const Rang rangs[] = {{"A", p->lecture[0]}, {"B", p->lecture[1]}, {"X", p->lecture_indices}};
    Trace issue = Trace::Lue;
    for (const Rang &r : rangs) {
        const Trace t =
            issue == Trace::SansReponse ? Trace::SansReponse : bode_hp_read_trace(ud, r.nom, r.valeurs);
        if (t != Trace::Lue) std::fill_n(r.valeurs, kPoints, std::numeric_limits<double>::quiet_NaN());
        issue = panne_gpib::Pire(issue, t);
    }
    // Every request counts one sweep, whatever its transfers gave; its number goes out with its
    // traces, before the next sweep is triggered.
    Publier(*p);
    p->suivi.Cycle(issue, Relancer());
    CmtReleaseLock(p->verrou);
    return p->Masque();
}

int bode_hp_start(PInstrument *instrument) {
    Bode_prive *p = Prive(instrument);
    int sta = ibecr2(p->ud, "RQS2");
    if (sta & ERR) {
        MessagePopup("Attention !!!", "Impossible d'initialiser l'interruption (bode)");
        return sta;
    }
    if (ibnotify(p->ud, p->Masque(), CB_interruption_bode, instrument) & ERR) {
        MessagePopup("Attention !!!", "Impossible d'initialiser le HP");
        return -1;
    }
    p->activite.NotificationArmee(p->ud);
    sta = ibecr2(p->ud, "SWTRG");
    if (sta & ERR) {
        MessagePopup("Attention !!!", "Impossible de lancer une mesure");
        ibnotify(p->ud, 0, CB_interruption_bode, nullptr);
        p->activite.NotificationDesarmee(p->ud);
    }
    return sta;
}

// The next callback still takes its sweep in, then ends the notification.
void bode_hp_stop(PInstrument *instrument) {
    Bode_prive *p = Prive(instrument);
    p->masque = 0;
    p->bloc.stop_interruption = 0;
}

int bode_hp_status(PInstrument *instrument) { return Prive(instrument)->bloc.status; }

void bode_hp_execute(PInstrument *instrument, const char *chaine) {
    Bode_prive *p = Prive(instrument);
    p->bloc.status = 0;
    const std::string commande = bode_hp4194::CommandeAnalyseur(chaine != nullptr ? chaine : "");
    if (!commande.empty() && p->ud >= 0) {
        CmtGetLock(p->verrou);  // waits while a callback fetches a sweep
        ibecr2(p->ud, commande.c_str());
        CmtReleaseLock(p->verrou);
    }
    p->bloc.status = 1;
}

// ---- channels -----------------------------------------------------------------------------

int bode_hp_nb_voie2D(PInstrument * /*instrument*/) { return 2; }

void bode_hp_get_nom_voie2D(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    const char *nom = voie == 1 ? "Gain" : voie == 2 ? "Phase" : "";
    std::memcpy(nom_voie, nom, std::strlen(nom) + 1);
}

int bode_hp_get_taille_voie2D(PInstrument * /*instrument*/, int /*voie*/) { return kPoints; }

void bode_hp_mesure2D(PInstrument *instrument, int voie, double *mesure) {
    if (voie != 1 && voie != 2) return;
    Bode_prive *p = Prive(instrument);
    std::lock_guard g(p->traces);
    std::memcpy(mesure, p->mesures[voie - 1], sizeof p->mesures[0]);
}

void bode_hp_indices2D(PInstrument *instrument, int /*voie*/, double *indice) {
    Bode_prive *p = Prive(instrument);
    std::lock_guard g(p->traces);
    std::memcpy(indice, p->indices, sizeof p->indices);
}

unsigned bode_hp_numero2D(PInstrument *instrument, int /*voie*/) {
    Bode_prive *p = Prive(instrument);
    std::lock_guard g(p->traces);
    return p->numero;
}

}  // namespace

std::string bode_hp4194::CommandeAnalyseur(std::string_view chaine) {
    if (chaine.size() > static_cast<std::size_t>(kCommandeMax)) return {};
    std::string texte(chaine);
    for (char &c : texte) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // A name and a decimal number after it (blanks before the number allowed; its value, even
    // one beyond any range, and what follows it do not matter).
    for (const std::string_view nom : {"CENTER=", "SPAN=", "START=", "STOP=", "NOP=", "OSC="})
        if (texte.starts_with(nom) && !nombres::Reel(std::string_view(texte).substr(nom.size())).Vide())
            return texte;
    struct Mot {
        std::string_view texte, envoi;
    };
    for (const Mot &m : {Mot{"TRIG", "SWTRG"}, Mot{"SWEEP_UP", "SWD1"}, Mot{"SWEEP_DOWN", "SWD2"}})
        if (texte == m.texte) return std::string(m.envoi);
    return {};
}

PInstrument bode_hp = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = bode_hp_configure,
    .get_memory = bode_hp_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = bode_hp_stop,
    .start = bode_hp_start,
    .init = bode_hp_init,
    .status = bode_hp_status,
    .execute = bode_hp_execute,
    .nb_voie2D = bode_hp_nb_voie2D,
    .get_nom_voie2D = bode_hp_get_nom_voie2D,
    .get_taille_voie2D = bode_hp_get_taille_voie2D,
    .mesure2D = bode_hp_mesure2D,
    .indices2D = bode_hp_indices2D,
    .numero2D = bode_hp_numero2D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of PANEL_bode (callback data: the private record): stores the whole panel, then closes it.
// Nothing goes to the analyser before the next acquisition start; a new trigger mode decides
// at once whether the next callback triggers another sweep.
int BODE_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Bode_prive *>(callbackData)) {
        S_bode_hp &b = p->bloc;
        int v = 0;
        for (const ChampEntier &c : kEntiers)
            if (GetCtrlVal(panel, c.controle, &v) == 0) b.*c.champ = v;
        for (const ChampEntier &c : kInterrupteurs)
            if (GetCtrlVal(panel, c.controle, &v) == 0) b.*c.champ = v != 0 ? 2 : 1;
        if (GetCtrlVal(panel, PANEL_bode_REGLAGE, &v) == 0) b.reglage = v;
        double x = 0.0;
        for (const ChampReel &c : kReels)
            if (GetCtrlVal(panel, c.controle, &x) == 0) b.*c.champ = x;
        p->trig = b.trig;
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(BODE_OK);
