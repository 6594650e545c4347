// The GPIB calls against the simulated bus, through the simulated board and through the native
// backend (the stand-in library carries the same calls to the same bus).
#include <chrono>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/gpib_essai.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "sim/instruments.h"

namespace {

using essai::Backend;
using Messages = std::vector<std::pair<std::string, bool>>;

class AppelsGpib : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override { banc_.Carte0(GetParam()); }

    std::shared_ptr<sim::Enregistreur> Enregistreur(int pad, int sad = 0) {
        auto e = std::make_shared<sim::Enregistreur>();
        sim::BusDeCarte(0)->Brancher(pad, e, sad);
        return e;
    }
    // Reads at most `n` bytes; the bytes received.
    static std::string Lire(int ud, long n, int *sta = nullptr) {
        std::string tampon(static_cast<std::size_t>(n) + 1, '*');
        const int s = ibrd(ud, tampon.data(), n);
        if (sta != nullptr) *sta = s;
        const long lus = ThreadIbcntl();
        EXPECT_EQ(tampon[static_cast<std::size_t>(lus)], '*') << "ibrd wrote past its bytes";
        return tampon.substr(0, static_cast<std::size_t>(lus));
    }
    static int Ecrire(int ud, const std::string &octets) {
        return ibwrt(ud, octets.data(), static_cast<long>(octets.size()));
    }

    essai::Banc banc_;
};

INSTANTIATE_TEST_SUITE_P(Cartes, AppelsGpib, testing::Values(Backend::Simule, Backend::Natif),
                         essai::NomBackend);

TEST_P(AppelsGpib, BoardsAreFoundByName) {
    const struct {
        const char *nom;
        int resultat;
        int erreur;
    } cas[] = {{"GPIB0", 0, 0}, {"gpib0", 0, 0}, {"GPIB1", -1, ENEB},
               {"GPIB2", -1, EDVR}, {"DEV1", -1, EDVR}, {"", -1, EDVR}, {nullptr, -1, EDVR}};
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom != nullptr ? c.nom : "(null)");
        EXPECT_EQ(ibfind(c.nom), c.resultat);
        EXPECT_EQ((ThreadIbsta() & ERR) != 0, c.resultat < 0);
        if (c.resultat < 0) {
            EXPECT_EQ(ThreadIberr(), c.erreur);
        }
    }
}

TEST_P(AppelsGpib, OpeningADeviceChecksItsArgumentsAndSendsNothing) {
    const auto e = Enregistreur(5);
    const struct {
        int board, pad, sad, tmo, eos;
        int erreur;  // 0: opens
    } cas[] = {
        {0, 5, 0, T10s, 1, 0},      {0, 0, 0, TNONE, 0, 0},     {0, 30, 0x7E, T1000s, 0x40A, 0},
        {0, 31, 0, T10s, 0, EARG},  {0, -1, 0, T10s, 0, EARG},  {0, 5, 0x5F, T10s, 0, EARG},
        {0, 5, 0x7F, T10s, 0, EARG}, {0, 5, 0, 18, 0, EARG},    {0, 5, 0, -1, 0, EARG},
        {0, 5, 0, T10s, 0x10000, EARG}, {1, 5, 0, T10s, 0, ENEB}, {2, 5, 0, T10s, 0, ENEB},
        {-1, 5, 0, T10s, 0, ENEB},
    };
    std::vector<int> descripteurs;
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << c.board << "," << c.pad << "," << c.sad << "," << c.tmo);
        const int ud = ibdev(c.board, c.pad, c.sad, c.tmo, 1, c.eos);
        if (c.erreur == 0) {
            EXPECT_GE(ud, 2);
            EXPECT_FALSE(ThreadIbsta() & ERR);
            for (const int autre : descripteurs) {
                EXPECT_NE(ud, autre);
            }
            descripteurs.push_back(ud);
        } else {
            EXPECT_EQ(ud, -1);
            EXPECT_TRUE(ThreadIbsta() & ERR);
            EXPECT_EQ(ThreadIberr(), c.erreur);
        }
    }
    EXPECT_TRUE(e->Journal().empty());
}

TEST_P(AppelsGpib, ListenerCheck) {
    Enregistreur(5);
    Enregistreur(7, 0x63);
    const auto debranche = Enregistreur(9);
    sim::Defauts d;
    d.debranche = true;
    debranche->FixerDefauts(d);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    const struct {
        int ud, pad, sad;
        int ecoute;   // expected flag; -1: the call fails and leaves it
        int erreur;
    } cas[] = {
        {ud, 5, 0, 1, 0},        {ud, 6, 0, 0, 0},          {ud, 9, 0, 0, 0},
        {ud, 7, 0, 0, 0},        {ud, 7, 0x63, 1, 0},       {ud, 7, ALL_SAD, 1, 0},
        {ud, 6, ALL_SAD, 0, 0},  {0, 5, 0, 1, 0},           {0, 6, 0, 0, 0},
        {ud, 31, 0, -1, EARG},   {ud, 5, 0x20, -1, EARG},   {100000, 5, 0, -1, EDVR},
        {-1, 5, 0, -1, EDVR},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << "ud " << c.ud << " pad " << c.pad << " sad " << c.sad);
        short ecoute = 77;
        const int sta = ibln(c.ud, c.pad, c.sad, &ecoute);
        if (c.ecoute < 0) {
            EXPECT_TRUE(sta & ERR);
            EXPECT_EQ(ThreadIberr(), c.erreur);
            EXPECT_EQ(ecoute, 77);
        } else {
            EXPECT_FALSE(sta & ERR);
            EXPECT_EQ(ecoute != 0, c.ecoute != 0);
        }
    }
    EXPECT_TRUE(ibln(ud, 5, 0, nullptr) & ERR);
    EXPECT_EQ(ThreadIberr(), EARG);
}

TEST_P(AppelsGpib, WritesAreOneMessageEachWithEndOnTheLastByte) {
    const auto e = Enregistreur(5);
    const int avecFin = ibdev(0, 5, 0, T10s, 1, 1);
    const int sansFin = ibdev(0, 5, 0, T10s, 0, 1);
    const int xeos = ibdev(0, 5, 0, T10s, 1, XEOS | '\n');
    EXPECT_EQ(Ecrire(avecFin, std::string("*IDN?\0", 6)) & (ERR | CMPL), CMPL);
    EXPECT_EQ(ThreadIbcntl(), 6);
    Ecrire(sansFin, "ABC");
    Ecrire(avecFin, "");  // no byte: no message
    EXPECT_EQ(ThreadIbcntl(), 0);
    Ecrire(xeos, "A\nB\n\nC");
    EXPECT_EQ(ThreadIbcntl(), 6);
    EXPECT_EQ(e->Messages(), (Messages{{std::string("*IDN?\0", 6), true}, {"ABC", false},
                                       {"A\n", true}, {"B\n", true}, {"\n", true}, {"C", true}}));

    const int personne = ibdev(0, 6, 0, T10s, 1, 1);
    EXPECT_TRUE(Ecrire(personne, "X") & ERR);
    EXPECT_EQ(ThreadIberr(), ENOL);
    EXPECT_EQ(ThreadIbcntl(), 0);

    EXPECT_TRUE(ibwrt(avecFin, nullptr, 3) & ERR);
    EXPECT_EQ(ThreadIberr(), EARG);
    EXPECT_TRUE(ibwrt(avecFin, "X", -1) & ERR);
    EXPECT_EQ(ThreadIberr(), EARG);
}

TEST_P(AppelsGpib, ReadsStopAtTheirCountAtEndAndLeaveTheRest) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    e->AjouterSortie("ABCDEFGHIJ");
    e->AjouterSortie("KL");
    e->AjouterSortie("MN", false);
    e->AjouterSortie("OP");
    const struct {
        long n;
        const char *octets;
        bool fin;
    } cas[] = {{3, "ABC", false}, {3, "DEF", false}, {4, "GHIJ", true}, {100, "KL", true},
               {2, "MN", false},  {100, "OP", true}};
    for (const auto &c : cas) {
        SCOPED_TRACE(c.octets);
        int sta = 0;
        EXPECT_EQ(Lire(ud, c.n, &sta), c.octets);
        EXPECT_FALSE(sta & ERR);
        EXPECT_TRUE(sta & CMPL);
        EXPECT_EQ((sta & END) != 0, c.fin);
        EXPECT_EQ(ThreadIbcnt(), static_cast<int>(std::strlen(c.octets)));
    }
    EXPECT_TRUE(ibrd(ud, nullptr, 3) & ERR);
    EXPECT_EQ(ThreadIberr(), EARG);
}

TEST_P(AppelsGpib, EndOfStringModes) {
    const auto e = Enregistreur(5);
    const std::string reponse = "AB\x8A" "CD\nEF";
    const struct {
        const char *mode;
        int eos;
        std::vector<std::string> lectures;  // every read but the last ends on the EOS byte
    } cas[] = {
        {"none", 0x0A, {reponse}},
        {"none (0x01 without mode bits)", 0x01, {reponse}},
        {"REOS, 7 bits", REOS | 0x0A, {"AB\x8A", "CD\n", "EF"}},
        {"REOS, 8 bits", REOS | BIN | 0x0A, {"AB\x8A" "CD\n", "EF"}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.mode);
        e->AjouterSortie(reponse);
        const int ud = ibdev(0, 5, 0, T10s, 1, c.eos);
        for (const std::string &attendu : c.lectures) {
            int sta = 0;
            EXPECT_EQ(Lire(ud, 64, &sta), attendu);
            EXPECT_EQ(sta & (ERR | END), END);
        }
        EXPECT_EQ(e->SortieEnAttente(), "");
    }
}

TEST_P(AppelsGpib, TimeOutsFollowTheProgramClock) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    horloge::UtiliserHorlogeFactice(1000000);
    sim::Defauts muet;
    muet.muet = true;
    sim::Defauts bloque;
    bloque.ecrituresBloquees = 1;
    const struct {
        const char *quoi;
        int tmo;
        sim::Defauts defauts;
        std::string dejaEnvoye;  // bytes the device sent, without END, before it fell silent
        bool ecriture;
        double duree;
        long compte;
    } cas[] = {
        {"mute device", T10s, muet, "", false, 10.0, 0},
        {"mute device, 1 s", T1s, muet, "", false, 1.0, 0},
        {"reply cut short", T3s, {}, "ABC", false, 3.0, 3},
        {"nothing to say", T100ms, {}, "", false, 0.1, 0},
        {"write never accepted", T30s, bloque, "", true, 30.0, 0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.quoi);
        e->FixerDefauts(c.defauts);
        if (!c.dejaEnvoye.empty()) e->AjouterSortie(c.dejaEnvoye, false);
        EXPECT_FALSE(ibtmo(ud, c.tmo) & ERR);
        const double debut = horloge::Secondes();
        int sta = 0;
        std::string lus;
        if (c.ecriture) sta = Ecrire(ud, "*RST");
        else lus = Lire(ud, 10, &sta);
        EXPECT_NEAR(horloge::Secondes() - debut, c.duree, 1e-6);
        EXPECT_EQ(sta & (ERR | TIMO | END), ERR | TIMO);
        EXPECT_EQ(ThreadIberr(), EABO);
        EXPECT_EQ(ThreadIbcntl(), c.compte);
        EXPECT_EQ(lus, c.dejaEnvoye);
    }
}

TEST_P(AppelsGpib, TimeOutsFollowASpedUpClock) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    horloge::FixerVitesse(1000.0);
    const auto debutReel = std::chrono::steady_clock::now();
    const double debut = horloge::Secondes();
    int sta = 0;
    Lire(ud, 10, &sta);
    EXPECT_EQ(sta & (ERR | TIMO), ERR | TIMO);
    EXPECT_GE(horloge::Secondes() - debut, 10.0);
    EXPECT_LT(std::chrono::steady_clock::now() - debutReel, std::chrono::seconds(2));
}

TEST_P(AppelsGpib, UnpluggedDeviceHasNoListenerAndNeverTalks) {
    const auto e = Enregistreur(5);
    e->Programmer("*IDN?", "ESSAI\n");
    const int ud = ibdev(0, 5, 0, T1s, 1, 1);
    horloge::UtiliserHorlogeFactice(1000000);
    sim::Defauts d;
    d.debranche = true;
    e->FixerDefauts(d);
    const double debut = horloge::Secondes();
    EXPECT_EQ(Ecrire(ud, "*IDN?") & ERR, ERR);
    EXPECT_EQ(ThreadIberr(), ENOL);
    EXPECT_EQ(horloge::Secondes(), debut);  // at once
    EXPECT_TRUE(ibclr(ud) & ERR);
    EXPECT_EQ(ThreadIberr(), ENOL);
    int sta = 0;
    Lire(ud, 10, &sta);
    EXPECT_EQ(sta & (ERR | TIMO), ERR | TIMO);
    EXPECT_TRUE(e->Journal().empty());

    e->FixerDefauts({});  // plugged in again
    EXPECT_FALSE(Ecrire(ud, "*IDN?") & ERR);
    EXPECT_EQ(Lire(ud, 100), "ESSAI\n");
}

TEST_P(AppelsGpib, SerialPollClearsTheRequestAndIbwaitSeesIt) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T1s, 1, 1);
    horloge::UtiliserHorlogeFactice(1000000);
    e->FixerOctetEtat(0x21);
    EXPECT_FALSE(ibwait(ud, 0) & RQS);
    e->DemanderService();
    EXPECT_TRUE(ibwait(ud, 0) & RQS);
    EXPECT_EQ(ibwait(ud, RQS | TIMO) & (RQS | TIMO | ERR), RQS);
    char octet = 0;
    const int sta = ibrsp(ud, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x61);
    EXPECT_EQ(sta & (ERR | RQS), 0);
    EXPECT_EQ(ibrsp(ud, &octet) & RQS, 0);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x21);
    const double debut = horloge::Secondes();
    EXPECT_EQ(ibwait(ud, RQS | TIMO) & (RQS | TIMO | ERR), TIMO);
    EXPECT_NEAR(horloge::Secondes() - debut, 1.0, 1e-6);

    // A request that stays set for two more polls.
    sim::Defauts d;
    d.requeteCollee = 2;
    e->FixerDefauts(d);
    e->DemanderService();
    std::vector<bool> rqs;
    for (int i = 0; i < 4; ++i) rqs.push_back((ibrsp(ud, &octet) & RQS) != 0);
    EXPECT_EQ(rqs, (std::vector<bool>{true, true, false, false}));

    EXPECT_TRUE(ibrsp(ud, nullptr) & ERR);
    EXPECT_EQ(ThreadIberr(), EARG);
    EXPECT_TRUE(ibwait(ud, SRQI) & ERR);  // not a device condition
    EXPECT_EQ(ThreadIberr(), EARG);
}

TEST_P(AppelsGpib, DeviceClearDropsWhatTheDeviceHadToSay) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    e->AjouterSortie("old reply");
    EXPECT_FALSE(ibclr(ud) & ERR);
    EXPECT_EQ(e->SortieEnAttente(), "");
    ASSERT_EQ(e->Journal().size(), 1u);
    EXPECT_EQ(e->Journal()[0].genre, sim::Evenement::Genre::Effacement);
}

TEST_P(AppelsGpib, ConfigurationGivesThePreviousValueAndOnlineOnePutsTheSettingsBack) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    const struct {
        int option, valeur;
        int ancien;  // -1: refused (EARG)
    } cas[] = {
        {IbcTMO, T3s, T10s}, {IbcTMO, T1s, T3s},   {IbcEOT, 0, 1},      {IbcEOSchar, ',', 1},
        {IbcEOSrd, 1, 0},    {IbcEOScmp, 1, 0},    {IbcEOSwrt, 0, 0},   {IbcTMO, 18, -1},
        {IbcEOSchar, 256, -1}, {IbcPAD, 31, -1},   {0x99, 1, -1},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << "option " << c.option << " = " << c.valeur);
        const int sta = ibconfig(ud, c.option, c.valeur);
        if (c.ancien < 0) {
            EXPECT_TRUE(sta & ERR);
            EXPECT_EQ(ThreadIberr(), EARG);
        } else {
            EXPECT_FALSE(sta & ERR);
            EXPECT_EQ(ThreadIberr(), c.ancien);
        }
    }
    // No END on writes any more, and reads end at ','.
    e->AjouterSortie("1,2");
    Ecrire(ud, "X");
    EXPECT_EQ(Lire(ud, 10), "1,");
    EXPECT_FALSE(ibonl(ud, 1) & ERR);
    Ecrire(ud, "Y");
    EXPECT_EQ(Lire(ud, 10), "2");
    EXPECT_EQ(e->Messages(), (Messages{{"X", false}, {"Y", true}}));
    EXPECT_FALSE(ibtmo(ud, T3s) & ERR);
    EXPECT_EQ(ThreadIberr(), T10s);  // put back by ibonl(ud, 1)
}

TEST_P(AppelsGpib, DescriptorTakenOfflineIsRefusedAndNeverHandedOutAgain) {
    Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    EXPECT_FALSE(ibonl(ud, 0) & ERR);
    for (const int sta : {Ecrire(ud, "X"), ibclr(ud), ibonl(ud, 0), ibtmo(ud, T1s)}) {
        EXPECT_TRUE(sta & ERR);
        EXPECT_EQ(ThreadIberr(), EDVR);
    }
    EXPECT_NE(ibdev(0, 5, 0, T10s, 1, 1), ud);
}

TEST_P(AppelsGpib, WrongKindOfDescriptor) {
    char octet = 0, tampon[4];
    const struct {
        const char *appel;
        int sta;
        int erreur;
    } cas[] = {
        {"ibwrt on board", ibwrt(0, "X", 1), EARG},  {"ibrd on board", ibrd(0, tampon, 4), EARG},
        {"ibrsp on board", ibrsp(0, &octet), EARG}, {"ibclr on board", ibclr(0), EARG},
        {"ibwrt unknown", ibwrt(100000, "X", 1), EDVR}, {"ibrd negative", ibrd(-5, tampon, 4), EDVR},
        {"ibsic on device", ibsic(ibdev(0, 5, 0, T10s, 1, 1)), EARG},
        {"ibsic unknown", ibsic(100000), EDVR},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.appel);
        EXPECT_TRUE(c.sta & ERR);
    }
    // The status of the last call is the one left.
    EXPECT_EQ(ThreadIberr(), EDVR);
    EXPECT_EQ(ibsic(0) & (ERR | CIC), CIC);
}

TEST_P(AppelsGpib, EachThreadKeepsItsOwnStatus) {
    const auto e = Enregistreur(5);
    const int ud = ibdev(0, 5, 0, T10s, 1, 1);
    const int personne = ibdev(0, 6, 0, T10s, 1, 1);
    e->AjouterSortie("ABCDEFG");
    std::latch luParLePremier(1), echecDuSecond(1);
    int staSecond = 0, errSecond = -1;
    long cntlSecond = -1;
    std::thread second([&] {
        EXPECT_EQ(ThreadIbsta(), 0);  // a new thread starts clean
        luParLePremier.wait();
        Ecrire(personne, "0123456789");
        staSecond = ibsta;
        errSecond = iberr;
        cntlSecond = ibcntl;
        echecDuSecond.count_down();
    });
    Lire(ud, 3);
    luParLePremier.count_down();
    echecDuSecond.wait();
    EXPECT_EQ(ThreadIbsta() & (ERR | END), 0);
    EXPECT_EQ(ThreadIbcntl(), 3);
    EXPECT_EQ(ibcnt, 3);
    second.join();
    EXPECT_TRUE(staSecond & ERR);
    EXPECT_EQ(errSecond, ENOL);
    EXPECT_EQ(cntlSecond, 0);
}

TEST_P(AppelsGpib, FindListenersSendAndReceive) {
    for (const int pad : {3, 9, 22}) sim::BusDeCarte(0)->Brancher(pad, sim::CreerInstrument("34401A"));
    const auto secondaire = Enregistreur(4, 0x62);
    std::vector<Addr4882_t> liste;
    for (int pad = 1; pad <= 30; ++pad) liste.push_back(static_cast<Addr4882_t>(pad));
    liste.push_back(NOADDR);

    Addr4882_t trouves[31] = {};
    FindLstn(0, liste.data(), trouves, 31);
    EXPECT_FALSE(ThreadIbsta() & ERR);
    EXPECT_EQ(ThreadIbcnt(), 4);
    EXPECT_EQ(std::vector<Addr4882_t>(trouves, trouves + 5),
              (std::vector<Addr4882_t>{3, MakeAddr(4, 0x62), 9, 22, 0}));

    Addr4882_t peu[3] = {};
    FindLstn(0, liste.data(), peu, 2);
    EXPECT_TRUE(ThreadIbsta() & ERR);
    EXPECT_EQ(ThreadIberr(), ETAB);
    EXPECT_EQ(ThreadIbcnt(), 2);
    EXPECT_EQ(peu[2], 0);

    Send(0, 9, "*IDN?", 5, DABend);
    EXPECT_FALSE(ThreadIbsta() & ERR);
    char reponse[256] = {};
    Receive(0, 9, reponse, 255, STOPend);
    EXPECT_EQ(std::string(reponse, static_cast<std::size_t>(ThreadIbcnt())),
              "HEWLETT-PACKARD,34401A,0,11-5-2\n");

    Send(0, MakeAddr(4, 0x62), "AB", 2, NLend);
    Send(0, MakeAddr(4, 0x62), "CD", 2, NULLend);
    EXPECT_EQ(secondaire->Messages(), (Messages{{"AB", false}, {"\n", true}, {"CD", false}}));
    secondaire->AjouterSortie("1,2,3");
    Receive(0, MakeAddr(4, 0x62), reponse, 255, ',');
    EXPECT_EQ(std::string(reponse, static_cast<std::size_t>(ThreadIbcnt())), "1,");

    Send(0, 11, "X", 1, DABend);
    EXPECT_EQ(ThreadIberr(), ENOL);
    Send(0, 9, "X", 1, 7);
    EXPECT_EQ(ThreadIberr(), EARG);
}

TEST_P(AppelsGpib, TheBoardsTimeOutAndServiceRequestLine) {
    const auto e = Enregistreur(5);
    horloge::UtiliserHorlogeFactice(1000000);
    EXPECT_FALSE(ibconfig(0, IbcTMO, T3s) & ERR);
    EXPECT_EQ(ThreadIberr(), T10s);
    char tampon[8];
    double debut = horloge::Secondes();
    Receive(0, 5, tampon, sizeof tampon, STOPend);  // nothing to say: the board's time-out
    EXPECT_EQ(ThreadIbsta() & (ERR | TIMO), ERR | TIMO);
    EXPECT_NEAR(horloge::Secondes() - debut, 3.0, 1e-6);

    EXPECT_EQ(ibwait(0, 0) & SRQI, 0);
    debut = horloge::Secondes();
    EXPECT_EQ(ibwait(0, SRQI | TIMO) & (SRQI | TIMO | ERR), TIMO);
    EXPECT_NEAR(horloge::Secondes() - debut, 3.0, 1e-6);
    e->DemanderService();
    EXPECT_EQ(ibwait(0, SRQI | TIMO) & (SRQI | TIMO | ERR), SRQI);
    EXPECT_FALSE(ibonl(0, 1) & ERR);  // the board's settings back
    EXPECT_FALSE(ibtmo(0, T1s) & ERR);
    EXPECT_EQ(ThreadIberr(), T10s);
}

TEST(GpibSansCarte, EveryCallFailsAtOnceWithoutBusTraffic) {
    essai::Banc banc;
    banc.Configurer("gpib0 = none\n");
    const auto e = std::make_shared<sim::Enregistreur>();
    sim::BusDeCarte(0)->Brancher(5, e);
    EXPECT_EQ(ibfind("GPIB0"), -1);
    EXPECT_EQ(ThreadIbsta() & ERR, ERR);
    EXPECT_EQ(ThreadIberr(), ENEB);
    EXPECT_EQ(ibdev(0, 5, 0, T10s, 1, 1), -1);
    EXPECT_EQ(ThreadIberr(), ENEB);
    short ecoute = 0;
    EXPECT_TRUE(ibln(0, 5, 0, &ecoute) & ERR);
    EXPECT_EQ(ecoute, 0);
    Addr4882_t liste[] = {5, NOADDR}, trouves[2] = {};
    FindLstn(0, liste, trouves, 2);
    EXPECT_EQ(ThreadIberr(), ENEB);
    EXPECT_EQ(trouves[0], 0);
    Send(0, 5, "X", 1, DABend);
    EXPECT_EQ(ThreadIberr(), ENEB);
    SendIFC(0);
    EXPECT_EQ(ThreadIberr(), ENEB);
    EXPECT_TRUE(e->Journal().empty());
}

}  // namespace
