// The syringe pumps and the peristaltic pump as an operator uses them: both added from the add
// dialog and configured in their panels, then driven by a sequencer script during an
// acquisition, against the simulated pumps of the bench configuration.
#include "app/Interface.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/pompe_ismatec.h"
#include "sim/bench/pousse_seringue.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

// Controls of the two configuration panels (both resource files call their panels P_INSTR, so
// their generated constants cannot meet in one file).
constexpr int kSeringueNombre = 2, kSeringueOk = 4, kSeringueAdresse2 = 11, kSeringueSens2 = 15;
constexpr int kIsmatecOk = 2, kIsmatecDiametre = 4;

class PompesEnAcquisition : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        serie_ = std::make_unique<BancSerie>("com1 = sim:Pompe_Ismatec\ncom2 = sim:Pousse_Seringue\n");
    }
    void TearDown() override {
        BancTest::TearDown();  // frees the instruments, which close their ports
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
    // One second: the clock moves, the sampling timer ticks, then the sequencer's.
    void Seconde() {
        horloge::AvancerHorlogeFactice(1.0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
    }
    sim::serie::Ligne &Ligne(int port) { return *serie_->Ligne(port); }

    std::unique_ptr<BancSerie> serie_;
};

TEST_F(PompesEnAcquisition, ASequencerScriptDrivesBothPumps) {
    // Two syringe pumps in use, the second at address 03; the 2.06 mm tube.
    const int ps = Ajouter("Pousse_Seringue.dll");
    ASSERT_GT(ps, 0);
    ASSERT_EQ(ui_test::EntrerValeur(ps, kSeringueNombre, 2), 0);
    ASSERT_EQ(ui_test::EntrerValeur(ps, kSeringueAdresse2, 3), 0);
    ASSERT_EQ(ui_test::ChoisirElement(ps, kSeringueSens2, 1), 0);
    Cliquer(ps, kSeringueOk);
    const int pi = Ajouter("Pompe_Ismatec.dll");
    ASSERT_GT(pi, 0);
    ASSERT_EQ(ui_test::ChoisirElement(pi, kIsmatecDiametre, 4), 0);
    Cliquer(pi, kIsmatecOk);
    EXPECT_EQ(Libelles(panel_instru, P_Instru_LISTBOX_Liste),
              (std::vector<std::string>{"Pousse Seringue", "Pompe Ismatec"}));

    const std::string script = dossier.filePath("pompes.txt").toStdString();
    std::ofstream(script) << "commande Pousse Seringue:0infuse=1500UH\n"
                             "commande Pompe Ismatec:marche\n"
                             "commande pompe ismatec : debit=10\n"
                             "attente 2\n"
                             "commande Pousse Seringue:1infuse=20UH\n"
                             "commande Pousse Seringue:0stop\n"
                             "commande Pompe Ismatec:sens anti horaire\n";
    ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 2), 0);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, script);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_EQ(Ligne(2).Recu(), "00DIA\r\n00DIR INF\r\n00DIA 12.06\r\n00RAT 1000UH\r\n"
                               "03DIR WDR\r\n03DIA 12.06\r\n03RAT 1000UH\r\n");
    ASSERT_TRUE(Ligne(1).AttendreRecu(16));
    EXPECT_EQ(Ligne(1).Recu(), "@1\r1+0206\r1J\r1M\r");
    Ligne(1).EffacerJournal();
    Ligne(2).EffacerJournal();

    Seconde();
    EXPECT_EQ(Ligne(2).Recu(), "00RAT 1500UH\r\n00RUN\r\n");
    EXPECT_EQ(Ligne(1).Recu(), "1H\r1!\r1S00108\r");  // 10 ml/min of 91.84: 108.9, truncated
    const auto seringue = [&](int adresse) {
        return Ligne(2).Avec<sim::PoussesSeringues>([&](sim::PoussesSeringues &m) { return m.Etat(adresse); });
    };
    const auto peristaltique = [&] {
        return Ligne(1).Avec<sim::PompeIsmatec>([](sim::PompeIsmatec &m) { return m.LEtat(); });
    };
    EXPECT_TRUE(seringue(0).en_marche);
    EXPECT_EQ(seringue(0).debit, 1500);
    EXPECT_TRUE(peristaltique().en_marche);
    EXPECT_EQ(peristaltique().vitesse, 108);
    Seconde();
    Seconde();
    EXPECT_TRUE(seringue(3).en_marche);
    EXPECT_TRUE(seringue(3).retrait);
    EXPECT_FALSE(seringue(0).en_marche);
    EXPECT_FALSE(peristaltique().horaire);

    // The end of the acquisition leaves the pumps as they are.
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);
    EXPECT_TRUE(seringue(3).en_marche);
    EXPECT_TRUE(peristaltique().en_marche);
    EXPECT_TRUE(ui_test::Vus().size() == 1u) << "only the file chooser";
}

}  // namespace
