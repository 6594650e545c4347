// The activity of an instrument instance (see plugin.h).
#include "framework/plugin.h"

#include <algorithm>

#include "platform/gpib.h"
#include "platform/rs232.h"
#include "platform/toolbox.h"

namespace plugin {

namespace {
template <class T>
void AjouterUneFois(std::vector<T> &liste, T valeur) {
    if (std::find(liste.begin(), liste.end(), valeur) == liste.end()) liste.push_back(valeur);
}
}  // namespace

void Activite::NotificationArmee(int ud) { AjouterUneFois(notifications_, ud); }

void Activite::NotificationDesarmee(int ud) { std::erase(notifications_, ud); }

void Activite::RappelSerieInstalle(int port) { AjouterUneFois(rappels_serie_, port); }

void Activite::RappelSerieRetire(int port) { std::erase(rappels_serie_, port); }

void Activite::AppelsDifferes(void *donnees) { AjouterUneFois(appels_differes_, donnees); }

void Activite::Arreter() {
    // Disarming waits for a callback that is running on the notification thread.
    for (const int ud : notifications_) ibnotify(ud, 0, nullptr, nullptr);
    notifications_.clear();
    // Removing a receive callback waits for one that is running on another thread.
    for (const int port : rappels_serie_) InstallComCallback(port, 0, 0, 0, nullptr, nullptr);
    rappels_serie_.clear();
    for (void *donnees : appels_differes_) CancelDelayedCalls(donnees);
    appels_differes_.clear();
    panneaux.ToutFermer();
}

}  // namespace plugin
