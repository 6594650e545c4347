// The two switched instruments ("Fréquencemètre Switché" on SW2, "Powermeter Switché" on SW1
// and SW3) sharing the simulated parallel port with a pulse valve on D0: a pulse longer than the
// switches' wait for the port lock keeps every reading under the position it was measured in,
// is said once per instrument on the status list and once more when the switches move again,
// and the readings resume; an init that cannot set its lines says why.
#include "platform/utility.h"
#include "sim/meters/e4419b.h"
#include "tests/instruments/bench/port_essai.h"
#include "tests/instruments/counters/compteur_essai.h"
#include "tests/support/panne_essai.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace compteur_essai;

constexpr int kAdresseCompteur = 5, kAdresseMesureur = 7;
// Offsets of both settings blocks: the address, the switch lines, and the power meter's sensors.
constexpr std::size_t kBlocAdresse = 4, kBlocBits = 8, kBlocCapteur = 12;
constexpr std::uint8_t kAutres = 0xA0;  // D5 and D7: lines of other instruments
constexpr int kLigneCompteur = 8, kLignesMesureur = 4 | 16;
const std::string kNomCompteur = "Compteur RF", kNomMesureur = "Puissances RF";

// The values each channel reads when its readings are filed under the right position: the
// counter's signal with the line low and high; the meter's sensors A and B on RF1 and RF2.
const std::vector<double> kValeursCompteur = {10e6, 15e6}, kValeursMesureur = {-10, -20, -30, -40};

class SwitchsRf : public BancCompteurs {
protected:
    void SetUp() override {
        BancCompteurs::SetUp();
        if (HasFatalFailure()) return;
        port->Fixer(kAutres);
        compteur = Placer(kAdresseCompteur);
        compteur->FixerSignal(1, {kValeursCompteur[0]});
        compteur->FixerCommutateur(1, kLigneCompteur, {kValeursCompteur[1]});
        mesureur = std::make_shared<sim::E4419B>();
        mesureur->FixerOndulation(0.0);
        mesureur->FixerLignes(1, 4);
        mesureur->FixerLignes(2, 16);
        sim::BusDeCarte(0)->Brancher(kAdresseMesureur, mesureur);

        fsw = Lister("5313x_sw.dll");
        psw = Lister("4419_sw.dll");
        ASSERT_TRUE(fsw && psw);
        fsw->set_nom_instru(fsw, kNomCompteur.c_str());
        psw->set_nom_instru(psw, kNomMesureur.c_str());
        EcrireEntierBloc(fsw, kBlocAdresse, kAdresseCompteur);
        EcrireEntierBloc(psw, kBlocAdresse, kAdresseMesureur);
        EcrireEntierBloc(psw, kBlocCapteur, 6);
    }
    // The switch lines of each instrument, as a loaded block gives them.
    void Lignes(int compteur_bits, int mesureur_bits) {
        EcrireEntierBloc(fsw, kBlocBits, compteur_bits);
        EcrireEntierBloc(psw, kBlocBits, mesureur_bits);
    }

    // Program time passes by steps of 0.1 s, the delayed calls falling due and the lines posted to
    // the status list reaching it, until `condition` holds; false once the clock reads `limite`.
    static bool Laisser(const std::function<bool()> &condition, double limite) {
        while (!condition()) {
            if (horloge::Secondes() >= limite) return condition();
            port_essai::Passer(0.1);
        }
        return true;
    }

    std::shared_ptr<sim::Compteur5313x> compteur;
    std::shared_ptr<sim::E4419B> mesureur;
    PInstrument *fsw = nullptr, *psw = nullptr;
};

// Every channel has a reading, and each reads the value of its own position.
bool ToutesJustes(PInstrument *i, const std::vector<double> &valeurs) {
    const Voies v = LireVoies(i);
    for (const unsigned n : v.numeros)
        if (n == 0) return false;
    return MemesValeurs(v.valeurs, valeurs);
}

// A valve's pulse of 15 s (longer than the switches' wait for the port) during an acquisition of
// both switched instruments: while it holds the port no line moves and no reading goes under a
// position its lines did not have; each instrument says so once, and once more when its
// switches move again at the end of the pulse; then the readings alternate as before.
TEST_F(SwitchsRf, AValvePulseLongerThanTheWaitMisfilesNoReading) {
    Lignes(kLigneCompteur, kLignesMesureur);
    for (PInstrument *i : {fsw, psw}) {
        ASSERT_GE(i->init(i), 0);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
    }
    ASSERT_TRUE(PopupsVus().empty());
    ASSERT_TRUE(AttendreCycles({compteur.get(), mesureur.get()}, [&] {
        return ToutesJustes(fsw, kValeursCompteur) && ToutesJustes(psw, kValeursMesureur);
    }, 0.01));

    PInstrument *valve = Lister("efd.dll");
    ASSERT_NE(valve, nullptr);
    valve->execute(valve, "duree=15");
    const std::size_t deja = Statuts().size();
    EcrituresPort();
    valve->execute(valve, "pschit");
    ASSERT_EQ(valve->status(valve), 0);
    const double debut = horloge::Secondes();
    const auto Dits = [&](const std::string &nom) { return LignesDe(nom, deja); };

    // The wait for the port ends before the pulse does: each instrument says its switch is held.
    ASSERT_TRUE(Laisser([&] { return !Dits(kNomCompteur).empty() && !Dits(kNomMesureur).empty(); }, debut + 14.5))
        << testing::PrintToString(Statuts());
    EXPECT_EQ(valve->status(valve), 0) << "the pulse still runs";
    const std::vector<int> pendant = EcrituresPort();
    ASSERT_FALSE(pendant.empty());
    EXPECT_EQ(pendant.back(), port->Lire()) << "no line moved after the pulse began";
    EXPECT_EQ(pendant.back() & 1, 1);
    EXPECT_TRUE(ToutesJustes(fsw, kValeursCompteur));
    EXPECT_TRUE(ToutesJustes(psw, kValeursMesureur));

    // The pulse ends: the switches move again.
    ASSERT_TRUE(Laisser(
        [&] { return valve->status(valve) == 1 && Dits(kNomCompteur).size() >= 2 && Dits(kNomMesureur).size() >= 2; },
        debut + 30))
        << testing::PrintToString(Statuts());
    EXPECT_GE(horloge::Secondes() - debut, 15.0);
    EXPECT_TRUE(ToutesJustes(fsw, kValeursCompteur));
    EXPECT_TRUE(ToutesJustes(psw, kValeursMesureur));

    // The readings resume, each under its own position.
    const Voies repris_compteur = LireVoies(fsw), repris_mesureur = LireVoies(psw);
    ASSERT_TRUE(Laisser(
        [&] {
            return ToutesNouvelles(LireVoies(fsw), repris_compteur) && ToutesNouvelles(LireVoies(psw), repris_mesureur);
        },
        horloge::Secondes() + 20));
    EXPECT_TRUE(ToutesJustes(fsw, kValeursCompteur));
    EXPECT_TRUE(ToutesJustes(psw, kValeursMesureur));
    for (const std::string &nom : {kNomCompteur, kNomMesureur}) {
        EXPECT_EQ(Dits(nom), (std::vector<std::string>{
                                 nom + " : " + "le switch ne peut pas changer de voie (le port parallèle est occupé)"_w,
                                 nom + " : le switch change de nouveau de voie"}))
            << "said once, and once when it is over";
    }
    EXPECT_TRUE(PopupsVus().empty()) << "no pop-up from a bus thread";
    for (PInstrument *i : {fsw, psw}) i->stop(i);
    Patienter();
}

// An init that cannot set its switch lines fails after a pop-up that says why, and writes
// nothing on the port: the port held elsewhere past the wait, or a loaded block whose switch is
// none of SW1, SW2, SW3 (no line to move, so no channel to tell from the other).
TEST_F(SwitchsRf, AnInitThatCannotSetItsLinesSaysWhy) {
    const std::string occupe = "le port parallèle est occupé"_w, sans_switch = "aucun switch (SW1, SW2 ou SW3) n'est choisi";
    const struct {
        const char *nom;
        int compteur_bits, mesureur_bits;
        bool port_tenu;
        std::string raison;  // empty: init succeeds
    } cas[] = {
        {"the port held by another thread", kLigneCompteur, kLignesMesureur, true, occupe},
        {"no line at all", 0, 0, false, sans_switch},
        {"a line of another instrument", 2, 1, false, sans_switch},
        {"lines beyond D4", 32, 64 | 128, false, sans_switch},
        {"a valid switch, the port free", kLigneCompteur, kLignesMesureur, false, ""},
    };
    for (const auto &c : cas) {
        for (PInstrument *i : {fsw, psw}) {
            SCOPED_TRACE(std::string(c.nom) + (i == fsw ? ": counter" : ": power meter"));
            Lignes(c.compteur_bits, c.mesureur_bits);
            EcrituresPort();
            // Another thread holds the port and lets program time pass until init has ended.
            std::atomic<bool> tenu{!c.port_tenu}, fini{false};
            std::thread autre;
            if (c.port_tenu) {
                autre = std::thread([&] {
                    CmtGetLock(Lock_port_parallele);
                    tenu = true;
                    while (!fini) {
                        horloge::AvancerHorlogeFactice(0.05);
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    CmtReleaseLock(Lock_port_parallele);
                });
            }
            while (!tenu) std::this_thread::yield();
            if (!c.raison.empty()) Popups(1);
            const int resultat = i->init(i);
            fini = true;
            if (autre.joinable()) autre.join();
            if (c.raison.empty()) {
                EXPECT_GE(resultat, 0);
                EXPECT_TRUE(PopupsVus().empty());
                EXPECT_EQ(EcrituresPort().size(), 1u) << "the switch lines low";
            } else {
                EXPECT_EQ(resultat, -1);
                EXPECT_EQ(PopupsVus(), (std::vector<std::pair<std::string, std::string>>{
                                           {"Attention", "Impossible de positionner les lignes du switch : " + c.raison + "."}}));
                EXPECT_TRUE(EcrituresPort().empty()) << "nothing written";
            }
        }
    }
}

}  // namespace
