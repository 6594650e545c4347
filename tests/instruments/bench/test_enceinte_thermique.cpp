// "Enceinte thermique" without windows: the set-point frames and their check bytes, the
// process-value reply, the exchanges on the bus against the simulated chamber, and the simulated
// chamber itself (its frames, its refusals, its temperature on the program's clock).
#include "instruments/bench/enceinte_thermique.h"
#include "platform/gpib.h"
#include "tests/instruments/bench/test_enceinte_thermique.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using enceinte_essai::BancEnceinte;
using enceinte_essai::kAdresse;
using enceinte_essai::Trame;

// ---- frames -------------------------------------------------------------------------------------

TEST(EnceinteTrames, SetPointFrameTable) {
    struct Cas {
        float consigne;
        std::string charge;
        char controle;
    } const cas[] = {
        {25.0f, "SL025.0", 0x35},   {20.0f, "SL020.0", 0x30},  {-10.0f, "SL-10.0", 0x2E},
        {120.5f, "SL120.5", 0x34},  {5.04f, "SL005.0", 0x37},  {0.0f, "SL000.0", 0x32},
        {-40.0f, "SL-40.0", 0x2B},  {150.0f, "SL150.0", 0x36}, {1234.56f, "SL1234.6", 0x00},
        {-1e15f, "SL-999999986991104.0", 0x1C},  // 20 characters: the longest payload
    };
    for (const Cas &c : cas) {
        const std::optional<std::string> trame = enc_ther_trame_consigne(c.consigne);
        ASSERT_TRUE(trame.has_value()) << c.consigne;
        EXPECT_EQ(*trame, Trame(c.charge, c.controle)) << c.consigne;
        EXPECT_EQ(trame->size(), c.charge.size() + 9);
    }
    EXPECT_EQ(*enc_ther_trame_consigne(25.0f),
              std::string("\x04\x30\x30\x31\x31\x02\x53\x4C\x30\x32\x35\x2E\x30\x03\x35\x0D", 16));
    // Payloads beyond 20 characters, and values that are no number, are refused.
    for (const float v : {1e16f, -1e16f, -2e15f, 1e30f, std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
        EXPECT_FALSE(enc_ther_trame_consigne(v).has_value()) << v;
    EXPECT_EQ(enc_ther_question_PV(), std::string("\x04"
                                                  "0011PV\x05\r"));
    // The check byte covers the payload alone.
    EXPECT_EQ(enc_ther_trame("9999", "SL025.0"), "\x04"
                                                 "9999\x02SL025.0\x03\x35\r");
}

TEST(EnceinteTrames, ProcessValueReplies) {
    struct Cas {
        std::string reponse;
        std::optional<float> valeur;
    } const cas[] = {
        {"\x02PV25.3\x03\x0d\r\n", 25.3f},
        {"?PV-5\x03", -5.0f},
        {"\x02PV 21.5\x03", 21.5f},            // blanks before the number
        {"\x02PV18.25xyz", 18.25f},            // no ETX: up to the end
        {"\x02PV19.0\x03PV99", 19.0f},         // the text ends at its first ETX
        {"PV25.3", std::nullopt},               // the first byte is always skipped
        {"\x03PV4\x03", 4.0f},                  // even an ETX
        {std::string("\0PV4", 4), 4.0f},        // or a NUL
        {"\x02SL25.0\x03", std::nullopt},
        {"\x02PV\x03", std::nullopt},
        {"\x02\x03PV25", std::nullopt},
        {"", std::nullopt},
        {"\x02", std::nullopt},
        {"\x02" + std::string(28, ' ') + "PV1", std::nullopt},  // beyond the 30 bytes read
        {std::string("\x02PV7\0", 5) + "8", 7.0f},
        {"\x02PVnan\x03", std::nullopt},       // words are no value
        {"\x02PV-inf\x03", std::nullopt},
        {"\x02PV0x1A\x03", 0.0f},              // no hexadecimal form: the 0 alone
    };
    for (const Cas &c : cas) EXPECT_EQ(enc_ther_analyser_PV(c.reponse), c.valeur) << c.reponse;
}

// ---- on the bus -----------------------------------------------------------------------------------

class EnceinteBus : public testing::Test {
protected:
    void SetUp() override {
        ud = ibdev(0, kAdresse, NO_SAD, T10s, 1, REOS | '\n');
        ASSERT_GT(ud, 0);
    }
    void TearDown() override { ibonl(ud, 0); }
    sim::EnceinteThermique &Sim() { return *banc.enceinte; }
    void Envoyer(const std::string &octets) { ibwrt(ud, octets.data(), static_cast<long>(octets.size())); }
    // One read, up to 64 bytes ("" on a time-out).
    std::string Lire() {
        char t[64];
        const int sta = ibrd(ud, t, sizeof t);
        if ((sta & ERR) != 0) return "";
        return std::string(t, static_cast<std::size_t>(ThreadIbcntl()));
    }

    BancEnceinte banc;
    int ud = 0;
};

TEST_F(EnceinteBus, TheChamberTakesValidFramesAndRefusesTheOthers) {
    EXPECT_EQ(Sim().Consigne(), 20.0);
    struct Cas {
        const char *nom;
        std::string trame;
        std::string reponse;  // "" : none
        double consigne;      // after the frame
    } const cas[] = {
        {"set-point", Trame("SL025.0", 0x35), "\x06", 25.0},
        {"wrong check byte", Trame("SL030.0", 0x35), "\x15", 25.0},
        {"negative", Trame("SL-10.0", 0x2E), "\x06", -10.0},
        {"no CR", Trame("SL020.0", 0x30).substr(0, 15), "\x06", 20.0},
        {"no ETX", "\x04" "0011\x02SL030.0", "\x15", 20.0},
        {"bytes after the check byte", Trame("SL030.0", 0x30) + "x", "\x15", 20.0},
        {"beyond the controller's range", *enc_ther_trame_consigne(200.0f), "\x15", 20.0},
        {"no number", enc_ther_trame("0011", "SLabc"), "\x15", 20.0},
        {"another mnemonic", enc_ther_trame("0011", "XX025.0"), "\x15", 20.0},
        {"another controller", enc_ther_trame("0012", "SL025.0"), "", 20.0},
        {"too short for an address", "\x04" "00", "", 20.0},
        {"highest", *enc_ther_trame_consigne(150.0f), "\x06", 150.0},
    };
    int refusees = 0;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Envoyer(c.trame);
        EXPECT_EQ(Lire(), c.reponse);
        EXPECT_EQ(Sim().Consigne(), c.consigne);
        refusees += c.reponse == "\x15" ? 1 : 0;
    }
    EXPECT_EQ(Sim().TramesRefusees(), refusees);
    EXPECT_EQ(Sim().Consignes(), (std::vector<double>{25.0, -10.0, 20.0, 150.0}));
}

TEST_F(EnceinteBus, TheInterfaceAnswersItsIdentityAndNotesItsSettings) {
    Envoyer("*IDN?\n");
    EXPECT_EQ(Lire(), "BANC,ENCEINTE THERMIQUE,0,1.0\n");
    Envoyer("MIP RS=26\r");
    Envoyer("ABC\r");
    EXPECT_EQ(Lire(), "");
    EXPECT_EQ(Sim().ReglagesInterface(), (std::vector<std::string>{"MIP RS=26"}));
    // A reply left unread goes with the next message.
    Envoyer(*enc_ther_trame_consigne(30.0f));
    Envoyer("*IDN?");
    EXPECT_EQ(Lire(), "BANC,ENCEINTE THERMIQUE,0,1.0\n");
    EXPECT_EQ(Lire(), "");
}

TEST_F(EnceinteBus, TheTemperatureApproachesTheSetPoint) {
    EXPECT_EQ(lire_PV(ud), 20.0f);
    ASSERT_TRUE(ecrire_consigne(25.0f, ud));
    EXPECT_EQ(Lire(), "\x06");
    EXPECT_EQ(Sim().Ecritures().back(), Trame("SL025.0", 0x35));
    horloge::AvancerHorlogeFactice(120.0);  // one time constant
    const double attendue = 25.0 - 5.0 * std::exp(-1.0);
    EXPECT_NEAR(Sim().Temperature(), attendue, 1e-9);
    // The reply to the query: STX, PV and the value, ETX, its check byte, CR LF.
    Envoyer(enc_ther_question_PV());
    std::string reponse = Lire();
    char controle = 0x03;
    for (const char c : std::string("PV23.2")) controle = static_cast<char>(controle ^ c);
    EXPECT_EQ(reponse, "\x02PV23.2\x03" + std::string(1, controle) + "\r\n");
    EXPECT_NEAR(lire_PV(ud), 23.2f, 1e-6);
    // A new set-point starts from the temperature reached.
    ASSERT_TRUE(ecrire_consigne(-10.0f, ud));
    horloge::AvancerHorlogeFactice(1200.0);
    EXPECT_NEAR(Sim().Temperature(), -10.0, 0.01);
    Envoyer(std::string("\x04"
                        "0011SL\x05\r"));
    EXPECT_EQ(Lire().substr(0, 9), "\x02SL-10.0\x03");
    Envoyer(std::string("\x04"
                        "0011XX\x05\r"));
    EXPECT_EQ(Lire(), "\x04") << "an unknown poll";
    Envoyer(std::string("\x04"
                        "0012PV\x05\r"));
    EXPECT_EQ(Lire(), "") << "another controller's poll";
}

TEST_F(EnceinteBus, ExchangesOfThePlugin) {
    Sim().EffacerJournal();
    envoyer_MIP(ud);
    EXPECT_TRUE(envoyer_trame("0011", "SL042.0", ud));
    EXPECT_FALSE(envoyer_trame("0011", std::string(21, '1').c_str(), ud)) << "a frame of 30 bytes";
    EXPECT_TRUE(envoyer_trame("0011", std::string(20, '1').c_str(), ud)) << "29 bytes";
    EXPECT_FALSE(ecrire_consigne(1e20f, ud));
    const std::vector<std::string> ecrits = Sim().Ecritures();
    ASSERT_EQ(ecrits.size(), 3u);
    EXPECT_EQ(ecrits[0], "MIP RS=26\r");
    EXPECT_EQ(ecrits[1], Trame("SL042.0", 0x03 ^ 'S' ^ 'L' ^ '0' ^ '4' ^ '2' ^ '.' ^ '0'));
    EXPECT_EQ(ecrits[2].size(), 29u);
    for (const sim::Evenement &e : Sim().Journal()) {
        if (e.genre == sim::Evenement::Genre::Ecriture) {
            EXPECT_TRUE(e.fin) << "END with the last byte";
        }
    }

    // No value in 10 s: NaN.
    sim::Defauts d;
    d.muet = true;
    Sim().FixerDefauts(d);
    const double avant = horloge::Secondes();
    EXPECT_TRUE(std::isnan(lire_PV(ud)));
    EXPECT_NEAR(horloge::Secondes() - avant, 10.0, 1e-6);
}

}  // namespace
