// What every instrument type of the catalogue owes the core, checked over each row whose plugin
// is built: the table's layout, the mandatory operations, whole channel groups, the name, the
// settings block (its size, and the same bytes from two saves), and a liberer that leaves no
// panel behind. Each plugin's own tests cover what is particular to it.
#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/instrument.h"
#include "instruments/catalogue.h"
#include "platform/ui.h"
#include "tests/support/banc_test.h"

namespace {

// The table's slots, in the order of the stored layout: a slot that moves breaks every plugin
// table written positionally elsewhere, and the core's own calls.
#define POSITION(champ, rang) static_assert(offsetof(PInstrument, champ) == (rang) * sizeof(void *), #champ)
POSITION(structure, 0);
POSITION(gestion_lock, 1);
POSITION(init_liste_voie, 2);
POSITION(get_buffer_from_tatoo, 3);
POSITION(init_liste_voie2D, 4);
POSITION(get_buffer2D_from_tatoo, 5);
POSITION(nouveau, 6);
POSITION(liberer, 7);
POSITION(configure, 8);
POSITION(get_memory, 9);
POSITION(get_nom_instru, 10);
POSITION(set_nom_instru, 11);
POSITION(stop, 12);
POSITION(start, 13);
POSITION(init, 14);
POSITION(status, 15);
POSITION(execute, 16);
POSITION(piloter, 17);
POSITION(nb_voie2D, 18);
POSITION(get_nom_voie2D, 19);
POSITION(get_taille_voie2D, 20);
POSITION(mesure2D, 21);
POSITION(indices2D, 22);
POSITION(numero2D, 23);
POSITION(nb_voie_calcul, 24);
POSITION(get_nom_voie_calcul, 25);
POSITION(mesure_calcul, 26);
POSITION(calculer_1D, 27);
POSITION(nb_voie_1D, 28);
POSITION(get_nom_voie_1D, 29);
POSITION(mesure_1D, 30);
POSITION(numero_1D, 31);
POSITION(nb_voie_calcul2D, 32);
POSITION(get_nom_voie_calcul_2D, 33);
POSITION(get_taille_voie_calcul2D, 34);
POSITION(calcul2D, 35);
POSITION(i_calcul2D, 36);
POSITION(calculer_2D, 37);
#undef POSITION
static_assert(sizeof(PInstrument) == 38 * sizeof(void *));
static_assert(std::is_aggregate_v<PInstrument>);

// The size of each type's settings block, as the settings files store it. A block whose size
// drifts no longer loads the files saved before.
const std::map<std::string, unsigned> kTaillesBlocs = {
    {"pilote_bidon.dll", 140},
    {"Calculatrice.dll", 328},
    {"reboucleur.dll", 708},
    {"extremum.dll", 176},
    {"stddev.dll", 192},
    {"fitter.dll", 860},
    {"5313x_2v.dll", 216},
    {"5313x_1v.dll", 176},
    {"5313x_sw.dll", 200},
    {"HP53131_phase.dll", 148},
    {"4419_sw.dll", 216},
    {"4419.dll", 176},
    {"tektro3052.dll", 352},
    {"bode_hp4194.dll", 232},
    {"Regul_Acoustic.dll", 144},
    {"DGM110.dll", 132},
    {"vexo.dll", 140},
    {"efd.dll", 144},
    {"Electrovanne.dll", 133},
    {"Analyseur_reseau.dll", 448},
    {"Pousse_Seringue.dll", 472},
    {"Pompe_Ismatec.dll", 148},
    {"therm.dll", 280},
    {"multimetre.dll", 168},
    {"GBF_HP3312A.dll", 144},
};

std::vector<const ligne_catalogue *> LignesConstruites() {
    std::vector<const ligne_catalogue *> lignes;
    for (const ligne_catalogue &l : catalogue_instru)
        if (l.table != nullptr) lignes.push_back(&l);
    return lignes;
}

// A group of operations is offered whole or not at all.
testing::AssertionResult GroupeEntier(const char *nom, std::initializer_list<bool> presents) {
    int n = 0;
    for (bool p : presents) n += p ? 1 : 0;
    if (n == 0 || n == static_cast<int>(presents.size())) return testing::AssertionSuccess();
    return testing::AssertionFailure() << nom << ": " << n << " of " << presents.size() << " operations";
}

// The bytes that a settings save takes from the instance, and the size it would write.
std::string BlocSauve(PInstrument *i) {
    void *debut = nullptr;
    void *fin = nullptr;
    unsigned taille = 0;
    unsigned char flag = 255;
    i->get_memory(i, &debut, &fin, &taille, &flag);
    if (debut == nullptr) return {};
    if (flag == 0) {
        if (fin == nullptr || fin < debut) return {};
        taille = static_cast<unsigned>(static_cast<char *>(fin) - static_cast<char *>(debut));
    }
    return std::string(static_cast<const char *>(debut), taille);
}

class Conformite : public PanneauxInstrument {};

TEST_F(Conformite, LeCatalogueLieChaqueCleAUneTableDistincte) {
    std::map<const PInstrument *, std::string> vues;
    for (const ligne_catalogue *l : LignesConstruites()) {
        EXPECT_NE(l->type_apareil[0], '\0') << l->libelle;
        const auto [it, nouvelle] = vues.emplace(l->table, l->type_apareil);
        EXPECT_TRUE(nouvelle) << l->type_apareil << " shares its table with " << it->second;
    }
    EXPECT_FALSE(vues.empty());
}

TEST_F(Conformite, ChaqueTableOffreSesOperationsObligatoiresEtDesGroupesEntiers) {
    for (const ligne_catalogue *l : LignesConstruites()) {
        SCOPED_TRACE(l->type_apareil);
        const PInstrument &t = *l->table;
        // The table itself holds no record and no core service: nouveau fills a copy.
        EXPECT_EQ(t.structure, nullptr);
        EXPECT_EQ(t.gestion_lock, nullptr);
        EXPECT_EQ(t.init_liste_voie, nullptr);
        EXPECT_EQ(t.get_buffer_from_tatoo, nullptr);
        EXPECT_EQ(t.init_liste_voie2D, nullptr);
        EXPECT_EQ(t.get_buffer2D_from_tatoo, nullptr);
        EXPECT_TRUE(t.nouveau && t.liberer && t.configure && t.get_memory && t.get_nom_instru &&
                    t.set_nom_instru);
        EXPECT_TRUE(GroupeEntier("measured vectors", {t.nb_voie2D != nullptr, t.get_nom_voie2D != nullptr,
                                                      t.get_taille_voie2D != nullptr, t.mesure2D != nullptr,
                                                      t.indices2D != nullptr, t.numero2D != nullptr}));
        EXPECT_TRUE(GroupeEntier("computed scalars", {t.nb_voie_calcul != nullptr, t.get_nom_voie_calcul != nullptr,
                                                      t.mesure_calcul != nullptr, t.calculer_1D != nullptr}));
        EXPECT_TRUE(GroupeEntier("measured scalars", {t.nb_voie_1D != nullptr, t.get_nom_voie_1D != nullptr,
                                                      t.mesure_1D != nullptr, t.numero_1D != nullptr}));
        EXPECT_TRUE(GroupeEntier("computed vectors",
                                 {t.nb_voie_calcul2D != nullptr, t.get_nom_voie_calcul_2D != nullptr,
                                  t.get_taille_voie_calcul2D != nullptr, t.calcul2D != nullptr,
                                  t.i_calcul2D != nullptr, t.calculer_2D != nullptr}));
    }
}

TEST_F(Conformite, UneNouvelleInstanceEstUneCopieDeSaTableAvecLesServicesDuNoyau) {
    for (const ligne_catalogue *l : LignesConstruites()) {
        SCOPED_TRACE(l->type_apareil);
        PInstrument *i = Nouvel_instrument(l->type_apareil);
        ASSERT_NE(i, nullptr);
        EXPECT_NE(i, l->table);
        EXPECT_NE(i->structure, nullptr);
        EXPECT_NE(i->gestion_lock, nullptr);
        EXPECT_NE(i->get_buffer2D_from_tatoo, nullptr);
        // Every operation slot as in the table.
        EXPECT_EQ(std::memcmp(&i->nouveau, &l->table->nouveau, sizeof(PInstrument) - offsetof(PInstrument, nouveau)),
                  0);
        i->liberer(i);
    }
}

TEST_F(Conformite, LeNomDonneEstRenduCoupeA39Caracteres) {
    const std::string long_nom(60, 'x');
    for (const ligne_catalogue *l : LignesConstruites()) {
        SCOPED_TRACE(l->type_apareil);
        PInstrument *i = Nouvel_instrument(l->type_apareil);
        ASSERT_NE(i, nullptr);
        char nom[kLongueurNomInstru + 8];
        std::memset(nom, '#', sizeof nom);
        i->get_nom_instru(i, nom);
        EXPECT_GT(std::strlen(nom), 0u) << "a new instance has a name";
        for (const std::string &donne : {std::string("Cellule été"), std::string(39, 'n'), long_nom}) {
            i->set_nom_instru(i, donne.c_str());
            std::memset(nom, '#', sizeof nom);
            i->get_nom_instru(i, nom);
            EXPECT_EQ(std::string(nom), donne.substr(0, 39));
        }
        i->liberer(i);
    }
}

TEST_F(Conformite, LeBlocSauveALaTailleDuFichierEtDeuxSauvegardesDonnentLesMemesOctets) {
    for (const ligne_catalogue *l : LignesConstruites()) {
        SCOPED_TRACE(l->type_apareil);
        const auto attendu = kTaillesBlocs.find(l->type_apareil);
        if (attendu == kTaillesBlocs.end()) {
            ADD_FAILURE() << "no block size known for this type";
            continue;
        }
        PInstrument *i = Nouvel_instrument(l->type_apareil);
        ASSERT_NE(i, nullptr);
        i->set_nom_instru(i, "Essai");
        const std::string premier = BlocSauve(i);
        EXPECT_EQ(premier.size(), attendu->second);
        EXPECT_EQ(BlocSauve(i), premier);
        // A second instance with the same settings saves the same bytes: no leftover of the
        // heap in the gaps of the block.
        PInstrument *autre = Nouvel_instrument(l->type_apareil);
        ASSERT_NE(autre, nullptr);
        autre->set_nom_instru(autre, "Essai");
        EXPECT_EQ(BlocSauve(autre), premier);
        autre->liberer(autre);
        i->liberer(i);
    }
}

TEST_F(Conformite, LibererAvecLePanneauDeConfigurationOuvertLeFerme) {
    for (const ligne_catalogue *l : LignesConstruites()) {
        SCOPED_TRACE(l->type_apareil);
        PInstrument *i = Nouvel_instrument(l->type_apareil);
        ASSERT_NE(i, nullptr);
        i->configure(i);
        i->configure(i);  // two copies on screen at once
        ProcessSystemEvents();
        i->liberer(i);
        ProcessSystemEvents();
        // PanneauxInstrument::TearDown checks that no panel outlived its instrument.
    }
}

}  // namespace
