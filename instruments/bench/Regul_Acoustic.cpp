// "Regul Acoustic": the temperature regulator on a serial port (see Regul_Acoustic.h).
//
// The private record holds the 144-byte settings block and its end marker, the two channels'
// values and reading counters, then what only lives in this run (liaison_serie.h): the
// manual-control panel this run loaded (the block's own handle field is never taken for a live
// one), the port the last `init` opened (the exchanges, the callback and `stop` use it, whatever
// the configuration panel changed since), the instance's activity (its panels, its receive
// callback and the watch over the reports, which `liberer` stops before the record goes), and
// the fault said on the status list.
//
// Everything here runs on the user-interface thread, the receive callback included (the serial
// layer delivers it there), so the callback and the set-point exchange never run at once; but
// the exchange reads the same input queue, and may take a report's bytes while it waits for the
// regulator's 'y': the callback then finds no 't' waiting and leaves the rest of the report to
// the next one.
//
// A regulator that stops reporting during an acquisition (or whose bytes make no report) is said
// once on the status list, and again when it reports anew (banc::Veille). So is a set-point sent
// by a command during an acquisition that the regulator does not take: the sequencer's commands
// must not pile pop-ups up; at the start and from the manual-control panel, where the operator
// waits for the answer, the pop-up stays.
#include "instruments/bench/Regul_Acoustic.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/nombres.h"
#include "instruments/bench/liaison_serie.h"
#include "instruments/bench/pilotage.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/UIR_Regul_Acoustic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_Regul_Acoustic.uir";
constexpr double kDelai = 5.0;             // seconds for every read and write
constexpr double kAvantValeur = 0.1;       // seconds between the 'y' and the value
constexpr int kTexteRapportMax = 50;       // bytes of a report's text
constexpr std::size_t kMessageMax = 9;     // the value, its two CRs
constexpr int kOctetsAvantAccordMax = 512; // bytes dropped while waiting for the 'y'
constexpr int kNbVoies = 2;
constexpr double kSilenceMin = 10.0;       // seconds without a report before it is said

const char kErreurTransmission[] = "Erreur de transmission";
constexpr auto kSansAccord = "le régulateur ne prend pas la consigne"_w;

// ---- saved block --------------------------------------------------------------------------

struct S_Regul_Acoustic {
    char nom_instrument[128];     // terminated, at most 39 characters
    std::int32_t com_port;        // COM port number, 1..4
    std::int32_t panel_pilotage;  // handle of the run that saved the block
    double consigne;              // temperature set-point, °C
};
static_assert(sizeof(S_Regul_Acoustic) == 144, "settings block of 144 bytes");
static_assert(offsetof(S_Regul_Acoustic, com_port) == 128);
static_assert(offsetof(S_Regul_Acoustic, panel_pilotage) == 132);
static_assert(offsetof(S_Regul_Acoustic, consigne) == 136);
static_assert(std::is_trivially_copyable_v<S_Regul_Acoustic>);

// ---- private record -----------------------------------------------------------------------

struct Regul_Acoustic_prive : banc::LiaisonPilotee {
    S_Regul_Acoustic bloc;
    char dont_remove_me = 0;  // the block ends here (get_memory flag 0)
    unsigned numero_mes1D[kNbVoies] = {};
    double zone_memoire_mes1D[kNbVoies] = {NotANumber(), NotANumber()};
    bool en_acquisition = false;  // between start and stop
    banc::Veille veille;          // over the reports, while the callback is installed
    plugin::Panne panne_consigne; // set-points not taken, said apart from the reports: a
                                  // regulator may report well and take no set-point

    static constexpr const char *kNomDefaut = "Regul Acoustic";
    static constexpr auto kChampNom = &S_Regul_Acoustic::nom_instrument;

    void Defauts() {
        bloc.com_port = 1;
        bloc.consigne = 20.0;
    }
};
// The end marker follows the block at once: the block's size is a multiple of its alignment.
static_assert(sizeof(S_Regul_Acoustic) % alignof(S_Regul_Acoustic) == 0);
using Vie = plugin::Gestion<Regul_Acoustic_prive, Regul_Acoustic>;

constexpr auto Prive = plugin::Prive<Regul_Acoustic_prive>;

// ---- protocol -----------------------------------------------------------------------------

// Reads until the regulator's 'y', dropping every other byte. The wait ends without it at the
// first read that fails (5 s without a byte, or a port that is not open), and once the time-out
// has passed since the 'c' or many bytes came without it (a regulator that reports but never
// answers).
bool AttendreAccord(const Regul_Acoustic_prive &p) {
    const double fin = horloge::Secondes() + kDelai;
    for (int lus = 0; lus < kOctetsAvantAccordMax; ++lus) {
        const int c = ComRdByte(p.port);
        if (c == 'y') return true;
        if (c < 0 || horloge::Secondes() >= fin) return false;
    }
    return false;
}

// The set-point exchange: 'c', the regulator's 'y', then 0.1 s later the value. Channel 2 takes
// the set-point once the value was sent, even when a write reported an error. A set-point the
// regulator cannot hold is not sent at all; a regulator that never says 'y' gets no value.
// Every failure shows "Erreur de transmission", once per exchange, or is said on the status list
// (a command during an acquisition) once until the regulator takes a set-point again.
void write_consigne_rs232(Regul_Acoustic_prive &p, banc::Compte compte = banc::Compte::PopUp) {
    const auto message = Regul_Acoustic_message_consigne(p.bloc.consigne);
    if (!message) return;
    bool signale = false;
    const auto signaler = [&] {
        if (signale) return;
        signale = true;
        banc::SignalerEchec(compte, kErreurTransmission, p.panne_consigne, p.bloc.nom_instrument, kSansAccord, p.port);
    };
    if (ComWrtByte(p.port, 'c') != 1) signaler();
    if (!AttendreAccord(p)) {
        signaler();
        return;
    }
    Delay(kAvantValeur);
    const int n = static_cast<int>(message->size());
    if (ComWrt(p.port, message->data(), n) != n) signaler();
    else if (!signale) p.panne_consigne.Retablie(p.bloc.nom_instrument);
    p.zone_memoire_mes1D[1] = p.bloc.consigne;
    ++p.numero_mes1D[1];
}

// The receive callback, on each 't': one report, its text up to the LF. A report cut short (no
// LF before the time-out) or a read that fails is no reading: nothing is stored.
void Regul_Acoustic_com_int(int /*portNumber*/, int eventMask, void *callbackData) {
    if ((eventMask & LWRS_RXFLAG) == 0 || callbackData == nullptr) return;
    Regul_Acoustic_prive &p = *static_cast<Regul_Acoustic_prive *>(callbackData);
    if (!banc::OctetsEnAttente(p.port) || !banc::SauterJusqua(p.port, 't')) return;
    char texte[kTexteRapportMax];
    const int n = ComRdTerm(p.port, texte, kTexteRapportMax, '\n');
    if (n < 0 || ReturnRS232Err() != 0) {
        p.veille.Illisible();
        return;
    }
    p.zone_memoire_mes1D[0] = Regul_Acoustic_temperature(std::string_view(texte, static_cast<std::size_t>(n)));
    ++p.numero_mes1D[0];
    p.veille.Lecture();
}

// ---- management -------------------------------------------------------------------------

void Regul_Acoustic_configure(PInstrument *instrument) {
    Regul_Acoustic_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_INSTR, P_INSTR_CB_OK, p);
    if (panel <= 0) return;
    SetCtrlVal(panel, P_INSTR_RG_COM_ID, p->bloc.com_port);
    SetCtrlVal(panel, P_INSTR_NUM_CONSIGNE_ID, p->bloc.consigne);
    DisplayPanel(panel);
}

// The block up to the end marker (flag 0).
void Regul_Acoustic_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                               unsigned char *flag) {
    Regul_Acoustic_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = &p->dont_remove_me;
    *flag = 0;
}

void Regul_Acoustic_piloter(PInstrument *instrument) {
    Regul_Acoustic_prive *p = Prive(instrument);
    const int panel = p->panneau_pilotage;
    if (panel <= 0) return;  // no init yet, or its panel could not be loaded
    SetCtrlVal(panel, P_PILOT_NUM_CONSIGNE_ID, p->bloc.consigne);
    SetCtrlAttribute(panel, P_PILOT_CB_VALIDATE_ID, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int Regul_Acoustic_init(PInstrument *instrument) {
    Regul_Acoustic_prive &p = *Prive(instrument);
    if (!banc::ChargerPilotage(p.panneau_pilotage, p.bloc.panel_pilotage, p.activite, kFichierUir, P_PILOT)) return -1;
    const int r = banc::OuvrirPortVerifie(p, p.bloc.com_port, kDelai);
    if (r < 0) return r;
    p.panne.Oublier();
    p.panne_consigne.Oublier();
    for (int v = 0; v < kNbVoies; ++v) {
        p.zone_memoire_mes1D[v] = NotANumber();
        p.numero_mes1D[v] = 0;
    }
    write_consigne_rs232(p);
    return 0;
}

// Reports received since the last stop are old: they go, and the callback comes, watched.
int Regul_Acoustic_start(PInstrument *instrument) {
    Regul_Acoustic_prive &p = *Prive(instrument);
    FlushInQ(p.port);
    p.en_acquisition = true;
    if (InstallComCallback(p.port, LWRS_RXFLAG, 0, 't', Regul_Acoustic_com_int, &p) == 0) {
        p.activite.RappelSerieInstalle(p.port);
        p.veille.Armer(p, p.bloc.nom_instrument, kSilenceMin);
    }
    return 0;
}

void Regul_Acoustic_stop(PInstrument *instrument) {
    Regul_Acoustic_prive &p = *Prive(instrument);
    if (p.panneau_pilotage > 0) HidePanel(p.panneau_pilotage);
    p.veille.Desarmer();
    p.en_acquisition = false;
    InstallComCallback(p.port, 0, 0, 0, nullptr, nullptr);
    p.activite.RappelSerieRetire(p.port);
}

// "consigne=<°C>": the set-point goes to the regulator at once, and into the manual-control
// panel, shown or not. Any other text, and a set-point the regulator cannot hold, do nothing.
void Regul_Acoustic_execute(PInstrument *instrument, const char *chaine) {
    Regul_Acoustic_prive &p = *Prive(instrument);
    double consigne = 0.0;
    if (chaine == nullptr || std::sscanf(chaine, "consigne=%lf", &consigne) != 1) return;
    if (!Regul_Acoustic_message_consigne(consigne)) return;
    p.bloc.consigne = consigne;
    write_consigne_rs232(p, banc::CompteDeCommande(p.en_acquisition));
    if (p.panneau_pilotage > 0) SetCtrlVal(p.panneau_pilotage, P_PILOT_NUM_CONSIGNE_ID, consigne);
}

// ---- channels -----------------------------------------------------------------------------

int Regul_Acoustic_nb_voie_1D(PInstrument * /*instrument*/) { return kNbVoies; }

void Regul_Acoustic_get_nom_voie_1D(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    std::strcpy(nom_voie, voie == 2 ? "Consigne" : "Regulation");
}

double Regul_Acoustic_mesure_1D(PInstrument *instrument, int voie) {
    return voie >= 1 && voie <= kNbVoies ? Prive(instrument)->zone_memoire_mes1D[voie - 1] : NotANumber();
}

unsigned Regul_Acoustic_numero_1D(PInstrument *instrument, int voie) {
    return voie >= 1 && voie <= kNbVoies ? Prive(instrument)->numero_mes1D[voie - 1] : 0u;
}

}  // namespace

double Regul_Acoustic_temperature(std::string_view texte) {
    double temperature = 0.0;  // a report without a number
    nombres::LireReel(texte.substr(0, kTexteRapportMax), temperature);
    return temperature;
}

// "%2.2f" and two CRs, written with a decimal point whatever the program's locale.
std::optional<std::string> Regul_Acoustic_message_consigne(double consigne) {
    if (!std::isfinite(consigne)) return std::nullopt;
    char message[kMessageMax];
    const auto [fin, err] = std::to_chars(message, message + kMessageMax - 2, consigne, std::chars_format::fixed, 2);
    if (err != std::errc{}) return std::nullopt;
    *fin = '\r';
    *(fin + 1) = '\r';
    return std::string(message, fin + 2);
}

PInstrument Regul_Acoustic = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = Regul_Acoustic_configure,
    .get_memory = Regul_Acoustic_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = Regul_Acoustic_stop,
    .start = Regul_Acoustic_start,
    .init = Regul_Acoustic_init,
    .execute = Regul_Acoustic_execute,
    .piloter = Regul_Acoustic_piloter,
    .nb_voie_1D = Regul_Acoustic_nb_voie_1D,
    .get_nom_voie_1D = Regul_Acoustic_get_nom_voie_1D,
    .mesure_1D = Regul_Acoustic_mesure_1D,
    .numero_1D = Regul_Acoustic_numero_1D,
};

// ---- panel callbacks (callback data: the private record) ------------------------------------

// Stores the port and the set-point, and closes the panel. Nothing is sent: the regulator gets
// the set-point at the next acquisition start.
int CB_Regul_Acoustic_config_ok(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Regul_Acoustic_prive *>(callbackData);
    if (p != nullptr) {
        int port = 0;
        if (GetCtrlVal(panel, P_INSTR_RG_COM_ID, &port) == 0) p->bloc.com_port = port;
        double consigne = 0.0;
        if (GetCtrlVal(panel, P_INSTR_NUM_CONSIGNE_ID, &consigne) == 0) p->bloc.consigne = consigne;
    }
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(CB_Regul_Acoustic_config_ok);

// "Cacher" of P_PILOT: the panel is hidden and stays loaded.
UI_CALLBACK_AS(CB_Regul_Acoustic_hide, CacherPanneau);

// "Envoyer": the panel's set-point goes to the regulator at once.
int CB_Regul_Acoustic_pilot_VALIDATE(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Regul_Acoustic_prive *>(callbackData);
    double consigne = 0.0;
    if (p == nullptr || GetCtrlVal(panel, P_PILOT_NUM_CONSIGNE_ID, &consigne) < 0) return 0;
    p->bloc.consigne = consigne;
    write_consigne_rs232(*p);
    return 0;
}
UI_CALLBACK(CB_Regul_Acoustic_pilot_VALIDATE);
