// The faults of a GPIB instrument read by service request (see panne_gpib.h).
#include "instruments/panne_gpib.h"

#include <string>

#include "gpib/GLOBALES.h"
#include "instruments/ouverture_gpib.h"
#include "platform/text.h"

namespace panne_gpib {

namespace {

// Bytes of the reply to "*ESR?".
constexpr long kLongueurEvenements = 10;

}  // namespace

bool Lancer(int ud, const char *commande) { return (ibecr(ud, commande) & ERR) == 0; }

void ViderEvenements(int ud) {
    if ((ibecr(ud, "*ESR?") & ERR) != 0) return;
    char reponse[kLongueurEvenements];
    ibrd(ud, reponse, kLongueurEvenements);
}

bool Relancer(int ud, const char *commande) {
    ViderEvenements(ud);
    return Lancer(ud, commande);
}

void Annonce::Preparer(std::string_view nom, int adresse) {
    panne_.Preparer(nom);
    adresse_ = adresse;
    muette_.store(false);
}

void Annonce::Dire(Issue issue) {
    // The run is being closed: what its exchanges came to is none of the instrument's doing.
    if (muette_.load()) return;
    if (issue == Issue::Lue) {
        panne_.Retablie();
        return;
    }
    // A fault already said is not said again: no line to make.
    if (panne_.EnCours()) return;
    const char *quoi = issue == Issue::Illisible ? "réponse illisible de l'appareil (GPIB0::"_w
                                                 : "pas de réponse de l'appareil (GPIB0::"_w;
    panne_.Signaler(quoi + std::to_string(adresse_) + ")");
}

bool Suivi::Ecoute(int ud) const {
    short ecoute = 0;
    ibln(ud, annonce_.Adresse(), NO_SAD, &ecoute);
    return ecoute != 0;
}

bool Suivi::Sonder(int ud, char &octet) { return (ibrsp(ud, &octet) & ERR) == 0; }

void Fermer(Suivi &suivi, int &ud, plugin::Activite &activite) {
    suivi.Taire();
    ouverture_gpib::Fermer(ud, activite);
}

}  // namespace panne_gpib
