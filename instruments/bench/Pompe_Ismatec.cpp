// "Pompe Ismatec": a peristaltic pump on a serial port (see Pompe_Ismatec.h).
//
// The private record holds the 148-byte settings block, then what only lives in this run
// (liaison_serie.h): the manual-control panel this run loaded (the block's own handle field is
// never taken for a live one), the port the last `init` opened (commands and panel use it,
// whatever the configuration panel changed since: a new port takes effect at the next
// acquisition start), the instance's activity (its panels), and the fault said on the status
// list.
//
// The pump's replies are read only where its commands ask for them; a pump that gives none (or
// an unreadable maximum flow) is said once on the status list, and again once it answers.
#include "instruments/bench/Pompe_Ismatec.h"

#include "gpib/nombres.h"
#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/liaison_serie.h"
#include "instruments/bench/pilotage.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_Pompe_Ismatec.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_Pompe_Ismatec.uir";
constexpr int kLongueurReponseDebit = 15;  // the maximum-flow reply
constexpr auto kSansReponse = "pas de réponse de la pompe"_w;
constexpr auto kIllisible = "réponse illisible de la pompe"_w;

// ---- saved block --------------------------------------------------------------------------

// Four-byte packing: the settings files hold 148 bytes, the flow's double at offset 128.
#pragma pack(push, 4)
struct S_Pompe_Ismatec {
    char nom_instrument[128];     // terminated, at most 39 characters
    double debit;                 // last flow asked for, ml/min
    std::int32_t diam_tube;       // tube inner diameter, hundredths of a millimetre
    std::int32_t com_port;        // COM port number
    std::int32_t panel_pilotage;  // handle of the run that saved the block
};
#pragma pack(pop)
static_assert(sizeof(S_Pompe_Ismatec) == 148, "settings block of 148 bytes");
static_assert(offsetof(S_Pompe_Ismatec, debit) == 128);
static_assert(offsetof(S_Pompe_Ismatec, diam_tube) == 136);
static_assert(offsetof(S_Pompe_Ismatec, com_port) == 140);
static_assert(offsetof(S_Pompe_Ismatec, panel_pilotage) == 144);
static_assert(std::is_trivially_copyable_v<S_Pompe_Ismatec>);

// ---- private record -----------------------------------------------------------------------

struct Pompe_Ismatec_prive : banc::LiaisonPilotee {
    S_Pompe_Ismatec bloc;

    static constexpr const char *kNomDefaut = "Pompe Ismatec";
    static constexpr auto kChampNom = &S_Pompe_Ismatec::nom_instrument;

    void Defauts() {
        bloc.diam_tube = 152;
        bloc.com_port = 1;
    }
};
using Vie = plugin::Gestion<Pompe_Ismatec_prive, Pompe_Ismatec>;

constexpr auto Prive = plugin::Prive<Pompe_Ismatec_prive>;

// ---- protocol -----------------------------------------------------------------------------

// Every command is its text and CR, written with its exact length.
void Envoyer(const Pompe_Ismatec_prive &p, const char *commande) {
    ComWrt(p.port, commande, static_cast<int>(std::strlen(commande)));
}

// A reply came (`texte` null) or not: the status list hears of the first failure and of the
// reply after it.
void Compter(Pompe_Ismatec_prive &p, const char *texte) {
    if (texte == nullptr) p.panne.Retablie(p.bloc.nom_instrument);
    else p.panne.Signaler(p.bloc.nom_instrument, banc::SurLePort(texte, p.port));
}

// The pump's one-byte answer, read and dropped.
void LireAccuse(Pompe_Ismatec_prive &p) { Compter(p, ComRdByte(p.port) < 0 ? kSansReponse : nullptr); }

// Asks the pump for its maximum flow and sends `debit` as per-mille of it. Nothing is sent
// (false) when the pump gives no usable maximum.
bool EnvoyerDebit(Pompe_Ismatec_prive &p, double debit) {
    Envoyer(p, "1!\r");
    char reponse[kLongueurReponseDebit + 1] = "";
    const int lus = ComRd(p.port, reponse, kLongueurReponseDebit);
    const auto maximum = Ismatec_debit_maximum(std::string_view(reponse, static_cast<std::size_t>(lus > 0 ? lus : 0)));
    Compter(p, maximum ? nullptr : lus > 0 ? kIllisible : kSansReponse);
    if (!maximum) return false;
    const auto n = Ismatec_pour_mille(debit, *maximum);
    if (!n) return false;
    char commande[24];
    std::snprintf(commande, sizeof commande, "1S%05d\r", *n);
    Envoyer(p, commande);
    return true;
}

// ---- management -------------------------------------------------------------------------

void Pompe_Ismatec_configure(PInstrument *instrument) {
    Pompe_Ismatec_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_INSTR, P_INSTR_CB_OK, p);
    if (panel <= 0) return;
    SetCtrlVal(panel, P_INSTR_RG_COM_ID, p->bloc.com_port);
    SetCtrlVal(panel, P_INSTR_DIAMETRE, p->bloc.diam_tube);
    DisplayPanel(panel);
}

void Pompe_Ismatec_piloter(PInstrument *instrument) {
    const Pompe_Ismatec_prive *p = Prive(instrument);
    if (p->panneau_pilotage > 0) DisplayPanel(p->panneau_pilotage);
}

// ---- control ------------------------------------------------------------------------------

int Pompe_Ismatec_init(PInstrument *instrument) {
    Pompe_Ismatec_prive &p = *Prive(instrument);
    if (!banc::ChargerPilotage(p.panneau_pilotage, p.bloc.panel_pilotage, p.activite, kFichierUir, P_PILOT)) return -1;
    for (const int control : {P_PILOT_OK_DEBIT, P_PILOT_SENS_ROT, P_PILOT_ETAT})
        SetCtrlAttribute(p.panneau_pilotage, control, ATTR_CALLBACK_DATA, static_cast<void *>(&p));

    // A failure shows at the pump.
    banc::OuvrirPort(p, p.bloc.com_port);
    p.panne.Oublier();
    Envoyer(p, "@1\r");
    char diametre[24];
    // Seven bytes with any diameter of the ring (three digits); a value from a damaged settings
    // file goes out with its own length rather than with bytes beyond its text.
    std::snprintf(diametre, sizeof diametre, "1+0%i\r", static_cast<int>(p.bloc.diam_tube));
    Envoyer(p, diametre);
    Envoyer(p, "1J\r");
    Envoyer(p, "1M\r");
    return 0;
}

void Pompe_Ismatec_execute(PInstrument *instrument, const char *chaine) {
    Pompe_Ismatec_prive &p = *Prive(instrument);
    if (chaine == nullptr) return;
    const int panel = p.panneau_pilotage;
    FlushInQ(p.port);
    struct Mot {
        const char *texte;
        int controle, valeur;
        const char *commande;
        bool led;
    };
    static constexpr Mot kMots[] = {
        {"marche", P_PILOT_ETAT, 1, "1H\r", true},
        {"arret", P_PILOT_ETAT, 0, "1I\r", true},
        {"sens horaire", P_PILOT_SENS_ROT, 1, "1J\r", false},
        {"sens anti horaire", P_PILOT_SENS_ROT, 0, "1K\r", false},
    };
    for (const Mot &m : kMots) {
        if (std::strcmp(chaine, m.texte) != 0) continue;
        SetCtrlVal(panel, m.controle, m.valeur);
        Envoyer(p, m.commande);
        if (m.led) SetCtrlVal(panel, P_PILOT_LED, m.valeur);
        LireAccuse(p);
        break;
    }
    double debit = 0.0;
    if (std::sscanf(chaine, "debit=%lf", &debit) == 1) {
        SetCtrlVal(panel, P_PILOT_DEBIT, debit);
        p.bloc.debit = debit;
        if (EnvoyerDebit(p, debit)) LireAccuse(p);
    }
}

}  // namespace

std::optional<double> Ismatec_debit_maximum(std::string_view reponse) {
    float maximum = 0.0f;
    if (nombres::LireReel(reponse.substr(0, kLongueurReponseDebit), maximum) == 0) return std::nullopt;
    if (!std::isfinite(maximum) || !(maximum > 0.0f)) return std::nullopt;
    return maximum;
}

std::optional<int> Ismatec_pour_mille(double debit, double maximum) {
    const double pour_mille = 10.0 * (debit * 100.0 / maximum);
    if (!std::isfinite(pour_mille) || std::fabs(pour_mille) > static_cast<double>(INT_MAX)) return std::nullopt;
    // Truncated toward zero, as the pump's speed has always been computed; the tiny nudge away
    // from zero only takes back the floating-point error of the division (0.29 ml/min against
    // 1 ml/min is 289.99999999999997 per-mille, meant as 290).
    constexpr double kArtefact = 1e-9;
    return static_cast<int>(std::trunc(pour_mille + std::copysign(kArtefact, pour_mille)));
}

PInstrument Pompe_Ismatec = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = Pompe_Ismatec_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = Pompe_Ismatec_init,
    .execute = Pompe_Ismatec_execute,
    .piloter = Pompe_Ismatec_piloter,
};

// ---- panel callbacks (callback data: the private record) ------------------------------------

// Stores the port and the tube, and closes the panel; the pump gets them at the next init.
int CB_Pompe_Ismatec_config_ok(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Pompe_Ismatec_prive *>(callbackData);
    if (p != nullptr) {
        int v = 0;
        if (GetCtrlVal(panel, P_INSTR_RG_COM_ID, &v) == 0) p->bloc.com_port = v;
        if (GetCtrlVal(panel, P_INSTR_DIAMETRE, &v) == 0) p->bloc.diam_tube = v;
    }
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(CB_Pompe_Ismatec_config_ok);

// "Cacher" of P_PILOT: the panel is hidden and stays loaded.
UI_CALLBACK_AS(CB_Pompe_Ismatec_hide, CacherPanneau);

// OK beside the flow: the flow of the panel goes to the pump; its answer stays unread.
int CB_debit_changed(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Pompe_Ismatec_prive *>(callbackData);
    double debit = 0.0;
    if (p == nullptr || GetCtrlVal(panel, P_PILOT_DEBIT, &debit) < 0) return 0;
    p->bloc.debit = debit;
    FlushInQ(p->port);
    EnvoyerDebit(*p, debit);
    return 0;
}
UI_CALLBACK(CB_debit_changed);

int sensos_rot(int panel, int control, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Pompe_Ismatec_prive *>(callbackData);
    int sens = 0;
    if (p == nullptr || GetCtrlVal(panel, control, &sens) < 0) return 0;
    Envoyer(*p, sens == 1 ? "1J\r" : "1K\r");
    return 0;
}
UI_CALLBACK(sensos_rot);

int ETAT_POMPE(int panel, int control, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Pompe_Ismatec_prive *>(callbackData);
    int etat = 0;
    if (p == nullptr || GetCtrlVal(panel, control, &etat) < 0) return 0;
    Envoyer(*p, etat == 1 ? "1H\r" : "1I\r");
    SetCtrlVal(panel, P_PILOT_LED, etat);
    return 0;
}
UI_CALLBACK(ETAT_POMPE);
