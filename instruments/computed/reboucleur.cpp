// "Reboucleur", the feedback loop (see reboucleur.h).
//
// The private record holds the 708-byte settings block, then the configuration panels this
// instance has on screen: `liberer` discards them, so that no button of a panel left open
// reaches a freed record.
#include "instruments/computed/reboucleur.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/tables.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_boucleur.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_boucleur.uir";
constexpr std::size_t kCommandeMax = 254;                // characters of a command

enum Mode : std::int32_t { MODE_OFF = 0, MODE_AUTO = 1, MODE_MANU = 2 };

// The settings block, stored raw in the settings files.
struct S_boucleur {
    char nom[128];              // terminated, at most 39 characters
    char tatoo_voie1[30];       // scalar channel whose value is sent; empty: none
    char tatoo_instru[30];      // vector channel whose instrument receives the command
    char modele[255];           // `template`: inputstr with its first "$$" made "%e"
    char inputstr[255];         // the command text as typed
    std::int32_t mode;          // Mode; any value other than 0 and 2 acts as Auto
    std::int32_t schedule_cmd;  // nonzero: one command at the next sample in Manu
};
static_assert(sizeof(S_boucleur) == 708, "settings block of 708 bytes");
static_assert(offsetof(S_boucleur, nom) == 0);
static_assert(offsetof(S_boucleur, tatoo_voie1) == 128);
static_assert(offsetof(S_boucleur, tatoo_instru) == 158);
static_assert(offsetof(S_boucleur, modele) == 188);
static_assert(offsetof(S_boucleur, inputstr) == 443);
static_assert(offsetof(S_boucleur, mode) == 700);
static_assert(offsetof(S_boucleur, schedule_cmd) == 704);
static_assert(std::is_trivially_copyable_v<S_boucleur>);

// What `structure` points to: the block (the bytes get_memory hands out), then the live state.
struct Boucleur_prive {
    S_boucleur bloc;
    plugin::Activite activite;  // P_config panels opened by configure or piloter

    static constexpr const char *kNomDefaut = "Reboucleur";
    static constexpr auto kChampNom = &S_boucleur::nom;
    static constexpr ApresLeNom kApresLeNom = ApresLeNom::Zero;  // the whole field is written
    void Defauts();
};
using Vie = plugin::Gestion<Boucleur_prive, boucleur>;
constexpr auto Prive = plugin::Prive<Boucleur_prive>;

// Template rule: the typed text with its first "$$" made "%e". Kept in the settings block for
// the file format; the send step works from the typed text and never uses it as a format.
void boucleur_creer_template(S_boucleur &b) {
    EcrireChamp(b.modele, TexteChamp(b.inputstr));
    if (char *marque = std::strstr(b.modele, "$$")) {
        marque[0] = '%';
        marque[1] = 'e';
    }
}

// Dimming rule: "Envoyer" usable only while the panel's slide shows Manu; a value the slide
// cannot show leaves the button as it is.
void boucleur_maj_mode(int panel) {
    int mode = -1;
    if (GetCtrlVal(panel, P_config_MODE, &mode) != 0) return;
    if (mode == MODE_OFF || mode == MODE_AUTO) SetCtrlAttribute(panel, P_config_ENVOI, ATTR_DIMMED, 1);
    else if (mode == MODE_MANU) SetCtrlAttribute(panel, P_config_ENVOI, ATTR_DIMMED, 0);
}

// ---- management -------------------------------------------------------------------------

// Also `piloter`: opens one more copy of the panel.
void boucleur_configure(PInstrument *instrument) {
    Boucleur_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_config);
    if (panel < 0) return;
    const S_boucleur &b = p->bloc;
    for (const int bouton : {P_config_COMMANDBUTTON, P_config_CACHER, P_config_ENVOI})
        SetCtrlAttribute(panel, bouton, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    if (instrument->init_liste_voie) instrument->init_liste_voie(panel, P_config_RING1);
    ChoisirReference(panel, P_config_RING1, TexteChamp(b.tatoo_voie1));
    if (instrument->init_liste_voie2D) instrument->init_liste_voie2D(panel, P_config_RING2);
    ChoisirReference(panel, P_config_RING2, TexteChamp(b.tatoo_instru));
    SetCtrlVal(panel, P_config_STRING, std::string(TexteChamp(b.inputstr)).c_str());
    // A mode the slide has no position for acts as Auto, so the slide shows Auto.
    const int mode = b.mode == MODE_OFF || b.mode == MODE_MANU ? b.mode : MODE_AUTO;
    SetCtrlVal(panel, P_config_MODE, mode);
    boucleur_maj_mode(panel);
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

void Boucleur_prive::Defauts() {
    EcrireChamp(bloc.inputstr, "toto=$$");
    boucleur_creer_template(bloc);
    // A new feedback loop sends nothing until the operator has chosen its mode.
    bloc.mode = MODE_OFF;
    bloc.schedule_cmd = 0;
}

// ---- control ----------------------------------------------------------------------------

int boucleur_init(PInstrument * /*instrument*/) { return 0; }

// Any text addressed to the feedback loop is a send request.
void boucleur_execute(PInstrument *instrument, const char * /*chaine*/) {
    Prive(instrument)->bloc.schedule_cmd = 1;
}

// ---- computed scalar channels: none, so that calculer_1D runs at every sample --------------

int boucleur_nb_voie_calcul(PInstrument * /*instrument*/) { return 0; }

void boucleur_get_nom_voie_calcul(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::snprintf(nom_voie, kLongueurNomVoie, "%s", "Inconnue");
}

double boucleur_mesure_calcul(PInstrument * /*instrument*/, int /*voie*/) { return 0.0; }

// Writes `valeur` as "%e" does, in the C locale; returns the number of characters.
std::size_t EcrireValeur(double valeur, char *debut, char *fin) {
    const auto r = std::to_chars(debut, fin, valeur, std::chars_format::scientific, 6);
    return r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - debut) : 0;
}

// The send step, once per sample.
void boucleur_calculer_1D(PInstrument *instrument) {
    S_boucleur &b = Prive(instrument)->bloc;
    if (b.mode == MODE_OFF) return;
    if (b.mode == MODE_MANU) {
        if (b.schedule_cmd == 0) return;
        b.schedule_cmd = 0;  // the request is consumed, whether or not a command goes out
    }

    const std::string_view texte = TexteChamp(b.inputstr);
    const std::string reference1(TexteChamp(b.tatoo_voie1));
    const ptr *voie = instrument->get_buffer_from_tatoo && !reference1.empty()
                          ? instrument->get_buffer_from_tatoo(reference1.c_str())
                          : nullptr;

    // The command, built in a fixed buffer: the text up to its first "$$", the value, the rest
    // of the text. A command that does not fit is not sent rather than cut: a cut value or
    // setting would drive the instrument to a value nobody asked for.
    char commande[kCommandeMax + 1];
    const std::size_t marque = texte.find("$$");
    if (marque != std::string_view::npos && voie) {
        const int d = voie->dernier_indice;
        const double valeur = voie->mesure && d >= 0 && d < voie->profondeur
                                  ? voie->mesure[d]
                                  : std::numeric_limits<double>::quiet_NaN();
        char nombre[32];
        const std::size_t longueur_nombre = EcrireValeur(valeur, nombre, nombre + sizeof nombre);
        const std::string_view suite = texte.substr(marque + 2);
        if (marque + longueur_nombre + suite.size() > kCommandeMax) return;
        std::memcpy(commande, texte.data(), marque);
        std::memcpy(commande + marque, nombre, longueur_nombre);
        std::memcpy(commande + marque + longueur_nombre, suite.data(), suite.size());
        commande[marque + longueur_nombre + suite.size()] = '\0';
    } else {
        std::memcpy(commande, texte.data(), texte.size());
        commande[texte.size()] = '\0';
    }

    const std::string reference2(TexteChamp(b.tatoo_instru));
    const ptr2D *cible = instrument->get_buffer2D_from_tatoo && !reference2.empty()
                             ? instrument->get_buffer2D_from_tatoo(reference2.c_str())
                             : nullptr;
    if (!cible) return;
    auto *destinataire = static_cast<PInstrument *>(cible->instrument);
    if (!destinataire || !destinataire->execute) return;
    destinataire->execute(destinataire, commande);
}

}  // namespace

PInstrument boucleur = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = boucleur_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = boucleur_init,
    .execute = boucleur_execute,
    .piloter = boucleur_configure,
    .nb_voie_calcul = boucleur_nb_voie_calcul,
    .get_nom_voie_calcul = boucleur_get_nom_voie_calcul,
    .mesure_calcul = boucleur_mesure_calcul,
    .calculer_1D = boucleur_calculer_1D,
};

// ---- panel callbacks ------------------------------------------------------------------------

// "Valider" (callback data: the private record): takes the panel's settings, which act from
// the next sample; the panel stays open. A text holding "$$" that could not hold the value
// within 254 characters is refused with a message, and nothing is taken.
int OK_config_calcul_boucle(int panel, int /*control*/, int event, void *callbackData,
                            int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Boucleur_prive *>(callbackData);
    if (!p) return 0;
    char texte[kCommandeMax + 1] = {};
    GetCtrlVal(panel, P_config_STRING, texte);
    const std::size_t longueur = std::strlen(texte);
    if (std::strstr(texte, "$$") && longueur > static_cast<std::size_t>(kCommandeAvecValeurMax)) {
        const std::string message =
            "La commande contient $$ et compte " + std::to_string(longueur) +
            " caractères : elle ne doit pas en compter plus de "_w +
            std::to_string(kCommandeAvecValeurMax) + ", pour que la valeur y trouve sa place."_w;
        MessagePopup("Attention", message.c_str());
        return 0;
    }
    S_boucleur &b = p->bloc;
    char reference[sizeof b.tatoo_voie1] = {};
    if (GetCtrlVal(panel, P_config_RING1, reference) == 0) EcrireChamp(b.tatoo_voie1, reference);
    if (GetCtrlVal(panel, P_config_RING2, reference) == 0) EcrireChamp(b.tatoo_instru, reference);
    EcrireChamp(b.inputstr, texte);
    int mode = 0;
    if (GetCtrlVal(panel, P_config_MODE, &mode) == 0) b.mode = mode;
    boucleur_creer_template(b);
    return 0;
}
UI_CALLBACK(OK_config_calcul_boucle);

// "Cacher": closes the panel; what was changed since the last "Valider" is dropped.
int CACHER_config_calcul_boucle(int panel, int /*control*/, int event, void *callbackData,
                                int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Boucleur_prive *>(callbackData)) p->activite.panneaux.Retirer(panel);
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(CACHER_config_calcul_boucle);

// The mode slide: "Envoyer" follows it at once; the record's mode changes at "Valider".
int MODE_config_calcul_boucle(int panel, int /*control*/, int event, void * /*callbackData*/,
                              int /*eventData1*/, int /*eventData2*/) {
    if (event == EVENT_COMMIT) boucleur_maj_mode(panel);
    return 0;
}
UI_CALLBACK(MODE_config_calcul_boucle);

// "Envoyer": one command at the next sample, in Manu.
int ENVOI_config_calcul_boucle(int /*panel*/, int /*control*/, int event, void *callbackData,
                               int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Boucleur_prive *>(callbackData)) p->bloc.schedule_cmd = 1;
    return 0;
}
UI_CALLBACK(ENVOI_config_calcul_boucle);
