// The long run: the demo bench with every instrument type the program is built with, graph
// windows and the 3D view open, sampling on the fake clock for a long program time while faults
// come and go (an instrument unplugged then plugged back, an instrument answering garbage, a
// full disk, a script error, a damaged set-point file; for the serial devices, the acquisition
// board reset in the middle of a frame, a line unplugged then plugged back, a line answering
// garbage, the board's frames cut in half), then a synchronised measurement and a run at the shortest
// period. What it measures, reports and asserts:
//   - the resident memory stays flat once warmed up (reported over time);
//   - every sample taken lands in the record files: rows counted against ticks;
//   - every fault is reported, once, not at every tick; the instruments that stop taking
//     readings during a fault, and those that do not take any again after it, are named;
//   - every serial device (the board, the regulator, the concentration analyser, the pumps)
//     takes readings in every round of faults, before each fault and again after it, and says
//     a fault of its line in its plugin's words (reported round by round, readings against
//     ticks);
//   - the program still answers after each fault: the event loop runs.
// The run in the test suite is short (BANC_SOAK unset): an hour at one second, half a minute
// at the shortest period. BANC_SOAK=long gives a week at one second and an hour at the shortest
// period, a round of faults a day (scripts/soak.sh). BANC_SOAK_SECONDES and BANC_SOAK_RONDES set
// the program time at one second and its rounds of faults, BANC_SOAK_TYPES (type keys) keeps
// only some instrument types: for a look at one part.
#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/parport.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "platform/utility.h"
#include "sim/appareil.h"
#include "sim/banc.h"
#include "sim/bench/dgm110.h"
#include "sim/bench/pompe_ismatec.h"
#include "sim/bench/pousse_seringue.h"
#include "sim/bench/regul_acoustic.h"
#include "sim/bench/vexo.h"
#include "sim/bus.h"
#include "sim/serie/peripheriques.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- the two forms of the run -------------------------------------------------------------

struct Forme {
    const char *nom;
    long secondes;           // program time of the run at one second
    int rondes;              // rounds of faults spread over it
    long secondes_courtes;   // program time of the run at the shortest period
    long duree_synchro;      // program time of the synchronised measurement
    // The instruments' own handling of their faults is asserted too: an instrument that stops
    // taking readings during a fault says so, and takes readings again after the repair.
    // Whether a fault catches an instrument in the middle of an exchange depends on the
    // machine's speed, so the short run only reports it. The serial devices are held to it in
    // both forms: their lines run on the program's clock, so what a fault does to them does
    // not depend on the machine's speed.
    bool instruments_stricts;
};

Forme FormeDemandee() {
    const char *v = std::getenv("BANC_SOAK");
    Forme f = v && std::string(v) == "long" ? Forme{"long", 7L * 24 * 3600, 7, 3600, 600, true}
                                            : Forme{"court", 3600, 1, 30, 120, false};
    // For a look at one part: the program time at one second, and the rounds of faults in it.
    if (const char *s = std::getenv("BANC_SOAK_SECONDES")) f.secondes = std::max(480L, std::atol(s));
    if (const char *r = std::getenv("BANC_SOAK_RONDES")) f.rondes = std::max(1, std::atoi(r));
    return f;
}

// AddressSanitizer keeps freed memory in quarantine (up to 256 MB): the resident size grows
// until it is full, which says nothing of the program.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSousAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSousAsan = true;
#else
constexpr bool kSousAsan = false;
#endif
#else
constexpr bool kSousAsan = false;
#endif

// Most growth of the resident size after warm-up, over a whole phase.
constexpr long kCroissanceMaxKo = 8 * 1024;
// Most reports of one fault: a fault reported at every tick, or every few, is a flood.
constexpr std::size_t kRapportsMax = 10;
// Most faults an instrument may say of its own, outside the injected ones, per this many ticks.
// While an instrument's time-outs hold the user-interface thread at nearly every tick (a counter
// unplugged), the acquisition board, its calls left unanswered, starts its handshake again and
// can truly send nothing for longer than its silence; the devices held up only while a pump does
// not answer say nothing. An instrument that says a fault every few ticks floods the list.
constexpr long kTicksParPanneSpontanee = 50;

// A new record file every 20 minutes of program time: at one second, the demo bench writes
// about 1 GB of vector records an hour; each set is deleted once tallied.
constexpr long kRotation = 1200;

// Shortest sampling period the main panel accepts.
constexpr double kPeriodeMin = 0.01;

// Where the demo bench puts an instrument at another address than a new instance's own: the
// type key, the offset of the GPIB address or COM port (int32) in the settings block, the bench's one.
// Every other built type works with its defaults on the demo bench (sim/demo-banc.conf).
struct AdresseDemo {
    std::size_t offset;
    std::int32_t adresse;
};
const std::map<std::string, AdresseDemo> kAdressesDemo = {
    {"tektro3052.dll", {4, 1}},        // proposes 4, the one-channel counter's
    {"HP53131_phase.dll", {136, 2}},   // proposes 1
    {"5313x_sw.dll", {4, 5}},          // proposes 3, the two-channel counter's
    {"therm.dll", {4, 8}},             // proposes 3
    {"GBF_HP3312A.dll", {136, 10}},    // proposes 1
    {"4419.dll", {4, 13}},             // proposes 7, the switched meter's
    {"vexo.dll", {0, 3}},              // serial: proposes COM1, the regulator's
    {"Pompe_Ismatec.dll", {140, 4}},   // proposes COM1; both pumps share COM4
    {"Pousse_Seringue.dll", {128, 4}}, // proposes COM2, the concentration analyser's
};

// Settings that a type needs before it can run on the demo bench, beyond its address: the
// fitter fits the vector of "Pilote bidon" (listed before it) with a straight line. `tatoos`
// gives the tatoo of each type already listed.
using Reglage = std::function<void(PInstrument *, const std::map<std::string, int> &tatoos)>;
const std::map<std::string, Reglage> kReglagesDemo = {
    {"fitter.dll",
     [](PInstrument *i, const std::map<std::string, int> &tatoos) {
         const auto bidon = tatoos.find("pilote_bidon.dll");
         if (bidon == tatoos.end()) return;
         EcrireTexteBloc(i, 128, 30, std::to_string(bidon->second) + ";1");  // channel to fit
         EcrireTexteBloc(i, 158, 500, "a*x+b");                             // formula
     }},
};

// ---- the serial devices -------------------------------------------------------------------

// The serial devices of the demo bench, each found by its model on the line of a COM port. A
// device that pushes its readings (the acquisition board, the regulator, the concentration
// analyser) counts the readings the program stored; a pump, which only answers the program's
// commands, counts the commands it acted on: the script sends each pump one every minute.
enum class Serie { carte, regulateur, analyseur, pompe, seringue };
struct TypeSerie {
    Serie sorte;
    const char *commande;  // the script's command to the instrument every minute, if any
};
const std::map<std::string, TypeSerie> kTypesSerie = {
    {"vexo.dll", {Serie::carte, nullptr}},
    {"Regul_Acoustic.dll", {Serie::regulateur, nullptr}},
    {"DGM110.dll", {Serie::analyseur, nullptr}},
    {"Pompe_Ismatec.dll", {Serie::pompe, "debit=5"}},
    {"Pousse_Seringue.dll", {Serie::seringue, "00infuse=1000UH"}},
};
constexpr long kPeriodeCommandes = 60;  // seconds between two commands to each pump

// A serial device of the list.
struct AppareilSerie {
    std::size_t rang;      // in the list
    Serie sorte;
    int port;
    const char *commande;  // the script's command every minute, if any
};

// The device of model M on a line: the line's own model, or one of the devices sharing it.
template <class M>
M *ModeleSur(sim::serie::Modele &m) {
    if (auto *d = dynamic_cast<M *>(&m)) return d;
    auto *commune = dynamic_cast<sim::serie::LigneCommune *>(&m);
    if (!commune) return nullptr;
    try {
        for (std::size_t k = 0;; ++k)
            if (auto *d = dynamic_cast<M *>(&commune->Appareil<sim::serie::Modele>(k))) return d;
    } catch (const std::out_of_range &) {
    }
    return nullptr;
}

// Runs f(device) for the device of model M on COM`port`, under its line's lock; false when the
// port holds none.
template <class M, class F>
bool SurAppareil(int port, F &&f) {
    const auto ligne = sim::serie::LigneDuPort(port);
    return ligne && ligne->Avec<sim::serie::Modele>([&f](sim::serie::Modele &m) {
        M *d = ModeleSur<M>(m);
        if (d) f(*d);
        return d != nullptr;
    });
}

// Runs f(device) for a device of `sorte` on COM`port`, as its model; false when the port holds
// none.
template <class F>
bool SurSerie(Serie sorte, int port, F &&f) {
    switch (sorte) {
    case Serie::carte: return SurAppareil<sim::CarteVexo>(port, f);
    case Serie::regulateur: return SurAppareil<sim::RegulateurAcoustique>(port, f);
    case Serie::analyseur: return SurAppareil<sim::AnalyseurDGM110>(port, f);
    case Serie::pompe: return SurAppareil<sim::PompeIsmatec>(port, f);
    case Serie::seringue: return SurAppareil<sim::PoussesSeringues>(port, f);
    }
    return false;
}

// The serial faults of each round: the board reset in the middle of a frame, a line unplugged
// then plugged back, a line answering garbage, and the board's frames cut in half. (The
// regulator's and the analyser's reports, cut one after the other, would be read run together
// into the next one, within the port's time-out: no fault of the line that the program can say.)
enum class PanneSerie { reinitialisee, debranchee, charabia, coupee };

// What the program may say of a device on that fault, in the plugins' own words (nothing: the
// board takes its handshake up again among its frames, without a word).
std::vector<std::string> TextesAttendus(Serie sorte, PanneSerie panne) {
    if (panne == PanneSerie::reinitialisee) return {};
    switch (sorte) {
    case Serie::pompe:
        return {panne == PanneSerie::charabia ? "réponse illisible de la pompe"_w : "pas de réponse de la pompe"_w};
    case Serie::seringue:
        return {"pas de réponse du pousse seringue à l'adresse 00"_w};  // garbage holds no ETX
    default:
        // The watch over a pushing device: a line unplugged while some of its bytes still wait
        // unread makes unreadable answers too.
        if (panne == PanneSerie::debranchee)
            return {"l'appareil n'envoie plus de mesures"_w, "réponses illisibles de l'appareil"_w};
        return {"réponses illisibles de l'appareil"_w};
    }
}

// ---- measures -----------------------------------------------------------------------------

// Resident size of this process, in kilobytes.
long ResidentKo() {
    long total = 0, resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &total, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// What the program's event loop does between two events: posted calls, and the deletion of the
// windows discarded meanwhile (processEvents alone, outside a running loop, never deletes them).
void BoucleEvenements() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Real milliseconds until the event loop runs a call posted now; -1 after 10 s.
double LatenceBoucle() {
    bool passe = false;
    const auto debut = std::chrono::steady_clock::now();
    QTimer::singleShot(0, [&passe] { passe = true; });
    while (!passe) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (std::chrono::steady_clock::now() - debut > std::chrono::seconds(10)) return -1.0;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - debut).count();
}

// Data rows of a main record file (lines after the header).
long LignesDonnees(const fs::path &chemin) {
    std::ifstream f(chemin, std::ios::binary);
    std::string ligne;
    long n = -1;
    while (std::getline(f, ligne)) ++n;
    return std::max(n, 0L);
}

// A fault, what was said of it (status lines and pop-ups from its injection to kGrace ticks
// after its repair), and what it did to the instruments' readings. The lines of an instrument
// are the fault's only when the fault concerns it: an instrument of the GPIB address or COM port
// made to fail (its fault line names the address or port, and its end line follows).
struct Faute {
    std::string nom;
    std::string lieu;                   // that address or port as the lines name it, "(GPIB0::5)",
                                        // "(COM3)"; empty for the program's own faults
    int ronde = -1;                     // its round of faults at one second (-1: another phase)
    std::set<std::string> concernes;    // the instruments that said a fault of that place
    // What each serial device of that port must say of it: one of "<name> : <what> (COMn)".
    std::vector<std::vector<std::string>> attendus;
    long debut = 0;                     // sampling tick of the injection
    long fin = 0;                       // sampling tick of the repair
    bool reparee = false;
    std::vector<std::string> rapports;  // what was said of it
    double latence_ms = 0;              // the event loop, after the repair
    std::vector<bool> vivants;          // the instruments taking readings before the injection,
    std::vector<long> lectures_injection;  // the readings of each at the injection,
    std::vector<long> lectures_reparee; // at the repair,
    std::vector<std::string> touches;   // the live ones that took none while it lasted,
    std::vector<std::string> muets;     // and the live ones that took none in the ticks after it,
    std::vector<std::string> en_panne;  // or who then still said a fault begun by the repair
};

// A set of record files, once closed: the ticks sampled while it was open, the rows of its main
// file, and the bytes of all its files. The run deletes each set once tallied: a week of vector
// records would fill any disk.
struct Bilan {
    long ticks = 0;
    long lignes = 0;
    std::uintmax_t octets = 0;
    bool plein = false;  // a full disk: nothing could be written
};

// The timers of the hidden timer panel that the run drives on the fake clock, as the toolkit
// would: an enabled timer fires each time its interval has passed since it was enabled.
constexpr int kMinuteries[] = {PANEL_Time_TIMER_echantillon, PANEL_Time_TIMER_SEQ, PANEL_Time_T_synchrobanc,
                               PANEL_Time_T_Attente};

class Soak : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        ActiverPopups();
        OuvrirBancDemo();
        dir_ = dossier.path().toStdString();
    }
    void TearDown() override {
        int bascule = 0;
        GetCtrlVal(panel_synchro, P_Synchro_TBN_Synchobanc, &bascule);
        if (bascule) Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
        BancTest::TearDown();
        for (const fs::path &lien : liens_) fs::remove(lien);
        FermerBancDemo();
    }

    // A new instance of catalogue row `l` with the demo bench's settings where they differ from
    // the type's own, listed as a settings load lists it.
    PInstrument *Lister(const ligne_catalogue &l) {
        PInstrument *i = Nouvel_instrument(l.type_apareil);
        if (!i) return nullptr;
        if (const auto a = kAdressesDemo.find(l.type_apareil); a != kAdressesDemo.end())
            std::memcpy(DebutBloc(i) + a->second.offset, &a->second.adresse, 4);
        if (const auto r = kReglagesDemo.find(l.type_apareil); r != kReglagesDemo.end()) r->second(i, tatoos_);
        const int tatoo = get_tatoo();
        tatoos_[l.type_apareil] = tatoo;
        liste_instru = Inserer_instru(liste_instru, l.type_apareil, i, tatoo);
        char nom[256] = "";
        i->get_nom_instru(i, nom);
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
        return i;
    }
    void Vider() {
        ClearListCtrl(panel_instru, P_Instru_LISTBOX_Liste);
        liste_instru = Effacer_liste_inst(liste_instru);
        tatoos_.clear();
    }

    // Every type of the catalogue whose plugin is built and starts on the demo bench on its own
    // (with "Pilote bidon" before it, whose vector the fitter fits): a type whose device the demo
    // bench lacks is left out, and said so in the report.
    void ListerLeBanc() {
        const std::string essai = dir_ + "/essai.xls";
        for (const ligne_catalogue &l : catalogue_instru) {
            if (!l.table) continue;
            if (const char *seuls = std::getenv("BANC_SOAK_TYPES"); seuls && !std::strstr(seuls, l.type_apareil)) continue;
            if (std::string(l.type_apareil) != "pilote_bidon.dll")
                for (const ligne_catalogue &b : catalogue_instru)
                    if (b.table && std::string(b.type_apareil) == "pilote_bidon.dll") Lister(b);
            ASSERT_NE(Lister(l), nullptr) << l.type_apareil;
            popups_.clear();
            ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, essai);
            ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 0), 0);
            Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
            const bool demarre = acquisition_en_cours == 1;
            if (demarre) Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
            // A start that failed before its file step leaves the chooser's answer unused.
            ActiverPopups();
            ClearListCtrl(panel_commande, P_Commande_STATUS);
            Vider();
            if (demarre)
                types_.push_back(l.type_apareil);
            else
                laisses_.push_back(std::string(l.type_apareil) + " (" + (popups_.empty() ? "" : popups_.front()) + ")");
        }
        popups_.clear();
        for (const std::string &type : types_)
            for (const ligne_catalogue &l : catalogue_instru)
                if (l.type_apareil == type) {
                    PInstrument *i = Lister(l);
                    char nom[256] = "";
                    i->get_nom_instru(i, nom);
                    noms_.push_back(nom);
                }
    }

    // The serial devices of the list, each with the port where its model runs.
    void TrouverSeries() {
        for (std::size_t k = 0; k < types_.size(); ++k) {
            const auto t = kTypesSerie.find(types_[k]);
            if (t == kTypesSerie.end()) continue;
            int port = 0;
            for (int p = 1; p <= ConfigBanc::kNbPortsCom && port == 0; ++p)
                if (SurSerie(t->second.sorte, p, [](auto &) {})) port = p;
            ASSERT_NE(port, 0) << types_[k] << ": no line runs its model";
            series_.push_back({k, t->second.sorte, port, t->second.commande});
        }
    }
    const AppareilSerie *Serielle(Serie sorte) const {
        const auto s =
            std::find_if(series_.begin(), series_.end(), [sorte](const AppareilSerie &a) { return a.sorte == sorte; });
        return s == series_.end() ? nullptr : &*s;
    }

    // Status lines since the last look, each also given to the fault in progress (the list is
    // emptied, so that none is missed once it holds its 400 lines).
    void LireStatuts() {
        const std::vector<std::string> r = Statuts();
        ClearListCtrl(panel_commande, P_Commande_STATUS);
        for (const std::string &s : r) {
            if (s.starts_with("Commande de \"")) continue;  // the soak's own commands, a line a minute
            journal_.push_back(s);
            Attribuer(s);
            if (s.starts_with("Ouverture de \"") && s.size() > 15) {
                // The program closed the set before opening the next one.
                Clore();
                courant_ = s.substr(14, s.size() - 15);
            }
        }
    }

    // Pop-ups are answered "no / cancel", noted, and count as reports of the fault in progress.
    void ActiverPopups() {
        ui_test::ActiverScript([this](const std::string &d) {
            popups_.push_back(d);
            Attribuer("pop-up: " + d);
        });
    }

    // A report goes to the fault in progress, or to the one repaired within the last ten ticks,
    // when it is the program's own or of an instrument the fault concerns; the sequencer's account
    // of the soak's own script lines is no report. An instrument's lines are also followed one
    // episode after the other, and those no injected fault explains are its own.
    void Attribuer(const std::string &rapport) {
        if (rapport.starts_with("Attente de ") || rapport.starts_with("Ouverture de \"")) return;
        const std::string *auteur = Auteur(rapport);
        if (auteur) Episode(*auteur, rapport);
        Faute *f = fautes_.empty() ? nullptr : &fautes_.back();
        if (f && f->reparee && ticks_ > f->fin + kGrace) f = nullptr;
        if (auteur && !(f && Concerne(*f, *auteur, rapport))) {
            spontanees_[*auteur].push_back({ticks_, rapport});
            return;
        }
        if (f) f->rapports.push_back(rapport);
    }
    static constexpr long kGrace = 10;

    // The instrument whose line this is ("<name> : ..."), or null for the program's own lines.
    const std::string *Auteur(const std::string &ligne) const {
        const std::string *auteur = nullptr;
        for (const std::string &nom : noms_)
            if (ligne.starts_with(nom + " : ") && (!auteur || nom.size() > auteur->size())) auteur = &nom;
        return auteur;
    }
    static bool Concerne(Faute &f, const std::string &auteur, const std::string &ligne) {
        if (f.lieu.empty()) return false;
        if (ligne.find(f.lieu) != std::string::npos) f.concernes.insert(auteur);
        return f.concernes.count(auteur) != 0;
    }
    // Each fault an instrument says is said once: its next line is its end, "l'appareil répond de
    // nouveau", or a new acquisition has started meanwhile (its init forgets the fault). A name
    // two instruments share cannot be followed.
    void Episode(const std::string &auteur, const std::string &ligne) {
        if (std::count(noms_.begin(), noms_.end(), auteur) != 1) return;
        const bool fin = ligne == auteur + kFinPanne;
        const auto [it, nouveau] = en_panne_.try_emplace(auteur, false);
        if (it->second == !fin) repetitions_.push_back(ligne);
        else if (!fin) debut_panne_[auteur] = ticks_;
        it->second = !fin;
    }
    // Whether an instrument said a fault of its own while `f` lasted.
    bool LignesPropresPendant(const Faute &f) const {
        for (const auto &[nom, lignes] : spontanees_)
            for (const auto &[tick, ligne] : lignes)
                if (tick >= f.debut && tick <= f.fin + kGrace) return true;
        return false;
    }
    inline static const std::string kFinPanne = " : " + std::string("l'appareil répond de nouveau"_w);

    static bool Actif(int timer) {
        int actif = 0;
        GetCtrlAttribute(panel_timer, timer, ATTR_ENABLED, &actif);
        return actif == 1;
    }

    // The clock moves by `pas`; each timer whose interval has passed fires (the sampling timer
    // first), the event loop runs what the instruments posted, and the status list is read.
    void Avancer(double pas) {
        horloge::AvancerHorlogeFactice(pas);
        for (const int t : kMinuteries) {
            double &ecoule = ecoule_[t];
            if (!Actif(t)) {
                ecoule = 0;
                continue;
            }
            double intervalle = 1.0;
            GetCtrlAttribute(panel_timer, t, ATTR_INTERVAL, &intervalle);
            ecoule += pas;
            if (ecoule + 1e-9 < intervalle) continue;
            ecoule = std::max(0.0, ecoule - intervalle);
            if (t == PANEL_Time_TIMER_echantillon) {
                ++ticks_;
                if (Enregistrement_ouvert() && !courant_.empty()) ++ticks_ouverts_;
            }
            ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, t), 0);
            LireStatuts();
        }
        BoucleEvenements();
        LireStatuts();
    }

    void Demarrer(int mode, double periode, const std::string &fichier) {
        en_panne_.clear();
        ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_N_TEch, periode), 0);
        ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, mode), 0);
        if (mode != 1)
            ui_test::Repondre(ui_test::Popup::Fichier, mode == 2 ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED,
                              fichier);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1) << testing::PrintToString(Statuts()) << testing::PrintToString(popups_);
        if (mode == 0) courant_ = fichier;
        LireStatuts();
    }
    void Arreter() {
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 0);
        BoucleEvenements();
        LireStatuts();
        Clore();
    }

    // The set of `courant_` is closed: tallied, then deleted (its main file, and the vector
    // files named after it).
    void Clore() {
        if (courant_.empty()) return;
        Bilan b;
        b.ticks = ticks_ouverts_;
        b.plein = std::find(pleins_.begin(), pleins_.end(), courant_) != pleins_.end();
        const fs::path principal = CheminSysteme(courant_.c_str());
        if (!b.plein) b.lignes = LignesDonnees(principal);
        const std::string souche = principal.stem().string();
        std::error_code e;
        for (const auto &f : fs::directory_iterator(principal.parent_path(), e)) {
            const std::string nom = f.path().filename().string();
            if (!(nom == principal.filename().string() || nom.starts_with(souche + "-"))) continue;
            if (!f.is_symlink() && f.is_regular_file()) b.octets += f.file_size();
            fs::remove(f.path(), e);
        }
        bilans_.emplace_back(courant_, b);
        courant_.clear();
        ticks_ouverts_ = 0;
    }

    // A new fault starts now: the live instruments are noted.
    void Injecter(const std::string &nom, const std::string &lieu = "") {
        Faute f;
        f.nom = nom;
        f.lieu = lieu;
        f.ronde = ronde_;
        f.debut = f.fin = ticks_;
        if (acquisition_en_cours == 1 && !lectures_anciennes_.empty()) {
            // Live: readings taken in the last kReprise to 2 kReprise ticks.
            f.lectures_injection = Compteurs();
            for (std::size_t k = 0; k < f.lectures_injection.size(); ++k)
                f.vivants.push_back(k < lectures_anciennes_.size() && f.lectures_injection[k] > lectures_anciennes_[k]);
        }
        fautes_.push_back(f);
    }
    // A fault of the line of COM`port`: what each live serial device there must say of it.
    void InjecterSerie(const std::string &nom, PanneSerie panne, int port) {
        const std::string lieu = "(COM" + std::to_string(port) + ")";
        Injecter(nom, lieu);
        Faute &f = fautes_.back();
        for (const AppareilSerie &a : series_) {
            const std::string &n = noms_[a.rang];
            // A device already saying a fault of its own says no other until it answers again.
            if (a.port != port || a.rang >= f.vivants.size() || !f.vivants[a.rang] || EnPanneDepuis(n, ticks_))
                continue;
            std::vector<std::string> lignes;
            for (const std::string &texte : TextesAttendus(a.sorte, panne))
                lignes.push_back(n + " : " + texte + " " + lieu);
            if (!lignes.empty()) f.attendus.push_back(lignes);
        }
    }
    // The fault is over: the event loop must still run.
    void Reparee() {
        Faute &f = fautes_.back();
        f.fin = ticks_;
        f.reparee = true;
        f.latence_ms = LatenceBoucle();
        if (f.vivants.empty()) return;
        f.lectures_reparee = Compteurs();
        // Only a fault that lasts can be seen in the readings while it lasts.
        if (f.fin - f.debut < kDureeVisible) return;
        for (std::size_t k = 0; k < f.vivants.size() && k < noms_.size(); ++k)
            if (f.vivants[k] && f.lectures_reparee[k] == f.lectures_injection[k]) f.touches.push_back(noms_[k]);
    }

    // Readings taken so far by each instrument, in list order: the reading numbers of its first
    // measured channels, scalar and vector; for a pump, the commands it acted on.
    std::vector<long> Compteurs() const {
        std::vector<long> r;
        for (fichei *n = liste_instru; n; n = n->suivant) {
            PInstrument *p = n->plugin;
            long c = 0;
            if (p->nb_voie_1D && p->numero_1D && p->nb_voie_1D(p) > 0) c += p->numero_1D(p, 1);
            if (p->nb_voie2D && p->numero2D && p->nb_voie2D(p) > 0) c += p->numero2D(p, 1);
            r.push_back(c);
        }
        for (const AppareilSerie &a : series_) {
            long &c = r.at(a.rang);
            if (a.sorte == Serie::pompe)
                SurAppareil<sim::PompeIsmatec>(a.port,
                                               [&c](const sim::PompeIsmatec &m) { c = std::ssize(m.Commandes()); });
            if (a.sorte == Serie::seringue)
                SurAppareil<sim::PoussesSeringues>(a.port, [&c](const sim::PoussesSeringues &m) {
                    for (int adresse = 0; adresse < 100; ++adresse) c += m.Etat(adresse).commandes;
                });
        }
        return r;
    }
    // Whether the instrument still says a fault that it began to say by tick `depuis` (a fault
    // said since is another episode).
    bool EnPanneDepuis(const std::string &nom, long depuis) const {
        const auto e = en_panne_.find(nom);
        const auto d = debut_panne_.find(nom);
        return e != en_panne_.end() && e->second && d != debut_panne_.end() && d->second <= depuis;
    }
    // After a fault, every instrument that was taking readings before it takes some again: those
    // that do not, `kReprise` ticks after the repair, are noted. Called after every tick.
    void VerifierReprise() {
        if (ticks_ % kReprise == 0) {
            lectures_anciennes_ = lectures_recentes_;
            lectures_recentes_ = Compteurs();
        }
        for (Faute &f : fautes_) {
            if (!f.reparee || ticks_ != f.fin + kReprise || f.lectures_reparee.empty()) continue;
            const std::vector<long> maintenant = Compteurs();
            for (std::size_t k = 0; k < maintenant.size() && k < noms_.size(); ++k) {
                if (!f.vivants[k]) continue;
                if (maintenant[k] == f.lectures_reparee[k]) f.muets.push_back(noms_[k]);
                if (EnPanneDepuis(noms_[k], f.fin)) f.en_panne.push_back(noms_[k]);
            }
        }
    }
    static constexpr long kReprise = 120;
    static constexpr long kDureeVisible = 60;
    // A board reset is over once its next frame came: within a tick at its period of a second.
    static constexpr long kDureeReinitialisation = 2;

    // Each instrument's name and the reading numbers of its first measured channels, scalar and
    // vector: which instruments took readings.
    static std::vector<std::string> Lectures() {
        std::vector<std::string> r;
        for (fichei *n = liste_instru; n; n = n->suivant) {
            PInstrument *p = n->plugin;
            char nom[256] = "";
            p->get_nom_instru(p, nom);
            std::string l = nom;
            if (p->nb_voie_1D && p->numero_1D && p->nb_voie_1D(p) > 0) l += ": scalar " + std::to_string(p->numero_1D(p, 1));
            if (p->nb_voie2D && p->numero2D && p->nb_voie2D(p) > 0) l += ": vector " + std::to_string(p->numero2D(p, 1));
            r.push_back(l);
        }
        return r;
    }

    void Memoire(const char *phase) { memoire_.push_back({phase, ticks_, ResidentKo()}); }

    // A sequencer script: `premier` opened at once, then each line at its second of program
    // time, "attente" between them.
    std::string Script(const std::string &premier, const std::map<long, std::string> &lignes) {
        std::string texte = "ouvrir " + premier + "\n";
        long maintenant = 0;
        for (const auto &[seconde, ligne] : lignes) {
            if (seconde > maintenant) texte += "attente " + std::to_string(seconde - maintenant) + "\n";
            texte += ligne + "\n";
            maintenant = seconde;
        }
        const std::string chemin = dir_ + "/script-" + std::to_string(++scripts_) + ".txt";
        EcrireFichier(chemin, texte);
        return chemin;
    }

    // The record files of a full disk: the main file and every vector file of the set are
    // /dev/full.
    std::string Plein(int rang) {
        const std::string base = dir_ + "/plein-" + std::to_string(rang);
        const auto Lien = [this](const std::string &chemin) {
            std::error_code e;  // a name given twice is one file
            fs::create_symlink("/dev/full", CheminSysteme(chemin.c_str()), e);
            liens_.push_back(CheminSysteme(chemin.c_str()));
        };
        Lien(base + ".xls");
        for (const std::string &nom : noms_) Lien(base + "-" + nom + ".xls");
        pleins_.push_back(base + ".xls");
        return base + ".xls";
    }

    std::string dir_;
    std::vector<std::string> types_;
    std::vector<std::string> noms_;
    std::map<std::string, int> tatoos_;
    std::vector<std::string> popups_;
    std::vector<std::string> journal_;
    std::vector<Faute> fautes_;
    std::map<std::string, bool> en_panne_;       // by instrument: a fault said and not ended,
    std::map<std::string, long> debut_panne_;    // and the tick it was said
    std::vector<std::string> repetitions_;       // lines said again within one episode
    // By instrument: the lines no injected fault explains, with their sampling tick.
    std::map<std::string, std::vector<std::pair<long, std::string>>> spontanees_;
    struct Point {
        std::string phase;
        long tick;
        long ko;
    };
    std::vector<Point> memoire_;
    std::map<int, double> ecoule_;
    long ticks_ = 0;
    std::string courant_;     // the main record file now open
    long ticks_ouverts_ = 0;  // ticks sampled while it was open
    std::vector<std::pair<std::string, Bilan>> bilans_;
    std::vector<std::string> pleins_;
    std::shared_ptr<sim::Appareil> appareil_debranche_;
    std::vector<std::string> laisses_;  // types left out, with why
    std::vector<fs::path> liens_;
    std::vector<long> lectures_recentes_, lectures_anciennes_;  // every kReprise ticks
    std::vector<AppareilSerie> series_;
    int ronde_ = -1;  // the round of faults at one second under way (-1: another phase)
    // At the start of each round of faults at one second, and at its end: the tick, and the
    // readings of each instrument.
    std::vector<std::pair<long, std::vector<long>>> rondes_;
    int scripts_ = 0;
};

// The devices of the demo bench's GPIB board, by address.
std::vector<int> AdressesDuBanc() {
    std::vector<int> r;
    for (const auto &[adresse, appareil] : sim::BusDeCarte(0)->Appareils()) r.push_back(adresse.first);
    return r;
}

TEST_F(Soak, TheDemoBenchRunsLongWithFaults) {
    const Forme forme = FormeDemandee();
    ASSERT_NO_FATAL_FAILURE(ListerLeBanc());
    ASSERT_NO_FATAL_FAILURE(TrouverSeries());
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 3), 0);
    const std::vector<int> adresses = AdressesDuBanc();
    ASSERT_FALSE(adresses.empty());
    const auto debut_reel = std::chrono::steady_clock::now();

    // ---- a long acquisition at one second, in the sequencer mode -----------------------------
    // Each round: a full disk for a while, an unknown script line, the acquisition board reset
    // in the middle of a frame, a GPIB instrument unplugged then plugged back, a serial line
    // unplugged then plugged back, a serial line answering garbage, a GPIB instrument answering
    // garbage, and the acquisition board's frames cut in half, each for a while. The pumps get a
    // command every minute.
    const long ronde = forme.secondes / forme.rondes;
    const long panne = std::max(60L, ronde / 20);  // how long each lasting fault lasts
    std::map<long, std::string> lignes_script;  // by second of program time
    const auto Ajouter = [&lignes_script](long seconde, const std::string &ligne) {
        std::string &l = lignes_script[seconde];
        l += (l.empty() ? "" : "\n") + ligne;
    };
    for (int r = 0; r < forme.rondes; ++r) {
        const long debut = r * ronde;
        Ajouter(debut + ronde / 8, "ouvrir " + Plein(r));
        Ajouter(debut + ronde / 8 + panne, "ouvrir " + dir_ + "/soak-" + std::to_string(r) + "-0.xls");
        Ajouter(debut + ronde / 4 + panne, "instruction_inconnue " + std::to_string(r));
        // A new record file every kRotation seconds, except while the disk is full.
        for (long t = kRotation; t < ronde; t += kRotation)
            if (t < ronde / 8 || t > ronde / 8 + panne)
                Ajouter(debut + t, "ouvrir " + dir_ + "/soak-" + std::to_string(r) + "-" + std::to_string(t) + ".xls");
    }
    for (long t = kPeriodeCommandes / 2; t < forme.secondes; t += kPeriodeCommandes)
        for (const AppareilSerie &a : series_)
            if (a.commande) Ajouter(t, "commande " + noms_[a.rang] + ": " + a.commande);
    // The serial lines in list order: the round's unplugged line and garbled line go round them.
    std::vector<int> ports;
    for (const AppareilSerie &a : series_)
        if (std::find(ports.begin(), ports.end(), a.port) == ports.end()) ports.push_back(a.port);
    const AppareilSerie *carte = Serielle(Serie::carte);
    int appels_carte = 0;  // the board's calls when it was told to reset
    // A failure of the line of COM`port` (0: none) for `panne` ticks, from tick 0 of `depuis`.
    const auto PanneDeLigne = [&](long depuis, int port, sim::serie::Panne defaut, PanneSerie sorte, const char *quoi) {
        if (port == 0 || (depuis != 0 && depuis != panne)) return;
        if (depuis == 0) InjecterSerie("COM" + std::to_string(port) + quoi, sorte, port);
        sim::serie::LigneDuPort(port)->FixerPanne(depuis == 0 ? defaut : sim::serie::Panne::aucune);
        if (depuis == panne) Reparee();
    };
    const std::string script = Script(dir_ + "/soak-debut.xls", lignes_script);
    ASSERT_NO_FATAL_FAILURE(Demarrer(2, 1.0, script));
    Memoire("start");
    const long echantillon_memoire = std::max(1L, forme.secondes / 24);
    for (long s = 0; s < forme.secondes; ++s) {
        const long t = s % ronde;
        const int r = static_cast<int>(s / ronde);
        const int debranche = adresses[static_cast<std::size_t>(r) % adresses.size()];
        const int bavard = adresses[(static_cast<std::size_t>(r) + adresses.size() / 2) % adresses.size()];
        auto bus = sim::BusDeCarte(0);
        const auto rang = static_cast<std::size_t>(r);
        const int port_debranche = ports.empty() ? 0 : ports[rang % ports.size()];
        const int port_bavard = ports.empty() ? 0 : ports[(rang + ports.size() / 2) % ports.size()];
        if (t == 0) {
            ronde_ = r;
            rondes_.emplace_back(ticks_, Compteurs());
        }
        if (t == ronde / 8) Injecter("full disk (" + pleins_[static_cast<std::size_t>(r)] + ")");
        if (t == ronde / 8 + panne) Reparee();
        if (t == ronde / 4 + panne) Injecter("script error");
        if (t == ronde / 4 + panne + 1) Reparee();
        // The board is reset half-way through a frame; it takes its handshake up again at once.
        if (carte && t == ronde / 4 + panne / 2) {
            InjecterSerie("acquisition board reset in the middle of a frame", PanneSerie::reinitialisee, carte->port);
            SurAppareil<sim::CarteVexo>(carte->port, [&appels_carte](sim::CarteVexo &c) {
                appels_carte = c.Appels();
                c.ReinitialiserApres(sim::CarteVexo::kTailleTrame / 2);
            });
        }
        if (carte && t == ronde / 4 + panne / 2 + kDureeReinitialisation) {
            SurAppareil<sim::CarteVexo>(carte->port, [appels_carte](const sim::CarteVexo &c) {
                EXPECT_GT(c.Appels(), appels_carte) << "the board was not reset";
            });
            Reparee();
        }
        PanneDeLigne(t - 3 * ronde / 8, port_debranche, sim::serie::Panne::debranche, PanneSerie::debranchee,
                     " unplugged");
        if (t == ronde / 2) {
            Injecter("GPIB address " + std::to_string(debranche) + " unplugged",
                     "(GPIB0::" + std::to_string(debranche) + ")");
            appareil_debranche_ = bus->AppareilA(debranche);
            bus->Debrancher(debranche);
        }
        if (t == ronde / 2 + panne) {
            bus->Brancher(debranche, appareil_debranche_);
            appareil_debranche_.reset();
            Reparee();
        }
        PanneDeLigne(t - 5 * ronde / 8, port_bavard, sim::serie::Panne::charabia, PanneSerie::charabia,
                     " answers garbage");
        if (t == 3 * ronde / 4) {
            Injecter("GPIB address " + std::to_string(bavard) + " answers garbage",
                     "(GPIB0::" + std::to_string(bavard) + ")");
            sim::Defauts d = bus->AppareilA(bavard)->LireDefauts();
            d.charabia = true;
            bus->AppareilA(bavard)->FixerDefauts(d);
        }
        if (t == 3 * ronde / 4 + panne) {
            sim::Defauts d = bus->AppareilA(bavard)->LireDefauts();
            d.charabia = false;
            bus->AppareilA(bavard)->FixerDefauts(d);
            Reparee();
        }
        if (carte && (t == 7 * ronde / 8 || t == 7 * ronde / 8 + panne)) {
            const bool couper = t == 7 * ronde / 8;
            if (couper) InjecterSerie("acquisition board's frames cut in half", PanneSerie::coupee, carte->port);
            SurAppareil<sim::CarteVexo>(carte->port, [couper](sim::CarteVexo &c) {
                c.CouperTrames(couper ? std::optional<std::size_t>(sim::CarteVexo::kTailleTrame / 2) : std::nullopt);
            });
            if (!couper) Reparee();
        }
        ASSERT_NO_FATAL_FAILURE(Avancer(1.0));
        VerifierReprise();
        if ((s + 1) % echantillon_memoire == 0) Memoire("1 s");
    }
    rondes_.emplace_back(ticks_, Compteurs());
    ronde_ = -1;
    const std::vector<std::string> lectures = Lectures();
    ASSERT_NO_FATAL_FAILURE(Arreter());
    Memoire("stop");

    // ---- the synchronised mode: a damaged set-point file, then a good one --------------------
    const fs::path surveille = dir_ + "/banc";
    fs::create_directory(surveille);
    ASSERT_NO_FATAL_FAILURE(Demarrer(1, 1.0, ""));
    ui_test::Repondre(ui_test::Popup::Repertoire, VAL_DIRECTORY_SELECTED, surveille.string());
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    ASSERT_TRUE(Actif(PANEL_Time_T_synchrobanc));
    Injecter("damaged set-point file");
    EcrireFichier(surveille / "consigne.txt", "nom;mes\x01ure\r\nduree;-5\r\nperiode;x\r\n");
    // The synchronisation panel says so at every watch tick, the status list once.
    for (int s = 0; s < 30; ++s) ASSERT_NO_FATAL_FAILURE(Avancer(1.0));
    char message[300] = "";
    GetCtrlVal(panel_synchro, P_Synchro_TEXTMSG_synchromes, message);
    EXPECT_STREQ(message, "Fichier invalide !");
    const long duree_synchro = forme.duree_synchro;
    EcrireFichier(surveille / "consigne.txt", "nom;synchro\r\nduree;" + std::to_string(duree_synchro) + "\r\nperiode;2\r\n");
    for (int s = 0; s < 3 && !Actif(PANEL_Time_T_Attente); ++s) ASSERT_NO_FATAL_FAILURE(Avancer(1.0));
    ASSERT_TRUE(Actif(PANEL_Time_T_Attente)) << "the good set-point was not taken";
    Reparee();
    // The measurement's record: its first sample is taken at once, then one per period.
    courant_ = (surveille / "synchro.xls").string();
    ++ticks_ouverts_;
    for (long s = 0; s < duree_synchro + 2 && Actif(PANEL_Time_T_Attente); ++s) ASSERT_NO_FATAL_FAILURE(Avancer(1.0));
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente)) << "the measurement did not end";
    EXPECT_FALSE(Enregistrement_ouvert());
    Clore();
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    ASSERT_NO_FATAL_FAILURE(Arreter());
    Memoire("synchro");

    // ---- the shortest period the program allows ----------------------------------------------
    // Vector records once a second, as an operator sets it at this period: the record rows
    // still come at every sample.
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_N_sous_ech_2D, std::lround(1 / kPeriodeMin)), 0);
    std::map<long, std::string> rotation;
    for (long t = kRotation; t < forme.secondes_courtes; t += kRotation)
        rotation[t] = "ouvrir " + dir_ + "/rapide-" + std::to_string(t) + ".xls";
    ASSERT_NO_FATAL_FAILURE(Demarrer(2, kPeriodeMin, Script(dir_ + "/rapide-0.xls", rotation)));
    const long pas_rapides = std::lround(forme.secondes_courtes / kPeriodeMin);
    for (long k = 0; k < pas_rapides; ++k) {
        ASSERT_NO_FATAL_FAILURE(Avancer(kPeriodeMin));
        if ((k + 1) % std::max(1L, pas_rapides / 6) == 0) Memoire("0.01 s");
    }
    ASSERT_NO_FATAL_FAILURE(Arreter());
    Memoire("stop");
    const double reel = std::chrono::duration<double>(std::chrono::steady_clock::now() - debut_reel).count();

    // ---- the report -------------------------------------------------------------------------
    std::printf("soak (%s): %zu instrument types on the demo bench:", forme.nom, types_.size());
    for (const auto &t : types_) std::printf(" %s", t.c_str());
    for (const auto &t : laisses_) std::printf("\n  left out, does not start on the demo bench: %s", t.c_str());
    std::printf("\n%ld sampling ticks in %.0f real seconds\nresident size:\n", ticks_, reel);
    for (const Point &p : memoire_) std::printf("  %-8s tick %9ld  %8ld kB\n", p.phase.c_str(), p.tick, p.ko);
    std::printf("readings taken by each instrument (reading number of its first channel) over the run at 1 s:\n");
    for (const std::string &l : lectures) std::printf("  %s\n", l.c_str());
    // The serial devices, held to their readings in both forms of the run.
    std::printf("serial devices, round by round at 1 s: readings against ticks (a pump: the commands it acted on,"
                " one sent a minute):\n");
    for (const AppareilSerie &a : series_) {
        std::printf("  %s (COM%d):", noms_[a.rang].c_str(), a.port);
        for (std::size_t r = 0; r + 1 < rondes_.size(); ++r) {
            const long lues = rondes_[r + 1].second.at(a.rang) - rondes_[r].second.at(a.rang);
            std::printf("%s round %zu: %ld readings, %ld ticks", r ? ";" : "", r, lues,
                        rondes_[r + 1].first - rondes_[r].first);
            EXPECT_GT(lues, 0) << noms_[a.rang] << ": no reading in round " << r;
        }
        std::printf("\n");
    }
    std::printf("record files (rows against ticks; each set deleted once tallied):\n");
    std::uintmax_t octets = 0;
    for (const auto &[f, b] : bilans_) {
        octets += b.octets;
        if (b.plein) {
            std::printf("  %s: %ld ticks on a full disk\n", f.c_str(), b.ticks);
            continue;
        }
        std::printf("  %s: %ld ticks, %ld rows, %ju bytes with its vector files\n", f.c_str(), b.ticks, b.lignes,
                    b.octets);
        EXPECT_EQ(b.lignes, b.ticks) << f;
    }
    std::printf("  %ju bytes written in all\n", octets);
    std::printf("faults (reports from the injection to %ld ticks after the repair):\n", kGrace);
    for (const Faute &f : fautes_) {
        // Instruments that stopped during the fault said something, of it or of their own.
        const bool dit = !f.rapports.empty() || LignesPropresPendant(f);
        std::printf("  ticks %ld-%ld %s: event loop after %.1f ms, %zu report(s)%s\n", f.debut, f.fin, f.nom.c_str(),
                    f.latence_ms, f.rapports.size(), !dit && !f.touches.empty() ? "  <-- NOT REPORTED" : "");
        std::map<std::string, int> lignes;
        for (const auto &l : f.rapports) ++lignes[l];
        for (const auto &[l, n] : lignes) std::printf("      x%d %s\n", n, l.c_str());
        for (const auto &t : f.touches) std::printf("      no reading while it lasted: %s\n", t.c_str());
        for (const auto &m : f.muets)
            std::printf("      no reading again within %ld ticks of the repair: %s  <-- NOT RECOVERED\n", kReprise,
                        m.c_str());
        for (const auto &m : f.en_panne)
            std::printf("      still saying a fault %ld ticks after the repair: %s  <-- NOT RECOVERED\n", kReprise,
                        m.c_str());
        if (!f.lectures_reparee.empty() && !series_.empty()) {
            std::printf("      serial readings while it lasted:");
            for (const AppareilSerie &a : series_)
                std::printf(" %s %ld;", noms_[a.rang].c_str(),
                            f.lectures_reparee[a.rang] - f.lectures_injection[a.rang]);
            std::printf("\n");
        }
        // Every serial device takes readings before each fault of the run at one second, and again
        // after it, and says the fault of its line in its own words.
        for (const AppareilSerie &a : series_) {
            const std::string &nom = noms_[a.rang];
            const auto Dans = [&nom](const std::vector<std::string> &noms) {
                return std::find(noms.begin(), noms.end(), nom) != noms.end();
            };
            if (f.ronde >= 0) {
                EXPECT_TRUE(a.rang < f.vivants.size() && f.vivants[a.rang])
                    << nom << ": no reading in the ticks before " << f.nom;
            }
            EXPECT_FALSE(Dans(f.muets)) << nom << ": no reading again after " << f.nom;
            EXPECT_FALSE(Dans(f.en_panne)) << nom << ": still saying a fault after " << f.nom;
        }
        for (const auto &possibles : f.attendus)
            EXPECT_TRUE(std::find_first_of(f.rapports.begin(), f.rapports.end(), possibles.begin(), possibles.end()) !=
                        f.rapports.end())
                << f.nom << ": not said: " << testing::PrintToString(possibles);
        if (forme.instruments_stricts) {
            EXPECT_TRUE(f.touches.empty() || dit) << f.nom << ": instruments stopped, nothing said";
            EXPECT_TRUE(f.muets.empty()) << f.nom << ": instruments that did not take readings again after it";
        }
        EXPECT_TRUE(f.latence_ms >= 0.0 && f.latence_ms < 1000.0) << f.nom << ": the event loop answered after "
                                                                   << f.latence_ms << " ms";
        EXPECT_LE(f.rapports.size(), kRapportsMax) << f.nom << ": reported again and again";
    }
    // The instruments' own faults, and any fault said twice in one episode.
    std::printf("faults the instruments said outside the injected ones (bound: one per %ld ticks each):\n",
                kTicksParPanneSpontanee);
    const long borne_spontanees = std::max(static_cast<long>(kRapportsMax), ticks_ / kTicksParPanneSpontanee);
    for (const auto &[nom, lignes] : spontanees_) {
        long n = 0;  // the faults, their ends aside
        for (const auto &l : lignes) n += l.second != nom + kFinPanne ? 1 : 0;
        std::printf("  %s: %ld\n", nom.c_str(), n);
        std::map<std::string, std::vector<long>> par_ligne;
        for (const auto &[tick, l] : lignes) par_ligne[l].push_back(tick);
        for (const auto &[l, ticks] : par_ligne) {
            std::printf("      x%zu %s, ticks", ticks.size(), l.c_str());
            for (std::size_t k = 0; k < ticks.size() && k < 8; ++k) std::printf(" %ld", ticks[k]);
            std::printf("%s\n", ticks.size() > 8 ? " ..." : "");
        }
        EXPECT_LE(n, borne_spontanees) << nom << ": says faults of its own again and again";
    }
    for (const auto &l : repetitions_) ADD_FAILURE() << "said again within one episode: " << l;
    // The faults the program itself reports: each said exactly once.
    const auto Fois = [this](const std::string &ligne) { return std::count(journal_.begin(), journal_.end(), ligne); };
    for (const std::string &plein : pleins_)
        EXPECT_EQ(Fois("Erreur d'écriture : le fichier d'enregistrement est incomplet ("_w + plein + ")"), 1) << plein;
    for (int r = 0; r < forme.rondes; ++r)
        EXPECT_EQ(Fois("Commande non reconnue: instruction_inconnue " + std::to_string(r)), 1);
    EXPECT_EQ(Fois("Fichier de consigne invalide : consigne.txt"), 1);

    // Memory: flat once warmed up (the first quarter of each phase), in each phase.
    const auto Croissance = [this](const std::string &phase) {
        std::vector<long> ko;
        for (const Point &p : memoire_)
            if (p.phase == phase) ko.push_back(p.ko);
        return ko.size() < 4 ? 0L : ko.back() - ko[ko.size() / 4];
    };
    const long croissance_lente = Croissance("1 s"), croissance_rapide = Croissance("0.01 s");
    std::printf("growth after warm-up: %ld kB at 1 s, %ld kB at %.2f s (bound %ld kB%s)\n", croissance_lente,
                croissance_rapide, kPeriodeMin, kCroissanceMaxKo, kSousAsan ? ", not applied under AddressSanitizer" : "");
    if (!kSousAsan) {
        EXPECT_LE(croissance_lente, kCroissanceMaxKo);
        EXPECT_LE(croissance_rapide, kCroissanceMaxKo);
    }
    for (const auto &p : popups_) std::printf("  pop-up: %s\n", p.c_str());
    std::fflush(stdout);
}

// The demo bench with every type, sampling at a tenth of a second without fault: the resident
// size after the first minute of program time and at the end, four minutes later (an hour with
// BANC_SOAK=long). Nothing the bench keeps may grow with the run: the simulated devices keep no
// transcript that nobody reads, the graph buffers and the record files are bounded.
TEST_F(Soak, TheDemoBenchStaysFlatAtATenthOfASecond) {
    constexpr double kPeriode = 0.1;
    constexpr long kEchauffement = 60;  // program seconds before the first measure
    const long secondes = std::string(FormeDemandee().nom) == "long" ? 3600 : kEchauffement + 240;
    ASSERT_NO_FATAL_FAILURE(ListerLeBanc());
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 3), 0);
    // Vector records once a second, and a new set of record files every kRotation seconds.
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_N_sous_ech_2D, std::lround(1 / kPeriode)), 0);
    std::map<long, std::string> rotation;
    for (long t = kRotation; t < secondes; t += kRotation)
        rotation[t] = "ouvrir " + dir_ + "/plat-" + std::to_string(t) + ".xls";
    const auto debut_reel = std::chrono::steady_clock::now();
    ASSERT_NO_FATAL_FAILURE(Demarrer(2, kPeriode, Script(dir_ + "/plat-0.xls", rotation)));
    const long pas = std::lround(secondes / kPeriode), echauffement = std::lround(kEchauffement / kPeriode);
    for (long k = 1; k <= pas; ++k) {
        ASSERT_NO_FATAL_FAILURE(Avancer(kPeriode));
        if (k == echauffement || k == pas) Memoire("0.1 s");
    }
    ASSERT_NO_FATAL_FAILURE(Arreter());
    const double reel = std::chrono::duration<double>(std::chrono::steady_clock::now() - debut_reel).count();
    ASSERT_EQ(memoire_.size(), 2u);
    const long croissance = memoire_[1].ko - memoire_[0].ko;
    std::printf("demo bench at %.1f s, %zu instrument types, %ld sampling ticks in %.0f real seconds\n"
                "resident size: %ld kB after %ld s of program time, %ld kB after %ld s: growth %ld kB (bound %ld kB%s)\n",
                kPeriode, types_.size(), ticks_, reel, memoire_[0].ko, kEchauffement, memoire_[1].ko, secondes,
                croissance, kCroissanceMaxKo, kSousAsan ? ", not applied under AddressSanitizer" : "");
    std::fflush(stdout);
    if (!kSousAsan) {
        EXPECT_LE(croissance, kCroissanceMaxKo);
    }
}

}  // namespace
