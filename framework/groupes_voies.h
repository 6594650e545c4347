// Whether an instrument takes part with a channel kind. A plugin offers each group of channel
// operations whole or not at all; each use checks the operations it calls, so that a table
// whose group is incomplete is simply passed over, never called through a null pointer.
#pragma once

#include "framework/instrument.h"

// Scalar channels: the same four operations for every use.
inline bool MesureScalaire(const PInstrument *p) {
    return p->nb_voie_1D && p->get_nom_voie_1D && p->mesure_1D && p->numero_1D;
}
inline bool CalculScalaire(const PInstrument *p) {
    return p->nb_voie_calcul && p->get_nom_voie_calcul && p->mesure_calcul && p->calculer_1D;
}

// Vector channels, when the channel tables are built.
inline bool MesureVecteurTable(const PInstrument *p) {
    return p->get_nom_instru && p->nb_voie2D && p->get_nom_voie2D && p->get_taille_voie2D;
}
inline bool CalculVecteurTable(const PInstrument *p) {
    return p->get_nom_instru && p->nb_voie_calcul2D && p->get_nom_voie_calcul_2D &&
           p->get_taille_voie_calcul2D;
}

// Vector channels, when each sample fills the rings.
inline bool MesureVecteurEchantillon(const PInstrument *p) {
    return p->nb_voie2D && p->mesure2D && p->indices2D && p->numero2D;
}
inline bool CalculVecteurEchantillon(const PInstrument *p) {
    return CalculVecteurTable(p) && p->calcul2D && p->i_calcul2D;
}

// Vector channels, in the vector record files.
inline bool MesureVecteurEnregistrement(const PInstrument *p) {
    return p->nb_voie2D && p->get_taille_voie2D && p->indices2D && p->mesure2D;
}
inline bool CalculVecteurEnregistrement(const PInstrument *p) {
    return p->nb_voie_calcul2D && p->get_nom_voie_calcul_2D && p->get_taille_voie_calcul2D &&
           p->calcul2D && p->i_calcul2D && p->calculer_2D;
}
