// What the tests of the two power-meter plugins share: the program opened on a simulated bench
// (board 0 simulated, parallel port simulated) with a simulated E4419B at address 7, a board
// in front of the simulated bus that spoils chosen transfers (a reply that never comes, a reply
// replaced, no listener), the meter's transcript as
// readable lines, and the reading cycle driven on the fake clock.
#pragma once

#include "app/Interface.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/parport.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/banc.h"
#include "sim/bus.h"
#include "sim/meters/e4419b.h"
#include "sim/transcription.h"
#include "tests/support/banc_test.h"
#include "tests/support/panne_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace power_essai {

// ---- a board that refuses chosen transfers --------------------------------------------------

// Passes every call to the simulated bus of board 0, but (the commands without their NUL):
// - the reply to `lecture_refusee_apres` is read off the bus and dropped: the read fails;
// - the reply to `question_remplacee` is read off the bus and `reponse_remplacee` given instead;
// - with `sans_ecouteur`, no listener answers the listener check.
// (A write the meter refuses is the meter's own fault: sim::Defauts::ecritureRefusee.)
class CartePannes : public CarteGpib {
public:
    explicit CartePannes(std::shared_ptr<CarteGpib> bus) : bus_(std::move(bus)) {}

    struct Regles {
        std::string lecture_refusee_apres;
        std::string question_remplacee, reponse_remplacee;
        bool sans_ecouteur = false;
    };
    void Fixer(const Regles &r) {
        std::lock_guard g(m_);
        regles_ = r;
    }

    ResultatGpib InterfaceClear() override { return bus_->InterfaceClear(); }
    ResultatGpib Ecoutant(int h, int pad, int sad, short *trouve) override {
        const ResultatGpib r = bus_->Ecoutant(h, pad, sad, trouve);
        if (Regle().sans_ecouteur) *trouve = 0;
        return r;
    }
    int Ouvrir(int pad, int sad, int tmo, int eot, int eos, ResultatGpib &r) override {
        return bus_->Ouvrir(pad, sad, tmo, eot, eos, r);
    }
    ResultatGpib Fermer(int h) override { return bus_->Fermer(h); }
    ResultatGpib Configurer(int h, int option, int valeur) override { return bus_->Configurer(h, option, valeur); }
    ResultatGpib FixerDelai(int h, double secondes) override { return bus_->FixerDelai(h, secondes); }
    ResultatGpib Ecrire(int h, const void *octets, long n) override {
        std::string commande(static_cast<const char *>(octets), static_cast<std::size_t>(n));
        if (!commande.empty() && commande.back() == '\0') commande.pop_back();
        {
            std::lock_guard g(m_);
            derniere_[h] = commande;
        }
        return bus_->Ecrire(h, octets, n);
    }
    ResultatGpib Lire(int h, void *octets, long n) override {
        const ResultatGpib r = bus_->Lire(h, octets, n);
        std::lock_guard g(m_);
        const std::string &question = derniere_[h];
        if (!regles_.lecture_refusee_apres.empty() && question == regles_.lecture_refusee_apres)
            return {ERR | TIMO, EABO, 0};
        if (!regles_.question_remplacee.empty() && question == regles_.question_remplacee) {
            const std::string &texte = regles_.reponse_remplacee;
            const long k = std::min<long>(n, static_cast<long>(texte.size()));
            std::copy(texte.begin(), texte.begin() + k, static_cast<char *>(octets));
            return {CMPL | END, 0, k};
        }
        return r;
    }
    ResultatGpib Effacer(int h) override { return bus_->Effacer(h); }
    ResultatGpib SerialPoll(int h, char *octet) override { return bus_->SerialPoll(h, octet); }
    ResultatGpib Attendre(int h, int masque) override { return bus_->Attendre(h, masque); }
    ResultatGpib Interrompre(int h) override { return bus_->Interrompre(h); }
    bool NotificationPossible(int h) override { return bus_->NotificationPossible(h); }
    ResultatGpib EtatNotification(int h) override { return bus_->EtatNotification(h); }
    void AttendreChangement(int h, double secondesReelles) override { bus_->AttendreChangement(h, secondesReelles); }

private:
    Regles Regle() {
        std::lock_guard g(m_);
        return regles_;
    }

    std::shared_ptr<CarteGpib> bus_;
    std::mutex m_;
    Regles regles_;
    std::map<int, std::string> derniere_;  // the last command written on each handle
};

inline std::shared_ptr<CartePannes> &CarteDuTest() {
    static std::shared_ptr<CartePannes> carte;
    return carte;
}

inline std::shared_ptr<CarteGpib> FabriqueCarte(int carte, const std::map<int, std::string> &) {
    if (carte != 0) return sim::NouvelleCarte(sim::BusDeCarte(carte));
    return CarteDuTest();
}

// ---- the meter's transcript -------------------------------------------------------------------

// One line per transfer: "W " and the bytes of a write (its NUL included), "R " and the bytes
// of a reply, "SP" for a serial poll, "CLR" for a device clear.
inline std::string W(const std::string &commande) { return "W " + commande + std::string(1, '\0'); }
inline std::string R(const std::string &reponse) { return "R " + reponse; }
inline const std::string SP = "SP";
inline const std::string CLR = "CLR";
// An error-queue check that finds the queue empty.
inline std::vector<std::string> SansErreur() { return {W("SYST:ERR?"), R("+0,\"No error\"\n")}; }
inline const std::string kRelance = "*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*OPC";

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The set-up of both windows at `frequence` MHz, each command followed by an empty error check.
inline std::vector<std::string> ReglageFenetres(int frequence) {
    std::vector<std::string> t;
    for (const std::string c : {"1", "2"}) {
        for (const std::string &commande :
             {"CONF" + c + ":POW:AC DEF,4,(@" + c + ")", ":ABOR" + c, "TRIG" + c + ":SOUR BUS", "INIT" + c + ":CONT ON",
              "TRIG" + c + ":DEL:AUTO ON", "UNIT" + c + ":POW DBM", "SENS" + c + ":SPE 20",
              "SENS" + c + ":AVER:COUN:AUTO ON", "SENS" + c + ":AVER:SDET OFF", "SENS" + c + ":AVER:COUN 4",
              "SENS" + c + ":AVER:STAT ON", "SENS" + c + ":FREQ:FIX " + std::to_string(frequence) + "MHz"})
            t = t + std::vector<std::string>{W(commande)} + SansErreur();
    }
    return t;
}

// The start of the cycle, "*ESR?" answering `esr`.
inline std::vector<std::string> Demarrage(const std::string &esr) {
    return SansErreur() + std::vector<std::string>{W("*ESE 1"), W("*SRE 32")} + SansErreur() +
           std::vector<std::string>{W("*ESR?"), R(esr)} + SansErreur() + SansErreur() +
           std::vector<std::string>{W("*TRG;*OPC")};
}

inline std::string Valeur(double dbm) {
    char t[32];
    std::snprintf(t, sizeof t, "%+.8E\n", dbm);
    return t;
}

// One reading cycle (without its switch move): the request, the fetch and the relaunch.
inline std::vector<std::string> Cycle(double fenetre1, double fenetre2) {
    return {SP, W("*ESR?"), R("+1\n"), SP, W("FETCH1?"), R(Valeur(fenetre1)), W("FETCH2?"), R(Valeur(fenetre2)),
            W(kRelance)};
}

// ---- time -----------------------------------------------------------------------------------

// Lets program time pass by steps of `pas` seconds (0: the clock stands still) until
// `condition` holds; false after 10 real seconds.
inline bool Attendre(const std::function<bool()> &condition, double pas = 0.02) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        if (pas > 0.0) horloge::AvancerHorlogeFactice(pas);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Program time passes for `secondes`, in small steps, with nobody waiting for anything.
inline void Laisser(double secondes) {
    for (double t = 0; t < secondes; t += 0.02) {
        horloge::AvancerHorlogeFactice(0.02);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---- faults while a cycle runs ------------------------------------------------------------------

// Program time passes by steps of `pas`, the lines posted to the status list reaching it, until
// `condition` holds; false after 10 real seconds.
inline bool LaisserLesLignes(const std::function<bool()> &condition, double pas = 0.1) {
    return Attendre(
        [&] {
            QCoreApplication::processEvents();
            return condition();
        },
        pas);
}

// Two minutes of program time: long enough for several time-outs of a meter (10 s each).
inline void DeuxMinutes() {
    const double fin = horloge::Secondes() + 120;
    ASSERT_TRUE(LaisserLesLignes([&] { return horloge::Secondes() >= fin; }, 0.5));
}

// ---- the bench ----------------------------------------------------------------------------------

// The program opened by BancTest, board 0 simulated behind CartePannes, the parallel port
// simulated with foreign lines preset (kOctetInitial), and a steady E4419B at address 7.
class BancE4419B : public BancTest {
protected:
    static constexpr int kAdresse = 7;
    static constexpr std::uint8_t kOctetInitial = 0xEB;  // lines D0, D1, D3, D5, D6, D7 high

    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        sim::BusDeCarte(0)->Vider();
        CarteDuTest() = std::make_shared<CartePannes>(sim::NouvelleCarte(sim::BusDeCarte(0)));
        FabriquesSimulation f = Simulation();
        f.carte_gpib = FabriqueCarte;
        InstallerSimulation(f);
        ConfigurerBanc("gpib0 = sim\nparport = sim\n");
        NouveauMesureur();
        port = sim::RegistreParalleleDuBanc();
        ASSERT_NE(port, nullptr);
        port->Fixer(kOctetInitial);
    }
    void TearDown() override {
        BancTest::TearDown();
        sim::InstallerBanc();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
        sim::BusDeCarte(0)->Vider();
        CarteDuTest().reset();
    }

    void ConfigurerBanc(const std::string &texte) {
        const std::string chemin = dossier.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << texte;
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
    }

    // An instrument of type `cle` entered into the program's list, as a settings load does.
    static PInstrument *Lister(const char *cle) {
        PInstrument *i = Nouvel_instrument(cle);
        EXPECT_NE(i, nullptr);
        if (!i) return nullptr;
        liste_instru = Inserer_instru(liste_instru, cle, i, get_tatoo());
        char nom[kLongueurNomInstru] = "";
        i->get_nom_instru(i, nom);
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
        return i;
    }

    // The meter's transcript since the last call (to be called while no callback runs).
    std::vector<std::string> Transcription() {
        std::vector<std::string> t;
        relances_ += RelancesAuJournal();
        for (const sim::Evenement &e : mesureur->Journal()) {
            switch (e.genre) {
            case sim::Evenement::Genre::Ecriture: t.push_back("W " + e.octets); break;
            case sim::Evenement::Genre::Lecture: t.push_back("R " + e.octets); break;
            case sim::Evenement::Genre::SerialPoll: t.push_back(SP); break;
            case sim::Evenement::Genre::Effacement: t.push_back(CLR); break;
            }
        }
        mesureur->EffacerJournal();
        return t;
    }

    // Bytes written to the port since the last call.
    std::vector<int> EcrituresPort() {
        std::vector<int> v;
        for (const auto &e : port->Journal()) v.push_back(e.valeur);
        port->EffacerJournal();
        return v;
    }

    // Relaunches sent to the meter since it was placed.
    int Relances() const { return relances_ + RelancesAuJournal(); }

    // Lets the reading cycles run until `n` relaunches have gone out in all, then lets the last
    // callback return (the clock stands still meanwhile, so nothing else happens).
    void Cycles(int n) {
        ASSERT_TRUE(Attendre([&] { return Relances() >= n; })) << Relances() << " relaunches";
        EXPECT_EQ(Relances(), n);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The meter refuses every write of `commande` (it times out).
    void Refuser(const std::string &commande) {
        sim::Defauts d;
        d.ecritureRefusee = commande;
        mesureur->FixerDefauts(d);
    }

    // Answers the next pop-ups (message pop-ups), in order.
    static void Popups(int n) {
        for (int k = 0; k < n; ++k) ui_test::Repondre(ui_test::Popup::Message);
    }
    static std::vector<std::pair<std::string, std::string>> PopupsVus() {
        std::vector<std::pair<std::string, std::string>> v;
        for (const ui_test::PopupVu &p : ui_test::Vus()) v.emplace_back(p.titre, p.message);
        ui_test::Effacer();
        return v;
    }

    // Places a new steady meter at the address (and forgets the relaunches of the previous one).
    void NouveauMesureur() {
        mesureur = std::make_shared<sim::E4419B>();
        mesureur->FixerOndulation(0.0);
        sim::BusDeCarte(0)->Brancher(kAdresse, mesureur);
        relances_ = 0;
    }

    std::shared_ptr<sim::E4419B> mesureur;
    std::shared_ptr<sim::RegistreParallele> port;

private:
    int RelancesAuJournal() const {
        int n = 0;
        for (const std::string &e : mesureur->Ecritures()) n += e == kRelance + std::string(1, '\0');
        return n;
    }

    int relances_ = 0;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

}  // namespace power_essai
