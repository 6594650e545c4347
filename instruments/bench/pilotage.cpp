// What the bench devices' plugins share (see pilotage.h).
#include "instruments/bench/pilotage.h"

#include "platform/rs232.h"
#include "platform/ui.h"
#include "platform/utility.h"

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

int PortDeLInit(int &portOuvert, int comPort) {
    if (portOuvert > 0 && portOuvert != comPort) CloseCom(portOuvert);
    portOuvert = comPort;
    return portOuvert;
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
