// The watch over a device that pushes its readings, on a port whose device sends only what the
// test tells it and whose bytes no receive callback takes: the test plays the callback.
#include "instruments/bench/liaison_serie.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "sim/serie/ligne.h"
#include "sim/serie/peripheriques.h"
#include "tests/instruments/bench/port_essai.h"
#include "tests/support/banc_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kPort = 7;
constexpr double kSilence = 3.0;

// What the receive callback does with the bytes that come just before the watch's look.
enum class Rappel {
    Aucun,       // no byte comes: the device is silent
    Absent,      // bytes come and nobody reads them
    Lecture,     // bytes come and make a reading half a second after the look
    Illisibles,  // bytes come and the callback found them unreadable before the look
};

struct Cas {
    Rappel rappel;
    std::vector<std::string> aLaSilence;  // lines said at the look, once the silence is over
    std::vector<std::string> uneSecondePlusTard;
};

class VeilleSerie : public BancTest {};

// Bytes that came since the previous look may be a reading whose callback has not run yet: the
// look gives them the callback's turn, a second, before it says them unreadable.
TEST_F(VeilleSerie, BytesNewlyWaitingGetTheCallbacksTurnBeforeTheyAreSaid) {
    const std::string illisibles = "Regul : réponses illisibles de l'appareil (COM7)"_w;
    const std::string muet = "Regul : l'appareil n'envoie plus de mesures (COM7)";
    const Cas cas[] = {
        {Rappel::Aucun, {muet}, {muet}},
        {Rappel::Absent, {}, {illisibles}},
        {Rappel::Lecture, {}, {}},
        {Rappel::Illisibles, {illisibles}, {illisibles}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(static_cast<int>(c.rappel));
        sim::serie::Ligne ligne(sim::serie::CreerModele("boucle"));
        ASSERT_TRUE(ligne.Ouverte());
        banc::Liaison liaison;
        liaison.port = kPort;
        ASSERT_EQ(OpenComConfig(kPort, ligne.Chemin().c_str(), 9600, 0, 8, 1, 512, 512), 0);
        const std::size_t debut = Statuts().size();
        const auto dites = [&] {
            const std::vector<std::string> tout = Statuts();
            return std::vector<std::string>(tout.begin() + static_cast<long>(debut), tout.end());
        };
        banc::Veille veille;
        veille.Armer(liaison, "Regul", kSilence);

        port_essai::Passer(kSilence - 0.2);
        if (c.rappel != Rappel::Aucun) ligne.Envoyer("T=21.5\r");
        port_essai::Passer(0.1);
        EXPECT_EQ(GetInQLen(kPort) > 0, c.rappel != Rappel::Aucun);
        if (c.rappel == Rappel::Illisibles) veille.Illisible();
        port_essai::Passer(0.15);  // the look, at the end of the silence (the clock's sums round)
        EXPECT_EQ(dites(), c.aLaSilence);
        port_essai::Passer(0.5);
        if (c.rappel == Rappel::Lecture) {
            ASSERT_EQ(FlushInQ(kPort), 0);
            veille.Lecture();
        }
        port_essai::Passer(0.6);  // the look a second after
        EXPECT_EQ(dites(), c.uneSecondePlusTard);
        if (c.rappel == Rappel::Absent) {
            EXPECT_EQ(GetInQLen(kPort), 0) << "the unread bytes were dropped";
        }
        veille.Desarmer();
        FermerTousLesPortsCom();
    }
}

}  // namespace
