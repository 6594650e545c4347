// The instrument catalogue (see catalogue.h).
#include "instruments/catalogue.h"

#include <cstring>

#include "framework/liste.h"  // gestion_lock, a core service of every instance
#include "framework/voies.h"  // the channel services of every instance
#include "instruments/tables.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/Interface.h"

namespace {
constexpr const char *kSeparateur = "------------------";
constexpr ligne_catalogue Separateur() { return {kSeparateur, "", nullptr}; }
}  // namespace

// A plugin joins the program by putting the address of its global table in its row.
const ligne_catalogue catalogue_instru[kLignesCatalogue] = {
    {"Fréquencemètre"_w, "5313x_1v.dll", &freq},
    {"Fréquencemètre 2 Voies"_w, "5313x_2v.dll", &freq2v},
    {"Fréquencemètre Switché"_w, "5313x_sw.dll", &freq_sw},
    {"Powermeter", "4419.dll", &power_simple},
    {"Powermeter Switché"_w, "4419_sw.dll", &power_switch},
    {"Carte VEXO", "vexo.dll", &vexo_4v},
    {"Multimètre HP34401"_w, "multimetre.dll", &multi},
    Separateur(),
    {"Valve EFD", "efd.dll", &pilote_valve},
    {"Enceinte thermique", "therm.dll", &enc_ther},
    {"Pilote bidon", "pilote_bidon.dll", &pilote_bidon},
    Separateur(),
    {"Calculatrice", "Calculatrice.dll", &Calculatrice},
    {"Reboucleur", "reboucleur.dll", &boucleur},
    {"Détecteur d'extremum"_w, "extremum.dll", &calcul_extremum},
    {"Calcul de statistiques", "stddev.dll", &calcul_moy_stddev},
    Separateur(),
    {"Tektronix TDS 3052", "tektro3052.dll", &tek},
    {"HP 4194 (bodemètre)"_w, "bode_hp4194.dll", &bode_hp},
    {"Anritsu MS4623B", "Analyseur_reseau.dll", &anritsu},
    Separateur(),
    {"Fitter de courbes", "fitter.dll", &fitter},
    Separateur(),
    {"Regul Acoustic", "Regul_Acoustic.dll", &Regul_Acoustic},
    {"Pousse Seringue", "Pousse_Seringue.dll", &Pousse_Seringue},
    {"Pompe Ismatec", "Pompe_Ismatec.dll", &Pompe_Ismatec},
    {"Electrovanne", "Electrovanne.dll", &Electrovanne},
    {"GBF HP3312A", "GBF_HP3312A.dll", &GBF_HP3312A},
    {"HP53131 - phase", "HP53131_phase.dll", &HP53131_phase},
    {"DGM (retour infos)", "DGM110.dll", &DGM110},
};

void remplir_liste_instru(int panel) {
    ClearListCtrl(panel, PANEL_Ajou_RING_Ajou_Type);
    for (const ligne_catalogue &ligne : catalogue_instru)
        InsertListItem(panel, PANEL_Ajou_RING_Ajou_Type, -1, ligne.libelle, ligne.type_apareil);
}

PInstrument *Nouvel_instrument(const char *type_apareil) {
    if (type_apareil == nullptr || type_apareil[0] == '\0') return nullptr;
    PInstrument *instrument = nullptr;
    for (const ligne_catalogue &ligne : catalogue_instru) {
        if (std::strcmp(ligne.type_apareil, type_apareil) != 0) continue;
        if (ligne.table != nullptr && ligne.table->nouveau != nullptr)
            ligne.table->nouveau(&instrument);
        break;
    }
    if (instrument == nullptr) return nullptr;
    instrument->gestion_lock = gestion_lock;
    instrument->init_liste_voie = init_liste_voie;
    instrument->get_buffer_from_tatoo = get_buffer_from_tatoo;
    instrument->init_liste_voie2D = init_liste_voie2D;
    instrument->get_buffer2D_from_tatoo = get_buffer2D_from_tatoo;
    return instrument;
}
