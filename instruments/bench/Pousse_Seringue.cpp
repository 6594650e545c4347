// "Pousse Seringue": one to four syringe pumps on one RS-232 line (see Pousse_Seringue.h).
//
// The private record holds the 472-byte settings block, then what only lives in this run
// (liaison_serie.h): the manual-control panel this run loaded (the block's own handle field is
// never taken for a live one), the port the last `init` opened (exchanges and `liberer` use it,
// whatever the configuration panel changed since), the instance's activity (its panels), and the
// fault said on the status list.
//
// A pump that does not answer shows its pop-up where the operator waits for the answer (the
// acquisition start, the manual-control panel). The sequencer's commands during an acquisition
// say it once on the status list instead, and again when a pump answers: a script must not pile
// pop-ups up while the acquisition runs.
#include "instruments/bench/Pousse_Seringue.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/liaison_serie.h"
#include "instruments/bench/pilotage.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_Pousse_Seringue.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_Pousse_Seringue.uir";
constexpr int kNbPompes = 4;
constexpr int kLargeurPanneaux = 280;
// Heights of the configuration and manual-control panels for 1, 2, 3, 4 pumps in use (the rows
// of the pumps in use show); the last one is the panel's whole height.
constexpr std::int32_t kHauteursConfiguration[kNbPompes] = {170, 300, 430, 560};
constexpr std::int32_t kHauteursPilotage[kNbPompes] = {130, 240, 350, 460};
constexpr std::size_t kLongueurLigne = 32;  // a command line with its CR LF and terminator
constexpr int kEtx = 0x03;
constexpr double kDelaiReponse = 5.0;       // seconds for every write, and for a whole reply
constexpr int kOctetsSansEtxMax = 256;      // bytes of a reply without its ETX before giving up

const char kErreurTransmission[] = "Erreur de transmission";
constexpr auto kPasDeReponse =
    "Pas de réponse d'un des pousses seringues. Vérifiez qu'ils soient mis sous tension."_w;
constexpr auto kSansReponse = "pas de réponse du pousse seringue à l'adresse "_w;
constexpr auto kTransmission = "erreur de transmission";

// ---- saved block --------------------------------------------------------------------------

struct S_Pousse_Seringue {
    char nom_instrument[128];                  // terminated, at most 39 characters
    std::int32_t com_port;                     // COM port number
    std::int32_t panel_pilotage;               // handle of the run that saved the block
    char nb_PS;                                // pumps in use, 1..4
    std::int32_t instr_panel_height[kNbPompes]; // configuration panel's height for 1..4 pumps
    std::int32_t pilot_panel_height[kNbPompes]; // manual-control panel's height for 1..4 pumps
    char label_PS[kNbPompes][64];              // at most 63 characters each
    char adresse[kNbPompes];                   // address of each pump on the line, 0..99
    char on_off[kNbPompes];                    // not used
    char direction[kNbPompes];                 // 0 infuse, any other value withdraw
    float diametre[kNbPompes];                 // syringe inner diameter, mm
    std::int32_t rate[kNbPompes];              // µL/h
};
static_assert(sizeof(S_Pousse_Seringue) == 472, "settings block of 472 bytes");
static_assert(offsetof(S_Pousse_Seringue, com_port) == 128);
static_assert(offsetof(S_Pousse_Seringue, panel_pilotage) == 132);
static_assert(offsetof(S_Pousse_Seringue, nb_PS) == 136);
static_assert(offsetof(S_Pousse_Seringue, instr_panel_height) == 140);
static_assert(offsetof(S_Pousse_Seringue, pilot_panel_height) == 156);
static_assert(offsetof(S_Pousse_Seringue, label_PS) == 172);
static_assert(offsetof(S_Pousse_Seringue, adresse) == 428);
static_assert(offsetof(S_Pousse_Seringue, on_off) == 432);
static_assert(offsetof(S_Pousse_Seringue, direction) == 436);
static_assert(offsetof(S_Pousse_Seringue, diametre) == 440);
static_assert(offsetof(S_Pousse_Seringue, rate) == 456);
static_assert(std::is_trivially_copyable_v<S_Pousse_Seringue>);

// ---- private record -----------------------------------------------------------------------

struct Pousse_Seringue_prive : banc::LiaisonPilotee {
    S_Pousse_Seringue bloc;
    bool en_acquisition = false;                // between start and stop
    banc::Compte compte = banc::Compte::PopUp;  // how the exchanges under way tell a failure

    static constexpr const char *kNomDefaut = "Pousse Seringue";
    static constexpr auto kChampNom = &S_Pousse_Seringue::nom_instrument;

    void Defauts() {
        bloc.com_port = 2;
        bloc.nb_PS = 1;
        for (int i = 0; i < kNbPompes; ++i) {
            bloc.instr_panel_height[i] = kHauteursConfiguration[i];
            bloc.pilot_panel_height[i] = kHauteursPilotage[i];
            std::snprintf(bloc.label_PS[i], sizeof bloc.label_PS[i], "Pousse Seringue %2d", i + 1);
            bloc.adresse[i] = static_cast<char>(i);
            bloc.direction[i] = 0;
            bloc.diametre[i] = 12.06f;
            bloc.rate[i] = 1000;
        }
    }
};
using Vie = plugin::Gestion<Pousse_Seringue_prive, Pousse_Seringue>;

constexpr auto Prive = plugin::Prive<Pousse_Seringue_prive>;

// Controls of one pump's row on each panel.
struct LigneConfiguration {
    int adresse, label, diametre, debit, sens;
};
constexpr LigneConfiguration kLignesConfiguration[kNbPompes] = {
    {P_INSTR_NUM_PS_ID_1, P_INSTR_STR_PS_ID_1, P_INSTR_NUM_DIA_ID_1, P_INSTR_NUM_RAT_ID_1, P_INSTR_RG_DIR_ID_1},
    {P_INSTR_NUM_PS_ID_2, P_INSTR_STR_PS_ID_2, P_INSTR_NUM_DIA_ID_2, P_INSTR_NUM_RAT_ID_2, P_INSTR_RG_DIR_ID_2},
    {P_INSTR_NUM_PS_ID_3, P_INSTR_STR_PS_ID_3, P_INSTR_NUM_DIA_ID_3, P_INSTR_NUM_RAT_ID_3, P_INSTR_RG_DIR_ID_3},
    {P_INSTR_NUM_PS_ID_4, P_INSTR_STR_PS_ID_4, P_INSTR_NUM_DIA_ID_4, P_INSTR_NUM_RAT_ID_4, P_INSTR_RG_DIR_ID_4},
};
struct LignePilotage {
    int label, debit, sens, led, marche, arret;
};
constexpr LignePilotage kLignesPilotage[kNbPompes] = {
    {P_PILOT_LB_ID_1, P_PILOT_NUM_RAT_ID_1, P_PILOT_RG_DIR_ID_1, P_PILOT_LED_RUN_ID_1, P_PILOT_CB_RUN_ID_1, P_PILOT_CB_STP_ID_1},
    {P_PILOT_LB_ID_2, P_PILOT_NUM_RAT_ID_2, P_PILOT_RG_DIR_ID_2, P_PILOT_LED_RUN_ID_2, P_PILOT_CB_RUN_ID_2, P_PILOT_CB_STP_ID_2},
    {P_PILOT_LB_ID_3, P_PILOT_NUM_RAT_ID_3, P_PILOT_RG_DIR_ID_3, P_PILOT_LED_RUN_ID_3, P_PILOT_CB_RUN_ID_3, P_PILOT_CB_STP_ID_3},
    {P_PILOT_LB_ID_4, P_PILOT_NUM_RAT_ID_4, P_PILOT_RG_DIR_ID_4, P_PILOT_LED_RUN_ID_4, P_PILOT_CB_RUN_ID_4, P_PILOT_CB_STP_ID_4},
};
static_assert(P_PILOT_LED_RUN_ID_1 == 6 && P_PILOT_LED_RUN_ID_2 == 13 && P_PILOT_LED_RUN_ID_3 == 20 &&
              P_PILOT_LED_RUN_ID_4 == 27 && P_PILOT_LS_RS232_ID == 31);

// Pumps in use: nb_PS, kept to 1..4 whatever a settings file held.
int NbPompes(const S_Pousse_Seringue &b) { return std::clamp(static_cast<int>(b.nb_PS), 1, kNbPompes); }

// The entry of a stored height table for `nb` pumps. A height the panel cannot have (below a
// pixel, or beyond the panel's whole height, the last of its `defauts`, as a damaged settings file
// may hold) gives the whole panel: a window of millions of pixels would take the program minutes
// and gigabytes.
int Hauteur(const std::int32_t (&hauteurs)[kNbPompes], const std::int32_t (&defauts)[kNbPompes], int nb) {
    const std::int32_t h = hauteurs[std::clamp(nb, 1, kNbPompes) - 1];
    const std::int32_t pleine = defauts[kNbPompes - 1];
    return h >= 1 && h <= pleine ? h : pleine;
}

// ---- protocol -----------------------------------------------------------------------------

// The address a line goes to: its first two characters alone, read as a decimal integer
// (blanks skipped, an optional sign, digits; no digit: 0).
int AdresseDeLigne(const char *ligne) {
    const char deux[3] = {ligne[0], ligne[0] != '\0' ? ligne[1] : '\0', '\0'};
    return static_cast<int>(std::strtol(deux, nullptr, 10));
}

bool AdresseEnService(const S_Pousse_Seringue &b, int adresse) {
    for (int i = 0; i < NbPompes(b); ++i)
        if (b.adresse[i] == adresse) return true;
    return false;
}

// A failed exchange: its pop-up, or its status line (once until a pump answers again).
void Signaler(Pousse_Seringue_prive &p, const char *popUp, const std::string &statut) {
    banc::SignalerEchec(p.compte, popUp, p.panne, p.bloc.nom_instrument, statut, p.port);
}

// One command exchange: the line (the command and CR LF) is logged in the manual-control
// panel's list, and sent only when its address is that of a pump in use; then the reply is
// read up to its ETX and dropped. A short write, a pump that does not end its reply within 5 s
// of the line (silent, or talking on without ETX) or within 256 bytes, and any other read error
// each end in their pop-up (or status line); the caller goes on with its next line whatever
// happened.
[[gnu::format(printf, 2, 3)]] void Echanger(Pousse_Seringue_prive &p, const char *format, ...) {
    char ligne[kLongueurLigne];
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(ligne, sizeof ligne - 2, format, args);
    va_end(args);
    // A command that would not fit whole (a diameter of 1e30 from a damaged settings file) is
    // not sent cut.
    if (n < 0 || n >= static_cast<int>(sizeof ligne) - 2) return;
    ligne[n] = '\r';
    ligne[n + 1] = '\n';
    ligne[n + 2] = '\0';
    const int longueur = n + 2;
    if (p.panneau_pilotage > 0) InsertListItem(p.panneau_pilotage, P_PILOT_LS_RS232_ID, -1, ligne, 0);
    if (!AdresseEnService(p.bloc, AdresseDeLigne(ligne))) return;

    bool erreurMontree = false;
    if (ComWrt(p.port, ligne, longueur) != longueur) {
        Signaler(p, kErreurTransmission, kTransmission);
        erreurMontree = true;
    }
    // Bytes already waiting (a late reply to an earlier line) count as part of this reply. One
    // deadline for the whole reply: each read waits only for what is left of it, so a pump that
    // keeps sending bytes holds the user-interface thread no longer than a silent one.
    const double echeance = horloge::Secondes() + kDelaiReponse;
    int c = kRS_IOTimeOut;
    for (int lus = 0; lus < kOctetsSansEtxMax; ++lus) {
        const double reste = echeance - horloge::Secondes();
        if (reste <= 0.0) {
            c = kRS_IOTimeOut;
            break;
        }
        SetComTime(p.port, reste);
        c = ComRdByte(p.port);
        if (c == kEtx || c < 0) break;
    }
    SetComTime(p.port, kDelaiReponse);
    if (c == kEtx) {
        if (!erreurMontree) p.panne.Retablie(p.bloc.nom_instrument);
        return;
    }
    if (c >= 0 || c == kRS_IOTimeOut) {
        // No reply, or one that never ends: what the pump sent of it is dropped, so that the
        // next line's reply is read from its start.
        Signaler(p, kPasDeReponse, kSansReponse + std::string(ligne, 2));
        FlushInQ(p.port);
    } else if (!erreurMontree) {
        Signaler(p, kErreurTransmission, kTransmission);  // a port not open
    }
}

void EchangerSens(Pousse_Seringue_prive &p, int i) {
    if (p.bloc.direction[i] == 0) Echanger(p, "%02dDIR INF", p.bloc.adresse[i]);
    else Echanger(p, "%02dDIR WDR", p.bloc.adresse[i]);
}

void AllumerLed(Pousse_Seringue_prive &p, int i, int etat) {
    if (p.panneau_pilotage > 0) SetCtrlVal(p.panneau_pilotage, index_to_controlID(i), etat);
}

// Pump i runs at its stored rate.
void Lancer(Pousse_Seringue_prive &p, int i) {
    Echanger(p, "%02dRAT %dUH", p.bloc.adresse[i], p.bloc.rate[i]);
    Echanger(p, "%02dRUN", p.bloc.adresse[i]);
    AllumerLed(p, i, 1);
}

void Arreter(Pousse_Seringue_prive &p, int i) {
    Echanger(p, "%02dSTP", p.bloc.adresse[i]);
    AllumerLed(p, i, 0);
}

// ---- management -------------------------------------------------------------------------

void Pousse_Seringue_configure(PInstrument *instrument) {
    Pousse_Seringue_prive *p = Prive(instrument);
    const S_Pousse_Seringue &b = p->bloc;
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_INSTR, P_INSTR_CB_OK, p);
    if (panel <= 0) return;
    SetCtrlVal(panel, P_INSTR_RG_COM_ID, b.com_port);
    SetCtrlVal(panel, P_INSTR_NUM_PS_ID, static_cast<int>(b.nb_PS));
    SetPanelSize(panel, Hauteur(b.instr_panel_height, kHauteursConfiguration, b.nb_PS), kLargeurPanneaux);
    for (int i = 0; i < kNbPompes; ++i) {
        const LigneConfiguration &l = kLignesConfiguration[i];
        SetCtrlVal(panel, l.label, std::string(TexteChamp(b.label_PS[i])).c_str());
        SetCtrlVal(panel, l.sens, static_cast<int>(b.direction[i]));
        SetCtrlVal(panel, l.diametre, static_cast<double>(b.diametre[i]));
        SetCtrlVal(panel, l.debit, b.rate[i]);
        SetCtrlVal(panel, l.adresse, static_cast<int>(b.adresse[i]));
    }
    SetCtrlAttribute(panel, P_INSTR_NUM_PS_ID, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    DisplayPanel(panel);
}

void Pousse_Seringue_piloter(PInstrument *instrument) {
    Pousse_Seringue_prive *p = Prive(instrument);
    const int panel = p->panneau_pilotage;
    if (panel <= 0) return;  // no init yet, or its panel could not be loaded
    for (int i = 0; i < kNbPompes; ++i) {
        const LignePilotage &l = kLignesPilotage[i];
        SetCtrlVal(panel, l.label, std::string(TexteChamp(p->bloc.label_PS[i])).c_str());
        SetCtrlVal(panel, l.debit, p->bloc.rate[i]);
        SetCtrlVal(panel, l.sens, static_cast<int>(p->bloc.direction[i]));
        for (const int control : {l.marche, l.arret, l.sens, l.debit})
            SetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    }
    SetCtrlAttribute(panel, P_PILOT_CB_HIDE, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int Pousse_Seringue_init(PInstrument *instrument) {
    Pousse_Seringue_prive &p = *Prive(instrument);
    S_Pousse_Seringue &b = p.bloc;
    if (!banc::ChargerPilotage(p.panneau_pilotage, b.panel_pilotage, p.activite, kFichierUir, P_PILOT)) return -1;
    const int nb = NbPompes(b);
    if (p.panneau_pilotage > 0)
        SetPanelSize(p.panneau_pilotage, Hauteur(b.pilot_panel_height, kHauteursPilotage, nb), kLargeurPanneaux);

    const int r = banc::OuvrirPortVerifie(p, b.com_port, kDelaiReponse);
    if (r < 0) return r;
    p.panne.Oublier();

    Echanger(p, "00DIA");
    for (int i = 0; i < nb; ++i) {
        EchangerSens(p, i);
        Echanger(p, "%02dDIA %.2f", b.adresse[i], static_cast<double>(b.diametre[i]));
        Echanger(p, "%02dRAT %dUH", b.adresse[i], b.rate[i]);
    }
    return 0;
}

// Nothing goes to the pumps; from now on the sequencer's commands say their failures on the
// status list.
int Pousse_Seringue_start(PInstrument *instrument) {
    Prive(instrument)->en_acquisition = true;
    return 0;
}

// Pumps keep running, the line open.
void Pousse_Seringue_stop(PInstrument *instrument) { Prive(instrument)->en_acquisition = false; }

int Pousse_Seringue_status(PInstrument * /*instrument*/) { return 1; }

// "<n>infuse=<rate>" and "<n>stop", n being the pump's index, read from at most two characters.
void Pousse_Seringue_execute(PInstrument *instrument, const char *chaine) {
    Pousse_Seringue_prive &p = *Prive(instrument);
    if (chaine == nullptr) return;
    int n = 0;
    int debit = 0;
    p.compte = banc::CompteDeCommande(p.en_acquisition);
    if (std::sscanf(chaine, "%02dinfuse=%dUH", &n, &debit) == 2) {
        if (n >= 0 && n < kNbPompes) {  // the record holds four pumps
            p.bloc.rate[n] = debit;
            Lancer(p, n);
        }
    } else if (std::sscanf(chaine, "%02dstop", &n) >= 1) {
        if (n >= 0 && n < kNbPompes) Arreter(p, n);
    }
    p.compte = banc::Compte::PopUp;
}

}  // namespace

int index_to_controlID(int index) {
    return index >= 0 && index < kNbPompes ? kLignesPilotage[index].led : -1;
}

int controlID_to_index(int id) {
    for (int i = 0; i < kNbPompes; ++i) {
        const LignePilotage &l = kLignesPilotage[i];
        if (id == l.debit || id == l.sens || id == l.marche || id == l.arret) return i;
    }
    return -1;
}

PInstrument Pousse_Seringue = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = Pousse_Seringue_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = Pousse_Seringue_stop,
    .start = Pousse_Seringue_start,
    .init = Pousse_Seringue_init,
    .status = Pousse_Seringue_status,
    .execute = Pousse_Seringue_execute,
    .piloter = Pousse_Seringue_piloter,
};

// ---- panel callbacks (callback data: the private record) ------------------------------------

// The count of pumps in use is stored at once, and the panel shows their rows.
int CB_Pousse_Seringue_nb_PS(int panel, int control, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Pousse_Seringue_prive *>(callbackData);
    int nb = 1;
    if (p == nullptr || GetCtrlVal(panel, control, &nb) < 0) return 0;
    p->bloc.nb_PS = static_cast<char>(nb);
    SetPanelSize(panel, Hauteur(p->bloc.instr_panel_height, kHauteursConfiguration, nb), kLargeurPanneaux);
    return 0;
}
UI_CALLBACK(CB_Pousse_Seringue_nb_PS);

// Stores the port and the four rows, whatever the count in use, and closes the panel. Nothing is
// sent: the pumps get the new settings at the next acquisition start.
int CB_Pousse_Seringue_config_ok(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Pousse_Seringue_prive *>(callbackData);
    if (p != nullptr) {
        S_Pousse_Seringue &b = p->bloc;
        int v = 0;
        if (GetCtrlVal(panel, P_INSTR_RG_COM_ID, &v) == 0) b.com_port = v;
        for (int i = 0; i < kNbPompes; ++i) {
            const LigneConfiguration &l = kLignesConfiguration[i];
            if (GetCtrlVal(panel, l.adresse, &v) == 0) b.adresse[i] = static_cast<char>(v);
            char label[sizeof b.label_PS[i]] = "";
            if (GetCtrlVal(panel, l.label, label) == 0) EcrireChamp(b.label_PS[i], label);
            if (GetCtrlVal(panel, l.sens, &v) == 0) b.direction[i] = static_cast<char>(v);
            float diametre = 0.0f;
            if (GetCtrlVal(panel, l.diametre, &diametre) == 0) b.diametre[i] = diametre;
            if (GetCtrlVal(panel, l.debit, &v) == 0) b.rate[i] = v;
        }
    }
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(CB_Pousse_Seringue_config_ok);

namespace {

// The commit of a control in a pump's row of the manual-control panel: the record, and in *i the
// pump of that row; null for any other event.
Pousse_Seringue_prive *LignePilotee(int event, void *callbackData, int control, int *i) {
    *i = controlID_to_index(control);
    return event == EVENT_COMMIT && *i >= 0 ? static_cast<Pousse_Seringue_prive *>(callbackData) : nullptr;
}

}  // namespace

// A direction goes to the pump at once.
int RG_Pousse_Seringue_pilot_DIR(int panel, int control, int event, void *callbackData, int, int) {
    int i = 0;
    int sens = 0;
    if (auto *p = LignePilotee(event, callbackData, control, &i); p && GetCtrlVal(panel, control, &sens) == 0) {
        p->bloc.direction[i] = static_cast<char>(sens);
        EchangerSens(*p, i);
    }
    return 0;
}
UI_CALLBACK(RG_Pousse_Seringue_pilot_DIR);

// A rate waits for the next run.
int NUM_Pousse_Seringue_pilot_RAT(int panel, int control, int event, void *callbackData, int, int) {
    int i = 0;
    int debit = 0;
    if (auto *p = LignePilotee(event, callbackData, control, &i); p && GetCtrlVal(panel, control, &debit) == 0)
        p->bloc.rate[i] = debit;
    return 0;
}
UI_CALLBACK(NUM_Pousse_Seringue_pilot_RAT);

int CB_Pousse_Seringue_pilot_RUN(int, int control, int event, void *callbackData, int, int) {
    int i = 0;
    if (auto *p = LignePilotee(event, callbackData, control, &i)) Lancer(*p, i);
    return 0;
}
UI_CALLBACK(CB_Pousse_Seringue_pilot_RUN);

int CB_Pousse_Seringue_pilot_STP(int, int control, int event, void *callbackData, int, int) {
    int i = 0;
    if (auto *p = LignePilotee(event, callbackData, control, &i)) Arreter(*p, i);
    return 0;
}
UI_CALLBACK(CB_Pousse_Seringue_pilot_STP);

// "Cacher" of P_PILOT: the panel is hidden and stays loaded.
UI_CALLBACK_AS(CB_Pousse_Seringue_pilot_hide, CacherPanneau);
