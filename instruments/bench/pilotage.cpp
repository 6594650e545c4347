// What the bench devices' plugins share (see pilotage.h).
#include "instruments/bench/pilotage.h"

#include "platform/rs232.h"
#include "platform/ui.h"
#include "platform/utility.h"

#include <algorithm>
#include <vector>

namespace banc {

bool ChargerPilotage(int &panneau, std::int32_t &champBloc, plugin::Activite &activite, const char *fichier,
                     int idPanneau) {
    if (panneau != 0) return true;
    panneau = LoadPanel(0, fichier, idPanneau);
    champBloc = panneau;
    if (panneau < 0) return false;
    activite.panneaux.Ajouter(panneau);
    return true;
}

namespace {

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

}  // namespace banc
