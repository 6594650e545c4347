// "Pilote bidon" on its real panels: the table it offers, its vector channel and the shared
// vector counter, its name, its 140-byte settings block, the configuration panel, the
// manual-control panel with its switch and lamp, the commands "jour"/"nuit", and the two
// lifetimes it must get right: a loaded block's stale panel handle, and a P_config left open
// when the instrument is deleted.
#include "framework/bidon_pilote.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_bidon_pilote.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *Ressources = BANC_SOURCE_DIR "/ui";

using Bloc = std::vector<unsigned char>;

std::int32_t EntierLu(const Bloc &b, std::size_t offset) {
    return static_cast<std::int32_t>(std::uint32_t{b[offset]} | std::uint32_t{b[offset + 1]} << 8 |
                                     std::uint32_t{b[offset + 2]} << 16 |
                                     std::uint32_t{b[offset + 3]} << 24);
}
void EntierEcrit(Bloc &b, std::size_t offset, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k) b[offset + k] = static_cast<unsigned char>(u >> (8 * k));
}

bool Visible(int panel) {
    QWidget *w = ui_test::Fenetre(panel);
    return w && w->isVisible();
}

class PiloteBidon : public testing::Test {
protected:
    void SetUp() override {
        SetResourceDirectory(Ressources);
        avant_ = ui_test::PanneauxCharges();
    }
    void TearDown() override {
        for (PInstrument *i : instances_) pilote_bidon.liberer(i);
        SetResourceDirectory(Ressources);
        EXPECT_EQ(ui_test::PanneauxCharges(), avant_) << "a panel outlived its instrument";
    }

    // An instance made as the catalogue makes it, freed at the end of the test.
    PInstrument *Creer() {
        PInstrument *i = nullptr;
        pilote_bidon.nouveau(&i);
        EXPECT_NE(i, nullptr);
        instances_.push_back(i);
        return i;
    }
    void Liberer(PInstrument *i) {
        std::erase(instances_, i);
        i->liberer(i);
    }

    // The settings block as a save writes it.
    static Bloc Sauver(PInstrument *i) {
        void *debut = nullptr;
        void *fin = nullptr;
        unsigned taille = 0;
        unsigned char flag = 7;
        i->get_memory(i, &debut, &fin, &taille, &flag);
        EXPECT_EQ(flag, 1);
        EXPECT_EQ(fin, nullptr);
        EXPECT_EQ(taille, 140u);
        const auto *o = static_cast<const unsigned char *>(debut);
        return Bloc(o, o + taille);
    }
    // A load: the saved bytes copied raw into the block of a new instance.
    static void Restaurer(PInstrument *i, const Bloc &b) {
        void *debut = nullptr;
        void *fin = nullptr;
        unsigned taille = 0;
        unsigned char flag = 7;
        i->get_memory(i, &debut, &fin, &taille, &flag);
        ASSERT_EQ(taille, b.size());
        std::memcpy(debut, b.data(), taille);
    }
    static std::string Nom(PInstrument *i) {
        char nom[kLongueurNomInstru + 8];
        std::memset(nom, '#', sizeof nom);
        i->get_nom_instru(i, nom);
        EXPECT_NE(std::memchr(nom, '\0', kLongueurNomInstru), nullptr) << "not terminated in 40 bytes";
        EXPECT_EQ(nom[kLongueurNomInstru], '#') << "written past 40 bytes";
        return nom;
    }
    // Panels loaded since the test started.
    std::vector<int> Nouveaux() const {
        std::vector<int> n;
        for (int h : ui_test::PanneauxCharges())
            if (std::find(avant_.begin(), avant_.end(), h) == avant_.end()) n.push_back(h);
        return n;
    }
    std::vector<int> avant_;
    std::vector<PInstrument *> instances_;
};

TEST_F(PiloteBidon, TableOffersItsGroupsAndNewInstanceHasDefaults) {
    // The catalogue and the core test these fields; the global itself is never an instrument.
    EXPECT_EQ(pilote_bidon.structure, nullptr);
    EXPECT_EQ(pilote_bidon.gestion_lock, nullptr);
    EXPECT_EQ(pilote_bidon.stop, nullptr);
    EXPECT_EQ(pilote_bidon.start, nullptr);
    EXPECT_EQ(pilote_bidon.nb_voie_1D, nullptr);
    EXPECT_EQ(pilote_bidon.nb_voie_calcul, nullptr);
    EXPECT_EQ(pilote_bidon.nb_voie_calcul2D, nullptr);
    ASSERT_NE(pilote_bidon.numero2D, nullptr);

    PInstrument *i = Creer();
    EXPECT_NE(i->structure, nullptr);
    EXPECT_EQ(i->nouveau, pilote_bidon.nouveau);
    EXPECT_EQ(Nom(i), "Pilote bidon");
    EXPECT_EQ(i->status(i), 1);
    const Bloc b = Sauver(i);
    EXPECT_EQ(EntierLu(b, 4), 45);
    EXPECT_EQ(EntierLu(b, 136), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[8])), "Pilote bidon");
    EXPECT_TRUE(Nouveaux().empty()) << "nouveau loads no panel";

    PInstrument *j = Creer();
    EXPECT_NE(j->structure, i->structure) << "each instance has its own record";
}

TEST_F(PiloteBidon, VectorChannelIsTheSameForAnyVoie) {
    PInstrument *i = Creer();
    EXPECT_EQ(i->nb_voie2D(i), 1);
    for (int voie : {1, 0, 2, -3, 1000}) {
        SCOPED_TRACE(voie);
        char nom[kLongueurNomVoie + 4];
        std::memset(nom, '#', sizeof nom);
        i->get_nom_voie2D(i, voie, nom);
        EXPECT_STREQ(nom, "Voie à la con"_w);
        EXPECT_EQ(i->get_taille_voie2D(i, voie), 50);

        std::vector<double> mesure(51, std::nan(""));
        std::vector<double> indices(51, std::nan(""));
        i->mesure2D(i, voie, mesure.data());
        i->indices2D(i, voie, indices.data());
        for (int k = 0; k < 50; ++k) {
            EXPECT_EQ(mesure[k], 0.0) << k;
            EXPECT_EQ(indices[k], k + 1.0) << k;
        }
        EXPECT_TRUE(std::isnan(mesure[50]) && std::isnan(indices[50])) << "written past 50 points";
    }
}

TEST_F(PiloteBidon, VectorNumbersComeFromOneCounterForAllInstances) {
    PInstrument *a = Creer();
    PInstrument *b = Creer();
    // Two samples, instruments in list order.
    const unsigned n = a->numero2D(a, 1);
    EXPECT_GE(n, 1u);
    EXPECT_EQ(b->numero2D(b, 1), n + 1);
    EXPECT_EQ(a->numero2D(a, 1), n + 2);
    EXPECT_EQ(b->numero2D(b, 7), n + 3) << "whatever the voie";
    // An instrument made later goes on from the same count.
    PInstrument *c = Creer();
    EXPECT_EQ(c->numero2D(c, 1), n + 4);
}

TEST_F(PiloteBidon, NameIsCutTo39Characters) {
    const std::string cinquante(50, 'N');
    const std::string trente_neuf = "Un nom de trente-neuf caractères exacts"_w;
    ASSERT_EQ(trente_neuf.size(), 39u);
    struct Cas {
        std::string donne, attendu;
    } cas[] = {
        {cinquante, cinquante.substr(0, 39)},
        {trente_neuf, trente_neuf},
        {"Lampe", "Lampe"},
        {"", ""},
    };
    PInstrument *i = Creer();
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.donne);
        // A long name first, so that a shorter one must not keep its tail.
        i->set_nom_instru(i, cinquante.c_str());
        i->set_nom_instru(i, c.donne.c_str());
        EXPECT_EQ(Nom(i), c.attendu);
        const Bloc b = Sauver(i);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[8])), c.attendu);
    }
}

TEST_F(PiloteBidon, BlockRoundTripsNameAndAddress) {
    PInstrument *a = Creer();
    const int config = PanneauCharge([&] { a->configure(a); });
    ASSERT_EQ(ui_test::EntrerValeur(config, P_config_NUMERIC, 1234), 0);
    ASSERT_EQ(ui_test::Cliquer(config, P_config_BUTTON_OK), 0);
    a->set_nom_instru(a, "Pilote de la salle 2");
    const Bloc sauve = Sauver(a);
    ASSERT_EQ(sauve.size(), 140u);
    EXPECT_EQ(EntierLu(sauve, 4), 1234);

    PInstrument *b = Creer();
    Restaurer(b, sauve);
    EXPECT_EQ(Nom(b), "Pilote de la salle 2");
    EXPECT_EQ(Sauver(b), sauve);

    // A name without terminator in the file still comes back as at most 39 characters.
    Bloc sans_fin = sauve;
    std::fill(sans_fin.begin() + 8, sans_fin.begin() + 136, 'x');
    PInstrument *c = Creer();
    Restaurer(c, sans_fin);
    EXPECT_EQ(Nom(c), std::string(39, 'x'));
}

TEST_F(PiloteBidon, ConfigureShowsAddressAndOkStoresItAndCloses) {
    PInstrument *i = Creer();
    const int config = PanneauCharge([&] { i->configure(i); });
    ASSERT_GT(config, 0);
    EXPECT_TRUE(Visible(config));
    EXPECT_EQ(ui_test::Fenetre(config)->windowTitle(), "Configuration");
    EXPECT_EQ(Valeur(config, P_config_NUMERIC), 45);

    ASSERT_EQ(ui_test::EntrerValeur(config, P_config_NUMERIC, 12), 0);
    EXPECT_EQ(EntierLu(Sauver(i), 4), 45) << "stored only by OK";
    // Events other than the commit are ignored.
    OK_config(config, P_config_BUTTON_OK, EVENT_VAL_CHANGED, i->structure, 0, 0);
    EXPECT_TRUE(Charge(config));
    EXPECT_EQ(EntierLu(Sauver(i), 4), 45);

    ASSERT_EQ(ui_test::Cliquer(config, P_config_BUTTON_OK), 0);
    EXPECT_EQ(EntierLu(Sauver(i), 4), 12);
    EXPECT_FALSE(Charge(config));

    // The next configure shows the stored address.
    const int encore = PanneauCharge([&] { i->configure(i); });
    EXPECT_EQ(Valeur(encore, P_config_NUMERIC), 12);
    ASSERT_EQ(ui_test::Cliquer(encore, P_config_BUTTON_OK), 0);
    EXPECT_FALSE(Charge(encore));
}

TEST_F(PiloteBidon, InitLoadsPilotOnceAndResetsSwitchAndLamp) {
    PInstrument *i = Creer();
    int pilot = 0;
    pilot = PanneauCharge([&] { EXPECT_EQ(i->init(i), 0); });
    ASSERT_GT(pilot, 0);
    EXPECT_FALSE(Visible(pilot)) << "loaded but not displayed";
    EXPECT_EQ(ui_test::Fenetre(pilot)->windowTitle(), "Pilotage");
    EXPECT_EQ(Valeur(pilot, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot, P_PILOT_LED), 0);
    EXPECT_EQ(EntierLu(Sauver(i), 136), pilot) << "the block records this run's handle";

    i->execute(i, "jour");
    ASSERT_EQ(Valeur(pilot, P_PILOT_LED), 1);
    const std::vector<int> charges = ui_test::PanneauxCharges();
    EXPECT_EQ(i->init(i), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), charges) << "second init loads nothing";
    EXPECT_EQ(Valeur(pilot, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot, P_PILOT_LED), 0);
    // The switch still reaches this instance after the second init.
    ASSERT_EQ(ui_test::Cliquer(pilot, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot, P_PILOT_LED), 1);
}

TEST_F(PiloteBidon, InitFailsWithoutItsResourceFileAndRetriesLater) {
    QTemporaryDir vide;
    ASSERT_TRUE(vide.isValid());
    SetResourceDirectory(vide.path().toUtf8().constData());
    PInstrument *i = Creer();
    EXPECT_EQ(i->init(i), -1);
    i->configure(i);
    EXPECT_TRUE(Nouveaux().empty());
    EXPECT_EQ(EntierLu(Sauver(i), 136), 0);
    i->execute(i, "jour");  // no panel: nothing happens
    i->piloter(i);
    EXPECT_TRUE(Nouveaux().empty());

    SetResourceDirectory(Ressources);
    const int pilot = PanneauCharge([&] { EXPECT_EQ(i->init(i), 0); });
    EXPECT_GT(pilot, 0);
}

TEST_F(PiloteBidon, OnlyExactJourAndNuitSwitch) {
    struct Cas {
        const char *commande;
        int depart, attendu;
    } cas[] = {
        {"jour", 0, 1}, {"nuit", 1, 0},
        {"Jour", 0, 0}, {"JOUR", 0, 0}, {"jour ", 0, 0}, {" jour", 0, 0}, {"jours", 0, 0},
        {"Nuit", 1, 1}, {"nuit\r", 1, 1}, {"", 1, 1}, {"jour nuit", 0, 0},
    };
    PInstrument *i = Creer();
    ASSERT_EQ(i->init(i), 0);
    const int pilot = Nouveaux().at(0);
    ASSERT_FALSE(Visible(pilot));
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.commande);
        i->execute(i, c.depart ? "jour" : "nuit");
        i->execute(i, c.commande);
        EXPECT_EQ(Valeur(pilot, P_PILOT_SW_Soleil), c.attendu);
        EXPECT_EQ(Valeur(pilot, P_PILOT_LED), c.attendu);
    }
    EXPECT_FALSE(Visible(pilot)) << "commands act on the hidden panel without showing it";
}

TEST_F(PiloteBidon, PilotPanelSwitchDrivesLampCacherHidesPiloterShows) {
    PInstrument *i = Creer();
    ASSERT_EQ(i->init(i), 0);
    const int pilot = Nouveaux().at(0);
    i->piloter(i);
    EXPECT_TRUE(Visible(pilot));

    ASSERT_EQ(ui_test::Cliquer(pilot, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot, P_PILOT_SW_Soleil), 1);
    EXPECT_EQ(Valeur(pilot, P_PILOT_LED), 1);
    ASSERT_EQ(ui_test::Cliquer(pilot, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot, P_PILOT_LED), 0);

    ASSERT_EQ(ui_test::Cliquer(pilot, P_PILOT_COMMANDBUTTON), 0);
    EXPECT_FALSE(Visible(pilot));
    EXPECT_TRUE(Charge(pilot)) << "hidden, not discarded";
    i->piloter(i);
    EXPECT_TRUE(Visible(pilot));
}

TEST_F(PiloteBidon, LibererDiscardsItsPanels) {
    PInstrument *i = Creer();
    ASSERT_EQ(i->init(i), 0);
    const int pilot = Nouveaux().at(0);
    i->piloter(i);
    const int config = PanneauCharge([&] { i->configure(i); });
    Liberer(i);
    EXPECT_FALSE(Charge(pilot));
    EXPECT_FALSE(Charge(config));
    EXPECT_TRUE(Nouveaux().empty());
}

// A block saved by one instance and loaded into another carries the first one's P_PILOT
// handle; the second must neither use nor discard that panel.
TEST_F(PiloteBidon, StaleHandleOfLoadedBlockIsNeverUsed) {
    PInstrument *a = Creer();
    ASSERT_EQ(a->init(a), 0);
    const int pilot_a = Nouveaux().at(0);
    const Bloc sauve = Sauver(a);
    ASSERT_EQ(EntierLu(sauve, 136), pilot_a);

    PInstrument *b = Creer();
    Restaurer(b, sauve);
    b->piloter(b);
    b->execute(b, "jour");
    EXPECT_FALSE(Visible(pilot_a));
    EXPECT_EQ(Valeur(pilot_a, P_PILOT_LED), 0);
    EXPECT_EQ(EntierLu(Sauver(b), 136), 0) << "a save before init writes no foreign handle";

    // Its init loads its own panel.
    Restaurer(b, sauve);
    const int pilot_b = PanneauCharge([&] { EXPECT_EQ(b->init(b), 0); });
    ASSERT_GT(pilot_b, 0);
    EXPECT_NE(pilot_b, pilot_a);
    EXPECT_EQ(EntierLu(Sauver(b), 136), pilot_b);
    b->execute(b, "jour");
    EXPECT_EQ(Valeur(pilot_b, P_PILOT_LED), 1);
    EXPECT_EQ(Valeur(pilot_a, P_PILOT_LED), 0);
    ASSERT_EQ(ui_test::Cliquer(pilot_b, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot_b, P_PILOT_LED), 0);
    EXPECT_EQ(Valeur(pilot_a, P_PILOT_SW_Soleil), 0);
    EXPECT_EQ(Valeur(pilot_a, P_PILOT_LED), 0);
    b->piloter(b);
    EXPECT_TRUE(Visible(pilot_b));
    EXPECT_FALSE(Visible(pilot_a));

    // Freed, it discards its own panel and leaves the other instance's.
    Liberer(b);
    EXPECT_FALSE(Charge(pilot_b));
    EXPECT_TRUE(Charge(pilot_a));

    // Freed without ever loading a panel, a restored instance discards nothing: neither the
    // panel of the instance that saved the block nor any other whose handle a file holds.
    const int autre = PanneauCharge([&] { a->configure(a); });
    for (const int h : {pilot_a, autre}) {
        Bloc forge = sauve;
        EntierEcrit(forge, 136, h);
        PInstrument *c = Creer();
        Restaurer(c, forge);
        c->piloter(c);
        c->execute(c, "jour");
        Liberer(c);
        EXPECT_TRUE(Charge(h));
    }
    EXPECT_FALSE(Visible(pilot_a));
    EXPECT_EQ(Valeur(pilot_a, P_PILOT_LED), 0);
    ASSERT_EQ(ui_test::Cliquer(autre, P_config_BUTTON_OK), 0);
    a->execute(a, "jour");
    EXPECT_EQ(Valeur(pilot_a, P_PILOT_LED), 1);
}

TEST_F(PiloteBidon, OkAfterDeletionCannotReachTheFreedRecord) {
    PInstrument *garde = Creer();  // another instrument whose record must stay untouched
    PInstrument *i = Creer();
    const int config_1 = PanneauCharge([&] { i->configure(i); });
    const int config_2 = PanneauCharge([&] { i->configure(i); });
    ASSERT_EQ(ui_test::EntrerValeur(config_1, P_config_NUMERIC, 777), 0);
    Liberer(i);
    EXPECT_FALSE(Charge(config_1));
    EXPECT_FALSE(Charge(config_2));
    EXPECT_EQ(ui_test::Cliquer(config_1, P_config_BUTTON_OK), UIE_BAD_PANEL);
    EXPECT_EQ(ui_test::Cliquer(config_2, P_config_BUTTON_OK), UIE_BAD_PANEL);
    EXPECT_EQ(EntierLu(Sauver(garde), 4), 45);
}

}  // namespace
