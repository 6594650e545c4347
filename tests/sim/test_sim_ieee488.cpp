// The simulated IEEE 488.2 instrument, driven through the GPIB calls as the program drives it:
// common commands, status registers and service request, error queue, overlapped operations,
// message framing, and the faults a test can give it. Also the recording device and the
// instruments of the bench configuration.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/gpib_essai.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "sim/ieee488.h"
#include "sim/instruments.h"

namespace {

// A measuring instrument: :INIT starts a measurement of 2 s (":INIT:WAIT" one that ends only
// when told), :FETC? gives the last reading.
class Mesureur : public sim::Appareil488 {
public:
    Mesureur() : Appareil488("ESSAI,MESUREUR,0,1") {
        Commande(":INITiate[:IMMediate]", [this](sim::Appel &a) {
            if (a.AuPlus(0)) DemarrerOperation(2.0);
        });
        Commande(":INITiate:WAIT", [this](sim::Appel &) { DemarrerOperation(); });
        Commande(":FETCh?", [this](sim::Appel &a) { a.Repondre("+" + std::to_string(mesures_)); });
    }

private:
    void OperationTerminee() override { ++mesures_; }
    void Reinitialiser() override { mesures_ = 0; }
    int mesures_ = 0;
};

class Instrument488 : public testing::Test {
protected:
    void SetUp() override {
        banc_.Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Brancher(4, appareil_);
        ud_ = ibdev(0, 4, 0, T10s, 1, 1);
    }
    // Writes `commande` as the program's helper does (with its NUL, END on it).
    void Envoyer(const std::string &commande, int ud = -1) {
        const std::string m = commande + '\0';
        ibwrt(ud < 0 ? ud_ : ud, m.data(), static_cast<long>(m.size()));
    }
    std::string Lire(int *sta = nullptr) {
        char tampon[512];
        const int s = ibrd(ud_, tampon, sizeof tampon);
        if (sta != nullptr) *sta = s;
        return std::string(tampon, static_cast<std::size_t>(ThreadIbcntl()));
    }
    std::string Question(const std::string &commande) {
        Envoyer(commande);
        return Lire();
    }

    essai::Banc banc_;
    std::shared_ptr<Mesureur> appareil_ = std::make_shared<Mesureur>();
    int ud_ = -1;
};

TEST_F(Instrument488, CommonCommandsAndErrors) {
    const struct {
        const char *envoi;
        const char *reponse;  // null: nothing to read
    } cas[] = {
        {"*IDN?", "ESSAI,MESUREUR,0,1\n"},
        {"*idn?", "ESSAI,MESUREUR,0,1\n"},
        {"*ESE 36;*ESE?", "+36\n"},
        {"*SRE 255;*SRE?", "+191\n"},
        {"*SRE 0;*ESE 0", nullptr},
        {"*ESR?", "+0\n"},
        {"*OPC;*ESR?;*ESR?", "+1;+0\n"},
        {"*TST?", "+0\n"},
        {"*OPC?", "1\n"},
        {":syst:err?", "+0,\"No error\"\n"},
        {"*ESE 256", nullptr},
        {"*ESE", nullptr},
        {"*RST 1", nullptr},
        {"*ESE ON", nullptr},
        {":NO:SUCH:COMMAND", nullptr},
        {":A::B", nullptr},
        {":SYST:ERR?;:SYST:ERR?;:SYST:ERR?", "-222,\"Data out of range\";-109,\"Missing parameter\";-108,\"Parameter not allowed\"\n"},
        {":SYST:ERR:NEXT?;:SYST:ERR?;ERR?", "-104,\"Data type error\";-113,\"Undefined header\";-102,\"Syntax error\"\n"},
        {"*ESR?", "+48\n"},  // command (CME) and execution (EXE) errors
        {"SYSTEM:ERROR?", "+0,\"No error\"\n"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.envoi);
        Envoyer(c.envoi);
        EXPECT_EQ(appareil_->SortieEnAttente(), c.reponse != nullptr ? c.reponse : "");
        if (c.reponse != nullptr) {
            EXPECT_EQ(Lire(), c.reponse);
        }
    }
}

TEST_F(Instrument488, ServiceRequestOnTheRisingEdgeClearedBySerialPoll) {
    Envoyer("*ESE 1");
    Envoyer("*SRE 32");
    EXPECT_FALSE(appareil_->DemandeService());
    Envoyer("*OPC");
    EXPECT_TRUE(appareil_->DemandeService());
    EXPECT_EQ(Question("*STB?"), "+96\n");  // ESB and MSS; read without clearing
    EXPECT_TRUE(appareil_->DemandeService());
    char octet = 0;
    EXPECT_FALSE(ibrsp(ud_, &octet) & RQS);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x60);
    EXPECT_FALSE(appareil_->DemandeService());
    ibrsp(ud_, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x20);  // ESB stays until *ESR?

    Envoyer("*OPC");  // ESB already set: no new edge
    EXPECT_FALSE(appareil_->DemandeService());
    EXPECT_EQ(Question("*ESR?"), "+1\n");
    Envoyer("*OPC");
    EXPECT_TRUE(appareil_->DemandeService());

    Envoyer("*CLS");  // the reason goes away: so does the request, without a poll
    EXPECT_FALSE(appareil_->DemandeService());
    ibrsp(ud_, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x00);
}

TEST_F(Instrument488, UnreadReplyAndReadWithNothingToSay) {
    Envoyer("*IDN?");
    Envoyer("*ESR?");  // the identity was not read
    EXPECT_EQ(Lire(), "+4\n");  // QYE
    EXPECT_EQ(Question(":SYST:ERR?"), "-410,\"Query INTERRUPTED\"\n");

    horloge::UtiliserHorlogeFactice(1000000);
    int sta = 0;
    EXPECT_EQ(Lire(&sta), "");
    EXPECT_EQ(sta & (ERR | TIMO), ERR | TIMO);
    EXPECT_EQ(Question(":SYST:ERR?"), "-420,\"Query UNTERMINATED\"\n");

    // A reply read in part: the rest is lost when the next message comes.
    Envoyer("*IDN?");
    char debut[5];
    ibrd(ud_, debut, 5);
    EXPECT_EQ(Question("*TST?"), "+0\n");
    EXPECT_EQ(Question(":SYST:ERR?"), "-410,\"Query INTERRUPTED\"\n");
}

TEST_F(Instrument488, OverlappedOperationsOnTheProgramClock) {
    horloge::UtiliserHorlogeFactice(1000000);
    Envoyer("*ESE 1;*SRE 32");
    Envoyer(":INIT:IMM;*OPC");
    EXPECT_TRUE(appareil_->OperationEnCours());
    horloge::AvancerHorlogeFactice(1.9);
    EXPECT_FALSE(appareil_->DemandeService());
    EXPECT_EQ(appareil_->RegistreEvenements(), 0);
    horloge::AvancerHorlogeFactice(0.2);
    EXPECT_TRUE(appareil_->DemandeService());
    EXPECT_EQ(Question("*ESR?"), "+1\n");

    // *WAI holds what follows: the read waits for the end of the measurement, 2 s later.
    const double debut = horloge::Secondes();
    EXPECT_EQ(Question(":INIT;*WAI;:FETC?"), "+2\n");
    EXPECT_NEAR(horloge::Secondes() - debut, 2.0, 1e-6);
    EXPECT_EQ(Question(":INIT;*OPC?;:FETC?"), "1;+3\n");
    EXPECT_EQ(Question(":FETC?"), "+3\n");

    // An operation that ends only when told; *OPC waits for it.
    Envoyer("*ESR?");
    Lire();
    Envoyer(":INIT:WAIT;*OPC");
    horloge::AvancerHorlogeFactice(1000);
    EXPECT_FALSE(appareil_->DemandeService());
    appareil_->TerminerOperation();
    EXPECT_TRUE(appareil_->DemandeService());

    // Device clear drops the held commands.
    Envoyer(":INIT:WAIT;*WAI;:FETC?");
    EXPECT_FALSE(ibclr(ud_) & ERR);
    appareil_->TerminerOperation();
    EXPECT_EQ(appareil_->SortieEnAttente(), "");
    EXPECT_EQ(Question("*RST;:FETC?"), "+0\n");
}

TEST_F(Instrument488, MessageFraming) {
    const struct {
        std::vector<std::pair<std::string, bool>> ecritures;  // bytes, END
        const char *reponse;
    } cas[] = {
        {{{"*ID", false}, {"N?", true}}, "ESSAI,MESUREUR,0,1\n"},
        {{{"*ESE 4\n*ESE?\n", false}}, "+4\n"},
        {{{"*SRE 8\r\n", true}, {"*SRE?\r\n", true}}, "+8\n"},
        {{{"*ESE 5", false}, {"", true}, {";*ESE?", true}}, "+5\n"},
        {{{std::string("*ESE?\0", 6), true}}, "+5\n"},
    };
    const int sansFin = ibdev(0, 4, 0, T10s, 0, 1);
    for (const auto &c : cas) {
        SCOPED_TRACE(c.reponse);
        for (const auto &[octets, fin] : c.ecritures)
            ibwrt(fin ? ud_ : sansFin, octets.data(), static_cast<long>(octets.size()));
        EXPECT_EQ(Lire(), c.reponse);
    }
    EXPECT_TRUE(appareil_->Erreurs().empty());
}

TEST_F(Instrument488, UnknownCommandsStrictOrNoted) {
    Envoyer(":CONF:FREQ 1E6");
    EXPECT_EQ(appareil_->Erreurs().size(), 1u);
    appareil_->AccepterInconnues(true);
    Envoyer(":inp1:att 1;coup ac");
    EXPECT_EQ(appareil_->Erreurs().size(), 1u);
    EXPECT_EQ(appareil_->CommandesInconnues(), (std::vector<std::string>{":inp1:att", "coup"}));

    appareil_->AccepterInconnues(false);
    for (int i = 0; i < 12; ++i) Envoyer(":NOPE");
    const auto erreurs = appareil_->Erreurs();
    ASSERT_EQ(erreurs.size(), 10u);
    EXPECT_EQ(erreurs.front().first, -113);
    EXPECT_EQ(erreurs.back(), (std::pair<int, std::string>{-350, "Queue overflow"}));
}

TEST_F(Instrument488, Faults) {
    sim::Defauts d;
    d.charabia = true;
    appareil_->FixerDefauts(d);
    EXPECT_EQ(Question("*IDN?"), "#\x7f?@!\n");
    d.texteCharabia = "";
    appareil_->FixerDefauts(d);
    int sta = 0;
    Envoyer("*IDN?");
    EXPECT_EQ(Lire(&sta), "");  // an empty reply: END alone
    EXPECT_EQ(sta & (ERR | END), END);

    appareil_->FixerDefauts({});
    appareil_->FixerIdentite("AUTRE,MODELE,0,0");
    EXPECT_EQ(Question("*IDN?"), "AUTRE,MODELE,0,0\n");

    horloge::UtiliserHorlogeFactice(1000000);
    d = {};
    d.lecturesSansReponse = 1;
    appareil_->FixerDefauts(d);
    Envoyer("*TST?");
    EXPECT_EQ(Lire(&sta), "");
    EXPECT_EQ(sta & (ERR | TIMO), ERR | TIMO);
    EXPECT_EQ(Lire(), "+0\n");  // the reply was kept for the next read
}

TEST(Enregistreur, KeepsEveryMessageAndAnswersFromItsScript) {
    essai::Banc banc;
    banc.Configurer("gpib0 = sim\n");
    const auto e = std::make_shared<sim::Enregistreur>();
    e->Programmer("*IDN?", "HEWLETT-PACKARD,53131A,0,3703\n");
    e->Programmer("FETC?", "+1.000000000000E+007\n");
    sim::BusDeCarte(0)->Brancher(3, e);
    const int ud = ibdev(0, 3, 0, T10s, 1, 1);
    const int sansFin = ibdev(0, 3, 0, T10s, 0, 1);
    ibwrt(ud, "*IDN?\0", 6);
    ibwrt(sansFin, "FE", 2);
    ibwrt(ud, "TC?\r\n", 5);
    ibwrt(ud, "*RST", 4);
    char tampon[100];
    ibrd(ud, tampon, sizeof tampon);
    EXPECT_EQ(std::string(tampon, static_cast<std::size_t>(ThreadIbcntl())), "HEWLETT-PACKARD,53131A,0,3703\n");
    ibrd(ud, tampon, sizeof tampon);
    EXPECT_EQ(std::string(tampon, static_cast<std::size_t>(ThreadIbcntl())), "+1.000000000000E+007\n");
    EXPECT_EQ(e->Messages(), (std::vector<std::pair<std::string, bool>>{
                                 {std::string("*IDN?\0", 6), true}, {"FE", false}, {"TC?\r\n", true}, {"*RST", true}}));
    const auto journal = e->Journal();
    ASSERT_EQ(journal.size(), 6u);
    EXPECT_EQ(journal[4].genre, sim::Evenement::Genre::Lecture);
    EXPECT_TRUE(journal[4].fin);
}

TEST(InstrumentsDuBanc, ModelsByName) {
    for (const std::string &modele : sim::ModelesConnus()) {
        SCOPED_TRACE(modele);
        EXPECT_TRUE(sim::ModeleConnu(modele));
        EXPECT_NE(sim::CreerInstrument(modele), nullptr);
    }
    const struct {
        const char *nom;
        const char *debutIdentite;
    } cas[] = {
        {"53131A", "HEWLETT-PACKARD,53131A,"}, {"e4419b", "HEWLETT-PACKARD,E4419B,"},
        {"34401A", "HEWLETT-PACKARD,34401A"},  {"tds3052", "TEKTRONIX,TDS 3052"},
        {"MS4623B", "ANRITSU,MS4623B"},         {"33220A", "HEWLETT-PACKARD,33220A"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        const auto a = std::dynamic_pointer_cast<sim::Appareil488>(sim::CreerInstrument(c.nom));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->Identite().rfind(c.debutIdentite, 0), 0u) << a->Identite();
    }
    EXPECT_FALSE(sim::ModeleConnu("HP9999"));
    EXPECT_EQ(sim::CreerInstrument("HP9999"), nullptr);
    EXPECT_EQ(sim::CreerInstrument(""), nullptr);
}

}  // namespace
