#include "tests/support/banc_test.h"

#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "framework/voies.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/parport.h"
#include "platform/rs232.h"
#include "sim/bus.h"
#include "sim/serie/peripheriques.h"
#include "uir/Interface.h"

#include <QApplication>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

// ---- files ------------------------------------------------------------------------------------

std::string LireFichier(const std::filesystem::path &chemin) {
    std::ifstream f(chemin, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void EcrireFichier(const std::filesystem::path &chemin, const std::string &octets, std::ios::openmode mode) {
    std::ofstream f(chemin, std::ios::binary | std::ios::out | mode);
    f << octets;
}

std::string Le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// ---- the operator's bench ---------------------------------------------------------------------

void BancTest::SetUp() {
    setenv("TZ", "UTC", 1);
    tzset();
    horloge::UtiliserHorlogeFactice(kDebut);
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    char nom[] = "banc";
    char *argv[] = {nom, nullptr};
    ASSERT_EQ(Ouvrir_interface(1, argv), 0);
    JournalEssai().clear();
    ASSERT_TRUE(dossier.isValid());
}

void BancTest::TearDown() {
    if (acquisition_en_cours == 1) Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    // No countdown of this test may close the record files of a later one.
    duree_limite = -1;
    Fermer_interface();
    Marquer_donnees("", 0, 0);
    QApplication::processEvents();
    horloge::UtiliserHorlogeReelle();
    EXPECT_EQ(InstancesEssaiVivantes(), 0);
}

PInstrument *BancTest::AjouterEssai(const ConfigEssai &config) {
    PInstrument *i = CreerEssai(config);
    liste_instru = Inserer_instru(liste_instru, "essai.dll", i, get_tatoo());
    InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, config.nom.c_str(), 0);
    return i;
}

void OuvrirBancDemo() {
    sim::BusDeCarte(0)->Vider();
    RechargerConfigurationBanc(BANC_SOURCE_DIR "/sim/demo-banc.conf");
    ReinitialiserCartesGpib();
    ReinitialiserPortParallele();
    CarteGpibNumero(0);  // the board, and the demo's instruments on it
}

void FermerBancDemo() {
    FermerTousLesPortsCom();
    sim::serie::ArreterLignes();
    RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
    ReinitialiserCartesGpib();
    ReinitialiserPortParallele();
    sim::BusDeCarte(0)->Vider();
}

std::vector<std::string> Statuts() {
    std::vector<std::string> r;
    int n = 0;
    GetNumListItems(panel_commande, P_Commande_STATUS, &n);
    for (int i = 0; i < n; ++i) {
        char t[600] = "";
        GetLabelFromIndex(panel_commande, P_Commande_STATUS, i, t, sizeof t);
        const char *s = std::strstr(t, "\x1bvline");
        r.emplace_back(s ? s + 6 : t);
    }
    return r;
}

bool Grise(int panel, int control) {
    int g = -1;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &g);
    return g == 1;
}

testing::AssertionResult MemesValeurs(const std::vector<double> &lu, const std::vector<double> &attendu) {
    if (lu.size() != attendu.size())
        return testing::AssertionFailure() << lu.size() << " values instead of " << attendu.size();
    for (std::size_t i = 0; i < lu.size(); ++i) {
        const bool pareil = std::isnan(attendu[i]) ? std::isnan(lu[i]) : lu[i] == attendu[i];
        if (!pareil) return testing::AssertionFailure() << "value " << i << ": " << lu[i] << " instead of " << attendu[i];
    }
    return testing::AssertionSuccess();
}

Voies LireVoies(PInstrument *i) {
    Voies v;
    for (int voie = 1; voie <= i->nb_voie_1D(i); ++voie) {
        char nom[kLongueurNomVoie] = "?";
        i->get_nom_voie_1D(i, voie, nom);
        v.noms.emplace_back(nom);
        v.valeurs.push_back(i->mesure_1D(i, voie));
        v.numeros.push_back(i->numero_1D(i, voie));
    }
    return v;
}

bool ToutesNouvelles(const Voies &v, const Voies &avant) {
    for (std::size_t k = 0; k < v.numeros.size(); ++k)
        if (v.numeros[k] <= avant.numeros[k] || std::isnan(v.valeurs[k])) return false;
    return true;
}

// ---- an instrument's panels -------------------------------------------------------------------

bool Charge(int panel) {
    const std::vector<int> h = ui_test::PanneauxCharges();
    return std::find(h.begin(), h.end(), panel) != h.end();
}

Elements ElementsDe(int panel, int ring) {
    int n = 0;
    EXPECT_EQ(GetNumListItems(panel, ring, &n), 0);
    Elements e;
    for (int k = 0; k < n; ++k) {
        char libelle[100] = "";
        char valeur[100] = "";
        GetLabelFromIndex(panel, ring, k, libelle, sizeof libelle);
        GetValueFromIndex(panel, ring, k, valeur, sizeof valeur);
        e.emplace_back(libelle, valeur);
    }
    return e;
}

std::vector<std::string> Libelles(int panel, int control) {
    int n = 0;
    GetNumListItems(panel, control, &n);
    std::vector<std::string> r;
    for (int k = 0; k < n; ++k) {
        char libelle[100] = {};
        GetLabelFromIndex(panel, control, k, libelle, sizeof libelle);
        r.push_back(libelle);
    }
    return r;
}

std::string Chaine(int panel, int control) {
    char t[600] = {};
    EXPECT_EQ(GetCtrlVal(panel, control, t), 0);
    return t;
}

int Valeur(int panel, int control) {
    int v = -99;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

void PanneauxInstrument::SetUp() {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    avant_ = ui_test::PanneauxCharges();
}

void PanneauxInstrument::TearDown() {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    EXPECT_EQ(ui_test::PanneauxCharges(), avant_) << "a panel outlived its instrument";
}

void PanneauxInstrument::SansRessources() {
    ASSERT_TRUE(vide_.isValid());
    SetResourceDirectory(vide_.path().toUtf8().constData());
}

// ---- settings blocks --------------------------------------------------------------------------

ReponseMemoire DemanderMemoire(PInstrument *i, unsigned taille) {
    ReponseMemoire r;
    r.taille = taille;
    i->get_memory(i, &r.debut, &r.fin, &r.taille, &r.flag);
    return r;
}

unsigned char *DebutBloc(PInstrument *i) { return static_cast<unsigned char *>(DemanderMemoire(i).debut); }

std::string LireTexteBloc(PInstrument *i, std::size_t offset, std::size_t taille) {
    const char *t = reinterpret_cast<const char *>(DebutBloc(i) + offset);
    return std::string(t, strnlen(t, taille));
}

void EcrireTexteBloc(PInstrument *i, std::size_t offset, std::size_t taille, const std::string &texte) {
    std::memset(DebutBloc(i) + offset, 0, taille);
    std::memcpy(DebutBloc(i) + offset, texte.data(), std::min(texte.size(), taille));
}

std::int32_t LireEntierBloc(PInstrument *i, std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, DebutBloc(i) + offset, 4);
    return v;
}

void EcrireEntierBloc(PInstrument *i, std::size_t offset, std::int32_t v) {
    std::memcpy(DebutBloc(i) + offset, &v, 4);
}

// ---- an instrument list built by hand ---------------------------------------------------------

PInstrument *ListeInstruments::Ajouter(PInstrument *p, int tatoo) {
    p->init_liste_voie = init_liste_voie;
    p->get_buffer_from_tatoo = get_buffer_from_tatoo;
    p->init_liste_voie2D = init_liste_voie2D;
    p->get_buffer2D_from_tatoo = get_buffer2D_from_tatoo;
    auto n = std::make_unique<fichei>();
    n->plugin = p;
    n->tatoo = tatoo;
    if (!noeuds_.empty()) noeuds_.back()->suivant = n.get();
    noeuds_.push_back(std::move(n));
    return p;
}

void ListeInstruments::LibererInstruments() {
    for (auto &n : noeuds_) n->plugin->liberer(n->plugin);
    noeuds_.clear();
}

int ListeInstruments::AllouerAnneaux(int points) {
    Reserver_buffer_circu(Tete());
    nbpointsgraph = points;
    Allouer_buffer_circu();
    return Init_buffer2D_circu(Tete());
}

void ListeInstruments::LibererTout() {
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    LibererInstruments();
    Reserver_buffer_circu(nullptr);
    nbpointsgraph = 0;
}

// ---- an instrument list on the real list ------------------------------------------------------

void LibererBanc(fichei *&liste) {
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    liste = Effacer_liste_inst(liste);
    Reserver_buffer_circu(nullptr);
    nbpointsgraph = 0;
}

void BancCalcul::SetUp() { horloge::UtiliserHorlogeFactice(1'700'000'000); }

void BancCalcul::TearDown() {
    Vider();
    horloge::UtiliserHorlogeReelle();
}

void BancCalcul::Vider() {
    LibererBanc(liste);
    prochain_tatoo = 1;
}

PInstrument *BancCalcul::Lister(PInstrument *p, const char *cle) {
    liste = Inserer_instru(liste, cle, p, prochain_tatoo++);
    return p;
}

void BancCalcul::Demarrer(int points) {
    Reserver_buffer_circu(liste);
    nbpointsgraph = points;
    Allouer_buffer_circu();
    Init_buffer2D_circu(liste);
}
