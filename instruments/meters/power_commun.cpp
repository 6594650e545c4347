// What the two E4419B power-meter plugins share (see power_commun.h).
#include "instruments/meters/power_commun.h"

#include <initializer_list>
#include <span>
#include <string>

#include "gpib/GLOBALES.h"
#include "gpib/nombres.h"
#include "instruments/echanges_gpib.h"
#include "instruments/ouverture_gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_power_SW.h"

namespace {

// ---- protocol -------------------------------------------------------------------------------

constexpr const char *kModele = "HEWLETT-PACKARD,E4419B,";
constexpr const char *kDeclenchementDesFenetres = "*DDT \"TRIG1;TRIG2\"";
constexpr const char *kRelance = "*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*OPC";
constexpr const char *kFetch[2] = {"FETCH1?", "FETCH2?"};

// Bytes read of each reply.
constexpr long kLongueurIdentite = 250;
constexpr long kLongueurErreur = 255;
constexpr long kLongueurEtat = 50;
constexpr long kLongueurEvenements = 10;
constexpr long kLongueurMesure = 50;

// Entries read at most when the error queue is emptied: the queue's depth and a margin, so that
// a meter that keeps answering an error cannot hold the start for ever.
constexpr int kEntreesVidees = 32;

// The set-up of one window: the command ("%d" stands for the window, then for the second value:
// the window again, or the frequency), and the pop-up text when its write fails.
struct CommandeFenetre {
    const char *commande;
    const char *echec;
    bool frequence = false;  // the second "%d" is the frequency
    bool continuer = false;  // a failed write lets the set-up go on
};
constexpr CommandeFenetre kReglageFenetre[] = {
    {"CONF%d:POW:AC DEF,4,(@%d)", "Capteur i --> fenêtre i"_w},
    {":ABOR%d", "Pour mettre en Idle"},
    {"TRIG%d:SOUR BUS", "Déclenchement par *TRG"_w, false, true},
    {"INIT%d:CONT ON", "Mesure en continu"},
    {"TRIG%d:DEL:AUTO ON", "Pour laisser au powermeter le temps de mettre à jour les filtres numériques"_w},
    {"UNIT%d:POW DBM", "Réglage des unités de mesure"_w},
    {"SENS%d:SPE 20", "Configuration & activation du filtre"},
    {"SENS%d:AVER:COUN:AUTO ON", "Configuration du filtre débruiteur"_w},
    {"SENS%d:AVER:SDET OFF", "Configuration du filtre débruiteur"_w},
    {"SENS%d:AVER:COUN 4", "Configuration du filtre débruiteur"_w},
    {"SENS%d:AVER:STAT ON", "Activation du filtre débruiteur"_w},
    {"SENS%d:FREQ:FIX %dMHz", "Configuration de la fréquence d'interpollation des sondes"_w, true},
};

// `modele` with each "%d" replaced, in order, by the next of `valeurs`.
std::string Formater(const char *modele, std::initializer_list<int> valeurs) {
    std::string texte;
    auto valeur = valeurs.begin();
    for (const char *c = modele; *c != '\0'; ++c) {
        if (c[0] == '%' && c[1] == 'd' && valeur != valeurs.end()) {
            texte += std::to_string(*valeur++);
            ++c;
        } else {
            texte += *c;
        }
    }
    return texte;
}

}  // namespace

namespace {

// One entry of the error queue into `reponse` (kLongueurErreur + 1 bytes); its number (0 for a
// reply without one, or when the question could not be written: no wait for a reply that
// cannot come).
int LireErreur(int ud, char *reponse) {
    reponse[0] = '\0';
    if (ibecr(ud, "SYST:ERR?") & ERR) return 0;
    echanges_gpib::LireTexte(ud, reponse, kLongueurErreur);
    long code = 0;
    nombres::LireEntier(reponse, code);
    return static_cast<int>(code);
}

}  // namespace

int verif_erreur(int identificateur) {
    char reponse[kLongueurErreur + 1];
    const int code = LireErreur(identificateur, reponse);
    if (code != 0) MessagePopup("Erreur Powermeter", reponse);
    return code;
}

namespace e4419b {

void Seance::Fermer(plugin::Activite &activite) {
    capteur = 0;
    panne_gpib::Fermer(veille, ud, activite);
}

int Seance::Ouvrir(int adresse) {
    ud = ibdev(0, adresse, NO_SAD, T10s, 1, 1);
    return ud;
}

void FermerConfiguration(int panel, plugin::Activite *activite) {
    if (activite != nullptr) activite->panneaux.Retirer(panel);
    DiscardPanel(panel);
}

bool VerifierIdentite(int ud) {
    // A question that did not go out has no reply to wait for.
    constexpr ouverture_gpib::Identite kIdentite{.modele = kModele,
                                                 .longueur = kLongueurIdentite,
                                                 .recherche = ouverture_gpib::Recherche::Texte,
                                                 .question_verifiee = true};
    return ouverture_gpib::Identifier(ud, kIdentite);
}

void ViderErreurs(int ud) {
    char reponse[kLongueurErreur + 1];
    for (int k = 0; k < kEntreesVidees && LireErreur(ud, reponse) != 0; ++k) {
    }
}

bool VerifierEcouteur(int ud, int adresse) {
    constexpr ouverture_gpib::Absence kAbsence{
        .titre = "Attention", .texte = "Il faudrait penser à brancher le Powermeter"_w, .adresse = false};
    return ouverture_gpib::Ecouteur(ud, adresse, NO_SAD, kAbsence);
}

bool VerifierCapteurs(int ud, int capteur) {
    if (ibecr(ud, "stat:dev:cond?") & ERR) {
        MessagePopup("Attention", "erreur à la vérification du branchement des sondes"_w);
        return false;
    }
    char reponse[kLongueurEtat + 1];
    if (echanges_gpib::LireTexte(ud, reponse).echec) {
        MessagePopup("Attention", "erreur à la vérification du statut des sondes"_w);
        return false;
    }
    // A reply without a number reports no sensor connected.
    long condition = 0;
    nombres::LireEntier(reponse, condition);
    // The bits of the condition register (2: sensor A connected, 4: sensor B) are those of
    // `capteur`: only the sensors in use must be there.
    const long manquants = capteur & kCapteursAB & ~condition;
    if (manquants & kCapteurA) MessagePopup("Attention", "Il faudrait vérifier les branchements de la sonde A"_w);
    if (manquants & kCapteurB) MessagePopup("Attention", "Il faudrait vérifier les branchements de la sonde B"_w);
    return manquants == 0;
}

int ConfigurerFenetres(int ud, int frequence) {
    if (ibecr(ud, kDeclenchementDesFenetres) & ERR) {
        MessagePopup("Attention", "Configurationd de la fréquence de d'interpollation des sondes"_w);
        return -1;
    }
    int statut = 0;
    for (const int fenetre : {1, 2}) {
        for (const CommandeFenetre &c : kReglageFenetre) {
            statut = ibecr(ud, Formater(c.commande, {fenetre, c.frequence ? frequence : fenetre}).c_str());
            verif_erreur(ud);
            if ((statut & ERR) == 0) continue;
            MessagePopup("Attention", c.echec);
            if (!c.continuer) return -1;
        }
    }
    return statut;
}

int DemarrerCycle(int ud, int adresse, int masque, GpibNotifyCallback_t rappel, void *ref,
                  plugin::Activite &activite) {
    verif_erreur(ud);
    ibecr(ud, "*ESE 1");
    int statut = ibecr(ud, "*SRE 32");
    if (statut & ERR) {
        echanges_gpib::MontrerEchecBus(
            "Impossible d'initialiser l'interruption\nsur le fréquencemètre d'identificateur "_w, ud);
        return statut;
    }
    verif_erreur(ud);
    char evenements[kLongueurEvenements + 1];
    ibecr(ud, "*ESR?");
    echanges_gpib::LireTexte(ud, evenements);
    verif_erreur(ud);

    // Any status with the error bit is a notification that did not arm.
    if (ibnotify(ud, masque, rappel, ref) & ERR) {
        const std::string message = "Impossible d'initialiser le fréquencemètre\nd'adresse "_w + std::to_string(adresse);
        MessagePopup("Attention !!!", message.c_str());
        return -1;
    }
    activite.NotificationArmee(ud);

    verif_erreur(ud);
    statut = ibecr(ud, "*TRG;*OPC");
    if (statut & ERR) {
        echanges_gpib::MontrerEchecBus(
            "Impossible de lancer une mesure\nsur le fréquencemètre d'identificateur "_w, ud);
        ibnotify(ud, 0, rappel, ref);
        activite.NotificationDesarmee(ud);
    }
    return statut;
}

using panne_gpib::Issue;

namespace {

void Manquer(std::span<Lecture> lectures) {
    for (Lecture &l : lectures) l.Manquer();
}

}  // namespace

bool MesureTerminee(int ud, int statut, Seance &seance, std::span<Lecture> lectures, int *resultat) {
    using panne_gpib::Constat;
    if (panne_gpib::SansRequete(statut)) {
        // After stop, the cycle ends here; otherwise the meter is looked at, and a request found
        // then (its serial poll made) is served as any other.
        const auto Relancer = [ud] { return panne_gpib::Relancer(ud, kRelance); };
        const Constat constat = seance.Masque() != 0
                                    ? seance.veille.Surveiller(ud, Relancer, {.ecoute = true, .sondage = true})
                                    : Constat::EnMesure;
        if (constat == Constat::SansMesure) Manquer(lectures);
        *resultat = seance.Masque();
        if (constat != Constat::Demande) return false;
    } else {
        char octet = 0;
        ibrsp(ud, &octet);
        if (statut == ERR) {
            *resultat = 0;
            return false;
        }
    }
    char evenements[kLongueurEvenements + 1] = "";
    // A question that did not go out has no reply to wait for.
    const bool repondu = (ibecr(ud, "*ESR?") & ERR) == 0 && !echanges_gpib::LireTexte(ud, evenements).echec;
    long esr = 0;
    const bool lisible = repondu && nombres::LireEntier(evenements, esr) > 0;
    *resultat = seance.Masque();
    if (lisible) return (esr & 1) != 0;
    Manquer(lectures);
    const bool relancee = panne_gpib::Lancer(ud, kRelance);
    seance.veille.Cycle(repondu ? Issue::Illisible : Issue::SansReponse, relancee);
    return false;
}

void LireEtRelancer(int ud, Seance &seance, Lecture &fenetre1, Lecture &fenetre2) {
    char octet = 0;
    ibrsp(ud, &octet);
    Lecture *lectures[2] = {&fenetre1, &fenetre2};
    Issue issue = Issue::Lue;
    for (int k = 0; k < 2; ++k) {
        char reponse[kLongueurMesure + 1] = "";
        const bool repondu = (ibecr(ud, kFetch[k]) & ERR) == 0 && !echanges_gpib::LireTexte(ud, reponse).echec;
        double v = 0.0;
        if (!repondu) {
            lectures[k]->Manquer();
            issue = panne_gpib::Pire(issue, Issue::SansReponse);
        } else if (nombres::LireReel(reponse, v) > 0) {
            lectures[k]->valeur = v;
        } else {
            issue = panne_gpib::Pire(issue, Issue::Illisible);
        }
    }
    ++fenetre1.numero;
    ++fenetre2.numero;
    const bool relancee = panne_gpib::Lancer(ud, kRelance);
    seance.veille.Cycle(issue, relancee);
}

}  // namespace e4419b

// ---- the sensor ring of both configuration panels ------------------------------------------

// On Conf_PowSw, controls 2, 3 and 4 are the second-switch ring, the first-switch ring and the
// sensor ring; on Conf_Pow, 2 and 3 are the sensor ring and the OK button, which are never
// dimmed, so that there the callback changes nothing.
static_assert(Conf_PowSw_RING_Conf_2ndSw_Power == 2 && Conf_PowSw_RING_Conf_Sw_Power == 3 &&
              Conf_PowSw_RING_Conf_Capt_Power == 4);

// While a switch ring is dimmed, the second-switch ring follows the sensor choice: dimmed for
// one sensor, available for both.
int Prog_Configuration_Power_Choix_Voie(int panel, int /*control*/, int event, void * /*callbackData*/,
                                        int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    int grise_premier = 0, grise_second = 0;
    GetCtrlAttribute(panel, Conf_PowSw_RING_Conf_Sw_Power, ATTR_DIMMED, &grise_premier);
    GetCtrlAttribute(panel, Conf_PowSw_RING_Conf_2ndSw_Power, ATTR_DIMMED, &grise_second);
    if (grise_premier + grise_second == 0) return 0;
    int capteur = 0;
    GetCtrlVal(panel, Conf_PowSw_RING_Conf_Capt_Power, &capteur);
    if (capteur == e4419b::kCapteurA || capteur == e4419b::kCapteurB)
        SetCtrlAttribute(panel, Conf_PowSw_RING_Conf_2ndSw_Power, ATTR_DIMMED, 1);
    else if (capteur == e4419b::kCapteursAB)
        SetCtrlAttribute(panel, Conf_PowSw_RING_Conf_2ndSw_Power, ATTR_DIMMED, 0);
    return 0;
}
UI_CALLBACK(Prog_Configuration_Power_Choix_Voie);
