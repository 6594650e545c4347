// "Anritsu MS4623B" without windows: the measurement configuration it sends, the reading of its
// number fields and blocks (against the simulated analyser, good and broken), the point count,
// a new instance's record, channels and settings block; and the simulated analyser itself
// (the resonator it measures, its gate and time domain, its service requests, its disk).
#include "instruments/catalogue.h"
#include "instruments/network/Analyseur_reseau.h"
#include "instruments/network/analyseur_commandes.h"
#include "tests/instruments/network/analyseur_essai.h"
#include "tests/support/banc_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace {

using analyseur_essai::BancAnalyseur;
using analyseur_essai::kAdresse;
using analyseur_essai::Transcription;

using Commandes = std::vector<std::string>;
using Lignes = std::vector<std::string>;
using analyseur_essai::Ecrits;

// ---- measurement configuration ----------------------------------------------------------------

TEST(AnalyseurConfiguration, CommandsFollowDomainGateAndDisplay) {
    ReglagesAnritsu r;
    r.configuration = 5;
    r.configS = 3;
    r.autoscale = 0;
    r.gate_start = 1e-9f;
    r.gate_stop = 2.5e-9f;
    r.range_start = -1e-9f;
    r.range_stop = 2e-8f;
    const std::string G1 = "GST 1.000000e-09", G2 = "GSP 2.500000e-09";
    const std::string R1 = "ZST -1.000000e-09", R2 = "ZSP 2.000000e-08";
    const std::string D = "CH1;S21;MPH", A = "ASC";
    // Rows: domain 1, 2, 3, other; columns: gate 1, 2, 3, other.
    const Commandes attendu[4][4] = {
        {{"FQD", D, A}, {"FQD", D, A}, {"FQD", D, A}, {"FQD", D, A}},
        {{"TBP", "GOF", R1, R2, D, A}, {"TBP", "GON", G1, G2, R1, R2, D, A}, {"TBP", "GDS", R1, R2, D, A}, {"TBP", R1, R2, D, A}},
        {{"FGT", "GOF", D, A}, {"FGT", "GON", G1, G2, D, A}, {"FGT", "GDS", D, A}, {"FGT", D, A}},
        {{D, A}, {D, A}, {D, A}, {D, A}},
    };
    const int domaines[] = {1, 2, 3, 0}, portes[] = {1, 2, 3, 7};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            r.freq_temp = domaines[i];
            r.gate = portes[j];
            EXPECT_EQ(anritsu_configuration_commands(r), attendu[i][j]) << "domain " << r.freq_temp << " gate " << r.gate;
        }
}

TEST(AnalyseurConfiguration, DisplayFormatsParametersAndWhatSendsNothing) {
    struct Cas {
        int configuration, configS, freq_temp, gate, autoscale;
        Commandes attendu;
    };
    const Cas cas[] = {
        {0, 3, 1, 1, 0, {}},                                  // "aucun": nothing at all
        {7, 3, 2, 2, 0, {}},                                  // outside the table: nothing
        {-1, 1, 1, 1, 0, {}},
        {5, 3, 1, 1, 0, {"FQD", "CH1;S21;MPH", "ASC"}},
        {1, 0, 3, 1, 0, {"FGT", "GOF"}},                       // no S-parameter: no display, no ASC
        {1, 5, 1, 1, 0, {"FQD"}},
        {2, 1, 0, 1, 1, {"CH1;S11;PHA"}},                      // no domain, no autoscale
        {1, 1, 1, 1, 1, {"FQD", "CH1;S11;MAG"}},
        {2, 2, 1, 1, 0, {"FQD", "CH1;S12;PHA", "ASC"}},
        {3, 4, 1, 1, 0, {"FQD", "CH1;S22;LIN", "ASC"}},
        {4, 1, 1, 1, 0, {"FQD", "CH1;S11;SMI", "ASC"}},
        {6, 2, 1, 1, 2, {"FQD", "CH1;S12;LPH"}},               // any autoscale but 0: none
    };
    for (const Cas &c : cas) {
        ReglagesAnritsu r;
        r.configuration = c.configuration;
        r.configS = c.configS;
        r.freq_temp = c.freq_temp;
        r.gate = c.gate;
        r.autoscale = c.autoscale;
        EXPECT_EQ(anritsu_configuration_commands(r), c.attendu) << c.configuration << " " << c.configS;
    }
}

TEST(AnalyseurConfiguration, LimitsAreSentAsStoredInExponentNotation) {
    ReglagesAnritsu r;
    r.configuration = 1;
    r.configS = 1;
    r.freq_temp = 2;
    r.gate = 2;
    r.autoscale = 1;
    r.gate_start = 5e-9f;          // a start above its stop is sent as it is
    r.gate_stop = -0.0f;
    r.range_start = 123456.789f;   // widened from single precision
    r.range_stop = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(anritsu_configuration_commands(r),
              (Commandes{"TBP", "GON", "GST 5.000000e-09", "GSP -0.000000e+00", "ZST 1.234568e+05", "ZSP nan",
                         "CH1;S11;MAG"}));
}

// ---- point count and number fields ------------------------------------------------------------

TEST(AnalyseurProtocole, PointCountIsADecimalIntegerAndBounded) {
    struct Cas {
        std::string reponse;
        int points;
    } const cas[] = {
        {"401\n", 401},  {"  1601", 1601}, {"+1", 1},    {"0x191", -1}, {"0621", 621}, {"401.0", 401},
        {"51 points", 51}, {"1602\n", -1},  {"0\n", -1},  {"-401", -1},   {"", -1},
        {"abc", -1},     {"0x", -1},        {"99999999999999999999", -1},
        {std::string(40, ' ') + "12", -1},  // beyond the 30 bytes of a reply
    };
    for (const Cas &c : cas) EXPECT_EQ(anritsu_parse_point_count(c.reponse), c.points) << '"' << c.reponse << '"';
}

// Fields of 19 characters.
std::string Champs(const std::vector<std::string> &champs) {
    std::string s;
    for (const std::string &c : champs) {
        std::string f = c;
        f.resize(19, ' ');
        s += f;
    }
    return s;
}

std::vector<double> Convertir(const std::string &charge, int count, int pas = 19, int decalage = 0) {
    std::vector<double> v(static_cast<std::size_t>(std::max(count, 0)), -777.0);
    if (!anritsu_convert_fields(charge, count, pas, decalage, v.data())) return {};
    return v;
}

TEST(AnalyseurProtocole, FieldsConvertInSinglePrecisionWithCarryOver) {
    struct Cas {
        const char *nom;
        std::string charge;
        int count;
        std::vector<double> attendu;  // empty: refused
    };
    const Cas cas[] = {
        {"single precision", Champs({"1.234567890123E+09", "-2.5", "  +3e-2,"}), 3,
         {1234567936.0, -2.5, static_cast<double>(0.03f)}},
        {"point and exponent forms", Champs({".5", "5.", "-1E2", "1e+1x", "7.e-1"}), 5,
         {0.5, 5.0, -100.0, 10.0, static_cast<double>(0.7f)}},
        {"comma repeats, first gives 0", Champs({",1", "2", ",", "abc", "+-4"}), 5, {0.0, 2.0, 2.0, 2.0, 2.0}},
        {"blank field takes the next number", Champs({"1", "", "3"}), 3, {1.0, 3.0, 3.0}},
        {"no inf, nan or hexadecimal", Champs({"1", "inf", "nan", "0x10"}), 4, {1.0, 1.0, 1.0, 0.0}},
        {"beyond single precision", Champs({"1e60", "-1e60", "1e-60"}), 3,
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0.0}},
        {"more fields than points", Champs({"1", "2", "3", "4"}), 2, {1.0, 2.0}},
        {"no point", Champs({"1"}), 0, {}},
        {"fewer fields than points", Champs({"1", "2"}) + "3", 3, {}},
        {"blanks run to the end of the payload", Champs({"1", ""}), 2, {1.0, 1.0}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        std::vector<double> v(static_cast<std::size_t>(c.count), -777.0);
        const bool ok = anritsu_convert_fields(c.charge, c.count, 19, 0, v.data());
        if (c.attendu.empty() && c.count > 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(v, std::vector<double>(static_cast<std::size_t>(c.count), -777.0)) << "nothing stored";
        } else {
            EXPECT_TRUE(ok);
            EXPECT_EQ(v, c.attendu);
        }
    }
    EXPECT_FALSE(anritsu_convert_fields("", kAnritsuPointsMax + 1, 19, 0, nullptr));
    EXPECT_FALSE(anritsu_convert_fields("", -1, 19, 0, nullptr));
}

TEST(AnalyseurProtocole, PairsTakeTheirTwoFieldsAtA38ByteStride) {
    const std::string charge = Champs({"1", "10", ",", "20", "3", ","});
    EXPECT_EQ(Convertir(charge, 3, 38, 0), (std::vector<double>{1.0, 1.0, 3.0}));
    EXPECT_EQ(Convertir(charge, 3, 38, 19), (std::vector<double>{10.0, 20.0, 20.0}));
    EXPECT_TRUE(Convertir(charge.substr(0, 5 * 19), 3, 38, 0).empty()) << "a point without its two fields";
}

// ---- blocks on the bus --------------------------------------------------------------------------

class BlocsAnalyseur : public testing::Test {
protected:
    void SetUp() override {
        ud = ibdev(0, kAdresse, NO_SAD, T10s, 1, 1);
        ASSERT_GT(ud, 0);
        banc.analyseur->EffacerJournal();
    }
    void TearDown() override { ibonl(ud, 0); }

    // The reads of the exchange, in bytes.
    std::vector<std::size_t> Lectures() const {
        std::vector<std::size_t> n;
        for (const sim::Evenement &e : banc.analyseur->Journal())
            if (e.genre == sim::Evenement::Genre::Lecture) n.push_back(e.octets.size());
        return n;
    }

    BancAnalyseur banc;
    int ud = 0;
};

TEST_F(BlocsAnalyseur, BlockTable) {
    const std::string dix = Champs({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});  // 190 bytes
    const std::vector<double> un_a_dix = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    struct Cas {
        const char *nom;
        std::string reponse;
        bool fin;                      // END with the last byte
        int count;
        bool lu;                       // the block was taken
        std::vector<std::size_t> lectures;  // bytes of each read
        double secondes;               // program time the exchange took
    };
    const Cas cas[] = {
        {"good", "#3190" + dix + "\n", true, 10, true, {1, 1, 3, 191}, 0},
        {"leading zeros", "#6000190" + dix + "\n", true, 10, true, {1, 1, 6, 191}, 0},
        {"fields beyond the count", "#3190" + dix + "\n", true, 4, true, {1, 1, 3, 191}, 0},
        {"no end byte", "#3190" + dix, true, 10, true, {1, 1, 3, 190}, 0},
        {"more than announced", "#3190" + dix + "\nextra bytes\n", true, 10, true, {1, 1, 3, 191, 12}, 0},
        {"short", "#3190" + dix.substr(0, 100), true, 10, false, {1, 1, 3, 100}, 0},
        {"fewer fields than points", "#3190" + dix + "\n", true, 11, false, {1, 1, 3, 191}, 0},
        {"announced length too long", "#9999999999" + dix + "\n", true, 10, false, {1, 1, 9, 191}, 0},
        {"bad marker", "X3190" + dix + "\n", true, 10, false, {1, 195}, 0},
        {"digit count 0", "#0" + dix + "\n", true, 10, false, {1, 1, 191}, 0},
        {"letter in the length", "#31a0" + dix + "\n", true, 10, false, {1, 1, 3, 191}, 0},
        {"reply ends in the header", "#3", true, 10, false, {1, 1}, 0},
        {"time-out in the payload", "#3190" + dix.substr(0, 50), false, 10, false, {1, 1, 3, 50}, 10},
        {"silent", "", false, 10, false, {}, 10},
        {"count 0 reads the whole block", "#3190" + dix + "\n", true, 0, true, {1, 1, 3, 191}, 0},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        banc.analyseur->EffacerJournal();
        banc.analyseur->RemplacerReponse("OFD", c.reponse, c.fin);
        std::vector<double> serie(12, -1.0);
        const double avant = horloge::Secondes();
        EXPECT_EQ(anritsu_read_block("OFD", ud, c.count, serie.data()), c.lu);
        EXPECT_NEAR(horloge::Secondes() - avant, c.secondes, 1e-6);
        EXPECT_EQ(Lectures(), c.lectures);
        EXPECT_EQ(banc.analyseur->SortieEnAttente(), "") << "nothing of the reply is left";
        std::vector<double> attendu(12, -1.0);
        if (c.lu) std::copy_n(un_a_dix.begin(), c.count, attendu.begin());
        EXPECT_EQ(serie, attendu);
        EXPECT_EQ(banc.analyseur->Ecritures().front(), "OFD") << "the query goes out bare";
    }
    // The next exchange is not disturbed.
    char reponse[16] = {};
    ibwrt(ud, "ONCP", 4);
    ibrd(ud, reponse, 15);
    EXPECT_STREQ(reponse, "401\n");
}

TEST_F(BlocsAnalyseur, PairsFillTheFirstSeriesThenTheSecond) {
    banc.analyseur->RemplacerReponse("OFD", "#276" + Champs({"1", "-1", "2", "-2"}) + "\n");
    std::vector<double> a(2), b(2);
    ASSERT_TRUE(anritsu_read_block_pairs("OFD", ud, 2, a.data(), b.data()));
    EXPECT_EQ(a, (std::vector<double>{1, 2}));
    EXPECT_EQ(b, (std::vector<double>{-1, -2}));
    banc.analyseur->RemplacerReponse("OFD", "#257" + Champs({"1", "-1", "2"}) + "\n");
    EXPECT_FALSE(anritsu_read_block_pairs("OFD", ud, 2, a.data(), b.data()));
    EXPECT_EQ(b, (std::vector<double>{-1, -2})) << "neither series changed";
}

// ---- a new instance -----------------------------------------------------------------------------

constexpr std::size_t kAdresseBloc = 0, kIdentificateur = 4, kNombrePoint = 8, kNumero = 16, kPanel = 20,
                      kChemin = 24, kNom = 284, kConfiguration = 412, kRangeStart = 416, kGateStop = 428,
                      kConfigS = 432, kFreqTemp = 436, kGate = 440, kAutoscale = 444, kTailleBloc = 448;

class AnalyseurInstance : public testing::Test {
protected:
    void SetUp() override {
        a = Nouvel_instrument("Analyseur_reseau.dll");
        ASSERT_NE(a, nullptr);
    }
    void TearDown() override {
        if (a) a->liberer(a);
    }
    std::string NomVoie(int voie) {
        char nom[kLongueurNomVoie] = "?";
        a->get_nom_voie2D(a, voie, nom);
        return nom;
    }
    PInstrument *a = nullptr;
};

TEST_F(AnalyseurInstance, TableDefaultsAndSettingsBlock) {
    EXPECT_EQ(anritsu.status, nullptr);
    EXPECT_EQ(anritsu.piloter, nullptr);
    EXPECT_EQ(anritsu.nb_voie_1D, nullptr);
    EXPECT_EQ(anritsu.nb_voie_calcul, nullptr);
    EXPECT_EQ(anritsu.nb_voie_calcul2D, nullptr);
    EXPECT_NE(anritsu.init, nullptr);
    EXPECT_NE(anritsu.start, nullptr);
    EXPECT_NE(anritsu.stop, nullptr);

    const ReponseMemoire m = DemanderMemoire(a, 12345);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(m.taille, 12345u) << "size is not written with flag 0";
    EXPECT_EQ(static_cast<char *>(m.fin) - static_cast<char *>(m.debut), static_cast<long>(kTailleBloc));
    EXPECT_EQ(LireEntierBloc(a, kAdresseBloc), 6);
    EXPECT_EQ(LireTexteBloc(a, kChemin, 260), "");
    EXPECT_EQ(LireTexteBloc(a, kNom, 128), "Analyseur de reseau");
    char nom[kLongueurNomInstru] = "";
    a->get_nom_instru(a, nom);
    EXPECT_STREQ(nom, "Analyseur de reseau");
    EXPECT_EQ(LireEntierBloc(a, kConfiguration), 0);
    EXPECT_EQ(LireEntierBloc(a, kFreqTemp), 0);
    EXPECT_EQ(LireEntierBloc(a, kAutoscale), 0);
    EXPECT_EQ(LireEntierBloc(a, kGate), 1);
    EXPECT_EQ(LireEntierBloc(a, kConfigS), 1);
    for (const std::size_t o : {kIdentificateur, kNombrePoint, kNumero, kPanel, kRangeStart, kGateStop})
        EXPECT_EQ(LireEntierBloc(a, o), 0) << o;

    a->set_nom_instru(a, std::string(60, 'n').c_str());
    a->get_nom_instru(a, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 'n'));

    // The same settings save to the same bytes.
    const std::string une(static_cast<char *>(DemanderMemoire(a).debut), kTailleBloc);
    EXPECT_EQ(std::string(static_cast<char *>(DemanderMemoire(a).debut), kTailleBloc), une);
}

TEST_F(AnalyseurInstance, ChannelsFollowTheDisplayFormat) {
    struct Cas {
        int configuration, voies;
        const char *voie1;
    } const cas[] = {{0, 1, ""},
                     {1, 1, "Log Magnitude"},
                     {2, 1, "Phase"},
                     {3, 1, "Linear Magnitude"},
                     {4, 1, "Smith chart"},
                     {5, 2, "Log Magnitude"},
                     {6, 2, "Linear Magnitude"},
                     {9, 2, ""},
                     {-3, 1, ""}};
    for (const Cas &c : cas) {
        EcrireEntierBloc(a, kConfiguration, c.configuration);
        EXPECT_EQ(a->nb_voie2D(a), c.voies) << c.configuration;
        EXPECT_EQ(NomVoie(1), c.voie1) << c.configuration;
        EXPECT_EQ(NomVoie(2), "Phase") << "whatever the format";
        EXPECT_EQ(NomVoie(3), "");
        EXPECT_EQ(NomVoie(0), "");
    }
    // A point count brought back by a settings file is bounded by the trace rows.
    for (const auto &[stocke, taille] : {std::pair{401, 401}, std::pair{1601, 1601}, std::pair{5000, 1601}, std::pair{-3, 0}}) {
        EcrireEntierBloc(a, kNombrePoint, stocke);
        EXPECT_EQ(a->get_taille_voie2D(a, 1), taille);
        EXPECT_EQ(a->get_taille_voie2D(a, 2), taille);
    }
    EcrireEntierBloc(a, kNombrePoint, 3);
    std::vector<double> v(3, 9.0), x(3, 9.0);
    a->mesure2D(a, 2, v.data());
    a->indices2D(a, 1, x.data());
    EXPECT_EQ(v, std::vector<double>(3, 0.0)) << "no trace yet";
    EXPECT_EQ(x, std::vector<double>(3, 0.0));
    EXPECT_EQ(a->numero2D(a, 1), 0u);
}

// ---- the simulated analyser ---------------------------------------------------------------------

class SimulateurMS4623B : public BlocsAnalyseur {
protected:
    void Envoyer(const std::string &texte) { ibwrt(ud, texte.data(), static_cast<long>(texte.size())); }
    std::string Demander(const std::string &question) {
        Envoyer(question);
        char t[256] = {};
        ibrd(ud, t, sizeof t - 1);
        return t;
    }
    std::vector<double> Trace(int n) {
        std::vector<double> v(static_cast<std::size_t>(n));
        EXPECT_TRUE(anritsu_read_block("OFD", ud, n, v.data()));
        return v;
    }
    std::vector<double> Axe(const char *question, int n) {
        std::vector<double> v(static_cast<std::size_t>(n));
        EXPECT_TRUE(anritsu_read_block(question, ud, n, v.data()));
        return v;
    }
    // One sweep, then its trace.
    std::vector<double> Balayer(int n) {
        Envoyer("HLD;TRS");
        horloge::AvancerHorlogeFactice(0.5);
        return Trace(n);
    }
    static std::size_t Maximum(const std::vector<double> &v) {
        return static_cast<std::size_t>(std::max_element(v.begin(), v.end()) - v.begin());
    }
};

TEST_F(SimulateurMS4623B, TransmissionPeaksAndReflectionDipsAtTheResonance) {
    Envoyer("FQD;CH1;S21;MAG");
    const std::vector<double> f = Axe("OFV", 401);
    EXPECT_DOUBLE_EQ(f.front(), 1.5e9);
    EXPECT_DOUBLE_EQ(f.back(), 2.5e9);
    const std::vector<double> s21 = Balayer(401);
    const double f0 = banc.analyseur->Resonance();
    EXPECT_NEAR(f[Maximum(s21)], f0, 2.5e6 + 1.0);
    EXPECT_NEAR(*std::max_element(s21.begin(), s21.end()), 20 * std::log10(100.0 / 105.0), 0.2);
    EXPECT_LT(s21.front(), -20.0);

    Envoyer("CH1;S11;LIN");
    const std::vector<double> s11 = Balayer(401);
    const auto minimum = static_cast<std::size_t>(std::min_element(s11.begin(), s11.end()) - s11.begin());
    EXPECT_NEAR(f[minimum], f0, 5e6);
    EXPECT_GT(s11.front(), 0.9);

    Envoyer("CH1;S21;LPH");
    std::vector<double> lin(401), phase(401);
    Envoyer("HLD;TRS");
    horloge::AvancerHorlogeFactice(0.5);
    ASSERT_TRUE(anritsu_read_block_pairs("OFD", ud, 401, lin.data(), phase.data()));
    EXPECT_NEAR(*std::max_element(lin.begin(), lin.end()), 100.0 / 105.0, 0.02);
    for (const double p : phase) ASSERT_LE(std::fabs(p), 180.0);

    // The device drifts with the program's time.
    horloge::AvancerHorlogeFactice(15.0);
    EXPECT_NEAR(banc.analyseur->Resonance(), 2.0e9 + 2.0e6 * std::sin(2 * 3.141592653589793 * horloge::Secondes() / 60.0), 1.0);
}

TEST_F(SimulateurMS4623B, GateKeepsThePathsOfItsDelaysAndTimeDomainShowsThem) {
    // A gate around the echo alone leaves the echo's flat 0.02 in transmission.
    Envoyer("FGT;GON;GST 5e-9;GSP 7e-9;CH1;S21;MAG");
    for (const double v : Balayer(401)) ASSERT_NEAR(v, 20 * std::log10(0.02), 1e-6);
    // Shown but not applied, or without time gate: the whole response.
    Envoyer("GDS");
    const std::vector<double> affichee = Balayer(401);
    EXPECT_GT(*std::max_element(affichee.begin(), affichee.end()), -1.0);
    Envoyer("GON;FQD");
    EXPECT_GT(Balayer(401)[200], -1.0);

    // Time band-pass over 0..20 ns: the resonator rings from the line delay, the echo after it.
    Envoyer("TBP;GOF;ZST 0;ZSP 2e-8;CH1;S21;LIN");
    const std::vector<double> t = Axe("OTV", 401);
    EXPECT_DOUBLE_EQ(t.front(), 0.0);
    EXPECT_EQ(t.back(), static_cast<double>(2e-8f)) << "taken in single precision";
    const std::vector<double> h = Balayer(401);
    EXPECT_GT(t[Maximum(h)], 1e-9);
    EXPECT_LT(t[Maximum(h)], 4e-9);

    EXPECT_EQ(Demander("GOF?;TDX?;GRF?;SXX?"), "0;4;10;21\n");
    EXPECT_EQ(Demander("GST?;GSP?;ZST?;ZSP?"), "5.000000e-09;7.000000e-09;0.000000e+00;2.000000e-08\n");
    Envoyer("FGT;GDS;CH1;S12;MPH");
    EXPECT_EQ(Demander("GOF?;TDX?;GRF?;SXX?"), "2;1;3;12\n");
}

TEST_F(SimulateurMS4623B, SweepEndRequestsServiceThroughTheExtendedEnableMask) {
    // Continuous sweeps request nothing until enabled.
    horloge::AvancerHorlogeFactice(2.0);
    EXPECT_FALSE(banc.analyseur->DemandeService());
    Envoyer("*CLS;IEM 8;HLD;*SRE 128");
    horloge::AvancerHorlogeFactice(2.0);
    EXPECT_FALSE(banc.analyseur->DemandeService()) << "held";
    const int avant = banc.analyseur->BalayagesTermines();
    Envoyer("TRS;WFS");
    horloge::AvancerHorlogeFactice(0.49);
    EXPECT_FALSE(banc.analyseur->DemandeService());
    horloge::AvancerHorlogeFactice(0.02);
    EXPECT_TRUE(banc.analyseur->DemandeService());
    EXPECT_EQ(banc.analyseur->BalayagesTermines(), avant + 1);
    char octet = 0;
    EXPECT_EQ(ibrsp(ud, &octet) & RQS, 0) << "one poll clears it";
    EXPECT_EQ(static_cast<unsigned char>(octet), 0xC0);
    ibrsp(ud, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x00) << "the sweep-complete event is read";
    horloge::AvancerHorlogeFactice(5.0);
    EXPECT_FALSE(banc.analyseur->DemandeService()) << "held after its one sweep";
    // HLD abandons a sweep in progress; IEM 0 masks the event.
    Envoyer("TRS");
    Envoyer("HLD");
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_FALSE(banc.analyseur->DemandeService());
    Envoyer("IEM 0;TRS");
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_FALSE(banc.analyseur->DemandeService());
    ibrsp(ud, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x00);
}

TEST_F(SimulateurMS4623B, DiskKeepsFilesAndRecallTakesItsTime) {
    Envoyer("DISKWR \"c:\\a.cal\", #15" + std::string("a\0b\x01z", 5) + "\n");
    EXPECT_EQ(banc.analyseur->Fichier("C:\\A.CAL"), std::string("a\0b\x01z", 5));
    banc.analyseur->FixerDureeRappel(30.0);
    Envoyer("RECALL \"C:\\A.CAL\"");
    EXPECT_EQ(banc.analyseur->CalibrationRappelee(), "C:\\A.CAL");
    const double avant = horloge::Secondes();
    ibtmo(ud, T100s);
    EXPECT_EQ(Demander("*OPC;TXX? "), "1\n");
    EXPECT_NEAR(horloge::Secondes() - avant, 30.0, 1e-6) << "answered once the recall is over";
    EXPECT_EQ(Demander("TXX?"), "1\n");
    EXPECT_EQ(Demander("LSB;OID"), "MS4623B,000000,1.08\n");
    EXPECT_EQ(Demander("PDT0;*IDN?"), "ANRITSU,MS4623B,000000,1.08\n");

    Envoyer("SAVE \"C:\\ESSAI1\"");
    ASSERT_TRUE(banc.analyseur->Fichier("c:\\essai1").has_value());
    const std::string contenu = *banc.analyseur->Fichier("C:\\ESSAI1");
    Envoyer("DISKRD \"C:\\ESSAI1\"");
    std::string recu(contenu.size() + 20, '\0');
    ibrd(ud, recu.data(), static_cast<long>(recu.size()));
    recu.resize(static_cast<std::size_t>(ThreadIbcntl()));
    const std::string longueur = std::to_string(contenu.size());
    EXPECT_EQ(recu, "#" + std::to_string(longueur.size()) + longueur + contenu + "\n");
    Envoyer("DEL \"C:\\ESSAI1\"");
    EXPECT_FALSE(banc.analyseur->Fichier("C:\\ESSAI1").has_value());
    Envoyer("*CLS;DEL \"C:\\ESSAI1\";RECALL \"C:\\NONE\"");
    EXPECT_EQ(Demander(":SYST:ERR?"), "-256,\"File name not found\"\n");
    EXPECT_EQ(banc.analyseur->CalibrationRappelee(), "C:\\A.CAL");
}

// ---- command language -----------------------------------------------------------------------------

const std::string N(1, '\0');

TEST(AnalyseurCommandes, TranslationTable) {
    struct Cas {
        std::string commande;
        int configuration;
        Commandes ecrits;  // exact bytes of each write
        std::string fichier = "";
    };
    const std::string long_accepte = "GATE_START=1." + std::string(241, '0');  // 254 characters
    const Cas cas[] = {
        {"FWTG", 1, {"FGT", "GON" + N}},
        {"fwtg", 5, {"FGT", "GON" + N}},  // any case, whatever the display format
        {"FNTG", 1, {"FQD", "GOF" + N}},
        {"TWTG", 0, {"TBP", "GON" + N}},
        {"tNtG", 6, {"TBP", "GOF" + N}},
        {"FWTG ", 1, {}},                  // a fixed command is the whole text
        {" FWTG", 1, {}},
        {"FWTGX", 1, {}},
        {"RANGE_START=1e-9", 1, {"ZST 1.000000e-09"}},
        {"range_stop=2E-8", 5, {"ZSP 2.000000e-08"}},
        {"GATE_START=  5e-9 ns", 1, {"GST 5.000000e-09"}},  // blanks before, anything after
        {"GATE_STOP=-1.5", 1, {"GSP -1.500000e+00"}},
        {"RANGE_START=0.1", 1, {"ZST 1.000000e-01"}},       // taken in single precision
        {"GATE_START=123456789", 1, {"GST 1.234568e+08"}},
        {"GATE_START=", 1, {}},
        {"GATE_START=abc", 1, {}},
        {"GATE_START=inf", 1, {}},         // not a finite value
        {"GATE_START=nan", 1, {}},
        {"GATE_START=1e39", 1, {}},        // beyond single precision
        {"GATE_START =1", 1, {}},          // the prefix as it is written
        {"XGATE_START=1", 1, {}},
        {long_accepte, 1, {"GST 1.000000e+00"}},
        {long_accepte + "0", 1, {}},        // 255 characters: refused
        {"LOG S11", 1, {"CH1;S11;MAG"}},  // the one display command without its NUL
        {"log s11", 0, {"CH1;S11;MAG"}},
        {"LOG S12", 4, {"CH1;S12;MAG" + N}},
        {"LOGPHASE S21", 1, {}},          // the other family
        {"LINPHASE S11", 4, {}},
        {"PHASE S11", 6, {}},
        {"LOG S11", 5, {}},
        {"LOG S13", 1, {}},
        {"LOG  S11", 1, {}},
        {"LOG S11;", 1, {}},
        {"", 1, {}},
        {"SAVE", 1, {}},
        {"save essai1", 1, {}, "ESSAI1"},
        {"SAVE   trace_2 suite", 1, {}, "TRACE_2"},  // the first word
        {"Save\tx", 5, {}, "X"},
        {"SAVE " + std::string(29, 'a'), 1, {}, std::string(29, 'A')},
        {"SAVE " + std::string(30, 'a'), 1, {}},       // too long for the analyser's path
        {"SAVE a\"b", 1, {}},                           // cannot be quoted
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE('"' + analyseur_essai::Lisible(c.commande) + "\" with display format " +
                     std::to_string(c.configuration));
        const CommandeAnritsu traduite = anritsu_traduire_commande(c.commande.c_str(), c.configuration);
        EXPECT_EQ(traduite.ecritures, c.ecrits);
        EXPECT_EQ(traduite.fichier, c.fichier);
    }
    EXPECT_EQ(anritsu_traduire_commande(nullptr, 1), CommandeAnritsu{});
}

// Every display command, in the family of the formats it goes with and in the other.
TEST(AnalyseurCommandes, DisplayCommandsFollowTheFormatFamily) {
    struct Famille {
        const char *mot, *format;
        bool deux_voies;
    } const familles[] = {{"LOG", "MAG", false},     {"LIN", "LIN", false},    {"PHASE", "PHA", false},
                          {"LOGPHASE", "MPH", true}, {"LINPHASE", "LPH", true}};
    for (const Famille &f : familles)
        for (const char *s : {"S11", "S12", "S21", "S22"})
            for (int configuration = -1; configuration <= 7; ++configuration) {
                const std::string commande = std::string(f.mot) + ' ' + s;
                Commandes attendu;
                if ((configuration >= 5) == f.deux_voies) {
                    std::string ecrit = std::string("CH1;") + s + ';' + f.format;
                    attendu = {commande == "LOG S11" ? ecrit : ecrit + N};
                }
                EXPECT_EQ(anritsu_traduire_commande(commande.c_str(), configuration).ecritures, attendu)
                    << commande << " with " << configuration;
            }
}

// ---- read-back conversions ------------------------------------------------------------------------

TEST(AnalyseurRelecture, RepliesConvertAtTheirStart) {
    struct Entier {
        std::string reponse;
        bool lu;
        int valeur;
    } const entiers[] = {
        {"1\n", true, 1},       {"  11\r\n", true, 11}, {"+4", true, 4},     {"-2", true, -2},
        {"10.5", true, 10},     {"4abc", true, 4},      {"abc", false, 0},   {"", false, 0},
        {"GOF?", false, 0},     {" \n", false, 0},      {"+", false, 0},     {"99999999999", false, 0},
        {std::string(30, ' ') + "7", false, 0},  // only 30 bytes are a reply
    };
    for (const Entier &e : entiers) {
        int v = -99;
        EXPECT_EQ(anritsu_reponse_entier(e.reponse, v), e.lu) << '"' << e.reponse << '"';
        EXPECT_EQ(v, e.lu ? e.valeur : -99) << '"' << e.reponse << '"';
    }
    struct Nombre {
        std::string reponse;
        bool lu;
        float valeur;
    } const nombres[] = {
        {"5.000000e-09\n", true, 5e-9f}, {"  -2.5", true, -2.5f}, {".5", true, 0.5f},  {"1.234567890123E+09", true, 1234567936.0f},
        {"7x", true, 7.0f},              {"ZSP?", false, 0.0f},   {"", false, 0.0f},   {"inf", false, 0.0f},
        {"1e39", false, 0.0f},           {"nan", false, 0.0f},    {"-", false, 0.0f},
        {std::string(29, ' ') + "12", true, 1.0f},  // the 30th byte starts the number
    };
    for (const Nombre &n : nombres) {
        float v = -99.0f;
        EXPECT_EQ(anritsu_reponse_nombre(n.reponse, v), n.lu) << '"' << n.reponse << '"';
        EXPECT_EQ(v, n.lu ? n.valeur : -99.0f) << '"' << n.reponse << '"';
    }
}

TEST(AnalyseurRelecture, CodeTables) {
    using L = LectureAnritsu;
    struct Cas {
        L lecture;
        std::vector<std::pair<int, int>> codes;  // code, item value (-1: none)
    } const cas[] = {
        {L::Porte, {{0, 1}, {1, 2}, {2, 3}, {3, -1}, {-1, -1}}},
        {L::Format, {{1, 1}, {2, 2}, {3, 5}, {4, 4}, {10, 3}, {11, 6}, {0, -1}, {5, -1}, {6, -1}, {7, -1}, {9, -1}, {12, -1}}},
        {L::Domaine, {{0, 1}, {1, 3}, {4, 2}, {2, -1}, {3, -1}, {5, -1}}},
        {L::Parametre, {{11, 1}, {12, 2}, {21, 3}, {22, 4}, {0, -1}, {1, -1}, {13, -1}, {31, -1}}},
    };
    for (const Cas &c : cas)
        for (const auto &[code, valeur] : c.codes)
            EXPECT_EQ(anritsu_valeur_controle(c.lecture, code), valeur) << static_cast<int>(c.lecture) << " " << code;
}

// ---- trace files -----------------------------------------------------------------------------------

// The analyser's trace files copied into a directory of the test's, made the current one.
class FichiersTrace : public SimulateurMS4623B {
protected:
    void SetUp() override {
        SimulateurMS4623B::SetUp();
        precedent = std::filesystem::current_path();
        std::filesystem::current_path(banc.Dossier());
    }
    void TearDown() override {
        std::filesystem::current_path(precedent);
        SimulateurMS4623B::TearDown();
    }
    static std::vector<std::string> Locaux() {
        std::vector<std::string> noms;
        for (const auto &e : std::filesystem::directory_iterator("."))
            if (e.path().filename() != "banc.conf") noms.push_back(e.path().filename().string());
        std::sort(noms.begin(), noms.end());
        return noms;
    }
    std::filesystem::path precedent;
};

TEST_F(FichiersTrace, SaveCopiesTheFileByteForByteThenDeletesIt) {
    Envoyer("CH1;S21;LPH;HLD;TRS");
    horloge::AvancerHorlogeFactice(1.0);
    EcrireFichier("ESSAI1", "an older file of that name");
    banc.analyseur->EffacerJournal();
    ASSERT_TRUE(anritsu_save_to_file(ud, "ESSAI1"));
    const std::optional<std::string> sur_l_analyseur = banc.analyseur->FichierSupprime("C:\\ESSAI1");
    ASSERT_TRUE(sur_l_analyseur.has_value());
    const std::string contenu = *sur_l_analyseur;
    // The saved trace: its settings line, then 401 points of three doubles, every byte value.
    ASSERT_EQ(contenu.substr(0, 25), "MS4623B S21 LPH FQD 401\r\n");
    ASSERT_EQ(contenu.size(), 25 + 401 * 24u);
    EXPECT_NE(contenu.find('\0', 25), std::string::npos);
    EXPECT_EQ(LireFichier("ESSAI1"), contenu);
    EXPECT_FALSE(banc.analyseur->Fichier("C:\\ESSAI1").has_value()) << "deleted on the analyser";
    EXPECT_EQ(Locaux(), (std::vector<std::string>{"ESSAI1"})) << "nothing else left";
    EXPECT_EQ(Transcription(*banc.analyseur),
              (Lignes{"> SAVE \"C:\\ESSAI1\"", "> DISKRD \"C:\\ESSAI1\"", "< #", "< 4", "< 9649", "< (9650 bytes)",
                      "> DEL \"C:\\ESSAI1\""}));
    EXPECT_EQ(banc.analyseur->SortieEnAttente(), "");
}

TEST_F(FichiersTrace, BlockTable) {
    std::string charge(512, '\0');
    for (std::size_t i = 0; i < charge.size(); ++i) charge[i] = static_cast<char>(i * 7);
    const std::string ancien = "the file that was there";
    struct Cas {
        const char *nom;
        std::string reponse;
        bool fin;
        bool copie;               // the local file becomes the payload, the analyser deletes it
        std::string resultat;     // the payload copied
        std::vector<std::size_t> lectures;
    };
    const Cas cas[] = {
        {"leading zeros", "#6000512" + charge + "\n", true, true, charge, {1, 1, 6, 513}},
        {"no end byte", "#3512" + charge, true, true, charge, {1, 1, 3, 512}},
        {"more than announced", "#3512" + charge + "\nmore\n", true, true, charge, {1, 1, 3, 513, 5}},
        {"empty file", "#10\n", true, true, "", {1, 1, 1, 1}},
        {"short", "#3512" + charge.substr(0, 300), true, false, "", {1, 1, 3, 300}},
        {"time-out in the payload", "#3512" + charge.substr(0, 300), false, false, "", {1, 1, 3, 300}},
        {"digit count 0", "#0" + charge + "\n", true, false, "", {1, 1, 513}},
        {"bad marker", "X3512" + charge + "\n", true, false, "", {1, 517}},
        {"letter in the length", "#35x2" + charge + "\n", true, false, "", {1, 1, 3, 513}},
        {"a gigabyte announced", "#9999999999" + charge + "\n", true, false, "", {1, 1, 9, 513}},
        {"silent", "", false, false, "", {}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        EcrireFichier("ESSAI1", ancien);
        banc.analyseur->EffacerJournal();
        banc.analyseur->RemplacerReponse("DISKRD", c.reponse, c.fin);
        EXPECT_EQ(anritsu_save_to_file(ud, "ESSAI1"), c.copie);
        EXPECT_EQ(LireFichier("ESSAI1"), c.copie ? c.resultat : ancien) << "replaced by a whole copy only";
        EXPECT_EQ(Locaux(), (std::vector<std::string>{"ESSAI1"})) << "no partial copy left";
        EXPECT_EQ(banc.analyseur->Fichier("C:\\ESSAI1").has_value(), !c.copie) << "kept when the copy failed";
        EXPECT_EQ(Ecrits(*banc.analyseur, "DEL \"C:\\ESSAI1\""), c.copie ? 1 : 0);
        EXPECT_EQ(Lectures(), c.lectures);
        EXPECT_EQ(banc.analyseur->SortieEnAttente(), "") << "nothing of the reply is left";
    }
}

// A file beyond one piece comes in pieces, the last with its end byte.
TEST_F(FichiersTrace, LargeFilesComeInPieces) {
    std::string charge(2'500'000, '\0');
    std::uint32_t x = 12345;
    for (char &c : charge) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    banc.analyseur->RemplacerReponse("DISKRD", "#7" + std::to_string(charge.size()) + charge + "\n");
    Envoyer("SAVE \"C:\\GRAND\"");
    banc.analyseur->EffacerJournal();
    ASSERT_TRUE(anritsu_save_to_file(ud, "GRAND"));
    EXPECT_EQ(LireFichier("GRAND"), charge);
    const std::size_t morceau = kAnritsuMorceauFichier;
    EXPECT_EQ(Lectures(), (std::vector<std::size_t>{1, 1, 7, morceau, morceau, charge.size() - 2 * morceau + 1}));
}

TEST_F(FichiersTrace, NamesAndLocalFilesThatCannotBeUsedSendNothing) {
    for (const std::string &nom : {std::string(""), std::string(30, 'A'), std::string("A\"B"), std::string("ABSENT/X")}) {
        SCOPED_TRACE(nom);
        banc.analyseur->EffacerJournal();
        EXPECT_FALSE(anritsu_save_to_file(ud, nom.c_str()));
        EXPECT_TRUE(banc.analyseur->Journal().empty());
    }
    EXPECT_FALSE(anritsu_save_to_file(ud, nullptr));
    EXPECT_TRUE(Locaux().empty());
    // 29 characters are a name.
    const std::string nom(29, 'N');
    EXPECT_TRUE(anritsu_save_to_file(ud, nom.c_str()));
    EXPECT_EQ(Locaux(), (std::vector<std::string>{nom}));
}

}  // namespace
