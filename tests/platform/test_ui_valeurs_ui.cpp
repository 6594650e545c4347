// Rings of single-precision values and binary switches with values of their own: set by a
// value, read as the chosen item's value in the caller's type, and moved by the operator.
#include "platform/ui.h"
#include "platform/ui_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Valeurs = BANC_SOURCE_DIR "/tests/ui/Valeurs.uir";
enum { P_VALEURS = 1 };
enum { SONDE = 2, POINTS, ECHELLE, ACTIVE, ENTIERS };

std::vector<int> commits;

int Valeurs_Cb(int, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) commits.push_back(control);
    return 0;
}
UI_CALLBACK(Valeurs_Cb);

class ValeursUi : public testing::Test {
protected:
    void SetUp() override {
        commits.clear();
        panel = LoadPanel(0, Valeurs.c_str(), P_VALEURS);
        ASSERT_GT(panel, 0);
    }
    void TearDown() override { DiscardPanel(panel); }

    double Reel(int control) {
        double v = -1;
        EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
        return v;
    }
    int Entier(int control) {
        int v = -1;
        EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
        return v;
    }
    std::string Texte(int control) {
        char t[16] = "?";
        EXPECT_EQ(GetCtrlVal(panel, control, t), 0);
        return t;
    }

    int panel = 0;
};

// A float ring holds single-precision numbers: a float widened to double and the double
// written in the program both find the item; what is read back is the float itself.
TEST_F(ValeursUi, FloatRingIsSetByItsNumberAndReadAsFloatOrDouble) {
    EXPECT_EQ(Reel(SONDE), 1.0) << "initial item";
    struct Cas {
        double donne;
        int index;
    };
    const Cas cas[] = {{0.1, 1}, {static_cast<double>(0.1f), 1}, {0.01, 0}, {100.0, 4}};
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.donne);
        ASSERT_EQ(SetCtrlVal(panel, SONDE, c.donne), 0);
        int index = -1;
        GetCtrlIndex(panel, SONDE, &index);
        EXPECT_EQ(index, c.index);
    }
    ASSERT_EQ(SetCtrlVal(panel, SONDE, 0.1), 0);
    float f = 0;
    ASSERT_EQ(GetCtrlVal(panel, SONDE, &f), 0);
    EXPECT_EQ(f, 0.1f);
    EXPECT_EQ(Reel(SONDE), static_cast<double>(0.1f));
    double item = 0;
    ASSERT_EQ(GetValueFromIndex(panel, SONDE, 0, &item), 0);
    EXPECT_EQ(item, static_cast<double>(0.01f));

    // An integer is taken as that number.
    ASSERT_EQ(SetCtrlVal(panel, SONDE, 10), 0);
    EXPECT_EQ(Reel(SONDE), 10.0);
    // A number no item holds changes nothing; other types are refused.
    EXPECT_EQ(SetCtrlVal(panel, SONDE, 0.2), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlVal(panel, SONDE, 0.1000001), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlVal(panel, SONDE, "10"), UIE_BAD_INDEX);
    EXPECT_EQ(Reel(SONDE), 10.0);
    int entier = -7;
    EXPECT_EQ(GetCtrlVal(panel, SONDE, &entier), UIE_BAD_INDEX);
    EXPECT_EQ(entier, -7);
    char texte[8] = "x";
    EXPECT_EQ(GetCtrlVal(panel, SONDE, texte), UIE_BAD_INDEX);
    int valeur_entiere = 0;
    EXPECT_EQ(GetValueFromIndex(panel, SONDE, 0, &valeur_entiere), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(GetValueFromIndex(panel, SONDE, 5, &item), UIE_BAD_INDEX);

    // The operator's choice is read as its value.
    ASSERT_EQ(ui_test::ChoisirElement(panel, SONDE, 0), 0);
    EXPECT_EQ(Reel(SONDE), static_cast<double>(0.01f));
    EXPECT_EQ(commits, std::vector<int>{SONDE});
}

// Integer rings keep their own rules beside float ones: no double, no float item value.
TEST_F(ValeursUi, IntegerRingRefusesNumbersThatAreNotIntegers) {
    EXPECT_EQ(Entier(ENTIERS), 4);
    EXPECT_EQ(SetCtrlVal(panel, ENTIERS, 2.0), UIE_BAD_ATTRIBUTE);
    double d = 0;
    EXPECT_EQ(GetValueFromIndex(panel, ENTIERS, 0, &d), UIE_BAD_ATTRIBUTE);
    ASSERT_EQ(SetCtrlVal(panel, ENTIERS, 2), 0);
    EXPECT_EQ(Entier(ENTIERS), 2);
    EXPECT_EQ(Reel(ENTIERS), 2.0);
}

TEST_F(ValeursUi, IntegerSwitchHoldsItsTwoValues) {
    EXPECT_EQ(Entier(POINTS), 10000) << "initial position";
    EXPECT_EQ(ui_test::TexteVisible(panel, POINTS), "Résolution");
    ASSERT_EQ(SetCtrlVal(panel, POINTS, 500), 0);
    EXPECT_EQ(Entier(POINTS), 500);
    // 0 and 1 are no positions of this switch.
    EXPECT_EQ(SetCtrlVal(panel, POINTS, 1), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlVal(panel, POINTS, 0), UIE_BAD_INDEX);
    EXPECT_EQ(Entier(POINTS), 500);
    EXPECT_EQ(SetCtrlVal(panel, POINTS, "10000"), UIE_BAD_INDEX);
    char texte[8] = "x";
    EXPECT_EQ(GetCtrlVal(panel, POINTS, texte), UIE_BAD_INDEX);
    EXPECT_TRUE(commits.empty()) << "the program's changes call nothing back";

    ASSERT_EQ(ui_test::Cliquer(panel, POINTS), 0);
    EXPECT_EQ(Entier(POINTS), 10000);
    ASSERT_EQ(ui_test::Cliquer(panel, POINTS), 0);
    EXPECT_EQ(Entier(POINTS), 500);
    EXPECT_EQ(commits, (std::vector<int>{POINTS, POINTS}));
}

TEST_F(ValeursUi, TextSwitchHoldsItsTwoWords) {
    EXPECT_EQ(Texte(ECHELLE), "LOG") << "initial position";
    ASSERT_EQ(SetCtrlVal(panel, ECHELLE, "LIN"), 0);
    EXPECT_EQ(Texte(ECHELLE), "LIN");
    EXPECT_EQ(SetCtrlVal(panel, ECHELLE, "lin"), UIE_BAD_INDEX) << "values are compared exactly";
    EXPECT_EQ(SetCtrlVal(panel, ECHELLE, 1), UIE_BAD_INDEX);
    int entier = -7;
    EXPECT_EQ(GetCtrlVal(panel, ECHELLE, &entier), UIE_BAD_INDEX);
    EXPECT_EQ(Texte(ECHELLE), "LIN");
    // The word is cut to the caller's buffer.
    char court[3] = "";
    ASSERT_EQ(GetCtrlVal(panel, ECHELLE, court), 0);
    EXPECT_STREQ(court, "LI");

    ASSERT_EQ(ui_test::Cliquer(panel, ECHELLE), 0);
    EXPECT_EQ(Texte(ECHELLE), "LOG");
    EXPECT_EQ(commits, std::vector<int>{ECHELLE});
}

// A switch without values stays 0/1 and takes no text.
TEST_F(ValeursUi, PlainSwitchIsZeroOrOne) {
    EXPECT_EQ(Entier(ACTIVE), 1);
    ASSERT_EQ(SetCtrlVal(panel, ACTIVE, 7), 0);
    EXPECT_EQ(Entier(ACTIVE), 1);
    ASSERT_EQ(SetCtrlVal(panel, ACTIVE, 0), 0);
    EXPECT_EQ(Entier(ACTIVE), 0);
    EXPECT_EQ(SetCtrlVal(panel, ACTIVE, "On"), UIE_BAD_ATTRIBUTE);
    char texte[8] = "";
    EXPECT_EQ(GetCtrlVal(panel, ACTIVE, texte), UIE_BAD_ATTRIBUTE);
}

}  // namespace
