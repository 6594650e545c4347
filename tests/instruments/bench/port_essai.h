// What the tests of the two valves share: the program opened on a bench whose parallel port is
// a simulated data register, other plugins' lines preset; instances made as a settings load
// makes them; the bytes written to the port; program time that passes with the delayed calls
// falling due; and an instrument added from the add dialog.
#pragma once

#include "app/Interface.h"
#include "instruments/catalogue.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/parport.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/banc.h"
#include "sim/transcription.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace port_essai {

// Program time passes by `secondes`; the delayed calls that fall due run. A call posted now
// falls due now, after those posted before it: once it has run, they all have.
inline void Passer(double secondes) {
    horloge::AvancerHorlogeFactice(secondes);
    bool passe = false;
    ASSERT_EQ(PostDelayedCall([](void *d) { *static_cast<bool *>(d) = true; }, &passe, 0.0), 0);
    const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!passe && std::chrono::steady_clock::now() < fin) QApplication::processEvents(QEventLoop::AllEvents, 5);
    CancelDelayedCalls(&passe);
    ASSERT_TRUE(passe) << "the delayed calls did not run";
}

// Adds the catalogue's type `cle` through the add dialog, as the operator does; returns the
// configuration panel that opened.
inline int AjouterParLeDialogue(const std::string &cle) {
    const int dialogue = PanneauCharge([] { ASSERT_EQ(ui_test::Cliquer(panel_instru, P_Instru_Ajouter), 0); });
    const Elements types = ElementsDe(dialogue, PANEL_Ajou_RING_Ajou_Type);
    const auto ligne = std::find_if(types.begin(), types.end(), [&](const auto &e) { return e.second == cle; });
    EXPECT_NE(ligne, types.end()) << cle;
    if (ligne == types.end()) return 0;
    EXPECT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, static_cast<int>(ligne - types.begin())), 0);
    return PanneauCharge([&] { EXPECT_EQ(ui_test::Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK), 0); });
}

class BancPort : public BancTest {
protected:
    static constexpr std::uint8_t kOctetInitial = 0xA4;  // lines D2, D5, D7 high: other plugins'

    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        const std::string chemin = dossier.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << "parport = sim\n";
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserPortParallele();
        port = sim::RegistreParalleleDuBanc();
        ASSERT_NE(port, nullptr);
        port->Fixer(kOctetInitial);
    }
    void TearDown() override {
        for (PInstrument *i : instances_) i->liberer(i);
        instances_.clear();
        BancTest::TearDown();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
        ReinitialiserPortParallele();
    }

    // An instance of type `cle`, made as a settings load makes it, freed by TearDown.
    PInstrument *Nouvelle(const char *cle) {
        PInstrument *i = Nouvel_instrument(cle);
        EXPECT_NE(i, nullptr) << cle;
        if (i) instances_.push_back(i);
        return i;
    }
    void Liberer(PInstrument *i) {
        std::erase(instances_, i);
        i->liberer(i);
    }
    // Bytes written to the port since the last call, each checked to come from this thread.
    std::vector<int> Ecritures() {
        std::vector<int> e;
        for (const auto &w : port->Journal()) {
            e.push_back(w.valeur);
            EXPECT_EQ(w.fil, std::this_thread::get_id());
        }
        port->EffacerJournal();
        return e;
    }

    // The manual panel's resource file is missing at the first init of `i`: init fails, the
    // block's handle field (at `champ`) holds the negative code and configure shows nothing.
    // Once the file is back, init goes on without loading the panel again, and neither piloter
    // nor the command `commande` loads anything.
    static void PilotageIntrouvable(PInstrument *i, std::size_t champ, const char *commande) {
        QTemporaryDir vide;
        SetResourceDirectory(vide.path().toUtf8().constData());
        EXPECT_EQ(i->init(i), -1);
        EXPECT_LT(LireEntierBloc(i, champ), 0);
        i->configure(i);
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        const std::vector<int> avant = ui_test::PanneauxCharges();
        EXPECT_EQ(i->init(i), 0) << "no second load: the start goes on without the panel";
        i->piloter(i);
        i->execute(i, commande);
        EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    }

    std::shared_ptr<sim::RegistreParallele> port;

private:
    std::vector<PInstrument *> instances_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

}  // namespace port_essai
