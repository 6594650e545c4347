// The temperature regulator, the concentration analyser and the acquisition board as an
// operator uses them: added from the add dialog and configured in their panels, then read
// together during an acquisition from the main panel, whose record file gets their readings.
#include "app/Interface.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/dgm110.h"
#include "sim/bench/regul_acoustic.h"
#include "sim/bench/vexo.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/instruments/bench/test_regul_dgm110_vexo.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using poussee::Traiter;

// Controls of the three configuration panels (the regulator's and the analyser's resource files
// both call their panel P_INSTR, so their generated constants cannot meet in one file).
constexpr int kRegulOk = 2, kRegulConsigne = 4;
constexpr int kDgmOk = 2;
constexpr int kVexoPort = 2, kVexoOk = 4;

class PousseesEnAcquisition : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        serie_ = std::make_unique<BancSerie>("com1 = sim:Regul_Acoustic\ncom2 = sim:DGM110\ncom3 = sim:VEXO\n");
        for (const int port : {1, 2, 3}) ASSERT_TRUE(poussee::AttendreMiseSousTension(Ligne(port)));
        // The operator resets the board when the start asks for it.
        ui_test::ActiverScript([this](const std::string &d) {
            if (d.find("VEXO") != std::string::npos)
                Ligne(3).Avec<sim::CarteVexo>([](sim::CarteVexo &c) { c.Reinitialiser(); });
            else
                ADD_FAILURE() << d;
        });
    }
    void TearDown() override {
        BancTest::TearDown();  // frees the instruments
        serie_.reset();
    }

    // Adds the catalogue's `cle` through the add dialog; returns the configuration panel it opened.
    int Ajouter(const std::string &cle) {
        const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
        const Elements types = ElementsDe(dialogue, PANEL_Ajou_RING_Ajou_Type);
        int ligne = -1;
        for (std::size_t i = 0; i < types.size(); ++i)
            if (types[i].second == cle) ligne = static_cast<int>(i);
        EXPECT_GE(ligne, 0) << cle;
        EXPECT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        return PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
    }
    sim::serie::Ligne &Ligne(int port) { return *serie_->Ligne(port); }
    // The instruments of the list, in order.
    std::vector<PInstrument *> Instruments() {
        std::vector<PInstrument *> r;
        for (fichei *f = liste_instru; f != nullptr; f = f->suivant) r.push_back(f->plugin);
        return r;
    }

    std::unique_ptr<BancSerie> serie_;
};

TEST_F(PousseesEnAcquisition, ReadingsOfTheThreeDevicesLandInTheRecordFile) {
    const int regul = Ajouter("Regul_Acoustic.dll");
    ASSERT_GT(regul, 0);
    ASSERT_EQ(ui_test::EntrerValeur(regul, kRegulConsigne, 25.0), 0);
    Cliquer(regul, kRegulOk);
    const int dgm = Ajouter("DGM110.dll");
    ASSERT_GT(dgm, 0);
    Cliquer(dgm, kDgmOk);
    const int vexo = Ajouter("vexo.dll");
    ASSERT_GT(vexo, 0);
    ASSERT_EQ(ui_test::ChoisirElement(vexo, kVexoPort, 2), 0);
    Cliquer(vexo, kVexoOk);
    EXPECT_EQ(Libelles(panel_instru, P_Instru_LISTBOX_Liste),
              (std::vector<std::string>{"Regul Acoustic", "DGM110", "Carte VEXO"}));

    Ligne(1).Avec<sim::RegulateurAcoustique>([](sim::RegulateurAcoustique &r) { r.ImposerTemperature(24.5); });
    Ligne(2).Avec<sim::AnalyseurDGM110>([](sim::AnalyseurDGM110 &a) { a.ImposerConcentration(412); });
    Ligne(3).Avec<sim::CarteVexo>([](sim::CarteVexo &c) { c.ImposerComptes(std::array<std::int32_t, 4>{11, -22, 33, 44000}); });

    const std::string fichier = dossier.filePath("mesure.xls").toStdString();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, fichier);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_EQ(Ligne(1).Avec<sim::RegulateurAcoustique>([](sim::RegulateurAcoustique &r) { return r.Consigne(); }), 25.0);
    EXPECT_EQ(Ligne(3).Avec<sim::CarteVexo>([](sim::CarteVexo &c) { return c.LEtape(); }),
              sim::CarteVexo::Etape::Acquisition);

    // Three seconds: every device pushes a reading each second, then the sampling timer ticks.
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 3u);
    for (unsigned k = 1; k <= 3; ++k) {
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_TRUE(Traiter([&] {
            return i[0]->numero_1D(i[0], 1) >= k && i[1]->numero_1D(i[1], 1) >= k && i[2]->numero_1D(i[2], 1) >= k;
        })) << k;
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    std::istringstream contenu(LireFichier(fichier));
    std::string entete, ligne, derniere;
    std::getline(contenu, entete);
    int lignes = 0;
    while (std::getline(contenu, ligne))
        if (!ligne.empty() && ligne != "\r") {
            derniere = ligne;
            ++lignes;
        }
    EXPECT_EQ(lignes, 3);
    for (const char *nom : {"\tRegul Acoustic Regulation", "\tRegul Acoustic Consigne", "\tDGM110 Concentration",
                            "\tCarte VEXO Voie 1", "\tCarte VEXO Voie 4"})
        EXPECT_NE(entete.find(nom), std::string::npos) << nom << " in " << entete;
    std::vector<std::string> champs;
    std::istringstream l(derniere);
    for (std::string c; std::getline(l, c, '\t');) champs.push_back(c);
    ASSERT_GE(champs.size(), 4u + 2 * 7) << derniere;
    // After date, time, marker and elapsed seconds: value and reading number of each channel.
    const std::vector<std::string> valeurs = {"24.500000", "25.000000", "412.000000", "11.000000",
                                              "-22.000000", "33.000000", "44000.000000"};
    for (std::size_t v = 0; v < valeurs.size(); ++v) EXPECT_EQ(champs[4 + 2 * v], valeurs[v]) << v;
    EXPECT_EQ(champs[4 + 2 * 1 + 1], "1") << "one set-point sent";
    EXPECT_GE(std::stoul(champs[4 + 1]), 3u);
    EXPECT_GE(std::stoul(champs[4 + 2 * 6 + 1]), 3u);
    EXPECT_EQ(ui_test::Vus().size(), 2u) << "the reset pop-up and the file chooser";
}

}  // namespace
