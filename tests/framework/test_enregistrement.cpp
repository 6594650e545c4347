// Record files and the data marker, written from instances of the test double: the exact bytes
// of headers, rows and vector records, file names, sub-sampling and failures.
#include "framework/enregistrement.h"
#include "framework/voies.h"
#include "platform/clock.h"
#include "platform/toolbox.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDebut = 1704164645;  // 01-02-2024 03:04:05 UTC
const std::string kDureeEcoulee = "Dur\xE9" "e \xE9" "coul\xE9" "e";

// 8-byte little-endian doubles, built byte by byte.
std::string LE(std::initializer_list<double> valeurs) {
    std::string s;
    for (double v : valeurs) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    return s;
}

std::string Lire(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Decouper(const std::string &s, const std::string &sep) {
    std::vector<std::string> r;
    std::size_t debut = 0;
    for (std::size_t p; (p = s.find(sep, debut)) != std::string::npos; debut = p + sep.size())
        r.push_back(s.substr(debut, p - debut));
    r.push_back(s.substr(debut));
    return r;
}

// Lines of a main record file (each must end with CR LF), without their line ends.
std::vector<std::string> LignesPrincipales(const std::string &contenu) {
    EXPECT_TRUE(contenu.size() >= 2 && contenu.substr(contenu.size() - 2) == "\r\n");
    auto lignes = Decouper(contenu, "\r\n");
    lignes.pop_back();
    return lignes;
}

std::set<std::string> FichiersSous(const fs::path &dossier) {
    std::set<std::string> r;
    for (const auto &e : fs::recursive_directory_iterator(dossier))
        if (e.is_regular_file()) r.insert(fs::relative(e.path(), dossier).string());
    return r;
}

int DescripteursOuverts() {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// An instrument list of test-double instances, built node by node as the list module does.
class Liste {
public:
    Liste() = default;
    Liste(const Liste &) = delete;
    Liste &operator=(const Liste &) = delete;
    ~Liste() {
        Fermer_enregistrement(Tete());
        for (auto &n : noeuds_) n->plugin->liberer(n->plugin);
    }
    PInstrument *Ajouter(const ConfigEssai &config, int tatoo) {
        auto n = std::make_unique<fichei>();
        n->plugin = CreerEssai(config);
        n->tatoo = tatoo;
        if (!noeuds_.empty()) noeuds_.back()->suivant = n.get();
        noeuds_.push_back(std::move(n));
        return noeuds_.back()->plugin;
    }
    fichei *Tete() const { return noeuds_.empty() ? nullptr : noeuds_.front().get(); }
    fichei *Noeud(std::size_t i) const { return noeuds_[i].get(); }

private:
    std::vector<std::unique_ptr<fichei>> noeuds_;
};

ConfigEssai Vecteurs(const std::string &nom, std::vector<std::string> noms = {},
                     std::vector<std::vector<double>> valeurs = {},
                     std::vector<std::vector<double>> indices = {}) {
    ConfigEssai c;
    c.nom = nom;
    c.mesures_2D = true;
    c.noms_2D = std::move(noms);
    c.valeurs_2D = std::move(valeurs);
    c.indices_2D = std::move(indices);
    c.numeros_2D.assign(c.noms_2D.size(), 0);
    return c;
}

class Enregistrement : public testing::Test {
protected:
    void SetUp() override {
        if (const char *tz = std::getenv("TZ")) tz_avant_ = tz;
        setenv("TZ", "UTC", 1);
        tzset();
        horloge::UtiliserHorlogeFactice(kDebut);
        temps_echantillon = kDebut;
        sous_ech_2D_avant_ = sous_ech_2D;
        sous_ech_2D = 1;
        Marquer_donnees("", 0, 0);
        char modele[] = "/tmp/banc-enregistrement-XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier_ = modele;
    }
    void TearDown() override {
        Fermer_enregistrement(liste_.Tete());
        sous_ech_2D = sous_ech_2D_avant_;
        Marquer_donnees("", 0, 0);
        horloge::UtiliserHorlogeReelle();
        if (tz_avant_) setenv("TZ", tz_avant_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
        fs::remove_all(dossier_);
    }
    std::string Chemin(const std::string &nom) const { return (dossier_ / nom).string(); }
    // Calls of the row writer with nothing open until the program-wide count is a multiple of
    // `n`, so that a test knows which of its calls are due for vector records.
    static void Aligner(int n) {
        while (Nombre_ecritures() % n != 0) Ecriture_donnees(nullptr);
    }

    fs::path dossier_;
    Liste liste_;
    int sous_ech_2D_avant_ = 1;
    std::optional<std::string> tz_avant_;
};

TEST_F(Enregistrement, EmptyListGivesTheBareHeaderAndFourFieldRows) {
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), nullptr), 0);
    struct {
        std::time_t ecart;  // latest sampling step minus the opening
        const char *ecoule;
    } const cas[] = {{0, "0"}, {12, "12"}, {-3, "-3"}};
    for (const auto &c : cas) {
        temps_echantillon = kDebut + c.ecart;
        Ecriture_donnees(nullptr);
    }
    Fermer_enregistrement(nullptr);
    EXPECT_EQ(Lire(Chemin("essai.xls")), "Date\tHeure\tMarqueur\t" + kDureeEcoulee + "\r\n" +
                                             "01-02-2024\t03:04:05\t\t0\r\n"
                                             "01-02-2024\t03:04:05\t\t12\r\n"
                                             "01-02-2024\t03:04:05\t\t-3\r\n");
    EXPECT_EQ(FichiersSous(dossier_), std::set<std::string>{"essai.xls"});
}

TEST_F(Enregistrement, HeaderListsMeasuredChannelsOfAllInstrumentsThenComputedOnes) {
    ConfigEssai a;
    a.nom = "Fr\xE9quencem\xE8tre";
    a.mesures_1D = true;
    a.noms_1D = {"F1", "F2"};
    a.valeurs_1D = {10000000.0, 0.5};
    a.numeros_1D = {42, 43};
    a.calculs_1D = true;
    a.noms_calcul = {"moy"};
    a.valeurs_calcul = {-2.5};
    liste_.Ajouter(a, 0);
    ConfigEssai b;
    b.nom = "Calc";
    b.calculs_1D = true;
    b.noms_calcul = {"x"};
    b.valeurs_calcul = {1.0};
    liste_.Ajouter(b, 1);
    ConfigEssai c;  // measured scalars of a later instrument still come before computed ones
    c.nom = "Multi";
    c.mesures_1D = true;
    c.noms_1D = {"U"};
    c.valeurs_1D = {-1.0};
    c.numeros_1D = {7};
    liste_.Ajouter(c, 2);

    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    temps_echantillon = kDebut + 7;
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());

    const std::string nom = "Fr\xE9quencem\xE8tre";
    EXPECT_EQ(Lire(Chemin("essai.xls")),
              "Date\tHeure\tMarqueur\t" + kDureeEcoulee + "\t" + nom + " F1\tMesure n\xB0\t" + nom +
                  " F2\tMesure n\xB0\tMulti U\tMesure n\xB0\t" + nom + " moy\tCalc x\r\n" +
                  "01-02-2024\t03:04:05\t\t7\t10000000.000000\t42\t5.000000e-01\t43"
                  "\t-1.000000e+00\t7\t-2.500000\t1.000000e+00\r\n");
}

// Each value is written by the rule ("%e" when 1.0 >= |v|, else "%f"), byte for byte as the C
// library prints it, in the measured and in the computed columns.
TEST_F(Enregistrement, ValuesAreWrittenLikePrintfByTheNumberRule) {
    const double nan = NotANumber();
    struct {
        double valeur;
        const char *attendu;  // null: only compared with snprintf
    } const cas[] = {
        {0.0, "0.000000e+00"},
        {-0.0, "-0.000000e+00"},
        {1.0, "1.000000e+00"},
        {-1.0, "-1.000000e+00"},
        {0.5, "5.000000e-01"},
        {0.9999995, "9.999995e-01"},
        {1e-7, "1.000000e-07"},
        {1e-300, "1.000000e-300"},
        {std::numeric_limits<double>::denorm_min(), "4.940656e-324"},
        {-std::numeric_limits<double>::denorm_min(), "-4.940656e-324"},
        {2.2250738585072009e-308, "2.225074e-308"},  // largest denormal
        {1.000001, "1.000001"},
        {-2.5, "-2.500000"},
        {std::nextafter(1.0, 2.0), "1.000000"},
        {123456.789, "123456.789000"},
        {1e22, "10000000000000000000000.000000"},
        {-1e22, "-10000000000000000000000.000000"},
        {DBL_MAX, nullptr},
        {-DBL_MAX, nullptr},
        {nan, "nan"},
        {-nan, "-nan"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    const unsigned numeros[] = {0, 7, 2147483648u, 4294967295u};
    ConfigEssai c;
    c.mesures_1D = c.calculs_1D = true;
    std::size_t i = 0;
    for (const auto &x : cas) {
        c.noms_1D.push_back("m" + std::to_string(i));
        c.valeurs_1D.push_back(x.valeur);
        c.numeros_1D.push_back(numeros[i % std::size(numeros)]);
        c.noms_calcul.push_back("c" + std::to_string(i));
        c.valeurs_calcul.push_back(x.valeur);
        ++i;
    }
    liste_.Ajouter(c, 0);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());

    const auto lignes = LignesPrincipales(Lire(Chemin("essai.xls")));
    ASSERT_EQ(lignes.size(), 2u);
    const auto champs = Decouper(lignes[1], "\t");
    const std::size_t n = std::size(cas);
    ASSERT_EQ(champs.size(), 4 + 3 * n);
    for (std::size_t k = 0; k < n; ++k) {
        const double v = cas[k].valeur;
        char imprime[400];
        std::snprintf(imprime, sizeof imprime, 1.0 >= std::fabs(v) ? "%e" : "%f", v);
        char numero[16];
        std::snprintf(numero, sizeof numero, "%u", numeros[k % std::size(numeros)]);
        SCOPED_TRACE(imprime);
        EXPECT_EQ(champs[4 + 2 * k], imprime);
        EXPECT_EQ(champs[5 + 2 * k], numero);
        EXPECT_EQ(champs[4 + 2 * n + k], imprime);
        if (cas[k].attendu) {
            EXPECT_EQ(champs[4 + 2 * k], cas[k].attendu);
        }
    }
}

// The row's numbers are written without the C library, from the double's binary value; over
// every kind of double (random bit patterns, every magnitude, the exact ties between two
// printable numbers and their neighbours, the edges of the fast ranges) the bytes are those of
// snprintf, under both formats.
TEST(NombresDesLignes, AreTheBytesOfPrintfForEveryKindOfDouble) {
    std::vector<double> valeurs = {0.0, -0.0, 1.0, -1.0, 0.5, 1e7, 9999999.5, 9999999.4999999, 1e-21, 9.99999e-22,
                                   9007199254740992.0, 9007199254740991.0, 18014398509481984.0, 1e22, DBL_MAX,
                                   std::numeric_limits<double>::denorm_min(), DBL_MIN, NotANumber(),
                                   std::numeric_limits<double>::infinity()};
    std::uint64_t etat = 0x9E3779B97F4A7C15ull;
    const auto hasard = [&] {
        etat ^= etat << 13, etat ^= etat >> 7, etat ^= etat << 17;
        return etat;
    };
    for (int k = 0; k < 60000; ++k) valeurs.push_back(std::bit_cast<double>(hasard()));
    for (int k = 0; k < 60000; ++k) {
        const double exposant = -30.0 + 50.0 * static_cast<double>(hasard() % 1000000) / 1e6;
        valeurs.push_back(std::pow(10.0, exposant) * (k % 2 ? -1.0 : 1.0));
    }
    // k / 2^s: exact ties of the sixth decimal and of the seventh significant digit.
    for (int s = 0; s < 64; s += 3)
        for (int k = 1; k < 600; k += 7) valeurs.push_back(std::ldexp(static_cast<double>(k), -s));
    // Around powers of ten and around halves of the last printed digit.
    for (int p = -24; p <= 17; ++p)
        for (double f : {1.0, 9.9999995, 9.9999985, 1.0000005, 5.0000005, 2.5}) {
            const double v = f * std::pow(10.0, p);
            valeurs.insert(valeurs.end(), {v, std::nextafter(v, 0.0), std::nextafter(v, DBL_MAX)});
        }
    int fautes = 0;
    for (const double v : valeurs)
        for (const double regle : {v, 0.5, 2.0}) {
            char ecrit[kLongueurValeurMax + 1];
            *Ecrire_valeur(ecrit, regle, v) = '\0';
            char attendu[400];
            std::snprintf(attendu, sizeof attendu, 1.0 >= std::fabs(regle) ? "%e" : "%f", v);
            if (std::string(ecrit) != attendu && ++fautes <= 10)
                ADD_FAILURE() << std::hexfloat << v << " (rule " << regle << "): " << ecrit << " instead of " << attendu;
        }
    EXPECT_EQ(fautes, 0);
}

TEST_F(Enregistrement, MarkerIsWrittenByteForByteAndCutTo254) {
    liste_.Ajouter(Vecteurs("Oscillo"), 0);
    const std::string long_texte = std::string(250, 'a') + "%d%s" + std::string(46, 'b');
    struct {
        const char *texte;
        std::string attendu;
    } const cas[] = {
        {"", ""},
        {"%d", "%d"},
        {"%s%n%x %%", "%s%n%x %%"},
        {"\xE9t\xE9 chaud", "\xE9t\xE9 chaud"},
        {long_texte.c_str(), long_texte.substr(0, 254)},
        {nullptr, ""},
    };
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    for (const auto &c : cas) {
        Marquer_donnees(c.texte, 0, 0);
        EXPECT_EQ(Marqueur_courant(), c.attendu);
        Ecriture_donnees(liste_.Tete());
    }
    Fermer_enregistrement(liste_.Tete());

    const auto lignes = LignesPrincipales(Lire(Chemin("essai.xls")));
    const auto vecteurs = Decouper(Lire(Chemin("essai-Oscillo.xls")), "\n");
    ASSERT_EQ(lignes.size(), 1 + std::size(cas));
    ASSERT_EQ(vecteurs.size(), 2 + std::size(cas));  // header, records, and after the last LF
    for (std::size_t k = 0; k < std::size(cas); ++k) {
        EXPECT_EQ(Decouper(lignes[k + 1], "\t")[2], cas[k].attendu);
        EXPECT_EQ(Decouper(vecteurs[k + 1], "\t")[3], cas[k].attendu);
    }
    EXPECT_EQ(lignes[1], "01-02-2024\t03:04:05\t\t0");  // empty marker: two adjacent tabs
}

TEST_F(Enregistrement, VectorRecordIsATextLineThenAbscissaeAndValuesAsLittleEndianDoubles) {
    ConfigEssai c = Vecteurs("Oscillo", {"CH1", "CH2"}, {{0.5, -1.0, 2.0}, {3.0, 4.0}},
                             {{0.0, 1.0, 2.0}, {10.0, 20.0}});
    c.calculs_2D = true;
    c.noms_calcul2D = {"fit"};
    c.valeurs_calcul2D = {{7.0}};
    c.indices_calcul2D = {{9.0}};
    liste_.Ajouter(c, 0);
    liste_.Ajouter(Vecteurs("Vide"), 1);  // offers the group, reports no channel

    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    Marquer_donnees("m", 0, 0);
    temps_echantillon = kDebut + 5;
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());

    const std::string en_tete = "Date\tHeure\t" + kDureeEcoulee + "\tMarqueur";
    const std::string ligne = "01-02-2024\t03:04:05\t5\tm\n";
    EXPECT_EQ(Lire(Chemin("essai-Oscillo.xls")),
              en_tete +
                  "\tIndices CH1 [3]\tMesure CH1 [3]\tIndices CH2 [2]\tMesure CH2 [2]"
                  "\tIndices fit [1]\tMesure fit [1]\n" +
                  ligne + LE({0.0, 1.0, 2.0}) + LE({0.5, -1.0, 2.0}) + LE({10.0, 20.0}) +
                  LE({3.0, 4.0}) + LE({9.0}) + LE({7.0}));
    EXPECT_EQ(Lire(Chemin("essai-Vide.xls")), en_tete + "\n" + ligne);
    EXPECT_EQ(LE({1.0}), std::string("\0\0\0\0\0\0\xF0\x3F", 8));
    // The main file stays pure CR LF text, the vector file has no CR at all.
    EXPECT_EQ(Lire(Chemin("essai.xls")), "Date\tHeure\tMarqueur\t" + kDureeEcoulee + "\r\n" +
                                             "01-02-2024\t03:04:05\tm\t5\r\n");
}

TEST_F(Enregistrement, VectorRecordTakesTheSizeAtWritingTime) {
    PInstrument *p = liste_.Ajouter(Vecteurs("Oscillo", {"CH1"}, {{1.0, 2.0}}, {{0.0, 1.0}}), 0);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    Ecriture_donnees(liste_.Tete());
    Essai(p).config.valeurs_2D = {std::vector<double>(5000, 3.0)};
    Essai(p).config.indices_2D = {std::vector<double>(5000, 4.0)};
    Ecriture_donnees(liste_.Tete());
    Essai(p).config.valeurs_2D = {{}};
    Essai(p).config.indices_2D = {{}};
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());

    const std::string ligne = "01-02-2024\t03:04:05\t0\t\n";
    std::string grand_i, grand_v;
    for (int k = 0; k < 5000; ++k) grand_i += LE({4.0}), grand_v += LE({3.0});
    EXPECT_EQ(Lire(Chemin("essai-Oscillo.xls")),
              "Date\tHeure\t" + kDureeEcoulee + "\tMarqueur\tIndices CH1 [2]\tMesure CH1 [2]\n" +
                  ligne + LE({0.0, 1.0}) + LE({1.0, 2.0}) + ligne + grand_i + grand_v + ligne);
}

// Vector records come at the calls whose program-wide count is a multiple of `sous_ech_2D`;
// the count goes on from one record file to the next. The elapsed seconds of each record tell
// which call wrote it.
TEST_F(Enregistrement, VectorRecordsFollowTheProgramWideCountOfRows) {
    struct {
        int diviseur;
        std::vector<std::string> premier;  // 4 calls
        std::vector<std::string> second;   // 5 calls
    } const cas[] = {
        {1, {"1", "2", "3", "4"}, {"1", "2", "3", "4", "5"}},
        {3, {"3"}, {"2", "5"}},  // counts 1..4, then 5..9
        {0, {"1", "2", "3", "4"}, {"1", "2", "3", "4", "5"}},
        {-2, {"1", "2", "3", "4"}, {"1", "2", "3", "4", "5"}},
    };
    liste_.Ajouter(Vecteurs("Oscillo"), 0);
    for (const auto &c : cas) {
        SCOPED_TRACE(c.diviseur);
        sous_ech_2D = c.diviseur;
        Aligner(3);
        const auto ecrire = [&](const std::string &nom, int appels) {
            ASSERT_EQ(Ouvrir_enregistrement(Chemin(nom).c_str(), liste_.Tete()), 0);
            for (int k = 1; k <= appels; ++k) {
                temps_echantillon = kDebut + k;
                Ecriture_donnees(liste_.Tete());
            }
        };
        const auto elapsed = [&](const std::string &nom) {
            auto lignes = Decouper(Lire(Chemin(nom)), "\n");
            std::vector<std::string> r;
            for (std::size_t k = 1; k + 1 < lignes.size(); ++k) r.push_back(Decouper(lignes[k], "\t")[2]);
            return r;
        };
        ecrire("a.xls", 4);
        ecrire("b.xls", 5);
        Fermer_enregistrement(liste_.Tete());
        EXPECT_EQ(elapsed("a-Oscillo.xls"), c.premier);
        EXPECT_EQ(elapsed("b-Oscillo.xls"), c.second);
        EXPECT_EQ(LignesPrincipales(Lire(Chemin("b.xls"))).size(), 6u);
    }
}

TEST_F(Enregistrement, RowsAreCountedWhileNoFileIsOpen) {
    liste_.Ajouter(Vecteurs("Oscillo"), 0);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    Fermer_enregistrement(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());  // closing twice is harmless
    EXPECT_FALSE(Enregistrement_ouvert());
    EXPECT_EQ(liste_.Noeud(0)->fichier, nullptr);
    const long long avant = Nombre_ecritures();
    Ecriture_donnees(liste_.Tete());
    Ecriture_donnees(liste_.Tete());
    EXPECT_EQ(Nombre_ecritures(), avant + 2);
    EXPECT_EQ(Lire(Chemin("essai.xls")), "Date\tHeure\tMarqueur\t" + kDureeEcoulee + "\r\n");
}

// "<path up to its last '.'>-<instrument name>.<the rest>", the last '.' of the whole path;
// the instrument name as it stands. A name the file system cannot open is one failure.
TEST_F(Enregistrement, VectorFileNamesAreBuiltFromThePathAndTheName) {
    struct Instru {
        std::string nom;
        int tatoo;
    };
    struct {
        const char *chemin;
        std::vector<Instru> instruments;
        std::vector<std::string> dossiers;  // made before the opening
        int resultat;
        std::set<std::string> fichiers;     // besides the record file
    } const cas[] = {
        {"essai.xls", {{"Oscillo", 0}}, {}, 0, {"essai-Oscillo.xls"}},
        {"a.b.xls", {{"Oscillo", 0}}, {}, 0, {"a.b-Oscillo.xls"}},
        {"essai", {{"Oscillo", 0}}, {}, 0, {"essai-Oscillo"}},
        {"run.1/essai.dat", {{"Oscillo", 0}}, {"run.1"}, 0, {"run.1/essai-Oscillo.dat"}},
        // the last '.' lies in a directory name: the instrument name goes into that name
        {"run.1/essai", {{"Oscillo", 0}}, {"run.1", "run-Oscillo.1"}, 0, {"run-Oscillo.1/essai"}},
        {"run.1/essai", {{"Oscillo", 0}}, {"run.1"}, -1, {}},
        // a '/' of an instrument name is a '/' of the path
        {"essai.xls", {{"sous/B", 0}}, {"essai-sous"}, 0, {"essai-sous/B.xls"}},
        {"essai.xls", {{"x/y", 0}, {"Oscillo", 1}}, {}, -1, {"essai-Oscillo.xls"}},
        {"essai.xls", {{"Pilote bidon", 0}, {"Pilote bidon", 4}}, {}, 0,
         {"essai-Pilote bidon.xls", "essai-Pilote bidon-4.xls"}},
        {"essai.xls",
         {{"Oscillo", 3}, {"Oscillo", 7}, {"Oscillo-7", 9}, {"Oscillo", 7}},
         {},
         0,
         {"essai-Oscillo.xls", "essai-Oscillo-7.xls", "essai-Oscillo-7-9.xls", "essai-Oscillo-7-2.xls"}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.chemin);
        fs::remove_all(dossier_);
        fs::create_directories(dossier_);
        for (const std::string &d : c.dossiers) fs::create_directories(dossier_ / d);
        Liste liste;
        for (const auto &i : c.instruments) liste.Ajouter(Vecteurs(i.nom), i.tatoo);
        EXPECT_EQ(Ouvrir_enregistrement(Chemin(c.chemin).c_str(), liste.Tete()), c.resultat);
        Ecriture_donnees(liste.Tete());
        Fermer_enregistrement(liste.Tete());
        auto attendus = c.fichiers;
        attendus.insert(c.chemin);
        EXPECT_EQ(FichiersSous(dossier_), attendus);
    }
}

// Two names that the file system takes for one file are two instruments sharing a file too:
// the later one gets a name of its own, and the earlier one's file is left whole.
TEST_F(Enregistrement, NamesOfOneFileAreNotShared) {
    fs::create_symlink("essai-A.xls", dossier_ / "essai-B.xls");
    liste_.Ajouter(Vecteurs("A", {"X"}, {{1.0}}, {{10.0}}), 0);
    liste_.Ajouter(Vecteurs("B", {"X"}, {{2.0}}, {{20.0}}), 5);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());
    const std::string debut = "Date\tHeure\t" + kDureeEcoulee + "\tMarqueur\tIndices X [1]\tMesure X [1]\n";
    const std::string ligne = "01-02-2024\t03:04:05\t0\t\n";
    EXPECT_EQ(Lire(Chemin("essai-A.xls")), debut + ligne + LE({10.0, 1.0}));
    EXPECT_EQ(Lire(Chemin("essai-B-5.xls")), debut + ligne + LE({20.0, 2.0}));
}

TEST_F(Enregistrement, TwoInstrumentsOfOneNameKeepTheirOwnVectors) {
    liste_.Ajouter(Vecteurs("Oscillo", {"CH1"}, {{1.0}}, {{10.0}}), 3);
    liste_.Ajouter(Vecteurs("Oscillo", {"CH1"}, {{2.0, 2.5}}, {{20.0, 21.0}}), 7);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), 0);
    Ecriture_donnees(liste_.Tete());
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());
    const std::string debut = "Date\tHeure\t" + kDureeEcoulee + "\tMarqueur";
    const std::string ligne = "01-02-2024\t03:04:05\t0\t\n";
    EXPECT_EQ(Lire(Chemin("essai-Oscillo.xls")),
              debut + "\tIndices CH1 [1]\tMesure CH1 [1]\n" + ligne + LE({10.0, 1.0}) + ligne +
                  LE({10.0, 1.0}));
    EXPECT_EQ(Lire(Chemin("essai-Oscillo-7.xls")),
              debut + "\tIndices CH1 [2]\tMesure CH1 [2]\n" + ligne + LE({20.0, 21.0, 2.0, 2.5}) +
                  ligne + LE({20.0, 21.0, 2.0, 2.5}));
}

TEST_F(Enregistrement, FilesThatCannotBeOpenedAreCountedAndTheOthersWritten) {
    liste_.Ajouter(Vecteurs("Oscillo"), 0);
    liste_.Ajouter(Vecteurs("Scope"), 1);
    const std::string en_tete_vecteurs = "Date\tHeure\t" + kDureeEcoulee + "\tMarqueur\n";
    const std::string ligne_vecteurs = "01-02-2024\t03:04:05\t0\t\n";

    // The record path is a directory: no main file; the vector files are still written.
    fs::create_directory(dossier_ / "rep.xls");
    EXPECT_EQ(Ouvrir_enregistrement(Chemin("rep.xls").c_str(), liste_.Tete()), -1);
    EXPECT_FALSE(Enregistrement_ouvert());
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());
    EXPECT_EQ(Lire(Chemin("rep-Oscillo.xls")), en_tete_vecteurs + ligne_vecteurs);
    EXPECT_EQ(Lire(Chemin("rep-Scope.xls")), en_tete_vecteurs + ligne_vecteurs);

    // One vector file is taken by a directory: the other files are opened and written.
    fs::create_directory(dossier_ / "essai-Oscillo.xls");
    EXPECT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_.Tete()), -1);
    EXPECT_TRUE(Enregistrement_ouvert());
    EXPECT_EQ(liste_.Noeud(0)->fichier, nullptr);
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());
    EXPECT_EQ(LignesPrincipales(Lire(Chemin("essai.xls"))).size(), 2u);
    EXPECT_EQ(Lire(Chemin("essai-Scope.xls")), en_tete_vecteurs + ligne_vecteurs);

    // No directory at all: every file fails.
    EXPECT_EQ(Ouvrir_enregistrement(Chemin("absent/essai.xls").c_str(), liste_.Tete()), -3);
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());

    // No path: the main file fails, and there is no name for the vector files.
    const auto avant = FichiersSous(dossier_);
    EXPECT_EQ(Ouvrir_enregistrement(nullptr, liste_.Tete()), -3);
    EXPECT_EQ(Ouvrir_enregistrement("", liste_.Tete()), -3);
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());
    EXPECT_EQ(FichiersSous(dossier_), avant);
    EXPECT_FALSE(fs::exists("-Oscillo"));
}

TEST_F(Enregistrement, OpeningAgainClosesThePreviousSet) {
    liste_.Ajouter(Vecteurs("Oscillo"), 0);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("a.xls").c_str(), liste_.Tete()), 0);
    Ecriture_donnees(liste_.Tete());
    const int ouverts = DescripteursOuverts();
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("b.xls").c_str(), liste_.Tete()), 0);
    EXPECT_EQ(DescripteursOuverts(), ouverts);
    // The first set is complete on disk while the second is open.
    EXPECT_EQ(LignesPrincipales(Lire(Chemin("a.xls"))).size(), 2u);
    EXPECT_EQ(Decouper(Lire(Chemin("a-Oscillo.xls")), "\n").size(), 3u);
    Ecriture_donnees(liste_.Tete());
    Fermer_enregistrement(liste_.Tete());
    EXPECT_EQ(DescripteursOuverts(), ouverts - 2);
    EXPECT_EQ(LignesPrincipales(Lire(Chemin("a.xls"))).size(), 2u);
    EXPECT_EQ(LignesPrincipales(Lire(Chemin("b.xls"))).size(), 2u);
}

TEST_F(Enregistrement, WriteFailuresAreCountedOncePerFile) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
    ASSERT_EQ(Ouvrir_enregistrement("/dev/full", nullptr), 0);
    EXPECT_EQ(Fichiers_en_erreur(), 0);
    for (int k = 0; k < 2000; ++k) Ecriture_donnees(nullptr);  // well past the stream's buffer
    EXPECT_EQ(Fichiers_en_erreur(), 1);
    Fermer_enregistrement(nullptr);
    EXPECT_EQ(Fichiers_en_erreur(), 1);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), nullptr), 0);
    EXPECT_EQ(Fichiers_en_erreur(), 0);
    Ecriture_donnees(nullptr);
    Fermer_enregistrement(nullptr);
    EXPECT_EQ(Fichiers_en_erreur(), 0);
}

}  // namespace
