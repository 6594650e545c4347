// "Powermeter" against the simulated E4419B: golden transcripts of init, start, the reading
// cycle and stop; its channels by sensor choice; the failures particular to its set-up order;
// its configuration panel. Then both power meters on the demo bench, from the main panel: a
// failed start that leaves the list usable, and an acquisition that writes their readings into
// the record file.
#include "instruments/meters/powermeter.h"
#include "tests/instruments/meters/power_essai.h"
#include "uir/UIR_power.h"
#include "uir/UIR_power_SW.h"

#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace power_essai;

// Offsets in the settings block.
constexpr std::size_t kBlocAdresse = 4, kBlocCapteur = 8, kBlocFrequence = 12, kBlocVoies = 20;
const std::string kIdentite = std::string(sim::E4419B::kIdentite) + "\n";
const double NaN = std::nan("");

class Powermeter : public BancE4419B {
protected:
    void SetUp() override {
        BancE4419B::SetUp();
        if (HasFatalFailure()) return;
        // No switch in front of this meter: its sensors see one path whatever the port holds.
        mesureur->FixerLignes(1, 0);
        mesureur->FixerLignes(2, 0);
        pm = Lister("4419.dll");
        ASSERT_NE(pm, nullptr);
    }
    std::vector<std::string> Noms() {
        std::vector<std::string> n;
        for (int voie = 1; voie <= pm->nb_voie_1D(pm); ++voie) {
            char nom[kLongueurNomVoie] = "?";
            pm->get_nom_voie_1D(pm, voie, nom);
            n.emplace_back(nom);
        }
        return n;
    }
    std::vector<double> Valeurs() {
        std::vector<double> v;
        for (int voie = 1; voie <= pm->nb_voie_1D(pm); ++voie) v.push_back(pm->mesure_1D(pm, voie));
        return v;
    }
    std::vector<unsigned> Numeros() {
        std::vector<unsigned> v;
        for (int voie = 1; voie <= pm->nb_voie_1D(pm); ++voie) v.push_back(pm->numero_1D(pm, voie));
        return v;
    }

    PInstrument *pm = nullptr;
};

TEST_F(Powermeter, GoldenInitStartCyclesAndStop) {
    EcrireEntierBloc(pm, kBlocCapteur, 6);
    const int resultat = pm->init(pm);
    EXPECT_GE(resultat, 0);
    // The listener is checked before the identity; no reset, no emptying of the error queue.
    const std::vector<std::string> debut = {CLR, W("*IDN?"), R(kIdentite), W("stat:dev:cond?"), R("+6\n"),
                                            W("*DDT \"TRIG1;TRIG2\"")};
    EXPECT_EQ(Transcription(), debut + ReglageFenetres(110));
    EXPECT_EQ(Noms(), (std::vector<std::string>{"Voie A", "Voie B"}));
    EXPECT_TRUE(MemesValeurs(Valeurs(), {NaN, NaN}));
    EXPECT_EQ(Numeros(), (std::vector<unsigned>{0, 0}));

    EXPECT_EQ(pm->start(pm) & 0x8000, 0);
    EXPECT_EQ(Transcription(), Demarrage("+0\n"));
    for (unsigned n = 1; n <= 2; ++n) {
        ASSERT_NO_FATAL_FAILURE(Cycles(static_cast<int>(n)));
        EXPECT_EQ(Transcription(), Cycle(-10, -30)) << "no switch: always path RF1";
        EXPECT_TRUE(MemesValeurs(Valeurs(), {-10, -30}));
        EXPECT_EQ(Numeros(), (std::vector<unsigned>{n, n}));
    }
    EXPECT_TRUE(EcrituresPort().empty()) << "this meter has no switch";

    pm->stop(pm);
    ASSERT_NO_FATAL_FAILURE(Cycles(3));
    EXPECT_EQ(Transcription(), Cycle(-10, -30));
    EXPECT_TRUE(Attendre([&] { return mesureur->DemandeService(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Transcription().empty()) << "the notification ended";
    EXPECT_EQ(Numeros(), (std::vector<unsigned>{3, 3}));
    EXPECT_TRUE(PopupsVus().empty());
}

TEST_F(Powermeter, ChannelsFollowTheSensorsInUse) {
    struct Cas {
        int capteur;
        std::vector<std::string> noms;
        std::vector<double> valeurs;
    };
    const Cas cas[] = {
        {2, {"Voie A"}, {-10}},
        {4, {"Voie B"}, {-30}},
        {6, {"Voie A", "Voie B"}, {-10, -30}},
        {5, {}, {}},  // no sensor choice (a damaged settings file): no channel
    };
    EcrireEntierBloc(pm, kBlocVoies, 2);
    ASSERT_GE(pm->init(pm), 0);
    ASSERT_EQ(pm->start(pm) & 0x8000, 0);
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    pm->stop(pm);  // the channels follow the settings again
    for (const Cas &c : cas) {
        SCOPED_TRACE("capteur " + std::to_string(c.capteur));
        EcrireEntierBloc(pm, kBlocCapteur, c.capteur);
        EXPECT_EQ(Noms(), c.noms);
        EXPECT_TRUE(MemesValeurs(Valeurs(), c.valeurs));
    }
}

// A window's reply is read as every driver reads a number: the meter's overload and "not a
// number" values (9.9E37, 9.91E37) are readings; a reply of words such as "inf" or "nan" is
// unreadable and keeps the previous reading, still counted.
TEST_F(Powermeter, FetchRepliesAreReadAsEveryReplyIs) {
    struct Cas {
        const char *reponse;
        double valeur;
    } const cas[] = {
        {"+9.90000000E+37\n", 9.9e37}, {"+9.91000000E+37\n", 9.91e37}, {"inf\n", 9.91e37},
        {"-INF", 9.91e37},              {"nan\n", 9.91e37},             {" -12.5\n", -12.5},
        {"infinity", -12.5},
    };
    EcrireEntierBloc(pm, kBlocCapteur, 6);
    ASSERT_GE(pm->init(pm), 0);
    ASSERT_EQ(pm->start(pm) & 0x8000, 0);
    unsigned n = 0;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.reponse);
        mesureur->FixerReponseFetch(c.reponse);
        ++n;
        ASSERT_NO_FATAL_FAILURE(Cycles(static_cast<int>(n)));
        EXPECT_TRUE(MemesValeurs(Valeurs(), {c.valeur, c.valeur}));
        EXPECT_EQ(Numeros(), (std::vector<unsigned>{n, n}));
    }
    EXPECT_TRUE(PopupsVus().empty());
}

TEST_F(Powermeter, InitFailuresInItsOwnOrder) {
    const std::pair<std::string, std::string> brancher{"Attention", "Il faudrait penser à brancher le Powermeter"_w};
    struct Cas {
        const char *nom;
        std::function<void()> panne;
        int capteur;
        std::vector<std::pair<std::string, std::string>> popups;
        bool reussit = false;
    };
    const Cas cas[] = {
        // The descriptor is not tested: an address the board refuses finds no listener.
        {"address beyond the bus", [this] { EcrireEntierBloc(pm, kBlocAdresse, 31); }, 2, {brancher}},
        {"no meter", [] { sim::BusDeCarte(0)->Debrancher(kAdresse); }, 2, {brancher}},
        {"another model", [this] { mesureur->FixerIdentite("HEWLETT-PACKARD,E4418B,GB1,A1.01"); }, 2,
         {{"Erreur", "Modèle non supporté par ce module !"_w}}},
        {"sensor B unplugged and in use", [this] { mesureur->BrancherCapteur(2, false); }, 4,
         {{"Attention", "Il faudrait vérifier les branchements de la sonde B"_w}}},
        {"sensor A unplugged but not in use", [this] { mesureur->BrancherCapteur(1, false); }, 4, {}, true},
        {"window 1 units refused", [this] { Refuser("UNIT1:POW DBM"); }, 2,
         {{"Attention", "Réglage des unités de mesure"_w}}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        EcrireEntierBloc(pm, kBlocCapteur, c.capteur);
        c.panne();
        Popups(static_cast<int>(c.popups.size()));
        const int resultat = pm->init(pm);
        EXPECT_EQ(PopupsVus(), c.popups);
        if (c.reussit) {
            EXPECT_GE(resultat, 0);
        } else {
            EXPECT_EQ(resultat, -1);
        }
        const auto t = Transcription();
        if (!c.popups.empty() && c.popups.front() == brancher) {
            EXPECT_TRUE(std::find(t.begin(), t.end(), W("*IDN?")) == t.end()) << "nothing is asked of an absent meter";
        }
        CarteDuTest()->Fixer({});
        NouveauMesureur();
        EcrireEntierBloc(pm, kBlocAdresse, kAdresse);
    }
}

// The shared sensor-ring callback finds nothing dimmed on this panel and changes nothing.
TEST_F(Powermeter, PanelShowsTheSettingsAndOkStoresThem) {
    const int p = PanneauCharge([&] { pm->configure(pm); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "CONFIGURATION DE L'APPAREIL");
    EXPECT_EQ(Libelles(p, Conf_Pow_RING_Conf_Capt_Power), (std::vector<std::string>{"A", "B", "A et B"}));
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_Pow_RING_Conf_Capt_Power), "Capteur(s) utilisé(s)");
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_Pow_NUM_Conf_Adr_Power), "Adresse GPIB de l'appareil :");
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_Pow_OK_POWER), "OK");
    EXPECT_EQ(Chaine(p, Conf_Pow_TEXTMSG), "fonctionnement (MHz)");
    EXPECT_EQ(Valeur(p, Conf_Pow_NUM_Conf_Adr_Power), 7);
    EXPECT_EQ(Valeur(p, Conf_Pow_RING_Conf_Capt_Power), 2);
    EXPECT_EQ(Valeur(p, Conf_Pow_NUM_Conf_Freq_Fct_Pow), 110);

    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_Pow_RING_Conf_Capt_Power, 2), 0);
    for (const int c : {Conf_Pow_RING_Conf_Capt_Power, Conf_Pow_OK_POWER, Conf_Pow_TEXTMSG}) EXPECT_FALSE(Grise(p, c));
    ASSERT_EQ(ui_test::EntrerValeur(p, Conf_Pow_NUM_Conf_Adr_Power, 13), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, Conf_Pow_NUM_Conf_Freq_Fct_Pow, 50), 0);
    Power_OK(p, Conf_Pow_OK_POWER, EVENT_VAL_CHANGED, pm->structure, 0, 0);
    EXPECT_EQ(LireEntierBloc(pm, kBlocCapteur), 2) << "only the commit acts";
    Cliquer(p, Conf_Pow_OK_POWER);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(pm, kBlocAdresse), 13);
    EXPECT_EQ(LireEntierBloc(pm, kBlocCapteur), 6);
    EXPECT_EQ(LireEntierBloc(pm, kBlocFrequence), 50);
    EXPECT_EQ(LireEntierBloc(pm, kBlocVoies), 2);

    const ReponseMemoire m = DemanderMemoire(pm);
    EXPECT_EQ(m.taille, 176u);
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(LireTexteBloc(pm, 48, 128), "Powermeter");

    const int q = PanneauCharge([&] { pm->configure(pm); });
    liste_instru = Supprimer_instru(liste_instru, liste_instru);
    pm = nullptr;
    EXPECT_FALSE(Charge(q)) << "the panel goes with its instrument";
}

// ---- both meters on the demo bench, from the main panel -----------------------------------------

class PowermetersDemo : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        sim::BusDeCarte(0)->Vider();
        RechargerConfigurationBanc(BANC_SOURCE_DIR "/sim/demo-banc.conf");
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
        CarteGpibNumero(0);  // the board, and the demo's instruments on it
        commute = sim::BusDeCarte(0)->AppareilA<sim::E4419B>(7);
        direct = sim::BusDeCarte(0)->AppareilA<sim::E4419B>(13);
        ASSERT_NE(commute, nullptr);
        ASSERT_NE(direct, nullptr);
        for (const auto &m : {commute, direct}) m->FixerOndulation(0.0);
        commute->FixerLignes(1, 4);
        commute->FixerLignes(2, 16);
        direct->FixerLignes(1, 0);
        direct->FixerLignes(2, 0);
        direct->FixerNiveaux(1, -5.5, -6.5);
        direct->FixerNiveaux(2, -7.25, -8.25);
        sim::RegistreParalleleDuBanc()->Fixer(0x01);
    }
    void TearDown() override {
        BancTest::TearDown();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
        sim::BusDeCarte(0)->Vider();
    }

    // Adds catalogue row `ligne` through the add dialog; its configuration panel opens.
    int Ajouter(int ligne) {
        const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
        EXPECT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        return PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
    }
    void AjouterLesDeux() {
        const int sw = Ajouter(4);  // "Powermeter Switché"
        ASSERT_EQ(ui_test::ChoisirElement(sw, Conf_PowSw_RING_Conf_Capt_Power, 2), 0);
        ASSERT_EQ(ui_test::ChoisirElement(sw, Conf_PowSw_RING_Conf_2ndSw_Power, 2), 0);
        Cliquer(sw, Conf_PowSw_OK_POWSW);
        const int pm = Ajouter(3);  // "Powermeter"
        ASSERT_EQ(ui_test::ChoisirElement(pm, Conf_Pow_RING_Conf_Capt_Power, 2), 0);
        ASSERT_EQ(ui_test::EntrerValeur(pm, Conf_Pow_NUM_Conf_Adr_Power, 13), 0);
        Cliquer(pm, Conf_Pow_OK_POWER);
    }
    void Demarrer(const std::string &fichier) {
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, fichier);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    }
    // Every channel of both meters has at least `n` readings.
    static bool Lectures(unsigned n) {
        for (fichei *f = liste_instru; f; f = f->suivant)
            for (int voie = 1; voie <= f->plugin->nb_voie_1D(f->plugin); ++voie)
                if (f->plugin->numero_1D(f->plugin, voie) < n) return false;
        return true;
    }
    static void Tick() {
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    std::shared_ptr<sim::E4419B> commute, direct;
};

TEST_F(PowermetersDemo, AFailedStartLeavesTheListUsable) {
    ASSERT_NO_FATAL_FAILURE(AjouterLesDeux());
    direct->BrancherCapteur(2, false);
    ui_test::Repondre(ui_test::Popup::Message);
    ui_test::Repondre(ui_test::Popup::Message);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 2u);
    EXPECT_EQ(vus[0].message, "Il faudrait vérifier les branchements de la sonde B"_w);
    EXPECT_EQ(vus[1].message, "L'initialisation a échoué"_w);
    EXPECT_EQ(acquisition_en_cours, 0);
    EXPECT_FALSE(Grise(panel_instru, P_Instru_Ajouter));
    EXPECT_FALSE(Grise(panel_commande, P_Commande_COMMANDBUTTON_Acq));

    direct->BrancherCapteur(2, true);
    Demarrer(dossier.filePath("essai.xls").toStdString());
    EXPECT_EQ(acquisition_en_cours, 1) << "plugged in again, the start goes through";
}

TEST_F(PowermetersDemo, AnAcquisitionRecordsBothMeters) {
    ASSERT_NO_FATAL_FAILURE(AjouterLesDeux());
    const std::string fichier = dossier.filePath("mesure.xls").toStdString();
    Demarrer(fichier);
    ASSERT_EQ(acquisition_en_cours, 1);
    // Readings come as the meters complete; then two samples are recorded.
    ASSERT_TRUE(Attendre([] { return Lectures(2); }));
    ASSERT_NO_FATAL_FAILURE(Tick());
    ASSERT_NO_FATAL_FAILURE(Tick());
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    std::istringstream contenu(LireFichier(fichier));
    std::string entete, ligne, derniere;
    std::getline(contenu, entete);
    while (std::getline(contenu, ligne))
        if (!ligne.empty() && ligne != "\r") derniere = ligne;
    for (const std::string nom : {"Powermeter Switché Voie A RF1"_w, "Powermeter Switché Voie A RF2"_w,
                                  "Powermeter Switché Voie B RF1"_w, "Powermeter Switché Voie B RF2"_w,
                                  "Powermeter Voie A", "Powermeter Voie B"})
        EXPECT_NE(entete.find("\t" + nom + "\t"), std::string::npos) << nom;
    // After the date, the time, the marker and the elapsed seconds: value and reading number of
    // each channel, the switched meter's four, then the direct meter's two.
    std::vector<std::string> champs;
    std::istringstream l(derniere);
    for (std::string c; std::getline(l, c, '\t');) champs.push_back(c);
    ASSERT_GE(champs.size(), 16u);
    const std::vector<std::string> valeurs = {champs[4], champs[6], champs[8], champs[10], champs[12], champs[14]};
    EXPECT_EQ(valeurs, (std::vector<std::string>{"-10.000000", "-20.000000", "-30.000000", "-40.000000", "-5.500000",
                                                 "-7.250000"}));
    EXPECT_GE(std::stoul(champs[5]), 2u);
    EXPECT_GE(std::stoul(champs[13]), 2u);
}

}  // namespace
