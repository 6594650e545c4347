// The GPIB helpers (command writers, error pop-ups, byte-order reversal), and the bus protocol of
// the GPIB instruments run with them against a simulated counter: opening and recognising the
// device, then measurements completed by service request.
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gpib/GLOBALES.h"
#include "tests/support/gpib_essai.h"
#include "platform/gpib.h"
#include "platform/ui_test.h"
#include "platform/visa.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "sim/instruments.h"

namespace {

using Messages = std::vector<std::pair<std::string, bool>>;

TEST(Globales, CommandWriters) {
    essai::Banc banc;
    banc.Configurer("gpib0 = sim\n");
    const auto e = std::make_shared<sim::Enregistreur>();
    sim::BusDeCarte(0)->Brancher(5, e);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    const struct {
        int (*ecrire)(int, const char *);
        const char *commande;
        long compte;
    } cas[] = {
        {ibecr, "*IDN?", 6}, {ibecr2, "*IDN?", 5}, {ibecr, "", 1},
        {ibecr2, "", 0},     {ibecr, ":INIT:IMM;*OPC", 15}, {ibecr, nullptr, 1},
    };
    for (const auto &c : cas) {
        const int sta = c.ecrire(ud, c.commande);
        EXPECT_EQ(sta & (ERR | CMPL), CMPL);
        EXPECT_EQ(ThreadIbcntl(), c.compte);
    }
    EXPECT_EQ(e->Messages(), (Messages{{std::string("*IDN?\0", 6), true},
                                       {"*IDN?", true},
                                       {std::string(1, '\0'), true},
                                       {std::string(":INIT:IMM;*OPC\0", 15), true},
                                       {std::string(1, '\0'), true}}));
    // The status is ibwrt's: ERR without a listener.
    const int personne = ibdev(0, 6, 0, T10s, 1, 1);
    EXPECT_TRUE(ibecr(personne, "*RST") & ERR);
    EXPECT_EQ(ThreadIberr(), ENOL);
    EXPECT_TRUE(ibecr2(personne, "*RST") & ERR);
}

TEST(Globales, SwapEndian) {
    const unsigned char source[16] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0,
                                      0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (const int taille : {2, 4, 8, 16, 0, 1, 3, 5, 7, -2, 32}) {
        SCOPED_TRACE(taille);
        unsigned char destination[16];
        std::memset(destination, 0xEE, sizeof destination);
        SwapEndian(destination, source, taille);
        const bool valide = taille == 2 || taille == 4 || taille == 8 || taille == 16;
        for (int i = 0; i < 16; ++i) {
            const unsigned char attendu =
                valide && i < taille ? source[taille - 1 - i] : static_cast<unsigned char>(0xEE);
            EXPECT_EQ(destination[i], attendu) << "byte " << i;
        }
    }
    // A double sent most significant byte first.
    const double valeur = -1234.5;
    unsigned char grosBout[8];
    SwapEndian(grosBout, &valeur, 8);
    double relu = 0.0;
    SwapEndian(&relu, grosBout, 8);
    EXPECT_EQ(relu, valeur);
    // In place.
    unsigned char v[4] = {1, 2, 3, 4};
    SwapEndian(v, v, 4);
    EXPECT_EQ(std::vector<unsigned char>(v, v + 4), (std::vector<unsigned char>{4, 3, 2, 1}));
}

TEST(Globales, AnalyseMsgVIShowsVisasText) {
    ui_test::ActiverScript([](const std::string &d) { ADD_FAILURE() << d; });
    ui_test::Effacer();
    ui_test::Repondre(ui_test::Popup::Message);
    ui_test::Repondre(ui_test::Popup::Message);
    analyse_msg_VI("Timeout", VI_ERROR_TMO);
    analyse_msg_VI("init", static_cast<ViStatus>(0xBFFC0011u));
    const auto vus = ui_test::Vus();
    ui_test::DesactiverScript();
    ASSERT_EQ(vus.size(), 2u);
    EXPECT_EQ(vus[0].titre, "Timeout");
    EXPECT_EQ(vus[0].message, "Timeout expired before the operation completed.");
    EXPECT_EQ(vus[1].titre, "init");
    EXPECT_EQ(vus[1].message, "Unknown status value 0xBFFC0011.");
}

// ---- the bus protocol of the GPIB instruments -----------------------------------------------

struct Compteur {  // what a counter instrument keeps for its cycle
    int identificateur = -1;
    std::atomic<int> stop_interruption{0};
    std::atomic<unsigned> numero_mesure{0};
};

int CB_interruption_essai(int LocalUd, int LocalIbsta, int, long, void *ref) {
    auto *r = static_cast<Compteur *>(ref);
    if (LocalIbsta == ERR) return 0;
    char octet = 0;
    ibrsp(LocalUd, &octet);
    char reponse[10];
    ibecr(LocalUd, "*ESR?");
    ibrd(LocalUd, reponse, 10);
    ++r->numero_mesure;
    ibecr(LocalUd, ":INIT:IMM;*OPC");
    return r->stop_interruption;
}

// Opening: board, device, clear, listener, identity. -1 on the first failure.
int Ouvrir(Compteur &r, int adresse) {
    if (ibfind("GPIB0") & 0x8000) return -1;
    const int ud = ibdev(0, adresse, 0, T10s, 1, 1);
    ibclr(ud);
    short ecoute = 0;
    ibln(ud, adresse, 0, &ecoute);
    if (ecoute == 0) return -1;
    char idn[251];
    ibecr(ud, "*IDN?");
    ibrd(ud, idn, 250);
    idn[ThreadIbcntl()] = '\0';
    if (std::strstr(idn, "HEWLETT-PACKARD,5313") == nullptr) return -1;
    r.identificateur = ud;
    r.stop_interruption = RQS;
    return 0;
}

class Protocole : public testing::TestWithParam<essai::Backend> {
protected:
    void SetUp() override { banc_.Carte0(GetParam()); }
    essai::Banc banc_;
};

INSTANTIATE_TEST_SUITE_P(Cartes, Protocole,
                         testing::Values(essai::Backend::Simule, essai::Backend::Natif),
                         essai::NomBackend);

TEST_P(Protocole, OpeningRecognisesTheCounter) {
    const auto compteur = std::dynamic_pointer_cast<sim::Appareil488>(sim::CreerInstrument("53131A"));
    sim::BusDeCarte(0)->Brancher(3, compteur);
    Compteur r;
    EXPECT_EQ(Ouvrir(r, 3), 0);
    EXPECT_EQ(Ouvrir(r, 4), -1);  // nobody there
    compteur->FixerIdentite("HEWLETT-PACKARD,34401A,0,11-5-2");
    EXPECT_EQ(Ouvrir(r, 3), -1);  // not a counter
    compteur->FixerIdentite(std::string(240, 'x') + "HEWLETT-PACKARD,53131A,0,3703");
    EXPECT_EQ(Ouvrir(r, 3), -1);  // the model lies beyond the 250 bytes read
}

TEST_P(Protocole, MeasurementsCompletedByServiceRequestUntilStop) {
    sim::BusDeCarte(0)->Brancher(3, sim::CreerInstrument("53131A"));
    Compteur r;
    ASSERT_EQ(Ouvrir(r, 3), 0);
    const int ud = r.identificateur;
    ibecr(ud, "*ESE 1");
    EXPECT_FALSE(ibecr(ud, "*SRE 32") & ERR);
    char reponse[10];
    ibecr(ud, "*ESR?");
    ibrd(ud, reponse, 10);
    EXPECT_FALSE(ibnotify(ud, r.stop_interruption, CB_interruption_essai, &r) & ERR);
    EXPECT_FALSE(ibecr(ud, ":INIT:IMM;*OPC") & ERR);

    const auto AttendreQue = [](const auto &condition) {
        const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!condition() && std::chrono::steady_clock::now() < fin)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return condition();
    };
    ASSERT_TRUE(AttendreQue([&] { return r.numero_mesure >= 5; }));
    r.stop_interruption = 0;  // stop: the next callback still counts, then disarms
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const unsigned apres = r.numero_mesure;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(r.numero_mesure, apres);
    ibonl(ud, 0);
}

}  // namespace
