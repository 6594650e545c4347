// Channel buffers and tables, channel references, the sampling step and the averages.
#include "framework/voies.h"

#include "framework/groupes_voies.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "platform/clock.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "uir/Interface.h"

ptr *tableau_Bcirc = nullptr;
int nb_Bcirc = 0;
ptr2D *tableau_Bcirc2D = nullptr;
int nb_Bcirc2D = 0;

int nbpointsgraph = 0;
int sous_ech_2D = 1;
int diviseur_short_mid = 2;
int diviseur_mid_long = 5;

std::time_t temps_echantillon = 0;

namespace {

// Room of each table (records), so that a rebuild grows a table by doubling rather than by
// one record at a time.
int capacite_Bcirc = 0;
int capacite_Bcirc2D = 0;

// Index of the first computed record of each table, as the last rebuild laid it out.
int premier_calcul = 0;
int premier_calcul2D = 0;

// True from a successful scalar allocation to the release.
bool anneaux_alloues = false;
int echecs_anneaux = 0;

// Room for a vector that came back larger than the rows sized at the rebuild: the plugin
// writes here, the row keeps its first `taille_voie` values. Grows only when such a vector
// shows up; freed with the vector rows.
std::vector<double> vecteur_deborde;

// The two average curves of a scalar record each live in a block of twice their length. The
// curve is a window of `profondeur` points in that block: a new point moves the window one
// place on and is stored at its end, so the record's `points_mid` / `points_long` always show
// a plain array, oldest point first, without the whole curve being moved at every point. Only
// when a window reaches the end of its block are its points moved back to the block's start,
// once every `profondeur` points. The blocks, by record, for the release.
struct BlocsCourbes {
    double *mid = nullptr;
    double *long_terme = nullptr;
};
std::vector<BlocsCourbes> blocs_courbes;

// The count operation of a channel kind.
using FnCompte = int (*)(PInstrument *);
using Compte = FnCompte PInstrument::*;

// Allocations of this module, with the failure injection of the tests.
long reussites_avant_echec = 0;
long echecs_a_venir = 0;

bool AllocationPermise() {
    if (echecs_a_venir == 0) return true;
    if (reussites_avant_echec > 0) {
        --reussites_avant_echec;
        return true;
    }
    if (echecs_a_venir > 0) --echecs_a_venir;
    return false;
}

double *AllouerDoubles(std::size_t n) {
    if (!AllocationPermise()) return nullptr;
    // At least one double, so that a zero-point vector still gets a distinct row.
    return static_cast<double *>(std::calloc(std::max<std::size_t>(n, 1), sizeof(double)));
}
double *AllouerDoubles(int n) { return AllouerDoubles(static_cast<std::size_t>(std::max(n, 0))); }

// Makes room for record `n` of a table. False when the table cannot grow.
template <class Rec>
bool Agrandir(Rec *&table, int &capacite, int n) {
    if (n < capacite) return true;
    if (capacite > std::numeric_limits<int>::max() / 2) return false;
    const int nouvelle = capacite == 0 ? 16 : capacite * 2;
    if (nouvelle <= n || !AllocationPermise()) return false;
    void *bloc = std::realloc(static_cast<void *>(table), static_cast<std::size_t>(nouvelle) * sizeof(Rec));
    if (!bloc) return false;
    table = static_cast<Rec *>(bloc);
    capacite = nouvelle;
    return true;
}

void Liberer(double *&p) {
    std::free(p);
    p = nullptr;
}

void LibererAnneaux(ptr &b, BlocsCourbes &blocs) {
    Liberer(b.mesure);
    Liberer(b.numero);
    Liberer(blocs.mid);
    Liberer(blocs.long_terme);
    b.points_mid = nullptr;
    b.points_long = nullptr;
}

void LibererLignes(ptr2D &b) {
    for (int r = 0; r < kLignesVecteur; ++r) {
        Liberer(b.mesure[r]);
        Liberer(b.indices[r]);
    }
}

// ---- rebuild --------------------------------------------------------------------------------

void NomInstrument(PInstrument *p, char (&nom)[kLongueurNomInstru]) {
    nom[0] = '\0';
    if (p->get_nom_instru) p->get_nom_instru(p, nom);
    nom[kLongueurNomInstru - 1] = '\0';
}

// Appends the channels of one kind of every instrument that offers it to a table, from record
// `n` on; returns the new number of records. Stops early when the table cannot grow.
template <class Rec, class Membre, class Remplir>
int AjouterVoies(Rec *&table, int &capacite, int n, fichei *liste, Membre membre,
                 Compte compte, Remplir remplir) {
    for (fichei *f = liste; f; f = f->suivant) {
        PInstrument *p = f->plugin;
        if (!p) continue;
        char nom_instru[kLongueurNomInstru];
        NomInstrument(p, nom_instru);
        if (!membre(p)) continue;
        for (int v = 1; v <= (p->*compte)(p); ++v) {
            if (!Agrandir(table, capacite, n)) return n;
            Rec &b = table[n];
            std::memset(static_cast<void *>(&b), 0, sizeof b);
            b.instrument = p;
            b.tatoo = f->tatoo;
            b.voie = v;
            char nom_voie[kLongueurNomVoie] = "";
            remplir(p, v, nom_voie, b);
            nom_voie[kLongueurNomVoie - 1] = '\0';
            std::snprintf(b.nom_voie, sizeof b.nom_voie, "%s %s", nom_instru, nom_voie);
            ++n;
        }
    }
    return n;
}

// ---- walking a table block in step with the list --------------------------------------------
//
// The records of block [debut, fin) were laid out by the same walk of the list; each fill
// stores channel (instrument, voie) into the record made for it. A channel without a record
// (its instrument's count grew, or the instrument came after the rebuild) is not stored, and
// the records of a channel that is gone are passed over, so no fill ever leaves the block or
// writes one channel into another's record. Each instrument's count is asked again before
// every channel, as the plugins expect.
template <class Rec, class Membre, class Ecrire>
void Parcourir(Rec *table, int debut, int fin, fichei *liste, Membre membre,
               Compte compte, Ecrire ecrire) {
    int k = debut;
    for (fichei *f = liste; f; f = f->suivant) {
        PInstrument *p = f->plugin;
        if (!p || !membre(p)) continue;
        const void *instrument = p;
        if (k < fin && table[k].instrument != instrument) {
            // Records of instruments that left the list lie before this one's, if it has any.
            for (int j = k + 1; j < fin; ++j)
                if (table[j].instrument == instrument) {
                    k = j;
                    break;
                }
        }
        for (int v = 1; v <= (p->*compte)(p); ++v) {
            if (k >= fin || table[k].instrument != instrument || table[k].voie != v) continue;
            ecrire(p, v, table[k]);
            ++k;
        }
        while (k < fin && table[k].instrument == instrument) ++k;
    }
}

bool AnneauxPrets() { return anneaux_alloues && tableau_Bcirc && nb_Bcirc > 0; }

void Avancer(int &ptr_mobile, int profondeur) {
    if (++ptr_mobile >= profondeur) ptr_mobile = 0;
}

// Lets the plugin write one row of `taille` doubles. A plugin whose vector grew since the
// rebuild writes into a larger buffer, and the row keeps its first `taille` values.
void RemplirLigne(void (*operation)(PInstrument *, int, double *), PInstrument *p, int voie,
                  double *ligne, int taille, int taille_actuelle) {
    if (taille_actuelle <= taille) {
        operation(p, voie, ligne);
        return;
    }
    const auto n = static_cast<std::size_t>(taille_actuelle);
    if (vecteur_deborde.size() < n) {
        try {
            vecteur_deborde.resize(n);
        } catch (const std::bad_alloc &) {
            return;
        }
    }
    operation(p, voie, vecteur_deborde.data());
    std::memcpy(ligne, vecteur_deborde.data(), static_cast<std::size_t>(taille) * sizeof(double));
}

// Writes one vector into the row at `ptr_mobile`; false when the channel has no rows.
bool EcrireVecteur(ptr2D &b, PInstrument *p, int voie, int taille_actuelle,
                   void (*valeurs)(PInstrument *, int, double *),
                   void (*abscisses)(PInstrument *, int, double *)) {
    const int r = b.ptr_mobile;
    if (!b.mesure[r] || !b.indices[r]) return false;
    b.dernier_indice = r;
    RemplirLigne(valeurs, p, voie, b.mesure[r], b.taille_voie, taille_actuelle);
    RemplirLigne(abscisses, p, voie, b.indices[r], b.taille_voie, taille_actuelle);
    return true;
}

// Mean of the `n` values of `valeurs` that end at index `dernier`, going back (with wrap at
// `profondeur`), the newest first.
double Moyenne(const double *valeurs, int dernier, int n, int profondeur) {
    double somme = 0.0;
    int j = dernier;
    for (int i = 0; i < n; ++i) {
        somme += valeurs[j];
        if (--j < 0) j = profondeur - 1;
    }
    return somme / n;
}

// Drops the oldest point of a curve of `n` points and puts `point` last: the window `courbe`
// moves one place on in its block of 2n points, or back to the block's start with its n - 1
// newest points when it has reached the block's end.
void Decaler(double *&courbe, double *bloc, int n, double point) {
    if (courbe + n < bloc + 2 * n) {
        ++courbe;
    } else {
        std::memmove(bloc, courbe + 1, static_cast<std::size_t>(n - 1) * sizeof(double));
        courbe = bloc;
    }
    courbe[n - 1] = point;
}

template <class Rec>
Rec *Chercher(Rec *table, int nb, const char *tatoo_voie) {
    if (!table || !tatoo_voie) return nullptr;
    int tatoo = 0;
    int voie = 0;
    if (std::sscanf(tatoo_voie, "%i;%i", &tatoo, &voie) < 2) return nullptr;
    for (int k = 0; k < nb; ++k)
        if (table[k].tatoo == tatoo && table[k].voie == voie) return &table[k];
    return nullptr;
}

template <class Rec>
void RemplirListe(int panel, int control_id, const Rec *table, int nb) {
    ClearListCtrl(panel, control_id);
    InsertListItem(panel, control_id, -1, "(aucun)", "");
    for (int k = 0; table && k < nb; ++k) {
        char reference[30];
        std::snprintf(reference, sizeof reference, "%d;%d", table[k].tatoo, table[k].voie);
        InsertListItem(panel, control_id, -1, table[k].nom_voie, reference);
    }
}

}  // namespace

// ---- channel tables and rings ------------------------------------------------------------

void Reserver_buffer_circu(fichei *liste) {
    // A rebuild drops the ring pointers of the records: release what is still allocated.
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();

    int n = AjouterVoies(tableau_Bcirc, capacite_Bcirc, 0, liste, MesureScalaire, &PInstrument::nb_voie_1D,
                         [](PInstrument *p, int v, char *nom, ptr &) { p->get_nom_voie_1D(p, v, nom); });
    premier_calcul = n;
    n = AjouterVoies(tableau_Bcirc, capacite_Bcirc, n, liste, CalculScalaire, &PInstrument::nb_voie_calcul,
                     [](PInstrument *p, int v, char *nom, ptr &) { p->get_nom_voie_calcul(p, v, nom); });
    nb_Bcirc = n;

    n = AjouterVoies(tableau_Bcirc2D, capacite_Bcirc2D, 0, liste, MesureVecteurTable, &PInstrument::nb_voie2D,
                     [](PInstrument *p, int v, char *nom, ptr2D &b) {
                         p->get_nom_voie2D(p, v, nom);
                         b.taille_voie = std::max(p->get_taille_voie2D(p, v), 0);
                     });
    premier_calcul2D = n;
    n = AjouterVoies(tableau_Bcirc2D, capacite_Bcirc2D, n, liste, CalculVecteurTable,
                     &PInstrument::nb_voie_calcul2D, [](PInstrument *p, int v, char *nom, ptr2D &b) {
                         p->get_nom_voie_calcul_2D(p, v, nom);
                         b.taille_voie = std::max(p->get_taille_voie_calcul2D(p, v), 0);
                     });
    nb_Bcirc2D = n;
}

void Init_buffer_circu(int panel_commande, int panel_graphs) {
    GetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, &nbpointsgraph);
    GetCtrlVal(panel_commande, P_Commande_N_sous_ech_2D, &sous_ech_2D);
    GetCtrlVal(panel_graphs, P_Graphs_N_mid, &diviseur_short_mid);
    GetCtrlVal(panel_graphs, P_Graphs_N_long, &diviseur_mid_long);
    Allouer_buffer_circu();
}

void Allouer_buffer_circu() {
    Liberer_buffer_circu();
    nbpointsgraph = std::max(nbpointsgraph, 1);
    sous_ech_2D = std::max(sous_ech_2D, 1);
    diviseur_short_mid = std::clamp(diviseur_short_mid, 1, nbpointsgraph);
    diviseur_mid_long = std::clamp(diviseur_mid_long, 1, nbpointsgraph);

    const int n = nbpointsgraph;
    echecs_anneaux = 0;
    blocs_courbes.assign(tableau_Bcirc ? static_cast<std::size_t>(nb_Bcirc) : 0, BlocsCourbes{});
    for (int k = 0; tableau_Bcirc && k < nb_Bcirc; ++k) {
        ptr &b = tableau_Bcirc[k];
        BlocsCourbes &blocs = blocs_courbes[static_cast<std::size_t>(k)];
        b.profondeur = n;
        b.mesure = AllouerDoubles(n);
        b.numero = AllouerDoubles(n);
        b.points_mid = blocs.mid = AllouerDoubles(2 * static_cast<std::size_t>(n));
        b.points_long = blocs.long_terme = AllouerDoubles(2 * static_cast<std::size_t>(n));
        echecs_anneaux = !b.mesure + !b.numero + !b.points_mid + !b.points_long;
        if (echecs_anneaux) {
            // All the scalar rings or none: readers only look at record 0.
            Liberer_buffer_circu();
            return;
        }
        std::fill_n(b.mesure, n, NotANumber());
        std::fill_n(b.points_mid, n, NotANumber());
        std::fill_n(b.points_long, n, NotANumber());
        b.cpt_mid = 0;
        b.cpt_long = 0;
        b.ptr_mobile = 0;
        b.dernier_indice = 0;
    }
    anneaux_alloues = true;
}

int Echecs_buffer_circu() { return echecs_anneaux; }

int Init_buffer2D_circu(fichei *) {
    // The records are those of the last rebuild, whatever the list says now.
    Liberer_buffer2D_circu();
    int echecs = 0;
    for (int k = 0; tableau_Bcirc2D && k < nb_Bcirc2D; ++k) {
        ptr2D &b = tableau_Bcirc2D[k];
        int echecs_voie = 0;
        for (int r = 0; r < kLignesVecteur; ++r) {
            b.numero[r] = 0.0;
            b.mesure[r] = AllouerDoubles(b.taille_voie);
            b.indices[r] = AllouerDoubles(b.taille_voie);
            echecs_voie += !b.mesure[r] + !b.indices[r];
        }
        b.ptr_mobile = 0;
        b.dernier_indice = 0;
        if (echecs_voie) {
            // A channel that lacks rows keeps none, and its size 0 tells every reader so.
            LibererLignes(b);
            b.taille_voie = 0;
            echecs += echecs_voie;
        }
    }
    return -echecs;
}

void Liberer_buffer_circu() {
    // Ring pointers are always either allocated or null; the curves' blocks are those of the
    // records of the last allocation.
    const int n = std::min(tableau_Bcirc ? nb_Bcirc : 0, static_cast<int>(blocs_courbes.size()));
    for (int k = 0; k < n; ++k) LibererAnneaux(tableau_Bcirc[k], blocs_courbes[static_cast<std::size_t>(k)]);
    blocs_courbes.clear();
    anneaux_alloues = false;
}

void Liberer_buffer2D_circu() {
    for (int k = 0; tableau_Bcirc2D && k < nb_Bcirc2D; ++k) LibererLignes(tableau_Bcirc2D[k]);
    std::vector<double>().swap(vecteur_deborde);
}

// ---- channel references and choice lists --------------------------------------------------

void init_liste_voie(int panel, int control_id) { RemplirListe(panel, control_id, tableau_Bcirc, nb_Bcirc); }

void init_liste_voie2D(int panel, int control_id) {
    RemplirListe(panel, control_id, tableau_Bcirc2D, nb_Bcirc2D);
}

ptr *get_buffer_from_tatoo(const char *tatoo_voie) { return Chercher(tableau_Bcirc, nb_Bcirc, tatoo_voie); }

ptr2D *get_buffer2D_from_tatoo(const char *tatoo_voie) {
    return Chercher(tableau_Bcirc2D, nb_Bcirc2D, tatoo_voie);
}

// ---- sampling step --------------------------------------------------------------------------

void Echantilloner(fichei *liste) {
    temps_echantillon = horloge::Calendrier();
    const int premier2D = mettre_donnees2D_dans_Bcirc2D(liste);
    const int premier = mettre_donnees_dans_Bcirc(liste);
    lancer_calculs_1D(liste);
    lancer_calculs_2D(liste);
    mettre_calculs_dans_Bcirc(premier, liste);
    mettre_calculs2D_dans_Bcirc2D(premier2D, liste);
    generer_graphes_moyens();
}

int mettre_donnees2D_dans_Bcirc2D(fichei *liste) {
    if (!tableau_Bcirc2D) return 0;
    const int fin = std::min(premier_calcul2D, nb_Bcirc2D);
    Parcourir(tableau_Bcirc2D, 0, fin, liste, MesureVecteurEchantillon, &PInstrument::nb_voie2D,
              [](PInstrument *p, int v, ptr2D &b) {
                  if (!p->get_taille_voie2D) return;
                  if (!EcrireVecteur(b, p, v, p->get_taille_voie2D(p, v), p->mesure2D, p->indices2D)) return;
                  b.numero[b.ptr_mobile] = static_cast<double>(p->numero2D(p, v));
                  Avancer(b.ptr_mobile, kLignesVecteur);
              });
    return fin;
}

int mettre_donnees_dans_Bcirc(fichei *liste) {
    if (!AnneauxPrets()) return 0;
    const int fin = std::min(premier_calcul, nb_Bcirc);
    Parcourir(tableau_Bcirc, 0, fin, liste, MesureScalaire, &PInstrument::nb_voie_1D,
              [](PInstrument *p, int v, ptr &b) {
                  b.dernier_indice = b.ptr_mobile;
                  b.mesure[b.ptr_mobile] = p->mesure_1D(p, v);
                  b.numero[b.ptr_mobile] = static_cast<double>(p->numero_1D(p, v));
                  Avancer(b.ptr_mobile, b.profondeur);
              });
    return fin;
}

void lancer_calculs_1D(fichei *liste) {
    if (!AnneauxPrets()) return;
    for (fichei *f = liste; f; f = f->suivant)
        if (f->plugin && f->plugin->calculer_1D) f->plugin->calculer_1D(f->plugin);
}

void lancer_calculs_2D(fichei *liste) {
    if (!tableau_Bcirc2D) return;
    for (fichei *f = liste; f; f = f->suivant)
        if (f->plugin && f->plugin->calculer_2D) f->plugin->calculer_2D(f->plugin);
}

void mettre_calculs_dans_Bcirc(int premier, fichei *liste) {
    if (!AnneauxPrets()) return;
    Parcourir(tableau_Bcirc, std::clamp(premier, 0, nb_Bcirc), nb_Bcirc, liste, CalculScalaire,
              &PInstrument::nb_voie_calcul, [](PInstrument *p, int v, ptr &b) {
                  // A computed channel counts its readings in slot 0 of its number ring.
                  b.dernier_indice = b.ptr_mobile;
                  b.mesure[b.ptr_mobile] = p->mesure_calcul(p, v);
                  b.numero[0] += 1.0;
                  b.numero[b.ptr_mobile] = b.numero[0];
                  Avancer(b.ptr_mobile, b.profondeur);
              });
}

void mettre_calculs2D_dans_Bcirc2D(int premier, fichei *liste) {
    if (!tableau_Bcirc2D) return;
    Parcourir(tableau_Bcirc2D, std::clamp(premier, 0, nb_Bcirc2D), nb_Bcirc2D, liste, CalculVecteurEchantillon,
              &PInstrument::nb_voie_calcul2D, [](PInstrument *p, int v, ptr2D &b) {
                  if (!EcrireVecteur(b, p, v, p->get_taille_voie_calcul2D(p, v), p->calcul2D, p->i_calcul2D))
                      return;
                  Avancer(b.ptr_mobile, kLignesVecteur);
              });
}

void generer_graphes_moyens() {
    if (!AnneauxPrets()) return;
    const int nb = std::min(nb_Bcirc, static_cast<int>(blocs_courbes.size()));
    for (int k = 0; k < nb; ++k) {
        ptr &b = tableau_Bcirc[k];
        const int n = b.profondeur;
        if (n < 1 || !b.mesure || !b.points_mid || !b.points_long) continue;
        // The divisors are read afresh for every point and kept within the curve.
        const int d = std::clamp(diviseur_short_mid, 1, n);
        const int l = std::clamp(diviseur_mid_long, 1, n);
        if (++b.cpt_mid < d) continue;
        b.cpt_mid = 0;
        // The newest reading sits just before `ptr_mobile`: the mid-term point is the mean of
        // the D newest readings, read in place in the ring, the newest first.
        const BlocsCourbes &blocs = blocs_courbes[static_cast<std::size_t>(k)];
        const int dernier = b.ptr_mobile == 0 ? n - 1 : b.ptr_mobile - 1;
        Decaler(b.points_mid, blocs.mid, n, Moyenne(b.mesure, dernier, d, n));

        if (++b.cpt_long < l) continue;
        b.cpt_long = 0;
        Decaler(b.points_long, blocs.long_terme, n, Moyenne(b.points_mid, n - 1, l, n));
    }
}

// ---- for tests --------------------------------------------------------------------------------

void Voies_echec_allocation(long reussites, long echecs) {
    reussites_avant_echec = std::max(reussites, 0L);
    echecs_a_venir = echecs;
}
