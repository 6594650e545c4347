// What the tests of the counter plugins share: the program opened on a simulated bench (board
// 0 and the parallel port simulated), simulated universal counters placed at chosen addresses,
// a counter's transcript as readable lines, the notification cycle driven on the fake clock,
// and the pop-ups answered and read back.
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
#include "sim/counters/hp5313x.h"
#include "sim/mesureur.h"
#include "sim/transcription.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace compteur_essai {

// ---- transcripts ------------------------------------------------------------------------------

// One line per transfer: "W " and the bytes of a write, "R " and the bytes of a reply, "SP" for
// a serial poll, "CLR" for a device clear.
inline std::string W(const std::string &commande) { return "W " + commande + std::string(1, '\0'); }
// A write without its NUL (ibwrt of the text's length, or the driver's VISA writes).
inline std::string W2(const std::string &commande) { return "W " + commande; }
inline std::string R(const std::string &reponse) { return "R " + reponse; }
inline const std::string SP = "SP";
inline const std::string CLR = "CLR";
using Lignes = std::vector<std::string>;

inline Lignes operator+(Lignes a, const Lignes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A reading as the counter sends it.
inline std::string Lecture(double v) { return sim::TexteNombre(v, 12, 3) + "\n"; }

inline const std::string kIdentite = "HEWLETT-PACKARD,53131A,0,3703\n";
inline const std::string kRelance = ":INIT:IMM;*OPC";

// What the frequency counters' init puts on the bus at address-independent settings: the
// opening on the device descriptor, then the driver's session.
inline Lignes InitFrequencemetre(int digits = 4, const std::string &entrees = "att 1;coup ac;imp 50;filt off",
                                 int attenuation = 1) {
    const auto SansErreur = [] { return Lignes{W2(":SYST:ERR?"), R("+0,\"No error\"\n")}; };
    Lignes t = {CLR, W("*IDN?"), R(kIdentite), W2("*RST"), W2("*RST"), W2("*CLS"), W2("*SRE 0"), W2("*ESE 0"),
                W2(":FUNC 'FREQ 1'"), W2(":FREQ:ARM:STAR:SOUR IMM"), W2(":FREQ:ARM:STOP:SOUR DIG"),
                W2(":FREQ:ARM:STOP:DIG " + std::to_string(digits)), W2(":TRIG:COUN:AUTO OFF"), W2("FORM:DATA ASCII")};
    for (const std::string n : {"1", "2"}) {
        t = t + Lignes{W2(":inp" + n + ":" + entrees)} + SansErreur();
        t = t +
            Lignes{W2(":inp" + n + ":att " + std::to_string(attenuation) + ";:even" + n + ":lev:auto on;rel 50;:even" +
                      n + ":slop pos;hyst:rel 0;")} +
            SansErreur();
    }
    return t;
}

// ---- time -----------------------------------------------------------------------------------

// Two real minutes: what a wait on another thread allows before it calls it a hang. Only a hang
// reaches it, never a slow machine.
inline constexpr auto kBlocage = std::chrono::minutes(2);

// Lets program time pass by steps of `pas` seconds (0: the clock stands still) until
// `condition` holds; false after kBlocage.
inline bool Attendre(const std::function<bool()> &condition, double pas = 0.002) {
    const auto fin = std::chrono::steady_clock::now() + kBlocage;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return condition();
        if (pas > 0.0) horloge::AvancerHorlogeFactice(pas);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Lets the cycles of `compteurs` run until `condition` holds. Program time moves by `pas` only
// while none of them has a service request waiting: a waiting request is left to its
// notification thread for as long as a loaded machine keeps that thread from running, so that
// program time never runs ahead of a cycle into its time-outs. False once `limite` program
// seconds have passed without the condition, or when a request has waited kBlocage.
inline bool AttendreCycles(const std::vector<sim::Appareil *> &compteurs, const std::function<bool()> &condition,
                           double pas = 0.002, double limite = 60.0) {
    const double debut = horloge::Secondes();
    auto depuis = std::chrono::steady_clock::now();
    while (!condition()) {
        const bool requete =
            std::any_of(compteurs.begin(), compteurs.end(), [](sim::Appareil *a) { return a->DemandeService(); });
        if (!requete) {
            if (horloge::Secondes() - debut > limite) return condition();
            horloge::AvancerHorlogeFactice(pas);
            depuis = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - depuis > kBlocage) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Real time passes with the clock standing still: a callback that could still run has run.
inline void Patienter() { std::this_thread::sleep_for(std::chrono::milliseconds(60)); }

// ---- the bench ----------------------------------------------------------------------------------


// The program opened by BancTest, board 0 and the parallel port simulated.
class BancCompteurs : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        sim::BusDeCarte(0)->Vider();
        ConfigurerBanc("gpib0 = sim\nparport = sim\n");
        port = sim::RegistreParalleleDuBanc();
        ASSERT_NE(port, nullptr);
    }
    void TearDown() override {
        BancTest::TearDown();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
        sim::BusDeCarte(0)->Vider();
    }

    void ConfigurerBanc(const std::string &texte) {
        const std::string chemin = dossier.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << texte;
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
    }

    // A new simulated counter at `adresse` (a 53131A unless `identite` says otherwise).
    static std::shared_ptr<sim::Compteur5313x> Placer(int adresse,
                                                      const std::string &identite = "HEWLETT-PACKARD,53131A,0,3703") {
        auto c = std::make_shared<sim::Compteur5313x>(identite);
        sim::BusDeCarte(0)->Brancher(adresse, c);
        return c;
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

    // The counter's transcript since the last call.
    static Lignes Transcription(sim::Appareil &a) {
        Lignes t;
        for (const sim::Evenement &e : a.Journal()) {
            switch (e.genre) {
            case sim::Evenement::Genre::Ecriture: t.push_back("W " + e.octets); break;
            case sim::Evenement::Genre::Lecture: t.push_back("R " + e.octets); break;
            case sim::Evenement::Genre::SerialPoll: t.push_back(SP); break;
            case sim::Evenement::Genre::Effacement: t.push_back(CLR); break;
            }
        }
        a.EffacerJournal();
        return t;
    }

    // Writes of `commande` (with its NUL) received by the counter since it was placed or its
    // journal emptied.
    static int Envois(const sim::Appareil &a, const std::string &commande) {
        const std::vector<std::string> e = a.Ecritures();
        return static_cast<int>(std::count(e.begin(), e.end(), commande + std::string(1, '\0')));
    }

    // Lets the counter's cycle run until it has launched `n` more measurements (since its
    // journal was emptied), and no more.
    static void Cycles(sim::Appareil &a, int n, double pas = 0.002) {
        ASSERT_TRUE(AttendreCycles({&a}, [&] { return Envois(a, kRelance) >= n; }, pas)) << Envois(a, kRelance);
        EXPECT_EQ(Envois(a, kRelance), n);
    }

    // Bytes written to the port since the last call.
    std::vector<int> EcrituresPort() {
        std::vector<int> v;
        for (const auto &e : port->Journal()) v.push_back(e.valeur);
        port->EffacerJournal();
        return v;
    }

    // Answers the next `n` message pop-ups.
    static void Popups(int n) {
        for (int k = 0; k < n; ++k) ui_test::Repondre(ui_test::Popup::Message);
    }
    static std::vector<std::pair<std::string, std::string>> PopupsVus() {
        std::vector<std::pair<std::string, std::string>> v;
        for (const ui_test::PopupVu &p : ui_test::Vus()) v.emplace_back(p.titre, p.message);
        ui_test::Effacer();
        return v;
    }

    std::shared_ptr<sim::RegistreParallele> port;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

}  // namespace compteur_essai
