// "Anritsu MS4623B" vector network analyser (see Analyseur_reseau.h).
//
// The private record holds the 448-byte settings block, then the trace rows that end it, then
// what only lives in this run: the device descriptor of the last init, the hidden panel, the
// device lock, the settings the acquisition runs with, and the trace being read by the
// notification callback. The callback never writes the settings block: it fills its own rows
// and publishes each sweep under a short lock (a block that did not come whole as missing
// values), from which the vector-channel operations copy on the user-interface thread.
//
// What the analyser is sent and what its replies say, without the bus (configuration and command
// texts, point count, number fields, read-back codes), is translated in analyseur_commandes.cpp;
// here are the exchanges that carry them.
#include "instruments/network/Analyseur_reseau.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "instruments/echanges_gpib.h"
#include "instruments/ouverture_gpib.h"
#include "instruments/panne_gpib.h"
#include "instruments/tables.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/UIR_analyseur.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_analyseur.uir";
constexpr int kAdresseDefaut = 6;
constexpr int kPoints = kAnritsuPointsMax;
constexpr int kLargeur = kAnritsuLargeurChamp;
constexpr int kNotification = RQS;      // event mask of the service-request notification
constexpr int kSondagesMax = 100;       // serial polls of `start` draining old requests

// ---- settings block ---------------------------------------------------------------------------

constexpr std::size_t kLongueurChemin = 260;

struct S_anritsu {
    std::int32_t adresse_gpib;       // primary address of the analyser
    std::int32_t identificateur;     // descriptor opened by the last init (file format only)
    std::int32_t nombrepoint;        // points per trace, asked at init
    std::int32_t stop_interruption;  // 0x800 from init to stop, then 0
    std::int32_t numero_mesure;      // traces read since init, as of the last save
    std::int32_t panel;              // hidden PANEL of the run that saved (file format only)
    char cheminfichierload[kLongueurChemin];  // calibration file; empty: no upload
    char nom_instru[128];            // at most 39 characters
    std::int32_t Configuration;      // display format 0..6
    float Range_Start;
    float Range_Stop;
    float Gate_Start;
    float Gate_Stop;
    std::int32_t ConfigS;            // 1..4 = S11, S12, S21, S22
    std::int32_t Freq_Temp;          // domain 0..3
    std::int32_t Gate;               // 1..3
    std::int32_t autoscale;          // 0 = yes, 1 = no
};
static_assert(sizeof(S_anritsu) == 448, "settings block of 448 bytes");
static_assert(offsetof(S_anritsu, adresse_gpib) == 0);
static_assert(offsetof(S_anritsu, identificateur) == 4);
static_assert(offsetof(S_anritsu, nombrepoint) == 8);
static_assert(offsetof(S_anritsu, stop_interruption) == 12);
static_assert(offsetof(S_anritsu, numero_mesure) == 16);
static_assert(offsetof(S_anritsu, panel) == 20);
static_assert(offsetof(S_anritsu, cheminfichierload) == 24);
static_assert(offsetof(S_anritsu, nom_instru) == 284);
static_assert(offsetof(S_anritsu, Configuration) == 412);
static_assert(offsetof(S_anritsu, Range_Start) == 416);
static_assert(offsetof(S_anritsu, Range_Stop) == 420);
static_assert(offsetof(S_anritsu, Gate_Start) == 424);
static_assert(offsetof(S_anritsu, Gate_Stop) == 428);
static_assert(offsetof(S_anritsu, ConfigS) == 432);
static_assert(offsetof(S_anritsu, Freq_Temp) == 436);
static_assert(offsetof(S_anritsu, Gate) == 440);
static_assert(offsetof(S_anritsu, autoscale) == 444);
static_assert(std::is_trivially_copyable_v<S_anritsu>);
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);
// The trace rows follow the block without a gap: get_memory names the first of them.
static_assert(sizeof(S_anritsu) % alignof(double) == 0);

// What an acquisition runs with, taken at init: the channels it publishes and the exchanges of
// its cycle do not follow a panel confirmed before its stop.
struct Cycle {
    int configuration = 0;
    int freq_temp = 0;
    int autoscale = 1;
    int points = 0;
};

// What `structure` points to.
struct Anritsu_prive {
    S_anritsu bloc;
    // The published trace: row 0 channel 1, row 1 channel 2 (phase), abscissae shared.
    double mesures[2][kPoints];
    double indices[kPoints];
    double zone_memoire[2];

    // User-interface thread.
    int ud = -1;               // descriptor opened by the last successful init; -1: none
    int panneau_cache = 0;     // PANEL loaded (hidden) by init; 0: none
    int verrou = 0;            // the device lock
    // The core's lock registry, kept by configure for the read-back of its panels.
    int (*gestion_lock)(const char *lock_requis) = nullptr;
    bool en_acquisition = false;  // from a successful init to stop: the channels follow `cycle`
    Cycle cycle;               // written by init before the notification is armed

    // Shared with the notification thread.
    std::atomic<int> stop_interruption{0};
    std::mutex donnees;        // guards mesures, indices and numero
    unsigned numero = 0;       // traces published since init

    // Notification thread only: the blocks of the cycle being read, and the faults of the
    // cycle said on the status list.
    double lecture[2][kPoints];
    double lecture_indices[kPoints];
    panne_gpib::Suivi suivi;

    plugin::Activite activite;  // the notification, the hidden panel, configuration panels

    static constexpr const char *kNomDefaut = "Analyseur de reseau";
    static constexpr auto kChampNom = &S_anritsu::nom_instru;  // bytes 40..127 kept
    void Defauts() {
        bloc.adresse_gpib = kAdresseDefaut;
        bloc.Gate = 1;     // "Gate setup OFF"
        bloc.ConfigS = 1;  // "S11"
    }
    void AuLiberer();
};
using Vie = plugin::Gestion<Anritsu_prive, anritsu>;
constexpr auto Prive = plugin::Prive<Anritsu_prive>;

// Writes exactly the bytes of `texte` (no NUL, no line end).
int Ecrire(int ud, std::string_view texte) {
    return ibwrt(ud, texte.data(), static_cast<long>(texte.size()));
}

using echanges_gpib::JeterReste;
using echanges_gpib::LireTexte;

// Closes the descriptor of the last init (its notification with it, waiting for a cycle that
// runs, which says nothing of the exchanges the offline cuts short); the channels go back to
// the stored settings.
void FermerAppareil(Anritsu_prive *p) {
    panne_gpib::Fermer(p->suivi, p->ud, p->activite);
    p->en_acquisition = false;
}

void Anritsu_prive::AuLiberer() { FermerAppareil(this); }

}  // namespace

// ---- measurement configuration -----------------------------------------------------------------

namespace {

ReglagesAnritsu Reglages(const S_anritsu &b) {
    return {b.Configuration, b.ConfigS,    b.Freq_Temp, b.Gate,     b.Range_Start,
            b.Range_Stop,    b.Gate_Start, b.Gate_Stop, b.autoscale};
}

// Sends the stored configuration, each command bare; nothing is read back.
void anritsu_apply_configuration(const Anritsu_prive *p) {
    for (const std::string &commande : anritsu_configuration_commands(Reglages(p->bloc)))
        Ecrire(p->ud, commande);
}

// "ASC" when autoscale is 0.
void anritsu_autoscale(int ud, int autoscale) {
    if (autoscale == 0) Ecrire(ud, "ASC");
}

}  // namespace

// ---- blocks -----------------------------------------------------------------------------------

long anritsu_read_block_header(int ud, long longueur_max, bool *sans_reponse) {
    const auto SansReponse = [&]() -> long {
        if (sans_reponse != nullptr) *sans_reponse = true;
        return -1;
    };
    // What the device still sends of a refused reply is read off, unless the reply is over.
    const auto Refuser = [&](bool fin) -> long {
        if (!fin) JeterReste(ud);
        return -1;
    };
    char marque = 0;
    const echanges_gpib::Lecture l = echanges_gpib::Lire(ud, &marque, 1);
    if (l.echec) return SansReponse();
    if (l.octets != 1 || l.fin || marque != '#') return Refuser(l.fin);
    const echanges_gpib::EnteteBloc e = echanges_gpib::LireLongueurBloc(ud);
    if (e.echec) return SansReponse();
    // A header that ends the reply announces a payload that will not come.
    if (e.longueur < 0 || e.fin || e.longueur > longueur_max) return Refuser(e.fin);
    return e.longueur;
}

namespace {

using panne_gpib::Issue;

// One query and its block, converted by `convertir(charge)`: Lue, Illisible (a block malformed,
// short or holding too few fields), or SansReponse (the query found no listener, or a read
// timed out: nothing more is read).
template <class F>
Issue LireBloc(const char *commande, int ud, F &&convertir) {
    if ((ibecr2(ud, commande) & ERR) != 0) return Issue::SansReponse;
    bool sans_reponse = false;
    const long l = anritsu_read_block_header(ud, kAnritsuChargeMax, &sans_reponse);
    if (l < 0) return sans_reponse ? Issue::SansReponse : Issue::Illisible;
    // The payload and the byte that ends the reply.
    std::unique_ptr<char[]> charge(new (std::nothrow) char[static_cast<std::size_t>(l) + 1]);
    if (!charge) {
        JeterReste(ud);
        return Issue::Illisible;
    }
    const int sta = ibrd(ud, charge.get(), l + 1);
    const long lus = ThreadIbcntl();
    if ((sta & ERR) != 0) return Issue::SansReponse;  // time-out inside the block
    if ((sta & END) == 0) JeterReste(ud);    // more than the block announced
    if (lus < l) return Issue::Illisible;             // ended before its length
    const bool converti = convertir(std::string_view(charge.get(), static_cast<std::size_t>(l)));
    return converti ? Issue::Lue : Issue::Illisible;
}

Issue LireSerie(const char *commande, int ud, int count, double *serie) {
    return LireBloc(commande, ud, [&](std::string_view charge) {
        return anritsu_convert_fields(charge, count, kLargeur, 0, serie);
    });
}

Issue LirePaires(const char *commande, int ud, int count, double *serie, double *seconde) {
    return LireBloc(commande, ud, [&](std::string_view charge) {
        // Both series or neither: the second is converted into the caller's only after the
        // first succeeded, and both need the same fields.
        return anritsu_convert_fields(charge, count, 2 * kLargeur, 0, serie) &&
               anritsu_convert_fields(charge, count, 2 * kLargeur, kLargeur, seconde);
    });
}

}  // namespace

bool anritsu_read_block(const char *commande, int ud, int count, double *serie) {
    return LireSerie(commande, ud, count, serie) == Issue::Lue;
}

bool anritsu_read_block_pairs(const char *commande, int ud, int count, double *serie, double *seconde) {
    return LirePaires(commande, ud, count, serie, seconde) == Issue::Lue;
}

std::string anritsu_nom_verrou(int adresse) { return "GPIB0:" + std::to_string(adresse); }

// ---- trace transfer ---------------------------------------------------------------------------

namespace {

// "OFD": one series into `rang0`, or pairs into `rang0` and `rang1` with the two-quantity
// formats.
Issue anritsu_read_trace(int ud, const Cycle &c, double *rang0, double *rang1) {
    if (c.configuration >= 5) return LirePaires("OFD", ud, c.points, rang0, rang1);
    return LireSerie("OFD", ud, c.points, rang0);
}

// The query of the abscissae by domain: "OFV" or "OTV"; none for domain "aucun".
const char *anritsu_axis_query(const Cycle &c) {
    switch (c.freq_temp) {
    case 1:
    case 3: return "OFV";
    case 2: return "OTV";
    default: return nullptr;
    }
}

// Makes the sweep just read the channels' newest: a block that did not come whole (`trace`,
// and `abscisses` when the axis is asked for) is missing (NaN) in its rows for this sweep, never
// the earlier sweep's values. The sweep is counted when all its blocks came whole.
void Publier(Anritsu_prive *p, Issue trace, bool axe, Issue abscisses) {
    const auto n = static_cast<std::size_t>(p->cycle.points);
    const auto Rang = [n](Issue issue, const double *lu, double *publie) {
        if (issue == Issue::Lue) std::copy_n(lu, n, publie);
        else std::fill_n(publie, n, std::numeric_limits<double>::quiet_NaN());
    };
    std::lock_guard g(p->donnees);
    Rang(trace, p->lecture[0], p->mesures[0]);
    if (p->cycle.configuration >= 5) Rang(trace, p->lecture[1], p->mesures[1]);
    if (axe) Rang(abscisses, p->lecture_indices, p->indices);
    if (trace == Issue::Lue && abscisses == Issue::Lue) ++p->numero;
}

}  // namespace

// ---- trace files ------------------------------------------------------------------------------

namespace {

// The payload of the block `ud` is sending, `longueur` bytes then its end byte, into `f`. The
// whole reply is read off, even when the file stops taking bytes.
bool CopierCharge(int ud, long longueur, std::FILE *f) {
    const long morceau = std::min(longueur, kAnritsuMorceauFichier);
    std::unique_ptr<char[]> tampon(new (std::nothrow) char[static_cast<std::size_t>(morceau) + 1]);
    if (!tampon) {
        JeterReste(ud);
        return false;
    }
    long reste = longueur;
    bool ecrit = true;  // every byte so far went into the file
    for (;;) {
        // The last piece takes the byte that ends the reply with it.
        const long demande = reste > morceau ? morceau : reste + 1;
        const int sta = ibrd(ud, tampon.get(), demande);
        if ((sta & ERR) != 0) return false;  // time-out inside the block
        const long utiles = std::min(std::clamp(ThreadIbcntl(), 0L, demande), reste);
        ecrit = ecrit && std::fwrite(tampon.get(), 1, static_cast<std::size_t>(utiles), f) ==
                             static_cast<std::size_t>(utiles);
        reste -= utiles;
        const bool fini = (sta & END) != 0;
        if (reste == 0) {
            // More than the block announced, or its end byte still to come.
            if (!fini) JeterReste(ud);
            return ecrit;
        }
        if (fini) return false;  // the reply ended before its length
    }
}

}  // namespace

bool anritsu_save_to_file(int ud, const char *nom) {
    if (nom == nullptr) return false;
    const std::string_view n(nom, strnlen(nom, kAnritsuNomFichierMax + 1));
    if (n.empty() || n.size() > kAnritsuNomFichierMax || n.find('"') != std::string_view::npos) return false;
    const std::string local(n), partiel = local + ".part";
    std::FILE *f = OuvrirFichier(partiel.c_str(), "wb");
    if (f == nullptr) return false;

    const std::string chemin = "\"C:\\" + local + "\"";
    Ecrire(ud, "SAVE " + chemin);
    Ecrire(ud, "DISKRD " + chemin);
    const long longueur = anritsu_read_block_header(ud, 999999999L);
    bool ok = longueur >= 0 && CopierCharge(ud, longueur, f);
    ok = std::fclose(f) == 0 && ok;
    ok = ok && std::rename(CheminSysteme(partiel.c_str()).c_str(), CheminSysteme(local.c_str()).c_str()) == 0;
    if (!ok) {
        std::remove(CheminSysteme(partiel.c_str()).c_str());
        return false;
    }
    Ecrire(ud, "DEL " + chemin);
    return true;
}

// ---- calibration upload -----------------------------------------------------------------------

namespace {

constexpr std::size_t kCalibrationMax = 999999;  // what the six length digits can say

void MessageCalibration(const char *texte) { MessagePopup("Fichier de calibration", texte); }

// Reads the whole file; false (with the pop-up) when it cannot be opened, is too large for
// the transfer, or cannot be read whole.
bool LireCalibration(const char *chemin, std::string &contenu) {
    std::FILE *f = OuvrirFichier(chemin, "rb");
    if (f == nullptr) {
        MessageCalibration("Fichier de calibration non trouvé !"_w);
        return false;
    }
    long taille = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) taille = std::ftell(f);
    bool ok = taille >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok && static_cast<unsigned long>(taille) > kCalibrationMax) {
        std::fclose(f);
        MessageCalibration("Fichier de calibration trop gros (999999 octets au plus) !");
        return false;
    }
    if (ok) {
        contenu.resize(static_cast<std::size_t>(taille));
        ok = std::fread(contenu.data(), 1, contenu.size(), f) == contenu.size();
    }
    std::fclose(f);
    if (!ok) MessageCalibration("Fichier de calibration illisible !");
    return ok;
}

void anritsu_begin_transfer(int ud) {
    char reponse[65];
    Ecrire(ud, "LSB;OID");
    LireTexte(ud, reponse);
    Ecrire(ud, "PDT0;*IDN?");
    LireTexte(ud, reponse);
}

void anritsu_end_transfer(int ud) {
    Ecrire(ud, "TIN");
    Ecrire(ud, "RTL");
    Ecrire(ud, "*ESE 0;IEM 0;ILM 0;*SRE 0;PDT0");
    Ecrire(ud, "RTL");
}

// Copies the file onto the analyser's disk as C:\A.CAL, recalls it and hands the analyser back
// to local control. 0, or -1 (with a pop-up, nothing sent) when the file cannot be sent.
int anritsu_upload_calibration(int ud, const char *chemin) {
    std::string contenu;
    if (!LireCalibration(chemin, contenu)) return -1;
    anritsu_begin_transfer(ud);
    char longueur[8];
    std::snprintf(longueur, sizeof longueur, "%06zu", contenu.size());
    std::string bloc = R"(DISKWR "C:\A.CAL", #6)";
    bloc += longueur;
    bloc += contenu;
    bloc += '\n';
    Ecrire(ud, bloc);
    Ecrire(ud, R"(RECALL "C:\A.CAL")");
    ibtmo(ud, T100s);
    Ecrire(ud, std::string_view("*CLS;*ESE 255;*SRE 48\x01"));
    Ecrire(ud, std::string_view("*OPC;TXX? \x01"));
    char reponse[65];
    LireTexte(ud, reponse);
    Ecrire(ud, std::string_view("*CLS \x01"));
    ibtmo(ud, T10s);
    anritsu_end_transfer(ud);
    return 0;
}

}  // namespace

// ---- management ---------------------------------------------------------------------------------

namespace {

// The gate controls serve the time domain and the frequency domain with time gate.
void anritsu_dim_gate(int panel) {
    int domaine = 0;
    GetCtrlVal(panel, PANEL_SWEEP_3, &domaine);
    const int grise = domaine >= 2 ? 0 : 1;
    for (const int control : {PANEL_START_2, PANEL_STOP_2, PANEL_SWEEP_4})
        SetCtrlAttribute(panel, control, ATTR_DIMMED, grise);
}

// The range controls serve the time domain alone; then the gate controls.
void anritsu_dim_range(int panel) {
    int domaine = 0;
    GetCtrlVal(panel, PANEL_SWEEP_3, &domaine);
    const int grise = domaine == 2 ? 0 : 1;
    for (const int control : {PANEL_START, PANEL_STOP}) SetCtrlAttribute(panel, control, ATTR_DIMMED, grise);
    anritsu_dim_gate(panel);
}

void anritsu_configure(PInstrument *instrument) {
    Anritsu_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, PANEL);
    if (panel < 0) return;
    const S_anritsu &b = p->bloc;
    SetCtrlVal(panel, PANEL_NUMERIC_7, static_cast<int>(b.adresse_gpib));
    SetCtrlVal(panel, PANEL_config, static_cast<int>(b.Configuration));
    SetCtrlVal(panel, PANEL_START, static_cast<double>(b.Range_Start));
    SetCtrlVal(panel, PANEL_STOP, static_cast<double>(b.Range_Stop));
    SetCtrlVal(panel, PANEL_START_2, static_cast<double>(b.Gate_Start));
    SetCtrlVal(panel, PANEL_STOP_2, static_cast<double>(b.Gate_Stop));
    SetCtrlVal(panel, PANEL_SWEEP_2, static_cast<int>(b.ConfigS));
    SetCtrlVal(panel, PANEL_SWEEP_3, static_cast<int>(b.Freq_Temp));
    SetCtrlVal(panel, PANEL_SWEEP_4, static_cast<int>(b.Gate));
    char chemin[kLongueurChemin];
    CopierChamp(b.cheminfichierload, chemin);
    SetCtrlVal(panel, PANEL_STRING, chemin);
    SetCtrlVal(panel, PANEL_AUTOSCALE, static_cast<int>(b.autoscale));
    for (const int bouton : {PANEL_BUTTON_OK, PANEL_BUTTON_6, PANEL_BUTTON_RAZ, PANEL_BUTTON_recup})
        SetCtrlAttribute(panel, bouton, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->gestion_lock = instrument->gestion_lock;
    anritsu_dim_range(panel);
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

// Flag 0: the block runs from the record's start up to its trace rows. A save writes this run's
// panel handle and trace count, never what an earlier load brought back.
void anritsu_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                        unsigned char *flag) {
    Anritsu_prive *p = Prive(instrument);
    p->bloc.panel = p->panneau_cache;
    {
        std::lock_guard g(p->donnees);
        p->bloc.numero_mesure = static_cast<std::int32_t>(p->numero);
    }
    *p_strct = &p->bloc;
    *p_member = &p->mesures;
    *flag = 0;
}

}  // namespace

// ---- control ------------------------------------------------------------------------------------

namespace {

int CB_interruption_analyseur(int ud, int LocalIbsta, int LocalIberr, long LocalIbcntl, void *refData);

// Opens the analyser, checks it, uploads the calibration file, sends the configuration and
// asks for the point count. -1 (with the pop-up of the step) when the acquisition cannot run;
// the device opened meanwhile is closed again.
int anritsu_init(PInstrument *instrument) {
    Anritsu_prive *p = Prive(instrument);
    S_anritsu &b = p->bloc;
    p->zone_memoire[0] = p->zone_memoire[1] = 0.0;
    if (ouverture_gpib::Carte() < 0) return -1;
    // The descriptor of the previous init goes (with a notification left after its stop).
    FermerAppareil(p);
    const int adresse = b.adresse_gpib;
    const ouverture_gpib::Ouverture ouverture{
        .verifier_carte = false,
        .sad = NO_SAD,
        .absence = {.titre = "Attention", .texte = "Il faudrait allumer l'analyseur", .adresse = false},
        .retrait = {.action = ouverture_gpib::HorsLigneSiOuvert, .avant_message = true},
    };
    int ud = -1;
    if (ouverture_gpib::Ouvrir(adresse, ouverture, ud) < 0) return -1;
    b.identificateur = ud;
    p->ud = ud;
    const auto Echec = [p] {
        FermerAppareil(p);
        return -1;
    };

    constexpr ouverture_gpib::Identite kIdentite{
        .modele = "ANRITSU,MS4623B", .recherche = ouverture_gpib::Recherche::Texte, .compte_borne = true};
    if (!ouverture_gpib::Identifier(ud, kIdentite)) return Echec();

    if (p->panneau_cache == 0) {
        const int panel = LoadPanel(0, kFichierUir, PANEL);
        if (panel < 0) return Echec();
        p->panneau_cache = panel;
        p->activite.panneaux.Ajouter(panel);  // discarded by liberer
    }
    b.panel = p->panneau_cache;

    char chemin[kLongueurChemin];
    CopierChamp(b.cheminfichierload, chemin);
    if (chemin[0] != '\0' && anritsu_upload_calibration(ud, chemin) < 0) return Echec();

    anritsu_apply_configuration(p);

    b.stop_interruption = kNotification;
    p->stop_interruption = kNotification;
    b.numero_mesure = 0;
    {
        std::lock_guard g(p->donnees);
        p->numero = 0;
    }

    // The point count sizes the channels: one the record cannot hold is refused.
    char reponse[31];
    ibecr2(ud, "ONCP");
    LireTexte(ud, reponse);
    const int points = anritsu_parse_point_count(reponse);
    if (points < 0) {
        MessagePopup("Erreur", "Nombre de points par trace non reconnu (analyseur)");
        return Echec();
    }
    b.nombrepoint = points;

    p->cycle = {b.Configuration, b.Freq_Temp, b.autoscale, points};
    p->suivi.Preparer(TexteChamp(b.nom_instru), adresse);
    if (instrument->gestion_lock) p->verrou = instrument->gestion_lock(anritsu_nom_verrou(adresse).c_str());
    p->en_acquisition = true;
    return 0;
}

// Arms the service-request notification and launches the first sweep. The status of the last
// write, or -1 when the notification cannot be armed; bit 0x8000 set means failure.
int anritsu_start(PInstrument *instrument) {
    Anritsu_prive *p = Prive(instrument);
    const int ud = p->ud;
    // Requests left from an earlier run (the sweep that followed its stop) are consumed.
    char octet = 0;
    for (int k = 0; k < kSondagesMax && (ibrsp(ud, &octet) & RQS) != 0; ++k) {}
    ibecr(ud, "*CLS");
    ibecr(ud, "IEM 8");
    ibecr(ud, "HLD");
    int sta = ibecr(ud, "*SRE 128");
    if ((sta & ERR) != 0) {
        MessagePopup("Attention !!!", "Impossible d'initialiser l'interruption (analyseur)");
        return sta;
    }
    char esr[11];
    ibecr(ud, "*ESR?");
    LireTexte(ud, esr);
    const int masque = panne_gpib::Masque(p->stop_interruption);
    if ((ibnotify(ud, masque, CB_interruption_analyseur, instrument) & ERR) != 0) {
        MessagePopup("Attention !!!", "Impossible d'initialiser l'analyseur");
        return -1;
    }
    p->activite.NotificationArmee(ud);
    sta = ibecr(ud, "TRS;WFS");
    if ((sta & ERR) != 0) {
        MessagePopup("Attention !!!", "Impossible de lancer une mesure");
        ibnotify(ud, 0, CB_interruption_analyseur, nullptr);
        p->activite.NotificationDesarmee(ud);
    }
    return sta;
}

// The sweep in progress still ends with a service request, whose cycle reads it, launches one
// more sweep and ends the notification.
void anritsu_stop(PInstrument *instrument) {
    Anritsu_prive *p = Prive(instrument);
    p->stop_interruption = 0;
    p->bloc.stop_interruption = 0;
    p->en_acquisition = false;
}

// What the cycle does after each sweep: clears the status and the request, autoscales when set,
// and launches the next sweep. False when the analyser did not take it (no listener, the launch
// refused): the launch is tried again at the next time-out.
bool anritsu_relaunch(int ud, const Cycle &c) {
    if ((ibecr(ud, "*CLS") & ERR) != 0) return false;
    char octet = 0;
    ibrsp(ud, &octet);
    anritsu_autoscale(ud, c.autoscale);
    return panne_gpib::Lancer(ud, "TRS;WFS");
}

// One measurement cycle, on the notification thread, under the device lock; at the device's
// time-out with no sweep end, a look after the cycle (is the analyser still there, does a sweep
// whose launch failed have to be launched again?).
int CB_interruption_analyseur(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/,
                              void *refData) {
    if (LocalIbsta == ERR) return 0;  // the driver reports an error alone: the cycle ends
    Anritsu_prive *p = Prive(static_cast<PInstrument *>(refData));
    CmtGetLock(p->verrou);
    if ((LocalIbsta & RQS) == 0) {
        p->suivi.Surveiller(ud, [p, ud] { return anritsu_relaunch(ud, p->cycle); });
    } else {
        // Once the analyser stops answering, the abscissae are not asked for.
        const Issue trace = anritsu_read_trace(ud, p->cycle, p->lecture[0], p->lecture[1]);
        const char *axe = anritsu_axis_query(p->cycle);
        Issue abscisses = Issue::Lue;
        if (axe != nullptr)
            abscisses = trace == Issue::SansReponse ? Issue::SansReponse
                                                    : LireSerie(axe, ud, p->cycle.points, p->lecture_indices);
        Publier(p, trace, axe != nullptr, abscisses);
        p->suivi.Cycle(panne_gpib::Pire(trace, abscisses), anritsu_relaunch(ud, p->cycle));
    }
    CmtReleaseLock(p->verrou);
    return panne_gpib::Masque(p->stop_interruption);
}

}  // namespace

// ---- vector channels ----------------------------------------------------------------------------

namespace {

int Configuration(const Anritsu_prive *p) {
    return p->en_acquisition ? p->cycle.configuration : p->bloc.Configuration;
}

// Points of both channels; a count restored from a settings file is bounded by the rows.
int Points(const Anritsu_prive *p) { return std::clamp(static_cast<int>(p->bloc.nombrepoint), 0, kPoints); }

int anritsu_nb_voie2D(PInstrument *instrument) { return Configuration(Prive(instrument)) >= 5 ? 2 : 1; }

void anritsu_get_nom_voie2D(PInstrument *instrument, int voie, char *nom_voie) {
    static constexpr const char *kNoms[] = {"", "Log Magnitude", "Phase", "Linear Magnitude",
                                            "Smith chart", "Log Magnitude", "Linear Magnitude"};
    const int c = Configuration(Prive(instrument));
    const char *nom = "";
    if (voie == 1 && c >= 1 && c <= 6) nom = kNoms[c];
    else if (voie == 2) nom = "Phase";
    std::snprintf(nom_voie, kLongueurNomVoie, "%s", nom);
}

int anritsu_get_taille_voie2D(PInstrument *instrument, int /*voie*/) { return Points(Prive(instrument)); }

void anritsu_mesure2D(PInstrument *instrument, int voie, double *mesure) {
    Anritsu_prive *p = Prive(instrument);
    const int n = Points(p);
    if (voie != 1 && voie != 2) {
        std::fill_n(mesure, n, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    std::lock_guard g(p->donnees);
    std::copy_n(p->mesures[voie - 1], n, mesure);
}

void anritsu_indices2D(PInstrument *instrument, int /*voie*/, double *indice) {
    Anritsu_prive *p = Prive(instrument);
    std::lock_guard g(p->donnees);
    std::copy_n(p->indices, Points(p), indice);
}

unsigned anritsu_numero2D(PInstrument *instrument, int /*voie*/) {
    Anritsu_prive *p = Prive(instrument);
    std::lock_guard g(p->donnees);
    return p->numero;
}

}  // namespace

// ---- command language -------------------------------------------------------------------------

namespace {

// One command of the sequencer or the feedback loop, written under the device lock: it waits
// for a measurement cycle in progress, and the next cycle waits for it (a trace-file copy
// included). The display commands follow the format the acquisition of the last init runs with.
void anritsu_execute(PInstrument *instrument, const char *chaine) {
    Anritsu_prive *p = Prive(instrument);
    if (p->ud < 0) return;  // no analyser opened yet
    const CommandeAnritsu c = anritsu_traduire_commande(chaine, p->cycle.configuration);
    if (c.ecritures.empty() && c.fichier.empty()) return;
    if (p->verrou != 0) CmtGetLock(p->verrou);
    for (const std::string &ecrit : c.ecritures) Ecrire(p->ud, ecrit);
    if (!c.fichier.empty()) anritsu_save_to_file(p->ud, c.fichier.c_str());
    if (p->verrou != 0) CmtReleaseLock(p->verrou);
}

}  // namespace

PInstrument anritsu = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = anritsu_configure,
    .get_memory = anritsu_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = anritsu_stop,
    .start = anritsu_start,
    .init = anritsu_init,
    .execute = anritsu_execute,
    .nb_voie2D = anritsu_nb_voie2D,
    .get_nom_voie2D = anritsu_get_nom_voie2D,
    .get_taille_voie2D = anritsu_get_taille_voie2D,
    .mesure2D = anritsu_mesure2D,
    .indices2D = anritsu_indices2D,
    .numero2D = anritsu_numero2D,
};

// ---- panel callbacks ------------------------------------------------------------------------------

// OK of PANEL (callback data: the private record): stores the panel into the record, in the
// panel's order, and closes it. Nothing reaches the analyser before the next init.
int OK_analyseur(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                 int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Anritsu_prive *>(callbackData)) {
        S_anritsu &b = p->bloc;
        const auto Entier = [panel](int control, std::int32_t &champ) {
            int v = 0;
            if (GetCtrlVal(panel, control, &v) == 0) champ = v;
        };
        const auto Reel = [panel](int control, float &champ) {
            float v = 0.0f;
            if (GetCtrlVal(panel, control, &v) == 0) champ = v;
        };
        Entier(PANEL_NUMERIC_7, b.adresse_gpib);
        Entier(PANEL_config, b.Configuration);
        Reel(PANEL_START, b.Range_Start);
        Reel(PANEL_STOP, b.Range_Stop);
        Reel(PANEL_START_2, b.Gate_Start);
        Reel(PANEL_STOP_2, b.Gate_Stop);
        Entier(PANEL_SWEEP_2, b.ConfigS);
        Entier(PANEL_SWEEP_3, b.Freq_Temp);
        Entier(PANEL_SWEEP_4, b.Gate);
        char chemin[kLongueurChemin] = "";
        if (GetCtrlVal(panel, PANEL_STRING, chemin) == 0) EcrireChamp(b.cheminfichierload, chemin);
        Entier(PANEL_AUTOSCALE, b.autoscale);
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_analyseur);

// LOAD (callback data: the private record): the chosen calibration file goes into the record at
// once and into the path field; a cancelled choice changes neither.
int Choix_Fichier_Cal(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                      int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    char chemin[MAX_PATHNAME_LEN] = "";
    const int choix = FileSelectPopup("", "*.cal", "*.cal", "Choisir le fichier à charger"_w, VAL_LOAD_BUTTON,
                                      0, 0, 1, 1, chemin);
    if (choix > 0) {
        if (auto *p = static_cast<Anritsu_prive *>(callbackData)) EcrireChamp(p->bloc.cheminfichierload, chemin);
        SetCtrlVal(panel, PANEL_STRING, chemin);
    }
    return 0;
}
UI_CALLBACK(Choix_Fichier_Cal);

// The display format or the domain chosen: the controls the domain does not use are dimmed.
int Choix_fonc(int panel, int /*control*/, int event, void * /*callbackData*/, int /*eventData1*/,
               int /*eventData2*/) {
    if (event == EVENT_COMMIT) anritsu_dim_range(panel);
    return 0;
}
UI_CALLBACK(Choix_fonc);

// RAZ (callback data: the private record): no calibration file from now on, before any OK.
int RAZ_fichier_cal(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                    int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Anritsu_prive *>(callbackData)) EcrireChamp(p->bloc.cheminfichierload, "");
    SetCtrlVal(panel, PANEL_STRING, "");
    return 0;
}
UI_CALLBACK(RAZ_fichier_cal);

namespace {

// One query of the read-back, written bare, and its reply (at most 30 bytes, terminated);
// false when none came.
bool Demander(int ud, const char *question, char (&reponse)[31]) {
    Ecrire(ud, question);
    const echanges_gpib::Lecture l = LireTexte(ud, reponse);
    return !l.echec || l.octets > 0;
}

// A query whose reply is a code: the ring `control` takes the item the code selects, if any.
bool DemanderCode(int ud, int panel, const char *question, LectureAnritsu lecture, int control) {
    char reponse[31];
    if (!Demander(ud, question, reponse)) return false;
    int code = 0;
    if (anritsu_reponse_entier(reponse, code)) {
        const int valeur = anritsu_valeur_controle(lecture, code);
        if (valeur >= 0) SetCtrlVal(panel, control, valeur);
    }
    return true;
}

// A query whose reply is a number, shown in `control` as it was read.
bool DemanderNombre(int ud, int panel, const char *question, int control) {
    char reponse[31];
    if (!Demander(ud, question, reponse)) return false;
    float valeur = 0.0f;
    if (anritsu_reponse_nombre(reponse, valeur)) SetCtrlVal(panel, control, static_cast<double>(valeur));
    return true;
}

// The steps of the read-back, each false when a query got no reply.
bool anritsu_query_gate(int ud, int panel) {
    return DemanderCode(ud, panel, "GOF?", LectureAnritsu::Porte, PANEL_SWEEP_4);
}
bool anritsu_query_range(int ud, int panel) {
    return DemanderNombre(ud, panel, "ZSP?", PANEL_STOP) && DemanderNombre(ud, panel, "ZST?", PANEL_START);
}
// The gate limits; then the frequency domain with time gate that the panel shows means a gate
// that is on, and any other domain asks the gate mode again.
bool anritsu_query_gate_limits(int ud, int panel) {
    if (!DemanderNombre(ud, panel, "GSP?", PANEL_STOP_2) || !DemanderNombre(ud, panel, "GST?", PANEL_START_2))
        return false;
    int domaine = 0;
    GetCtrlVal(panel, PANEL_SWEEP_3, &domaine);
    if (domaine != 3) return anritsu_query_gate(ud, panel);
    SetCtrlVal(panel, PANEL_SWEEP_4, 2);
    return true;
}
bool anritsu_query_format(int ud, int panel) {
    return DemanderCode(ud, panel, "GRF?", LectureAnritsu::Format, PANEL_config);
}
bool anritsu_query_domain(int ud, int panel) {
    return DemanderCode(ud, panel, "TDX?", LectureAnritsu::Domaine, PANEL_SWEEP_3);
}
bool anritsu_query_sparam(int ud, int panel) {
    return DemanderCode(ud, panel, "SXX?", LectureAnritsu::Parametre, PANEL_SWEEP_2);
}

// Opens the analyser at `adresse`, reads its state into `panel`, closes it. False when nothing
// listens there or a query got no reply.
bool anritsu_relire(int adresse, int panel) {
    const int ud = ibdev(0, adresse, NO_SAD, T10s, 1, 1);
    short present = 0;
    ibln(ud, adresse, NO_SAD, &present);
    const bool ok = present != 0 && anritsu_query_gate(ud, panel) && anritsu_query_range(ud, panel) &&
                    anritsu_query_gate_limits(ud, panel) && anritsu_query_format(ud, panel) &&
                    anritsu_query_domain(ud, panel) && anritsu_query_sparam(ud, panel);
    if (ud > 0) ibonl(ud, 0);
    return ok;
}

}  // namespace

// Recup (callback data: the private record): the analyser's state into the panel, at the
// address the panel shows, then the dimming of the domain read. The device lock of that address
// keeps the read-back out of a measurement cycle of the same analyser.
int recup(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    const auto *p = static_cast<Anritsu_prive *>(callbackData);
    int adresse = 0;
    GetCtrlVal(panel, PANEL_NUMERIC_7, &adresse);
    const int verrou = p != nullptr && p->gestion_lock != nullptr
                           ? p->gestion_lock(anritsu_nom_verrou(adresse).c_str())
                           : 0;
    if (verrou != 0) CmtGetLock(verrou);
    const bool ok = anritsu_relire(adresse, panel);
    if (verrou != 0) CmtReleaseLock(verrou);
    anritsu_dim_range(panel);
    if (!ok) MessagePopup("Attention", "Il faudrait allumer l'analyseur");
    return 0;
}
UI_CALLBACK(recup);
