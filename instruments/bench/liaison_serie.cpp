// The serial link of the bench devices' plugins (see liaison_serie.h).
#include "instruments/bench/liaison_serie.h"

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "platform/utility.h"

namespace banc {

namespace {

constexpr long kVitesse = 9600;
constexpr int kFile = 512;                 // bytes of each queue
constexpr double kTolerance = 1e-6;        // seconds: a clock moved by exactly the silence reaches it
constexpr double kIntervallesMuets = 3.0;  // intervals between readings that make a silence
constexpr double kRetardTolere = 0.5;      // seconds a look may run late without being held up
constexpr double kRelance = 1.0;           // seconds before a look again at bytes not yet read
const char kAttention[] = "Attention";

// The port fields (`portOuvert`) of the live instruments that have run an init: a port stays open
// while one of them names it. User-interface thread only, as every init and liberer.
std::vector<const int *> &Detenteurs() {
    static std::vector<const int *> detenteurs;
    return detenteurs;
}

// The port of `portOuvert` goes unless another instrument's init opened it too (a device moved to
// it, or a second device on the same line): closing it would take the port, and the receive
// callback installed on it, from under that instrument.
void Lacher(const int &portOuvert) {
    if (portOuvert <= 0) return;
    const std::vector<const int *> &d = Detenteurs();
    const bool autre =
        std::any_of(d.begin(), d.end(), [&](const int *h) { return h != &portOuvert && *h == portOuvert; });
    if (!autre) CloseCom(portOuvert);
}

}  // namespace

// ---- opening and letting go of the port ----------------------------------------------------

int PortDeLInit(int &portOuvert, int comPort) {
    if (portOuvert != comPort) Lacher(portOuvert);
    std::vector<const int *> &d = Detenteurs();
    if (std::find(d.begin(), d.end(), &portOuvert) == d.end()) d.push_back(&portOuvert);
    portOuvert = comPort;
    return portOuvert;
}

void LacherPort(int &portOuvert) {
    Lacher(portOuvert);
    std::erase(Detenteurs(), &portOuvert);
    portOuvert = 0;
}

void Liaison::AuLiberer() { LacherPort(port); }

int OuvrirPort(Liaison &l, int comPort) {
    return OpenComConfig(PortDeLInit(l.port, comPort), "", kVitesse, kRS_NoParity, 8, 1, kFile, kFile);
}

int OuvrirPortVerifie(Liaison &l, int comPort, double delai) {
    const int r = OuvrirPort(l, comPort);
    if (r < 0) {
        MessagePopup(kAttention, "Impossible d'ouvrir le port demandé"_w);
        return r;
    }
    SetXMode(l.port, 0);
    SetCTSMode(l.port, 0);
    SetComTime(l.port, delai);
    return r;
}

// ---- receive callbacks ----------------------------------------------------------------------

bool OctetsEnAttente(int port) {
    constexpr double kSecondRegard = 0.1;  // seconds
    if (GetInQLen(port) > 0) return true;
    Delay(kSecondRegard);
    return GetInQLen(port) > 0;
}

bool SauterJusqua(int port, int caractere) {
    while (GetInQLen(port) > 0) {
        const int c = ComRdByte(port);
        if (c == caractere) return true;
        if (c < 0) return false;
    }
    return false;
}

// ---- failed exchanges -------------------------------------------------------------------------

std::string SurLePort(const std::string &texte, int port) { return texte + " (COM" + std::to_string(port) + ")"; }

void SignalerEchec(Compte compte, const char *popUp, plugin::Panne &panne, const char *nom, const std::string &statut,
                   int port) {
    if (compte == Compte::PopUp) MessagePopup(kAttention, popUp);
    else panne.Signaler(nom, SurLePort(statut, port));
}

// ---- the watch over a device that pushes its readings ----------------------------------------

void Veille::Armer(Liaison &l, const char *nom, double silenceMin) {
    Desarmer();
    liaison_ = &l;
    nom_ = nom;
    silenceMin_ = silenceMin;
    derniere_ = reprise_ = horloge::Secondes();
    intervalle_ = 0.0;
    lue_ = false;
    illisible_ = false;
    en_attente_ = 0;
    arme_ = true;
    l.activite.AppelsDifferes(this);
    Poster(Silence());
}

void Veille::Desarmer() {
    arme_ = false;
    CancelDelayedCalls(this);
}

void Veille::Lecture() {
    if (liaison_ == nullptr) return;
    const double maintenant = horloge::Secondes();
    // An interval the user-interface thread was held in says nothing of the device's pace.
    if (lue_ && !liaison_->panne.EnCours() && reprise_ == derniere_) intervalle_ = maintenant - derniere_;
    derniere_ = reprise_ = maintenant;
    lue_ = true;
    illisible_ = false;
    en_attente_ = 0;
    liaison_->panne.Retablie(nom_);
}

double Veille::DepuisLecture() const { return horloge::Secondes() - reprise_; }

double Veille::Silence() const { return std::max(silenceMin_, kIntervallesMuets * intervalle_); }

void Veille::Poster(double delai) {
    prevue_ = horloge::Secondes() + delai;
    PostDelayedCall(Regarder, this, delai);
}

// One look: a reading came within the silence, or the fault is said (once) and what waits in the
// input queue without making a reading goes. The next look follows.
void Veille::Regarder(void *donnees) {
    Veille &v = *static_cast<Veille *>(donnees);
    if (!v.arme_) return;
    const double silence = v.Silence();
    // Held up with the user-interface thread: what the device sent meanwhile waits behind this
    // look for its callback.
    if (horloge::Secondes() - v.prevue_ > kRetardTolere) {
        v.reprise_ = horloge::Secondes();
        v.Poster(silence);
        return;
    }
    const double depuis = v.DepuisLecture();
    if (depuis + kTolerance < silence) {
        v.Poster(silence - depuis);
        return;
    }
    Liaison &l = *v.liaison_;
    const int en_attente = GetInQLen(l.port);
    const bool octets = en_attente > 0;
    // Bytes that came since the previous look may be a reading whose callback has not run yet:
    // only what was already waiting then, and made no reading since, goes. Unless the callback
    // already found them unreadable, they get its turn before the fault is said.
    const bool nouveaux = octets && v.en_attente_ == 0;
    if (octets && !nouveaux) FlushInQ(l.port);
    v.en_attente_ = nouveaux ? en_attente : 0;
    if (nouveaux && !v.illisible_) {
        v.Poster(kRelance);
        return;
    }
    const std::string texte = v.illisible_ || octets ? "réponses illisibles de l'appareil"_w
                                                     : "l'appareil n'envoie plus de mesures"_w;
    l.panne.Signaler(v.nom_, SurLePort(texte, l.port));
    v.Poster(silence);
}

}  // namespace banc
