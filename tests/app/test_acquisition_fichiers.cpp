// Golden record files: a scripted acquisition of the test double and "Pilote bidon" (whose
// `init` loads its manual-control panel), sampled on the fake clock and written through the
// real sampling step, must leave these exact bytes on disk. Runs under the French locale of
// the window tests: numbers still use ".".
#include "framework/bidon_pilote.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "platform/clock.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

const char *Ressources = BANC_SOURCE_DIR "/ui";
constexpr std::time_t kDebut = 1710511500;  // 03-15-2024 14:05:00 UTC

std::string Lire(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// 8-byte little-endian doubles, built byte by byte.
std::string LE(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    std::string s;
    for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    return s;
}

// The vector of "Pilote bidon": abscissae 1 to 50, then 50 zeros.
std::string VecteurBidon() {
    std::string s;
    for (int i = 1; i <= 50; ++i) s += LE(i);
    for (int i = 1; i <= 50; ++i) s += LE(0.0);
    return s;
}

class AcquisitionFichiers : public testing::Test {
protected:
    void SetUp() override {
        SetResourceDirectory(Ressources);
        if (const char *tz = std::getenv("TZ")) tz_avant_ = tz;
        setenv("TZ", "UTC", 1);
        tzset();
        horloge::UtiliserHorlogeFactice(kDebut);
        char modele[] = "/tmp/banc-acquisition-XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier_ = modele;
        commande_ = LoadPanel(0, "Interface.uir", P_Commande);
        graphs_ = LoadPanel(0, "Interface.uir", P_Graphs);
        ASSERT_GT(commande_, 0);
        ASSERT_GT(graphs_, 0);
        SetCtrlVal(graphs_, P_Graphs_N_nbpointsgraphs, 10);
        Marquer_donnees("", commande_, P_Commande_DeMarquage);
    }
    void TearDown() override {
        Fermer_enregistrement(liste_);
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
        liste_ = Effacer_liste_inst(liste_);
        Marquer_donnees("", commande_, P_Commande_DeMarquage);
        DiscardPanel(commande_);
        DiscardPanel(graphs_);
        horloge::UtiliserHorlogeReelle();
        if (tz_avant_) setenv("TZ", tz_avant_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
        fs::remove_all(dossier_);
    }

    // What an acquisition start does with the buffers, with the chosen vector sub-sampling.
    void Demarrer(int sous_echantillonnage) {
        SetCtrlVal(commande_, P_Commande_N_sous_ech_2D, sous_echantillonnage);
        Reserver_buffer_circu(liste_);
        for (fichei *n = liste_; n; n = n->suivant) {
            if (n->plugin->init) {
                ASSERT_GE(n->plugin->init(n->plugin), 0);
            }
        }
        Reserver_buffer_circu(liste_);
        Init_buffer_circu(commande_, graphs_);
        ASSERT_EQ(Init_buffer2D_circu(liste_), 0);
    }
    void Arreter() {
        Fermer_enregistrement(liste_);
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
    }
    // One tick of the sampling timer: a second later, the sample, then the record row.
    void Tick() {
        horloge::AvancerHorlogeFactice(1.0);
        ++tick_;
        for (std::size_t k = 0; k < 6; ++k)
            Essai(essai_).config.numeros_1D[k] = static_cast<unsigned>(10 * tick_ + k + 1);
        Echantilloner(liste_);
        Ecriture_donnees(liste_);
    }
    std::string Chemin(const std::string &nom) const { return (dossier_ / nom).string(); }

    fs::path dossier_;
    int commande_ = 0;
    int graphs_ = 0;
    fichei *liste_ = nullptr;
    PInstrument *essai_ = nullptr;
    int tick_ = 0;
    std::optional<std::string> tz_avant_;
};

TEST_F(AcquisitionFichiers, TwoRecordingsOfTheTestDoubleAndPiloteBidon) {
    ConfigEssai c;
    c.nom = "Essai";
    c.mesures_1D = true;
    c.noms_1D = {"V1", "V2", "V3", "V4", "V5", "V6"};
    c.valeurs_1D = {1.0, -1.0, 0.0, 1.000001, -2.5, NotANumber()};
    c.numeros_1D.assign(6, 0);
    c.calculs_1D = true;
    c.noms_calcul = {"moy"};
    c.valeurs_calcul = {1234.5};
    essai_ = CreerEssai(c);
    liste_ = Inserer_instru(liste_, "essai.dll", essai_, 0);
    PInstrument *bidon = Nouvel_instrument("pilote_bidon.dll");
    ASSERT_NE(bidon, nullptr);
    liste_ = Inserer_instru(liste_, "pilote_bidon.dll", bidon, 1);

    // Vector records follow the count of rows since the program started: bring it to a
    // multiple of 3 with nothing open, so that this test knows which rows are due.
    while (Nombre_ecritures() % 3 != 0) Ecriture_donnees(nullptr);

    // First recording, a vector record at every row.
    Demarrer(1);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai.xls").c_str(), liste_), 0);
    Tick();
    Marquer_donnees("%d%s essai", commande_, P_Commande_DeMarquage);
    Tick();
    Arreter();

    // Second recording, a vector record every third row of the program: the count goes on
    // from the first file (rows 3 and 6 of the program here, rows 1 and 4 of this file).
    Demarrer(3);
    ASSERT_EQ(Ouvrir_enregistrement(Chemin("essai2.xls").c_str(), liste_), 0);
    Tick();
    Tick();
    Marquer_donnees("", commande_, P_Commande_DeMarquage);
    Tick();
    Tick();
    Arreter();

    const std::string en_tete =
        "Date\tHeure\tMarqueur\tDur\xE9" "e \xE9" "coul\xE9" "e"
        "\tEssai V1\tMesure n\xB0\tEssai V2\tMesure n\xB0\tEssai V3\tMesure n\xB0"
        "\tEssai V4\tMesure n\xB0\tEssai V5\tMesure n\xB0\tEssai V6\tMesure n\xB0\tEssai moy\r\n";
    EXPECT_EQ(Lire(Chemin("essai.xls")),
              en_tete +
                  "03-15-2024\t14:05:01\t\t1\t1.000000e+00\t11\t-1.000000e+00\t12\t0.000000e+00\t13"
                  "\t1.000001\t14\t-2.500000\t15\tnan\t16\t1234.500000\r\n"
                  "03-15-2024\t14:05:02\t%d%s essai\t2\t1.000000e+00\t21\t-1.000000e+00\t22"
                  "\t0.000000e+00\t23\t1.000001\t24\t-2.500000\t25\tnan\t26\t1234.500000\r\n");
    EXPECT_EQ(Lire(Chemin("essai2.xls")),
              en_tete +
                  "03-15-2024\t14:05:03\t%d%s essai\t1\t1.000000e+00\t31\t-1.000000e+00\t32"
                  "\t0.000000e+00\t33\t1.000001\t34\t-2.500000\t35\tnan\t36\t1234.500000\r\n"
                  "03-15-2024\t14:05:04\t%d%s essai\t2\t1.000000e+00\t41\t-1.000000e+00\t42"
                  "\t0.000000e+00\t43\t1.000001\t44\t-2.500000\t45\tnan\t46\t1234.500000\r\n"
                  "03-15-2024\t14:05:05\t\t3\t1.000000e+00\t51\t-1.000000e+00\t52\t0.000000e+00\t53"
                  "\t1.000001\t54\t-2.500000\t55\tnan\t56\t1234.500000\r\n"
                  "03-15-2024\t14:05:06\t\t4\t1.000000e+00\t61\t-1.000000e+00\t62\t0.000000e+00\t63"
                  "\t1.000001\t64\t-2.500000\t65\tnan\t66\t1234.500000\r\n");

    const std::string en_tete_vecteurs =
        "Date\tHeure\tDur\xE9" "e \xE9" "coul\xE9" "e\tMarqueur"
        "\tIndices Voie \xE0 la con [50]\tMesure Voie \xE0 la con [50]\n";
    const std::string vecteur = VecteurBidon();
    ASSERT_EQ(vecteur.size(), 800u);
    EXPECT_EQ(vecteur.substr(0, 16), std::string("\0\0\0\0\0\0\xF0\x3F\0\0\0\0\0\0\0\x40", 16));
    EXPECT_EQ(vecteur.substr(392, 16), std::string("\0\0\0\0\0\0\x49\x40\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(Lire(Chemin("essai-Pilote bidon.xls")),
              en_tete_vecteurs + "03-15-2024\t14:05:01\t1\t\n" + vecteur +
                  "03-15-2024\t14:05:02\t2\t%d%s essai\n" + vecteur);
    EXPECT_EQ(Lire(Chemin("essai2-Pilote bidon.xls")),
              en_tete_vecteurs + "03-15-2024\t14:05:03\t1\t%d%s essai\n" + vecteur +
                  "03-15-2024\t14:05:06\t4\t\n" + vecteur);
    // The test double offers no vector channel: no file of its own.
    EXPECT_FALSE(fs::exists(Chemin("essai-Essai.xls")));
}

TEST_F(AcquisitionFichiers, MarkerIsShownAsWrittenInTheMarkerControl) {
    const std::string long_texte = "%s" + std::string(298, 'x');
    struct {
        std::string texte;
        std::string montre;
    } const cas[] = {
        {"%d", "%d"},
        {"\xE9t\xE9 %s", "\xE9t\xE9 %s"},
        {long_texte, long_texte.substr(0, 254)},
        {"", ""},
    };
    for (const auto &m : cas) {
        Marquer_donnees(m.texte.c_str(), commande_, P_Commande_DeMarquage);
        char lu[400] = {};
        ASSERT_EQ(GetCtrlVal(commande_, P_Commande_DeMarquage, lu), 0);
        EXPECT_EQ(lu, m.montre);
        EXPECT_EQ(Marqueur_courant(), m.montre);
    }
}

}  // namespace
