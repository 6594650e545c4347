// The opening of a GPIB instrument at init (see ouverture_gpib.h).
#include "instruments/ouverture_gpib.h"

#include <string>
#include <string_view>

#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace ouverture_gpib {

namespace {

// The pop-up of a failed step, the new device retired before or after it as the plugin does.
void Echec(int ud, const Retrait &retrait, const char *titre, const char *texte) {
    if (retrait.action && retrait.avant_message) retrait.action(ud);
    MessagePopup(titre, texte);
    if (retrait.action && !retrait.avant_message) retrait.action(ud);
}

// The bytes the last read of this thread brought into a buffer of `longueur` bytes.
long Recus(long longueur, bool borne) {
    const long n = ThreadIbcntl();
    if (n <= 0) return 0;
    if (n > longueur) return borne ? longueur : 0;
    return n;
}

}  // namespace

void HorsLigne(int ud) { ibonl(ud, 0); }

void HorsLigneSiOuvert(int ud) {
    if (ud >= 0) ibonl(ud, 0);
}

void Fermer(int &ud, plugin::Activite &activite) {
    if (ud < 0) return;
    ibonl(ud, 0);
    activite.NotificationDesarmee(ud);
    ud = -1;
}

int Carte() {
    const int carte = ibfind("GPIB0");
    if ((carte & ERR) == 0) return carte;
    MessagePopup("Problème de carte"_w, "Carte GPIB non détectée"_w);
    return -1;
}

bool Ecouteur(int ud, int adresse, int sad, const Absence &absence, const Retrait &retrait) {
    ibclr(ud);
    short ecoute = 0;
    ibln(ud, adresse, sad, &ecoute);
    if (ecoute != 0) return true;
    std::string texte = absence.texte;
    if (absence.adresse) texte += std::to_string(adresse) + " !!!";
    Echec(ud, retrait, absence.titre, texte.c_str());
    return false;
}

bool Identifier(int ud, const Identite &id, const Retrait &retrait) {
    if (id.modele == nullptr) return true;
    for (const char *commande : id.avant) ibecr(ud, commande);
    std::string reponse(static_cast<std::size_t>(id.longueur), '\0');
    long lus = 0;
    if (const int question = ibecr(ud, "*IDN?"); !id.question_verifiee || (question & ERR) == 0) {
        ibrd(ud, reponse.data(), id.longueur);
        lus = Recus(id.longueur, id.compte_borne);
    }
    std::string_view recus(reponse.data(), static_cast<std::size_t>(lus));
    if (id.recherche == Recherche::Texte) recus = recus.substr(0, recus.find('\0'));
    if (recus.find(id.modele) != std::string_view::npos) return true;
    Echec(ud, retrait, "Erreur", "Modèle non supporté par ce module !"_w);
    return false;
}

int Ouvrir(int adresse, const Ouverture &o, int &ud) {
    int carte = 0;
    if (o.verifier_carte) {
        carte = Carte();
        if (carte < 0) return -1;
    }
    const int nouveau = ibdev(0, adresse, o.sad, T10s, 1, o.eos);
    if (!Ecouteur(nouveau, adresse, o.sad, o.absence, o.retrait) || !Identifier(nouveau, o.identite, o.retrait))
        return -1;
    ud = nouveau;
    return carte;
}

}  // namespace ouverture_gpib
