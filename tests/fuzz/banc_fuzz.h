// What the fuzz targets that run instruments share: an instrument list made of catalogue types
// as a settings load makes it, and the acquisition sequence around it (tables, starts, rings;
// then the stop), without any window.
#pragma once

#include "framework/enregistrement.h"
#include "framework/instrument.h"
#include "framework/liste.h"
#include "framework/voies.h"
#include "instruments/catalogue.h"

namespace fuzz {

class Banc {
public:
    // The bench works on `liste` (the program's own list, or one of the target's).
    explicit Banc(fichei *&liste) : liste_(liste) {}
    ~Banc() {
        Arreter();
        Fermer_enregistrement(liste_);
        liste_ = Effacer_liste_inst(liste_);
        Reserver_buffer_circu(nullptr);
        nbpointsgraph = 0;
    }
    Banc(const Banc &) = delete;
    Banc &operator=(const Banc &) = delete;

    // A new instance of catalogue type `type`, listed with the next tatoo (1, 2, ...).
    PInstrument *Ajouter(const char *type) {
        PInstrument *i = Nouvel_instrument(type);
        if (i == nullptr) __builtin_trap();  // a built type always gives an instance
        liste_ = Inserer_instru(liste_, type, i, ++tatoo_);
        return i;
    }

    // What an acquisition start does, without the instruments' init: tables, starts, rings of
    // `points` points. False when a start failed (nothing is left started then).
    bool Demarrer(int points = 16) {
        Reserver_buffer_circu(liste_);
        bool ok = true;
        for (fichei *n = liste_; n; n = n->suivant)
            if (n->plugin->start && (n->plugin->start(n->plugin) & kStartEchec)) ok = false;
        Reserver_buffer_circu(liste_);
        nbpointsgraph = points;
        Allouer_buffer_circu();
        Init_buffer2D_circu(liste_);
        demarre_ = true;
        if (!ok) Arreter();
        return ok;
    }
    void Arreter() {
        if (!demarre_) return;
        demarre_ = false;
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
        for (fichei *n = liste_; n; n = n->suivant)
            if (n->plugin->stop) n->plugin->stop(n->plugin);
    }

private:
    fichei *&liste_;
    int tatoo_ = 0;
    bool demarre_ = false;
};

}  // namespace fuzz
