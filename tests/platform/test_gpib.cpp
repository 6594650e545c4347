// The bench configuration and the GPIB boards chosen from it.
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/bench_config.h"
#include "platform/gpib.h"
#include "sim/bus.h"
#include "sim/ieee488.h"

namespace {

ConfigBanc Lire(const std::string &texte, std::string &erreurs) {
    std::istringstream in(texte);
    std::ostringstream err;
    ConfigBanc c = ConfigBanc::Lire(in, "banc.conf", err);
    erreurs = err.str();
    return c;
}

int NombreDeLignes(const std::string &s) {
    int n = 0;
    for (const char c : s) n += c == '\n';
    return n;
}

}  // namespace

TEST(ConfigurationBanc, DefaultsWithoutAFile) {
    const ConfigBanc c;
    EXPECT_EQ(c.ModeCarteGpib(0), ModeGpib::aucune);
    EXPECT_EQ(c.ModeCarteGpib(1), ModeGpib::aucune);
    EXPECT_EQ(c.PortCom(1), "/dev/ttyS0");
    EXPECT_EQ(c.PortCom(16), "/dev/ttyS15");
    EXPECT_EQ(c.PortCom(0), "");
    EXPECT_EQ(c.PortCom(17), "");
    EXPECT_EQ(c.PortParallele(), "/dev/parport0");
    EXPECT_FALSE(c.PortParalleleSimule());

    RechargerConfigurationBanc("/nonexistent/banc.conf");
    EXPECT_EQ(ConfigurationBanc().ModeCarteGpib(0), ModeGpib::aucune);
    EXPECT_EQ(ConfigurationBanc().PortCom(3), "/dev/ttyS2");
}

TEST(ConfigurationBanc, ReadsOneLineAtATime) {
    struct Cas {
        const char *ligne;
        bool rejetee;
        ModeGpib gpib0, gpib1;
        const char *com1, *com16, *parport;
    };
    const ModeGpib A = ModeGpib::aucune, S = ModeGpib::simulee, N = ModeGpib::native;
    const char *d1 = "/dev/ttyS0", *d16 = "/dev/ttyS15", *dp = "/dev/parport0";
    const Cas cas[] = {
        {"gpib0 = sim", false, S, A, d1, d16, dp},
        {"gpib1=native", false, A, N, d1, d16, dp},
        {"  GPIB0\t=  SIM  ", false, S, A, d1, d16, dp},
        {"gpib0 = none", false, A, A, d1, d16, dp},
        {"gpib0 = sim   # demo bench", false, S, A, d1, d16, dp},
        {"gpib0 = sim\r", false, S, A, d1, d16, dp},
        {"com1 = /dev/pts/7", false, A, A, "/dev/pts/7", d16, dp},
        {"COM16 = /dev/ttyUSB0", false, A, A, d1, "/dev/ttyUSB0", dp},
        {"com1 = /dev/serial/by-id/usb#1", false, A, A, "/dev/serial/by-id/usb#1", d16, dp},
        {"parport = sim", false, A, A, d1, d16, "sim"},
        {"parport = /dev/parport1", false, A, A, d1, d16, "/dev/parport1"},
        {"# gpib0 = sim", false, A, A, d1, d16, dp},
        {"   # indented comment", false, A, A, d1, d16, dp},
        {"", false, A, A, d1, d16, dp},
        {" \t ", false, A, A, d1, d16, dp},
        {"gpib0 sim", true, A, A, d1, d16, dp},
        {"gpib0 = maybe", true, A, A, d1, d16, dp},
        {"gpib0 = ", true, A, A, d1, d16, dp},
        {"gpib0 = # nothing", true, A, A, d1, d16, dp},
        {"= sim", true, A, A, d1, d16, dp},
        {"gpib2 = sim", true, A, A, d1, d16, dp},
        {"gpib = sim", true, A, A, d1, d16, dp},
        {"com0 = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"com17 = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"com01 = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"com1x = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"gpib-0 = sim", true, A, A, d1, d16, dp},
        {"gpib+0 = sim", true, A, A, d1, d16, dp},
        {"gpib 0 = sim", true, A, A, d1, d16, dp},
        {"com-1 = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"com+1 = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"com99999999999 = /dev/ttyS9", true, A, A, d1, d16, dp},
        {"lpt = sim", true, A, A, d1, d16, dp},
    };
    for (const Cas &c : cas) {
        std::string erreurs;
        const ConfigBanc config = Lire(std::string(c.ligne) + "\n", erreurs);
        SCOPED_TRACE(c.ligne);
        if (c.rejetee) {
            EXPECT_EQ(NombreDeLignes(erreurs), 1) << erreurs;
            EXPECT_EQ(erreurs.rfind("banc.conf:1: ", 0), 0u) << erreurs;
        } else {
            EXPECT_EQ(erreurs, "");
        }
        EXPECT_EQ(config.ModeCarteGpib(0), c.gpib0);
        EXPECT_EQ(config.ModeCarteGpib(1), c.gpib1);
        EXPECT_EQ(config.PortCom(1), c.com1);
        EXPECT_EQ(config.PortCom(16), c.com16);
        EXPECT_EQ(config.PortParallele(), c.parport);
    }
}

TEST(ConfigurationBanc, ReportsEachBadLineOnceWithItsNumberAndKeepsTheRest) {
    std::string erreurs;
    const ConfigBanc c = Lire(
        "# bench of room 12\r\n"
        "\r\n"
        "gpib0 = sim\r\n"
        "gpib1 = fast\r\n"
        "com2 = /dev/pts/3\r\n"
        "com2 = /dev/pts/4\r\n"
        "nonsense\r\n"
        "parport = SIM",
        erreurs);
    EXPECT_EQ(c.ModeCarteGpib(0), ModeGpib::simulee);
    EXPECT_EQ(c.ModeCarteGpib(1), ModeGpib::aucune);
    EXPECT_EQ(c.PortCom(2), "/dev/pts/4");  // the later line wins
    EXPECT_TRUE(c.PortParalleleSimule());
    EXPECT_EQ(NombreDeLignes(erreurs), 2) << erreurs;
    EXPECT_NE(erreurs.find("banc.conf:4: "), std::string::npos) << erreurs;
    EXPECT_NE(erreurs.find("banc.conf:7: "), std::string::npos) << erreurs;
}

TEST(ConfigurationBanc, SimulatedInstrumentsAtAddresses) {
    const struct {
        const char *ligne;
        bool rejetee;
        int carte, pad;
        const char *modele;
    } cas[] = {
        {"gpib0.3 = 53131A", false, 0, 3, "53131A"},
        {"GPIB1.22 = e4419b", false, 1, 22, "e4419b"},
        {"gpib0.0 = 34401A   # multimeter", false, 0, 0, "34401A"},
        {"gpib0.30 = TDS3052", false, 0, 30, "TDS3052"},
        {"gpib0.31 = 53131A", true, 0, 31, nullptr},
        {"gpib0.03 = 53131A", true, 0, 3, nullptr},
        {"gpib0.-1 = 53131A", true, 0, -1, nullptr},
        {"gpib0.-0 = 34401A", true, 0, 0, nullptr},
        {"gpib0.+3 = 53131A", true, 0, 3, nullptr},
        {"gpib-0.3 = 53131A", true, 0, 3, nullptr},
        {"gpib0. 3 = 53131A", true, 0, 3, nullptr},
        {"gpib2.3 = 53131A", true, 2, 3, nullptr},
        {"gpib0. = 53131A", true, 0, 0, nullptr},
        {"gpib0.3 = HP9999", true, 0, 3, nullptr},
        {"gpib0.3 =", true, 0, 3, nullptr},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.ligne);
        std::string erreurs;
        const ConfigBanc config = Lire(std::string(c.ligne) + "\n", erreurs);
        EXPECT_EQ(NombreDeLignes(erreurs), c.rejetee ? 1 : 0) << erreurs;
        const auto &instruments = config.InstrumentsSimules(c.carte);
        if (c.rejetee) {
            EXPECT_TRUE(config.InstrumentsSimules(0).empty());
            EXPECT_TRUE(config.InstrumentsSimules(1).empty());
        } else {
            ASSERT_EQ(instruments.size(), 1u);
            EXPECT_EQ(instruments.at(c.pad), c.modele);
        }
    }
    EXPECT_TRUE(ConfigBanc().InstrumentsSimules(5).empty());
}

// The number of a key is decimal digits alone: a sign, a blank inside, a missing number or one
// beyond int makes the key unknown, whatever number it would read as.
TEST(ConfigurationBanc, KeyNumbersAreDigitsOnly) {
    struct Cas {
        const char *ligne;
        bool rejetee;
    } const cas[] = {
        // Board keys.
        {"gpib0 = sim", false},
        {"gpib1 = sim", false},
        {"gpib-0 = sim", true},
        {"gpib-1 = sim", true},
        {"gpib+0 = sim", true},
        {"gpib+1 = sim", true},
        {"gpib 0 = sim", true},
        {"gpib0 0 = sim", true},
        {"gpib- = sim", true},
        {"gpib+ = sim", true},
        {"gpib00 = sim", true},
        {"gpib4294967296 = sim", true},
        {"gpib99999999999999999999 = sim", true},
        // Simulated instruments.
        {"gpib0.0 = 34401A", false},
        {"gpib1.30 = 34401A", false},
        {"gpib0.-0 = 34401A", true},
        {"gpib0.-00 = 34401A", true},
        {"gpib0.+0 = 34401A", true},
        {"gpib0.+5 = 34401A", true},
        {"gpib-0.5 = 34401A", true},
        {"gpib+1.5 = 34401A", true},
        {"gpib0. 5 = 34401A", true},
        {"gpib0 .5 = 34401A", true},
        {"gpib0.5 5 = 34401A", true},
        {"gpib0.5.1 = 34401A", true},
        {"gpib.5 = 34401A", true},
        {"gpib0. = 34401A", true},
        {".5 = 34401A", true},
        {"gpib0.4294967296 = 34401A", true},
        {"gpib0.99999999999999999999 = 34401A", true},
        // Serial ports.
        {"com1 = /dev/pts/7", false},
        {"com16 = /dev/pts/7", false},
        {"com+1 = /dev/pts/7", true},
        {"com-16 = /dev/pts/7", true},
        {"com 1 = /dev/pts/7", true},
        {"com = /dev/pts/7", true},
        {"com4294967297 = /dev/pts/7", true},
    };
    const ConfigBanc defaut;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.ligne);
        std::string erreurs;
        const ConfigBanc config = Lire(std::string(c.ligne) + "\n", erreurs);
        if (!c.rejetee) {
            EXPECT_EQ(erreurs, "");
            continue;
        }
        EXPECT_EQ(erreurs, "banc.conf:1: unknown key, line ignored: " + std::string(c.ligne) + "\n");
        for (int carte = 0; carte < ConfigBanc::kNbCartesGpib; ++carte) {
            EXPECT_EQ(config.ModeCarteGpib(carte), ModeGpib::aucune);
            EXPECT_TRUE(config.InstrumentsSimules(carte).empty());
        }
        for (int port = 1; port <= ConfigBanc::kNbPortsCom; ++port) EXPECT_EQ(config.PortCom(port), defaut.PortCom(port));
    }
}

TEST(ConfigurationBanc, TheDemoBenchPutsSimulatedInstrumentsOnBoardZero) {
    const std::string chemin = std::string(BANC_SOURCE_DIR) + "/sim/demo-banc.conf";
    std::ifstream f(chemin);
    ASSERT_TRUE(f) << chemin;
    std::ostringstream erreurs;
    const ConfigBanc config = ConfigBanc::Lire(f, chemin, erreurs);
    EXPECT_EQ(erreurs.str(), "");
    EXPECT_EQ(config.ModeCarteGpib(0), ModeGpib::simulee);
    EXPECT_EQ(config.ModeCarteGpib(1), ModeGpib::aucune);
    EXPECT_TRUE(config.PortParalleleSimule());

    sim::BusDeCarte(0)->Vider();
    RechargerConfigurationBanc(chemin.c_str());
    ReinitialiserCartesGpib();
    const struct {
        int pad;
        const char *debutIdentite;
    } attendus[] = {{1, "TEKTRONIX,TDS 3052"},
                    {3, "HEWLETT-PACKARD,53131A"},
                    {13, "HEWLETT-PACKARD,E4419B,"},
                    {22, "HEWLETT-PACKARD,34401A"}};
    for (const auto &a : attendus) {
        SCOPED_TRACE(a.pad);
        const int ud = ibdev(0, a.pad, 0, T10s, 1, 1);
        ibwrt(ud, "*IDN?", 5);
        char idn[128] = {};
        ibrd(ud, idn, sizeof idn - 1);
        EXPECT_EQ(std::string(idn).rfind(a.debutIdentite, 0), 0u) << idn;
        ibonl(ud, 0);
    }
    // One simulated instrument per "gpib0.<pad>" line of the file, each at its address.
    std::ifstream lignes(chemin);
    std::size_t instruments = 0;
    for (std::string ligne; std::getline(lignes, ligne);)
        if (ligne.rfind("gpib0.", 0) == 0) ++instruments;
    EXPECT_EQ(sim::BusDeCarte(0)->Appareils().size(), instruments);
    RechargerConfigurationBanc("/nonexistent/banc.conf");
    ReinitialiserCartesGpib();
    sim::BusDeCarte(0)->Vider();
}

namespace {

class FichierConfig : public testing::Test {
protected:
    void SetUp() override {
        char modele[] = "/tmp/banc-config-XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier_ = modele;
        if (const char *e = std::getenv("BANC_BENCH_CONFIG")) env_ = e;
        if (const char *h = std::getenv("HOME")) home_ = h;
    }
    void TearDown() override {
        setenv("BANC_BENCH_CONFIG", env_.c_str(), 1);
        setenv("HOME", home_.c_str(), 1);
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        FixerBibliothequeGpibNative(nullptr);
        std::filesystem::remove_all(dossier_);
    }
    std::string Ecrire(const std::string &nom, const std::string &texte) const {
        const auto chemin = dossier_ / nom;
        std::filesystem::create_directories(chemin.parent_path());
        std::ofstream(chemin) << texte;
        return chemin.string();
    }
    // Bench configuration of this test, read as the program would, and its boards.
    void Utiliser(const std::string &texte) {
        RechargerConfigurationBanc(Ecrire("banc.conf", texte).c_str());
        ReinitialiserCartesGpib();
    }

    std::filesystem::path dossier_;
    std::string env_, home_;
};

}  // namespace

TEST_F(FichierConfig, FoundThroughTheEnvironmentOrTheHomeDirectory) {
    const std::string parEnv = Ecrire("ailleurs.conf", "com4 = /dev/pts/9\n");
    setenv("BANC_BENCH_CONFIG", parEnv.c_str(), 1);
    EXPECT_EQ(CheminConfigurationBanc(), parEnv);
    RechargerConfigurationBanc(nullptr);
    EXPECT_EQ(ConfigurationBanc().PortCom(4), "/dev/pts/9");

    Ecrire(".config/banc/banc.conf", "com4 = /dev/pts/5\n");
    setenv("HOME", dossier_.c_str(), 1);
    setenv("BANC_BENCH_CONFIG", "", 1);  // empty counts as unset
    EXPECT_EQ(CheminConfigurationBanc(), (dossier_ / ".config/banc/banc.conf").string());
    RechargerConfigurationBanc(nullptr);
    EXPECT_EQ(ConfigurationBanc().PortCom(4), "/dev/pts/5");
}

// ---- GPIB ---------------------------------------------------------------------------------

TEST_F(FichierConfig, InterfaceClearWithoutABoardFailsAtOnce) {
    Utiliser("# no board\n");
    for (const int carte : {0, 1, -1, 2, 1000, INT_MIN, INT_MAX}) {
        FixerEtatGpib(0, -1, 99);
        SendIFC(carte);
        EXPECT_TRUE(ThreadIbsta() & ERR) << carte;
        EXPECT_EQ(ThreadIberr(), ENEB) << carte;
        EXPECT_EQ(ThreadIbcnt(), 0) << carte;
        EXPECT_EQ(Ibsta(), ThreadIbsta());
        EXPECT_EQ(Iberr(), ThreadIberr());
        EXPECT_EQ(Ibcntl(), ThreadIbcntl());
    }
}

TEST_F(FichierConfig, InterfaceClearOnTheSimulatedBoard) {
    Utiliser("gpib0 = sim\n");
    SendIFC(0);
    EXPECT_FALSE(ThreadIbsta() & ERR);
    EXPECT_TRUE(ThreadIbsta() & CMPL);
    EXPECT_TRUE(ThreadIbsta() & CIC);
    SendIFC(1);  // not configured
    EXPECT_TRUE(ThreadIbsta() & ERR);
    EXPECT_EQ(ThreadIberr(), ENEB);
}

TEST_F(FichierConfig, NativeBoardWithoutTheHostLibraryActsAsAbsent) {
    // A name of its own each time: the note is written once per library name in a run.
    static int essai = 0;
    const std::string nom = "libbanc-gpib-absente-" + std::to_string(++essai) + ".so";
    FixerBibliothequeGpibNative(nom.c_str());
    Utiliser("gpib0 = native\ngpib1 = sim\n");
    testing::internal::CaptureStderr();
    SendIFC(0);
    SendIFC(0);
    const std::string note = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ThreadIbsta() & ERR);
    EXPECT_EQ(ThreadIberr(), ENEB);
    EXPECT_EQ(NombreDeLignes(note), 1) << note;  // said once
    SendIFC(1);
    EXPECT_FALSE(ThreadIbsta() & ERR);
}

TEST_F(FichierConfig, EachThreadSeesItsOwnStatus) {
    Utiliser("gpib0 = sim\n");
    SendIFC(1);
    int staAutre = 0;
    std::thread([&] {
        EXPECT_EQ(ThreadIbsta(), 0);  // a new thread starts clean
        SendIFC(0);
        staAutre = ThreadIbsta();
    }).join();
    EXPECT_FALSE(staAutre & ERR);
    EXPECT_TRUE(ThreadIbsta() & ERR);
    EXPECT_EQ(ThreadIberr(), ENEB);
}

TEST_F(FichierConfig, ABoardInUseOutlivesAReconfiguration) {
    Utiliser("gpib0 = sim\n");
    const auto carte = CarteGpibNumero(0);
    Utiliser("gpib0 = none\n");
    EXPECT_FALSE(carte->InterfaceClear().sta & ERR);
    SendIFC(0);
    EXPECT_TRUE(ThreadIbsta() & ERR);
}
