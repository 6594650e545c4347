// The watch over a meter that completes by service request (see veille.h).
#include "instruments/meters/veille.h"

#include <string>

#include "gpib/GLOBALES.h"
#include "platform/text.h"

namespace veille {

namespace {

// Bytes of the reply to "*ESR?".
constexpr long kLongueurEvenements = 10;
// The bit of the status byte that a device requesting service sets (RQS).
constexpr char kDemandeService = 0x40;

}  // namespace

bool Veille::Relancer(int ud, const char *commande) {
    due_ = (ibecr(ud, commande) & ERR) != 0;
    return !due_;
}

void Veille::Bilan(Issue issue, bool relancee) {
    if (!relancee) issue = Issue::SansReponse;
    if (issue == Issue::Lue) panne_.Retablie(nom_);
    else Dire(issue);
}

Veille::Constat Veille::Veiller(int ud, const char *commande) {
    short ecoute = 0;
    ibln(ud, adresse_, NO_SAD, &ecoute);
    char octet = 0;
    if (ecoute == 0 || (ibrsp(ud, &octet) & ERR) != 0) {
        due_ = true;
        Dire(Issue::SansReponse);
        return Constat::SansMesure;
    }
    if ((octet & kDemandeService) != 0) return Constat::Demande;
    if (!due_) return Constat::EnMesure;
    // A question that did not go out has no reply to wait for.
    if ((ibecr(ud, "*ESR?") & ERR) == 0) {
        char reponse[kLongueurEvenements];
        ibrd(ud, reponse, kLongueurEvenements);
    }
    if (Relancer(ud, commande)) return Constat::EnMesure;
    Dire(Issue::SansReponse);
    return Constat::SansMesure;
}

void Veille::Dire(Issue issue) {
    const char *quoi = issue == Issue::Illisible ? "réponse illisible de l'appareil (GPIB0::"_w
                                                 : "pas de réponse de l'appareil (GPIB0::"_w;
    panne_.Signaler(nom_, quoi + std::to_string(adresse_) + ")");
}

}  // namespace veille
