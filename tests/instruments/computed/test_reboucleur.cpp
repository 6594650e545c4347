// The feedback loop's send step on a bench of test doubles: the command built from the typed
// text and the value channel, sent to `execute` of the target at every sample in Auto and once
// per request in Manu; its settings block and its name. Its panel is tested in
// test_reboucleur_ui.cpp.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/reboucleur.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Commandes = std::vector<std::string>;

// Offsets of the settings block.
constexpr std::size_t kNom = 0, kTatooVoie1 = 128, kTatooInstru = 158, kTemplate = 188, kInputstr = 443;
constexpr std::size_t kMode = 700, kScheduleCmd = 704;

unsigned char *Bloc(PInstrument *i) {
    const auto [debut, fin, taille, flag] = DemanderMemoire(i);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(taille, 708u);
    EXPECT_EQ(fin, nullptr);
    return static_cast<unsigned char *>(debut);
}
void EcrireTexte(PInstrument *i, std::size_t offset, std::size_t taille, const std::string &t) {
    ASSERT_LE(t.size(), taille);
    std::memset(Bloc(i) + offset, 0, taille);
    std::memcpy(Bloc(i) + offset, t.data(), t.size());
}
std::string LireTexte(PInstrument *i, std::size_t offset, std::size_t taille) {
    const char *t = reinterpret_cast<const char *>(Bloc(i) + offset);
    return std::string(t, strnlen(t, taille));
}
void EcrireEntier(PInstrument *i, std::size_t offset, std::int32_t v) { std::memcpy(Bloc(i) + offset, &v, 4); }
std::int32_t LireEntier(PInstrument *i, std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, Bloc(i) + offset, 4);
    return v;
}

ConfigEssai Source() { return MesuresScalaires("Source", {"Valeur", "Petite"}, {1500.0, -0.000123}, 1); }
ConfigEssai SourceCalculee() {
    ConfigEssai c;
    c.nom = "Calcul";
    c.calculs_1D = true;
    c.noms_calcul = {"Resultat"};
    c.valeurs_calcul = {42.0};
    return c;
}
ConfigEssai Cible(const std::string &nom, bool avec_execute) {
    ConfigEssai c = MesuresVecteurs(nom, {"Trace"}, {{0, 0, 0}}, {{1, 2, 3}}, 1);
    c.avec_execute = avec_execute;
    return c;
}

// A bench: a scalar source (tatoo 1: "1;1" reads 1500, "1;2" reads -0.000123), an instrument
// with one computed channel (tatoo 5), a target with `execute` (tatoo 2), one without
// (tatoo 4), and the feedback loop (tatoo 3) aimed at "1;1" and "2;1".
class Reboucleur : public testing::Test, protected ListeInstruments {
protected:
    void SetUp() override {
        source_ = Ajouter(CreerEssai(Source()), 1);
        Ajouter(CreerEssai(SourceCalculee()), 5);
        cible_ = Ajouter(CreerEssai(Cible("Cible", true)), 2);
        sourde_ = Ajouter(CreerEssai(Cible("Sourde", false)), 4);
        PInstrument *b = nullptr;
        boucleur.nouveau(&b);
        ASSERT_NE(b, nullptr);
        boucle_ = Ajouter(b, 3);
        EcrireTexte(boucle_, kTatooVoie1, 30, "1;1");
        EcrireTexte(boucle_, kTatooInstru, 30, "2;1");
        EcrireTexte(boucle_, kInputstr, 255, "CENTER=$$");
        EcrireEntier(boucle_, kMode, 1);

        ASSERT_EQ(AllouerAnneaux(10), 0);
    }
    void TearDown() override {
        LibererTout();
    }

    // The commands that the target received during `echantillons` samples.
    Commandes Envoyees(int echantillons = 1) {
        Essai(cible_).commandes.clear();
        for (int k = 0; k < echantillons; ++k) Echantilloner(Tete());
        return Essai(cible_).commandes;
    }

    PInstrument *source_ = nullptr, *cible_ = nullptr, *sourde_ = nullptr, *boucle_ = nullptr;
};

// ---- the command ----------------------------------------------------------------------------

struct CasCommande {
    const char *nom;
    const char *texte;
    const char *voie;  // value channel
    const char *attendu;
};

class CommandesReboucleur : public Reboucleur, public testing::WithParamInterface<CasCommande> {};

TEST_P(CommandesReboucleur, AutoSendsTheCommandAtEverySample) {
    const CasCommande &c = GetParam();
    EcrireTexte(boucle_, kInputstr, 255, c.texte);
    EcrireTexte(boucle_, kTatooVoie1, 30, c.voie);
    EXPECT_EQ(Envoyees(3), Commandes(3, c.attendu));
}

INSTANTIATE_TEST_SUITE_P(
    Cas, CommandesReboucleur,
    testing::Values(
        CasCommande{"Valeur", "CENTER=$$", "1;1", "CENTER=1.500000e+03"},
        CasCommande{"PetiteValeurNegative", "X=$$ Hz", "1;2", "X=-1.230000e-04 Hz"},
        CasCommande{"SeulLePremierDollar", "A=$$;B=$$", "1;1", "A=1.500000e+03;B=$$"},
        CasCommande{"SansDollar", "CENTER=10", "1;1", "CENTER=10"},
        CasCommande{"SansVoie", "CENTER=$$", "", "CENTER=$$"},
        CasCommande{"VoieDisparue", "CENTER=$$", "9;9", "CENTER=$$"},
        // A "%" of the operator is an ordinary character, never a conversion.
        CasCommande{"PourcentTape", "%s%n%d%e CENTER=$$ 100%", "1;1", "%s%n%d%e CENTER=1.500000e+03 100%"},
        CasCommande{"TexteVide", "", "1;1", ""}),
    [](const testing::TestParamInfo<CasCommande> &i) { return std::string(i.param.nom); });

TEST_F(Reboucleur, ComputedValueChannelGivesThePreviousSample) {
    // A computed channel is stored after the send step: the first sample sends the missing
    // value, the next ones the value stored at the sample before.
    EcrireTexte(boucle_, kTatooVoie1, 30, "5;1");
    EXPECT_EQ(Envoyees(), Commandes{"CENTER=nan"});
    EXPECT_EQ(Envoyees(2), Commandes(2, "CENTER=4.200000e+01"));
}

TEST_F(Reboucleur, ValueIsReadAtEverySample) {
    EXPECT_EQ(Envoyees(), Commandes{"CENTER=1.500000e+03"});
    Essai(source_).config.valeurs_1D[0] = 1501.5;
    EXPECT_EQ(Envoyees(), Commandes{"CENTER=1.501500e+03"});
}

TEST_F(Reboucleur, CommandNeverExceeds254Characters) {
    // With the value 1500 ("1.500000e+03", 12 characters) a text of n characters holding "$$"
    // gives a command of n + 10: up to 244 characters it goes whole, beyond it is not sent
    // (a cut command would carry a value or setting nobody typed).
    for (const int longueur : {242, 244, 245, 254}) {
        SCOPED_TRACE(longueur);
        const std::string texte = "$$" + std::string(static_cast<std::size_t>(longueur - 2), 'x');
        EcrireTexte(boucle_, kInputstr, 255, texte);
        const Commandes c = Envoyees();
        if (longueur + 10 <= 254) {
            EXPECT_EQ(c, Commandes{"1.500000e+03" + texte.substr(2)});
        } else {
            EXPECT_TRUE(c.empty());
        }
    }
    // A loaded block whose text has no terminator: at most its 254 characters are read.
    std::memset(Bloc(boucle_) + kInputstr, 'y', 255);
    const Commandes c = Envoyees();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0], std::string(254, 'y'));
}

// ---- the modes ------------------------------------------------------------------------------

TEST_F(Reboucleur, ManuSendsOneCommandPerRequest) {
    EcrireEntier(boucle_, kMode, 2);
    EXPECT_TRUE(Envoyees(2).empty());

    boucle_->execute(boucle_, "n'importe quel texte");
    EXPECT_EQ(Envoyees(3), Commandes{"CENTER=1.500000e+03"});

    // Two requests before a sample still give one command.
    boucle_->execute(boucle_, "");
    boucle_->execute(boucle_, "encore");
    EXPECT_EQ(Envoyees(2), Commandes{"CENTER=1.500000e+03"});
}

TEST_F(Reboucleur, OffKeepsRequestsPendingUntilManu) {
    EcrireEntier(boucle_, kMode, 0);
    boucle_->execute(boucle_, "");
    EXPECT_TRUE(Envoyees(3).empty());
    EXPECT_EQ(LireEntier(boucle_, kScheduleCmd), 1);
    // Neither does Auto use it: it waits for Manu.
    EcrireEntier(boucle_, kMode, 1);
    EXPECT_EQ(Envoyees(2).size(), 2u);
    EXPECT_EQ(LireEntier(boucle_, kScheduleCmd), 1);
    EcrireEntier(boucle_, kMode, 2);
    EXPECT_EQ(Envoyees(3).size(), 1u);
    EXPECT_EQ(LireEntier(boucle_, kScheduleCmd), 0);
}

TEST_F(Reboucleur, AnyOtherModeActsAsAuto) {
    for (const std::int32_t mode : {7, -1, 3}) {
        EcrireEntier(boucle_, kMode, mode);
        EXPECT_EQ(Envoyees(2).size(), 2u) << mode;
    }
}

TEST_F(Reboucleur, RequestIsConsumedWhenNothingCanBeSent) {
    EcrireEntier(boucle_, kMode, 2);
    // Target "(aucun)": the request goes at the next sample, with nothing sent.
    EcrireTexte(boucle_, kTatooInstru, 30, "");
    boucle_->execute(boucle_, "");
    EXPECT_TRUE(Envoyees().empty());
    EXPECT_EQ(LireEntier(boucle_, kScheduleCmd), 0);
    // Choosing a target afterwards needs a new request.
    EcrireTexte(boucle_, kTatooInstru, 30, "2;1");
    EXPECT_TRUE(Envoyees().empty());
}

TEST_F(Reboucleur, TargetWithoutExecuteReceivesNothing) {
    EcrireTexte(boucle_, kTatooInstru, 30, "4;1");
    JournalEssai().clear();
    EXPECT_TRUE(Envoyees(2).empty());
    for (const std::string &e : JournalEssai()) EXPECT_NE(e.rfind("execute", 0), 0u) << e;
    EXPECT_TRUE(Essai(sourde_).commandes.empty());
}

TEST_F(Reboucleur, CommandAddressedToItByNameIsARequest) {
    EcrireEntier(boucle_, kMode, 2);
    char ligne[] = "reboucleur : CENTER=12";
    char message[kLongueurLigne] = {};
    commander_appareil(ligne, message, Tete());
    EXPECT_EQ(LireEntier(boucle_, kScheduleCmd), 1);
    EXPECT_EQ(Envoyees(2), Commandes{"CENTER=1.500000e+03"});  // its own text, not the line's
}

// ---- settings block and name ------------------------------------------------------------------

TEST_F(Reboucleur, NewInstanceAndItsSettingsBlock) {
    PInstrument *b = nullptr;
    boucleur.nouveau(&b);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(LireTexte(b, kNom, 128), "Reboucleur");
    EXPECT_EQ(LireTexte(b, kTatooVoie1, 30), "");
    EXPECT_EQ(LireTexte(b, kTatooInstru, 30), "");
    EXPECT_EQ(LireTexte(b, kInputstr, 255), "toto=$$");
    EXPECT_EQ(LireTexte(b, kTemplate, 255), "toto=%e");
    EXPECT_EQ(LireEntier(b, kMode), 0);  // Off until the operator chooses
    EXPECT_EQ(LireEntier(b, kScheduleCmd), 0);
    EXPECT_EQ(b->init(b), 0);
    EXPECT_EQ(b->nb_voie_calcul(b), 0);
    EXPECT_EQ(b->mesure_calcul(b, 1), 0.0);
    char nom[kLongueurNomVoie];
    b->get_nom_voie_calcul(b, 1, nom);
    EXPECT_STREQ(nom, "Inconnue");
    b->liberer(b);

    // The table offers the computed-scalar group (with no channel), init, execute and piloter;
    // nothing else.
    EXPECT_EQ(boucleur.structure, nullptr);
    EXPECT_EQ(boucleur.start, nullptr);
    EXPECT_EQ(boucleur.stop, nullptr);
    EXPECT_EQ(boucleur.status, nullptr);
    EXPECT_EQ(boucleur.piloter, boucleur.configure);
    EXPECT_EQ(boucleur.nb_voie_1D, nullptr);
    EXPECT_EQ(boucleur.nb_voie2D, nullptr);
    EXPECT_EQ(boucleur.nb_voie_calcul2D, nullptr);
    EXPECT_NE(boucleur.calculer_1D, nullptr);
}

TEST_F(Reboucleur, LoadedBlockWithPendingRequestSendsOnce) {
    EcrireEntier(boucle_, kMode, 2);
    boucle_->execute(boucle_, "");
    const std::vector<unsigned char> sauve(Bloc(boucle_), Bloc(boucle_) + 708);

    // The loaded instrument replaces the saved one in the list.
    PInstrument *charge = nullptr;
    boucleur.nouveau(&charge);
    std::memcpy(Bloc(charge), sauve.data(), sauve.size());
    charge->get_buffer_from_tatoo = get_buffer_from_tatoo;
    charge->get_buffer2D_from_tatoo = get_buffer2D_from_tatoo;
    noeuds_.back()->plugin = charge;
    boucle_->liberer(boucle_);
    boucle_ = charge;
    EXPECT_EQ(Envoyees(3), Commandes{"CENTER=1.500000e+03"});
}

TEST_F(Reboucleur, CatalogueMakesItByItsTypeKey) {
    PInstrument *b = Nouvel_instrument("reboucleur.dll");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->calculer_1D, boucleur.calculer_1D);
    EXPECT_EQ(b->get_buffer_from_tatoo, get_buffer_from_tatoo);
    char nom[kLongueurNomInstru];
    b->get_nom_instru(b, nom);
    EXPECT_STREQ(nom, "Reboucleur");
    b->liberer(b);
}

TEST_F(Reboucleur, NameKeepsItsFirst39Characters) {
    const std::string long_nom(50, 'n');
    boucle_->set_nom_instru(boucle_, long_nom.c_str());
    char nom[kLongueurNomInstru + 8];
    std::memset(nom, '#', sizeof nom);
    boucle_->get_nom_instru(boucle_, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 'n'));
    EXPECT_EQ(nom[kLongueurNomInstru], '#');
    // A loaded name without terminator is cut the same way.
    std::memset(Bloc(boucle_) + kNom, 'm', 128);
    boucle_->get_nom_instru(boucle_, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 'm'));
}

}  // namespace
