// VISA sessions on the simulated bus: names, unformatted and formatted I/O, attributes, status
// texts, and the same device reached through a VISA session and through an ibdev descriptor.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/gpib_essai.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/visa.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "sim/instruments.h"

namespace {

using Messages = std::vector<std::pair<std::string, bool>>;

class Visa : public testing::Test {
protected:
    void SetUp() override {
        banc_.Configurer("gpib0 = sim\n");
        enregistreur_ = std::make_shared<sim::Enregistreur>();
        sim::BusDeCarte(0)->Brancher(7, enregistreur_);
        ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
        ASSERT_EQ(viOpen(rm_, "GPIB::7", VI_NULL, 0, &vi_), VI_SUCCESS);
    }
    void TearDown() override { viClose(rm_); }

    essai::Banc banc_;
    std::shared_ptr<sim::Enregistreur> enregistreur_;
    ViSession rm_ = VI_NULL, vi_ = VI_NULL;
};

TEST_F(Visa, ResourceNames) {
    sim::BusDeCarte(0)->Brancher(3, sim::CreerInstrument("53131A"));
    sim::BusDeCarte(0)->Brancher(4, sim::CreerInstrument("34401A"), 0x62);
    const struct {
        const char *nom;
        ViStatus statut;
    } cas[] = {
        {"GPIB::3", VI_SUCCESS},          {"GPIB0::3::INSTR", VI_SUCCESS},
        {"gpib0::3::instr", VI_SUCCESS},  {"GPIB::3::INSTR", VI_SUCCESS},
        {"GPIB0::4::2::INSTR", VI_SUCCESS}, {"GPIB::5", VI_ERROR_RSRC_NFOUND},
        {"GPIB1::3::INSTR", VI_ERROR_RSRC_NFOUND}, {"GPIB::4", VI_ERROR_RSRC_NFOUND},
        {"GPIB::31", VI_ERROR_INV_RSRC_NAME}, {"GPIB2::3", VI_ERROR_INV_RSRC_NAME},
        {"GPIB::3::INSTR::X", VI_ERROR_INV_RSRC_NAME}, {"GPIB::", VI_ERROR_INV_RSRC_NAME},
        {"ASRL1::INSTR", VI_ERROR_INV_RSRC_NAME}, {"", VI_ERROR_INV_RSRC_NAME},
        {nullptr, VI_ERROR_INV_RSRC_NAME},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom != nullptr ? c.nom : "(null)");
        ViSession vi = 12345;
        EXPECT_EQ(viOpen(rm_, c.nom, VI_NULL, 0, &vi), c.statut);
        if (c.statut == VI_SUCCESS) {
            EXPECT_NE(vi, VI_NULL);
            EXPECT_EQ(viClose(vi), VI_SUCCESS);
        } else {
            EXPECT_EQ(vi, VI_NULL);
        }
    }
    ViSession vi = 12345;
    EXPECT_EQ(viOpen(vi_, "GPIB::3", VI_NULL, 0, &vi), VI_ERROR_INV_OBJECT);  // not a manager
    EXPECT_EQ(vi, VI_NULL);
}

TEST_F(Visa, TheSameDeviceThroughIbdevAndThroughVisa) {
    const auto compteur = sim::CreerInstrument("53131A");
    sim::BusDeCarte(0)->Brancher(3, compteur);
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm_, "GPIB0::3::INSTR", VI_NULL, 0, &vi), VI_SUCCESS);
    const int ud = ibdev(0, 3, 0, T10s, 1, 1);

    ViUInt32 n = 0;
    EXPECT_EQ(viWrite(vi, "*IDN?", 5, &n), VI_SUCCESS);
    EXPECT_EQ(n, 5u);
    char reponse[64] = {};
    ibrd(ud, reponse, sizeof reponse - 1);
    EXPECT_STREQ(reponse, "HEWLETT-PACKARD,53131A,0,3703\n");

    ibwrt(ud, "*ESE 36;*ESE?", 13);
    short ese = 0;
    EXPECT_EQ(viScanf(vi, "%hd", &ese), VI_SUCCESS);
    EXPECT_EQ(ese, 36);
    ibonl(ud, 0);
    viClose(vi);
}

TEST_F(Visa, UnformattedWritesAndReads) {
    ViUInt32 n = 99;
    EXPECT_EQ(viWrite(vi_, "*RST", 4, &n), VI_SUCCESS);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    viWrite(vi_, "AB", 2, &n);
    viSetAttribute(vi_, VI_ATTR_SEND_END_EN, VI_TRUE);
    EXPECT_EQ(enregistreur_->Messages(), (Messages{{"*RST", true}, {"AB", false}}));

    enregistreur_->AjouterSortie("0123456789");
    enregistreur_->AjouterSortie("x;y\n");
    char tampon[32];
    EXPECT_EQ(viRead(vi_, tampon, 4, &n), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(std::string(tampon, n), "0123");
    EXPECT_EQ(viRead(vi_, tampon, 32, &n), VI_SUCCESS);
    EXPECT_EQ(std::string(tampon, n), "456789");
    viSetAttribute(vi_, VI_ATTR_TERMCHAR, ';');
    viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    EXPECT_EQ(viRead(vi_, tampon, 32, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(tampon, n), "x;");
    viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_FALSE);
    EXPECT_EQ(viRead(vi_, tampon, 32, &n), VI_SUCCESS);
    EXPECT_EQ(std::string(tampon, n), "y\n");

    horloge::UtiliserHorlogeFactice(1000000);
    viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 2500);
    enregistreur_->AjouterSortie("AB", false);
    const double debut = horloge::Secondes();
    EXPECT_EQ(viRead(vi_, tampon, 32, &n), VI_ERROR_TMO);
    EXPECT_EQ(n, 2u);
    EXPECT_NEAR(horloge::Secondes() - debut, 2.5, 1e-6);

    sim::Defauts d;
    d.debranche = true;
    enregistreur_->FixerDefauts(d);
    EXPECT_EQ(viWrite(vi_, "X", 1, &n), VI_ERROR_NLISTENERS);
    EXPECT_EQ(n, 0u);
}

TEST_F(Visa, FormattedWritesGoOutUnchangedWithEnd) {
    viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS);
    EXPECT_EQ(viPrintf(vi_, "%s", ":FUNC 'FREQ 1';%d%%"), VI_SUCCESS);  // the text as it is
    EXPECT_EQ(viPrintf(vi_, ":CONF:%s AUTO,%s\r\n", "VOLT:DC", "MAX"), VI_SUCCESS);
    viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL);
    viPrintf(vi_, "A");
    viPrintf(vi_, "B");
    EXPECT_EQ(enregistreur_->Messages().size(), 2u);  // still in the buffer
    viPrintf(vi_, "C\n");
    EXPECT_EQ(enregistreur_->Messages(),
              (Messages{{":FUNC 'FREQ 1';%d%%", true}, {":CONF:VOLT:DC AUTO,MAX\r\n", true}, {"ABC\n", true}}));
}

TEST_F(Visa, FormattedReadTakesOneReplyAndDropsWhatIsLeftOfIt) {
    viSetAttribute(vi_, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS);
    viSetBuf(vi_, VI_READ_BUF | VI_WRITE_BUF, 4000);
    enregistreur_->AjouterSortie("-113,\"Undefined header\"\n");
    enregistreur_->AjouterSortie("+0,\"No error\"\n");
    enregistreur_->AjouterSortie("HEWLETT-PACKARD,34401A,0,11-5-2\n");
    short code = 1;
    EXPECT_EQ(viScanf(vi_, "%hd", &code), VI_SUCCESS);
    EXPECT_EQ(code, -113);
    char texte[64] = {};
    EXPECT_EQ(viScanf(vi_, "%hd,\"%63[^\"]", &code, texte), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(texte, "No error");
    char version[64] = {};
    EXPECT_EQ(viScanf(vi_, "%*[^,],%*[^,],%*[^,],%63[^\n]", version), VI_SUCCESS);
    EXPECT_STREQ(version, "11-5-2");
    EXPECT_EQ(enregistreur_->SortieEnAttente(), "");

    // A reply longer than the buffer: read to its end, the surplus dropped.
    viSetBuf(vi_, VI_READ_BUF, 8);
    enregistreur_->AjouterSortie(std::string(20000, '7') + "\n");
    enregistreur_->AjouterSortie("+42\n");
    long valeur = 0;
    EXPECT_EQ(viScanf(vi_, "%ld", &valeur), VI_SUCCESS);
    EXPECT_EQ(valeur, 77777777L);
    EXPECT_EQ(viScanf(vi_, "%ld", &valeur), VI_SUCCESS);
    EXPECT_EQ(valeur, 42L);

    // A formatted read first sends what the write buffer holds.
    enregistreur_->Programmer("*TST?", "+0\n");
    viSetAttribute(vi_, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL);
    viPrintf(vi_, "*TST?");
    short resultat = 9;
    EXPECT_EQ(viScanf(vi_, "%hd", &resultat), VI_SUCCESS);
    EXPECT_EQ(resultat, 0);

    horloge::UtiliserHorlogeFactice(1000000);
    EXPECT_EQ(viScanf(vi_, "%hd", &resultat), VI_ERROR_TMO);
}

TEST_F(Visa, Attributes) {
    ViUInt32 delai = 0;
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &delai), VI_SUCCESS);
    EXPECT_EQ(delai, 2000u);
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 11000), VI_SUCCESS);
    viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &delai);
    EXPECT_EQ(delai, 11000u);

    int donnees = 5;
    EXPECT_EQ(viSetAttribute(vi_, VI_ATTR_USER_DATA, reinterpret_cast<ViAttrState>(&donnees)), VI_SUCCESS);
    ViAddr adresse = nullptr;
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_USER_DATA, &adresse), VI_SUCCESS);
    EXPECT_EQ(adresse, &donnees);

    ViSession rm = VI_NULL;
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_RM_SESSION, &rm), VI_SUCCESS);
    EXPECT_EQ(rm, rm_);

    // Each attribute is written with its own size.
    unsigned char octets[8];
    std::memset(octets, 0xEE, sizeof octets);
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_SEND_END_EN, octets), VI_SUCCESS);
    ViBoolean envoi = 0;
    std::memcpy(&envoi, octets, sizeof envoi);
    EXPECT_EQ(envoi, VI_TRUE);
    EXPECT_EQ(octets[sizeof(ViBoolean)], 0xEE);

    char nom[256] = {};
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_RSRC_NAME, nom), VI_SUCCESS);
    EXPECT_STREQ(nom, "GPIB0::7::INSTR");
    ViUInt16 pad = 0;
    viGetAttribute(vi_, VI_ATTR_GPIB_PRIMARY_ADDR, &pad);
    EXPECT_EQ(pad, 7);

    const struct {
        ViAttr attribut;
        ViAttrState valeur;
        ViStatus statut;
    } cas[] = {
        {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS, VI_SUCCESS},
        {VI_ATTR_RD_BUF_OPER_MODE, 7, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_SEND_END_EN, 2, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_TERMCHAR, 300, VI_ERROR_NSUP_ATTR_STATE},
        {VI_ATTR_RM_SESSION, 1, VI_ERROR_ATTR_READONLY},
        {VI_ATTR_GPIB_PRIMARY_ADDR, 3, VI_ERROR_ATTR_READONLY},
        {0x3FFF0123u, 1, VI_ERROR_NSUP_ATTR},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << std::hex << c.attribut);
        EXPECT_EQ(viSetAttribute(vi_, c.attribut, c.valeur), c.statut);
    }
    EXPECT_EQ(viGetAttribute(vi_, 0x3FFF0123u, &delai), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, nullptr), VI_ERROR_INV_PARAMETER);
}

TEST_F(Visa, ClosedAndUnknownSessionsAreRefused) {
    ViUInt32 n = 0;
    ViSession rm = VI_NULL;
    EXPECT_EQ(viGetAttribute(VI_NULL, VI_ATTR_RM_SESSION, &rm), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
    EXPECT_EQ(viClose(vi_), VI_SUCCESS);
    EXPECT_EQ(viClose(vi_), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viWrite(vi_, "X", 1, &n), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viPrintf(vi_, "X"), VI_ERROR_INV_OBJECT);

    ViSession autre = VI_NULL, rm2 = VI_NULL;
    viOpenDefaultRM(&rm2);
    ASSERT_EQ(viOpen(rm2, "GPIB::7", VI_NULL, 0, &autre), VI_SUCCESS);
    EXPECT_NE(autre, vi_);  // never handed out twice
    EXPECT_EQ(viClose(rm2), VI_SUCCESS);  // closes its sessions
    EXPECT_EQ(viWrite(autre, "X", 1, &n), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viRead(rm_, reinterpret_cast<ViByte *>(&n), 1, &n), VI_ERROR_INV_OBJECT);
}

TEST_F(Visa, SerialPoll) {
    enregistreur_->FixerOctetEtat(0x10);
    enregistreur_->DemanderService();
    ViUInt16 octet = 0;
    EXPECT_EQ(viReadSTB(vi_, &octet), VI_SUCCESS);
    EXPECT_EQ(octet, 0x50);
    EXPECT_EQ(viReadSTB(vi_, &octet), VI_SUCCESS);
    EXPECT_EQ(octet, 0x10);
    EXPECT_EQ(viReadSTB(vi_, nullptr), VI_ERROR_INV_PARAMETER);
}

TEST(VisaTextes, VisaValuesHaveTheirTextDriverValuesAreUnknown) {
    const struct {
        ViStatus statut;
        ViStatus resultat;
    } cas[] = {
        {VI_SUCCESS, VI_SUCCESS},
        {VI_ERROR_TMO, VI_SUCCESS},
        {VI_ERROR_RSRC_NFOUND, VI_SUCCESS},
        {VI_SUCCESS_MAX_CNT, VI_SUCCESS},
        {VI_WARN_UNKNOWN_STATUS, VI_SUCCESS},
        {static_cast<ViStatus>(0xBFFC0004u), VI_WARN_UNKNOWN_STATUS},
        {static_cast<ViStatus>(0xBFFC0805u), VI_WARN_UNKNOWN_STATUS},
        {0x3FFC0101, VI_WARN_UNKNOWN_STATUS},
        {static_cast<ViStatus>(0xBFFF7777u), VI_WARN_UNKNOWN_STATUS},
        {-1, VI_WARN_UNKNOWN_STATUS},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << std::hex << c.statut);
        char texte[256];
        std::memset(texte, 'x', sizeof texte);
        EXPECT_EQ(viStatusDesc(VI_NULL, c.statut, texte), c.resultat);
        const std::string t(texte, strnlen(texte, sizeof texte));
        EXPECT_LT(t.size(), sizeof texte);
        EXPECT_FALSE(t.empty());
        EXPECT_EQ(t.find("nknown status") != std::string::npos, c.resultat == VI_WARN_UNKNOWN_STATUS) << t;
    }
    char texte[256];
    viStatusDesc(VI_NULL, static_cast<ViStatus>(0xBFFC0004u), texte);
    EXPECT_STREQ(texte, "Unknown status value 0xBFFC0004.");
    EXPECT_EQ(viStatusDesc(VI_NULL, VI_SUCCESS, nullptr), VI_ERROR_INV_PARAMETER);
}

}  // namespace
