// What the counter plugins share (see compteur_commun.h).
#include "instruments/counters/compteur_commun.h"

#include <cstring>
#include <string>

#include "gpib/GLOBALES.h"
#include "gpib/HP5313XA.h"
#include "instruments/echanges_gpib.h"
#include "instruments/ouverture_gpib.h"
#include "platform/text.h"

namespace compteur {

namespace {

constexpr int kLongueurIdentite = 250;
constexpr int kLongueurLecture = 255;
constexpr std::string_view kModele = "HEWLETT-PACKARD,5313";
constexpr const char *kLancement = ":INIT:IMM;*OPC";  // the next measurement
// The pop-ups of a start step the bus refused, followed by the descriptor and the bus status.
constexpr const char *kSansInterruption =
    "Impossible d'initialiser l'interruption\nsur le fréquencemètre d'identificateur "_w;
constexpr const char *kSansLancement = "Impossible de lancer une mesure\nsur le fréquencemètre d'identificateur "_w;

}  // namespace

// ---- init ---------------------------------------------------------------------------------

void Marche::AuLiberer() { panne_gpib::Fermer(suivi, ud, activite); }

int Ouvrir(Marche &m, std::string_view nom, int adresse, const Ouverture &o, std::span<double> zones,
           std::span<std::uint32_t> numeros) {
    panne_gpib::Fermer(m.suivi, m.ud, m.activite);
    for (double &z : zones) Ranger(z, NaN());
    for (std::uint32_t &n : numeros) Ranger(n, 0u);
    m.suivi.Preparer(nom, adresse);
    plugin::Activite &activite = m.activite;
    const ouverture_gpib::Ouverture ouverture{
        .verifier_carte = o.verifier_carte,
        .absence = {.texte = o.sans_ecouteur},
        .identite = {.modele = kModele.data(), .longueur = kLongueurIdentite},
        .retrait = {.action = [&activite](int nouveau) { ouverture_gpib::Fermer(nouveau, activite); },
                    .avant_message = true},
    };
    return ouverture_gpib::Ouvrir(adresse, ouverture, m.ud);
}

int ReglerParPilote(int adresse, const Entrees &e) {
    char ressource[32];
    std::snprintf(ressource, sizeof ressource, "GPIB::%d", adresse);
    char chiffres[48];
    std::snprintf(chiffres, sizeof chiffres, ":FREQ:ARM:STOP:DIG %d", e.digits);
    // The driver's booleans are ViBoolean (0 or 1): a value a damaged settings file gives falls
    // outside and the driver refuses it as an argument.
    const auto Booleen = [](int v) { return static_cast<ViBoolean>(v == 0 || v == 1 ? v : 2); };
    const ViBoolean couplage = Booleen(e.couplage), impedance = Booleen(e.impedance),
                    attenuation = Booleen(e.attenuation), filtre = Booleen(e.filtre);

    ViSession session = VI_NULL;
    ViStatus resultat = VI_SUCCESS;
    // Runs the steps in order, as long as none has failed.
    const auto Etape = [&](const char *titre, bool visa, auto appel) {
        if (resultat < 0) return;
        const ViStatus statut = appel();
        if (statut == VI_SUCCESS) return;
        if (visa) analyse_msg_VI(titre, statut);
        else analyse_msg_freq(titre, statut);
        if (statut < 0 || resultat == VI_SUCCESS) resultat = statut;
    };
    Etape("init", true, [&] { return hp5313xa_init(ressource, VI_FALSE, VI_TRUE, 1, &session); });
    Etape("reset", false, [&] { return hp5313xa_reset(session); });
    for (const char *commande : {"*CLS", "*SRE 0", "*ESE 0", ":FUNC 'FREQ 1'", ":FREQ:ARM:STAR:SOUR IMM",
                                 ":FREQ:ARM:STOP:SOUR DIG", static_cast<const char *>(chiffres),
                                 ":TRIG:COUN:AUTO OFF", "FORM:DATA ASCII"})
        Etape("writeInstrData", false, [&] { return hp5313xa_writeInstrData(session, commande); });
    for (const ViInt16 entree : {1, 2}) {
        Etape("inputCond", false,
              [&] { return hp5313xa_inputCond(session, entree, couplage, impedance, attenuation, filtre); });
        Etape("trigSens", false, [&] { return hp5313xa_trigSens(session, entree, 0, 50.0, attenuation, 1, 0); });
    }
    Etape("Timeout", true, [&] { return viSetAttribute(session, VI_ATTR_TMO_VALUE, 2500); });
    hp5313xa_close(session);
    return resultat;
}

// ---- start ----------------------------------------------------------------------------------

int Armer(int ud, int adresse, int masque, GpibNotifyCallback_t rappel, void *ref, const Armement &a,
          plugin::Activite &activite) {
    a.validations(ud, "*ESE 1");
    const int validation = a.validations(ud, "*SRE 32");
    if ((validation & ERR) != 0) {
        echanges_gpib::MontrerEchecBus(kSansInterruption, ud);
        return validation;
    }
    if (a.sondage) Sonder(ud);
    ViderEvenements(ud);
    if ((ibnotify(ud, masque, rappel, ref) & ERR) != 0) {
        const std::string texte =
            "Impossible d'initialiser le fréquencemètre\nd'adresse "_w + std::to_string(adresse);
        MessagePopup("Attention !!!", texte.c_str());
        return -1;
    }
    activite.NotificationArmee(ud);
    const int lancement = a.ecrire_mesure(ud, a.mesure);
    if ((lancement & ERR) != 0) {
        const int sta = ibsta, err = iberr;
        const long cntl = ibcntl;
        ibnotify(ud, 0, rappel, ref);
        activite.NotificationDesarmee(ud);
        FixerEtatGpib(sta, err, cntl);  // the pop-up shows the status of the launch, not of the disarming
        echanges_gpib::MontrerEchecBus(kSansLancement, ud);
    }
    return lancement;
}

// ---- pieces of the callbacks ----------------------------------------------------------------

void Injoignable(Marche &m, std::span<double> voies) {
    m.suivi.Dire(panne_gpib::Issue::SansReponse);
    for (double &v : voies) Ranger(v, NaN());
}

void Classer(Marche &m, double &zone, std::uint32_t &numero, const Lecture &lecture, bool lue,
             SansNombre sans_nombre) {
    Ranger(zone, ValeurApres(lecture, Charger(zone), sans_nombre));
    std::atomic_ref<std::uint32_t>(numero).fetch_add(1, std::memory_order_relaxed);
    using panne_gpib::Issue;
    const bool nombre = lecture.genre == Lecture::Genre::Nombre;
    m.suivi.Dire(!lue ? Issue::SansReponse : nombre ? Issue::Lue : Issue::Illisible);
}

Lecture Interroger(int ud, Ecriture ecrire, const char *question, bool *lue) {
    ecrire(ud, question);
    char reponse[kLongueurLecture];
    const echanges_gpib::Lecture l = echanges_gpib::Lire(ud, reponse, kLongueurLecture);
    if (lue != nullptr) *lue = !l.echec;
    return AnalyserLecture({reponse, static_cast<std::size_t>(l.octets)});
}

void Relever(int ud, Ecriture ecrire, const char *question, Marche &m, double &zone, std::uint32_t &numero,
             SansNombre sans_nombre) {
    bool lue = false;
    const Lecture lecture = Interroger(ud, ecrire, question, &lue);
    Classer(m, zone, numero, lecture, lue, sans_nombre);
}

void Sonder(int ud) {
    char octet = 0;
    ibrsp(ud, &octet);
}

void Relancer(int ud, Marche &m) {
    m.suivi.Relancer([ud] { return panne_gpib::Lancer(ud, kLancement); });
}

bool Veiller(int ud, int masque, Marche &m, std::span<double> voies) {
    if (masque == 0) return false;
    using panne_gpib::Constat;
    const Constat constat = m.suivi.Surveiller(
        ud, [ud] { return panne_gpib::Relancer(ud, kLancement); }, {.ecoute = false, .sondage = true});
    if (constat == Constat::SansMesure) Injoignable(m, voies);
    return constat == Constat::Demande;
}

bool Servir(int ud, int ibsta_notification, int masque, Marche &m, std::span<double> voies) {
    if (SansRequete(ibsta_notification)) return Veiller(ud, masque, m, voies);
    Sonder(ud);
    return true;
}

// ---- panels -----------------------------------------------------------------------------------

int ChargerConfiguration(const char *fichier, int id, int bouton_ok, void *p, plugin::Activite &activite) {
    const int panel = LoadPanel(0, fichier, id);
    if (panel < 0) return panel;
    SetCtrlAttribute(panel, bouton_ok, ATTR_CALLBACK_DATA, p);
    activite.panneaux.Ajouter(panel);
    return panel;
}

void FermerPanneau(int panel, plugin::Activite &activite) {
    activite.panneaux.Retirer(panel);
    DiscardPanel(panel);
}

}  // namespace compteur
