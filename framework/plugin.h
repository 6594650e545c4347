// The life cycle that every instrument plugin shares: making an instance from the plugin's
// table and defaults, the instance's name, the settings block it saves, and freeing it once
// nothing can call into it any more.
//
// A plugin describes its private record to `Gestion`:
//
//   struct Freq_prive {
//       S_freq bloc;                 // settings block, saved whole (get_memory flag 1)
//       ...                          // operational state
//       plugin::Activite activite;   // what is running and must stop before the record goes
//
//       static constexpr const char *kNomDefaut = "Fréquencemètre";  // Windows-1252 text
//       static constexpr auto kChampNom = &S_freq::nom_pilot;       // the block's name field
//       static constexpr ApresLeNom kApresLeNom = ApresLeNom::Intact; // optional
//       void Defauts();      // optional: the settings of a new instance beyond a zeroed block
//       void AuLiberer();    // optional: the plugin's own releases, once the activity stopped
//   };
//   using Vie = plugin::Gestion<Freq_prive, freq>;
//   PInstrument freq = {.nouveau = Vie::nouveau, .liberer = Vie::liberer, ...};
#pragma once

#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "framework/champs.h"
#include "framework/instrument.h"
#include "framework/panneaux_instrument.h"

namespace plugin {

// Everything an instance has set going that could still call into its private record: GPIB
// notifications, serial receive callbacks, delayed calls, and its panels (with their timers).
// The plugin records each as it starts it; `Arreter` ends them all, in an order where nothing
// that is stopped can start another: notifications first (waiting for a callback that runs),
// then receive callbacks (likewise), then delayed calls, then the panels.
class Activite {
public:
    // Panels the instance has loaded and not discarded itself (configuration, manual control,
    // watchdog...). Discarding a panel stops its timers and callbacks.
    PanneauxOuverts panneaux;

    // ibnotify armed on the device descriptor `ud`; a plugin that disarms it itself says so.
    void NotificationArmee(int ud);
    void NotificationDesarmee(int ud);

    // Receive callback installed on serial port `port` (InstallComCallback); a plugin that
    // removes it itself says so.
    void RappelSerieInstalle(int port);
    void RappelSerieRetire(int port);

    // Delayed calls (PostDelayedCall) posted with this data pointer.
    void AppelsDifferes(void *donnees);

    // Stops everything recorded above, waiting for callbacks that are running. The instance
    // may then be freed: nothing it started reaches it any more. Safe to call twice.
    void Arreter();

private:
    std::vector<int> notifications_;
    std::vector<int> rappels_serie_;
    std::vector<void *> appels_differes_;
};

template <class P>
P *Prive(PInstrument *instrument) {
    return static_cast<P *>(instrument->structure);
}

// The six management operations over the private record type P (see the top of this file),
// for the plugin whose global table is `Table`.
template <class P, const PInstrument &Table>
struct Gestion {
    using Bloc = decltype(P::bloc);
    static_assert(std::is_trivially_copyable_v<Bloc>, "a settings block is saved raw");

    // A heap copy of the table and a fresh record: zeroed block (gaps included, so that the
    // same settings always save to the same bytes), the plugin's defaults, the default name.
    // Without memory, the caller's pointer stays null.
    static void nouveau(PInstrument **instrument) {
        if (!instrument) return;
        auto *instance = new (std::nothrow) PInstrument(Table);
        auto *p = new (std::nothrow) P();
        if (!instance || !p) {
            delete instance;
            delete p;
            return;
        }
        std::memset(static_cast<void *>(&p->bloc), 0, sizeof(Bloc));
        if constexpr (requires { p->Defauts(); }) p->Defauts();
        instance->structure = p;
        set_nom_instru(instance, P::kNomDefaut);
        *instrument = instance;
    }

    // Stops what the instance set going, then frees the record and the instance.
    static void liberer(PInstrument *instrument) {
        if (!instrument) return;
        if (P *p = Prive<P>(instrument)) {
            p->activite.Arreter();
            if constexpr (requires { p->AuLiberer(); }) p->AuLiberer();
            delete p;
        }
        delete instrument;
    }

    // The whole block, by size (flag 1).
    static void get_memory(PInstrument *instrument, void **p_strct, void ** /*p_member*/,
                           unsigned *size, unsigned char *flag) {
        *p_strct = &Prive<P>(instrument)->bloc;
        *size = sizeof(Bloc);
        *flag = 1;
    }

    static void get_nom_instru(PInstrument *instrument, char *nom_instru) {
        LireNomInstrument(Prive<P>(instrument)->bloc.*P::kChampNom, nom_instru);
    }

    static void set_nom_instru(PInstrument *instrument, const char *nom_instru) {
        EcrireNomInstrument(Prive<P>(instrument)->bloc.*P::kChampNom, nom_instru, ApresNom());
    }

private:
    static constexpr ApresLeNom ApresNom() {
        if constexpr (requires { P::kApresLeNom; }) return P::kApresLeNom;
        return ApresLeNom::Intact;
    }
};

}  // namespace plugin
