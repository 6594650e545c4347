// Numerics in their formats and data types: what a value set by the program or typed by the
// operator shows, and what the program reads back.
#include "platform/ui.h"
#include "platform/ui_test.h"

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QTest>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

namespace {

const std::string Numeriques = BANC_SOURCE_DIR "/tests/ui/Numeriques.uir";
enum { P_NUMERIQUES = 1 };
enum {
    FIXE_DOUBLE = 2,   // fixed, 2 decimals
    FIXE_FLOAT,        // fixed, 2 decimals, single precision
    SCI_FLOAT,         // scientific, 3 decimals, single precision
    SCI_DOUBLE,        // scientific, 3 decimals
    GENERAL_DOUBLE,    // 6 significant digits
    GENERAL_FLOAT,     // 4 significant digits, single precision
    BORNE_FLOAT,       // fixed, 1 decimal, single precision, -40 to 150
    SCI_ZERO,          // scientific, no decimals
    ENTIER,
};

std::vector<std::pair<int, int>> evenements;

int Numeriques_Cb(int, int control, int event, void *, int, int) {
    evenements.emplace_back(control, event);
    return 0;
}
UI_CALLBACK(Numeriques_Cb);

double F(double v) { return static_cast<float>(v); }

class NumeriquesUi : public testing::Test {
protected:
    void SetUp() override {
        evenements.clear();
        panel = LoadPanel(0, Numeriques.c_str(), P_NUMERIQUES);
        ASSERT_GT(panel, 0);
        DisplayPanel(panel);
    }
    void TearDown() override { DiscardPanel(panel); }

    std::string Texte(int control) {
        auto *s = qobject_cast<QAbstractSpinBox *>(ui_test::Widget(panel, control));
        return s ? s->findChild<QLineEdit *>()->text().toStdString() : "?";
    }
    double Lu(int control) {
        double v = -999;
        EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
        return v;
    }
    std::vector<std::pair<int, int>> Commit(int control) {
        return {{control, EVENT_VAL_CHANGED}, {control, EVENT_COMMIT}};
    }

    int panel = 0;
};

// Each format and data type: the text shown for a value the program sets, and the value read
// back (a float numeric holds the float; a fixed one the number it shows; scientific and
// general ones round only on screen).
TEST_F(NumeriquesUi, ValueSetShowsInTheFormatAndReadsBackInTheDataType) {
    const struct Cas {
        int control;
        double donne;
        const char *texte;
        double lu;
    } cas[] = {
        {FIXE_DOUBLE, 12.346, "12.35", 12.35},
        {FIXE_DOUBLE, -0.004, "0.00", 0.0},
        {FIXE_DOUBLE, 1e6, "1000000.00", 1e6},
        {FIXE_FLOAT, 12.06, "12.06", F(12.06)},
        {FIXE_FLOAT, 0.1, "0.10", F(0.1)},
        {FIXE_FLOAT, 2.0 / 3.0, "0.67", F(0.67)},
        {SCI_FLOAT, 12345678, "1.235e+07", 12345678},
        {SCI_FLOAT, 123456789, "1.235e+08", 123456792},  // the nearest float
        {SCI_FLOAT, 0.1, "1.000e-01", F(0.1)},
        {SCI_FLOAT, -2.5e-9, "-2.500e-09", F(-2.5e-9)},
        {SCI_FLOAT, 0, "0.000e+00", 0},
        {SCI_FLOAT, 1e39, "3.403e+38", FLT_MAX},  // bounded by its type
        {SCI_DOUBLE, 123456789, "1.235e+08", 123456789},
        {SCI_DOUBLE, 0.1, "1.000e-01", 0.1},
        {SCI_DOUBLE, 1e-300, "1.000e-300", 1e-300},
        {GENERAL_DOUBLE, 0.0025, "0.0025", 0.0025},
        {GENERAL_DOUBLE, 123456789, "1.23457e+08", 123456789},
        {GENERAL_FLOAT, 0.1, "0.1", F(0.1)},
        {GENERAL_FLOAT, 3.14159265, "3.142", F(3.14159265)},
        {BORNE_FLOAT, 21.25, "21.2", F(21.2)},  // 21.25 is exact: the tie goes to even
        {BORNE_FLOAT, 200, "150.0", 150},
        {BORNE_FLOAT, -41, "-40.0", -40},
        {SCI_ZERO, 12345, "1e+04", 12345},
        {ENTIER, 42, "42", 42},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(testing::Message() << "control " << c.control << ", value " << c.donne);
        ASSERT_EQ(SetCtrlVal(panel, c.control, c.donne), 0);
        EXPECT_EQ(Texte(c.control), c.texte);
        EXPECT_EQ(Lu(c.control), c.lu);
        float f = -999;
        ASSERT_EQ(GetCtrlVal(panel, c.control, &f), 0);
        EXPECT_EQ(f, static_cast<float>(c.lu));
    }
    // An int read of a real numeric takes the integer part; a value that is no number shows
    // as such and reads as 0 in an int.
    SetCtrlVal(panel, SCI_DOUBLE, -7.9);
    int entier = 0;
    GetCtrlVal(panel, SCI_DOUBLE, &entier);
    EXPECT_EQ(entier, -7);
    SetCtrlVal(panel, SCI_DOUBLE, std::nan(""));
    EXPECT_EQ(Texte(SCI_DOUBLE), "NaN");
    EXPECT_TRUE(std::isnan(Lu(SCI_DOUBLE)));
    GetCtrlVal(panel, SCI_DOUBLE, &entier);
    EXPECT_EQ(entier, 0);
    // An int given to a float numeric is taken as that number.
    SetCtrlVal(panel, SCI_FLOAT, 16777217);
    EXPECT_EQ(Lu(SCI_FLOAT), 16777216.0);
    EXPECT_TRUE(evenements.empty()) << "values set by the program send nothing";
}

// The operator types into a scientific float numeric: the field shows the format, the program
// reads the float of what was typed, and leaving the field unchanged keeps it.
TEST_F(NumeriquesUi, TypingIntoAScientificFloatNumeric) {
    ASSERT_EQ(ui_test::EntrerTexte(panel, SCI_FLOAT, "12345678"), 0);
    EXPECT_EQ(Texte(SCI_FLOAT), "1.235e+07");
    EXPECT_EQ(Lu(SCI_FLOAT), 12345678.0);
    EXPECT_EQ(evenements, Commit(SCI_FLOAT));

    // Enter again, or leaving for another field, reads nothing: the value is not the one shown.
    evenements.clear();
    auto *champ = qobject_cast<QAbstractSpinBox *>(ui_test::Widget(panel, SCI_FLOAT));
    champ->setFocus();
    QTest::keyClick(champ, Qt::Key_Return);
    ui_test::Widget(panel, SCI_DOUBLE)->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Lu(SCI_FLOAT), 12345678.0);
    EXPECT_TRUE(evenements.empty());

    // An arrow steps the value itself by the increment.
    champ->setFocus();
    QTest::keyClick(champ, Qt::Key_Up);
    EXPECT_EQ(Lu(SCI_FLOAT), 12345679.0);
    EXPECT_EQ(evenements, Commit(SCI_FLOAT));

    const struct Cas {
        const char *tape;
        const char *texte;
        double lu;
    } cas[] = {
        {"1.5e-3", "1.500e-03", F(1.5e-3)},
        {" -2.5E-9 ", "-2.500e-09", F(-2.5e-9)},
        {"+0.1", "1.000e-01", F(0.1)},
        {"123456789", "1.235e+08", 123456792},
        {"1e40", "3.403e+38", FLT_MAX},
        {"7", "7.000e+00", 7},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.tape);
        ASSERT_EQ(ui_test::EntrerTexte(panel, SCI_FLOAT, c.tape), 0);
        EXPECT_EQ(Texte(SCI_FLOAT), c.texte);
        EXPECT_EQ(Lu(SCI_FLOAT), c.lu);
    }

    // Keys that make no number are refused; a text left unfinished gives back the value.
    evenements.clear();
    for (const char *rien : {"abc", "-", "1e", "nan", "inf"}) {
        SCOPED_TRACE(rien);
        ASSERT_EQ(ui_test::EntrerTexte(panel, SCI_FLOAT, rien), 0);
        EXPECT_EQ(Texte(SCI_FLOAT), "7.000e+00");
        EXPECT_EQ(Lu(SCI_FLOAT), 7.0);
    }
    EXPECT_TRUE(evenements.empty());
}

// Typing into the other formats: a fixed numeric keeps the number it shows, bounds hold, and
// the C locale's point is the decimal point.
TEST_F(NumeriquesUi, TypingIntoFixedAndGeneralNumerics) {
    const struct Cas {
        int control;
        const char *tape;
        const char *texte;
        double lu;
    } cas[] = {
        {FIXE_DOUBLE, "3.14159", "3.14", 3.14},
        {FIXE_DOUBLE, "2.678", "2.68", 2.68},
        {FIXE_DOUBLE, "1e3", "1000.00", 1000},
        {FIXE_FLOAT, "12.064", "12.06", F(12.06)},
        {BORNE_FLOAT, "500", "150.0", 150},
        {BORNE_FLOAT, "-45.5", "-40.0", -40},
        {GENERAL_DOUBLE, "0.000001234567891", "1.23457e-06", 0.000001234567891},
        {GENERAL_FLOAT, "0.1", "0.1", F(0.1)},
        {ENTIER, "-12", "-12", -12},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(testing::Message() << "control " << c.control << ", typed " << c.tape);
        evenements.clear();
        ASSERT_EQ(ui_test::EntrerTexte(panel, c.control, c.tape), 0);
        EXPECT_EQ(Texte(c.control), c.texte);
        EXPECT_EQ(Lu(c.control), c.lu);
        EXPECT_EQ(evenements, Commit(c.control));
    }
}

// Bounds changed by the program hold the value, in the data type.
TEST_F(NumeriquesUi, BoundsSetByTheProgramHoldTheValue) {
    SetCtrlVal(panel, SCI_FLOAT, 50.0);
    ASSERT_EQ(SetCtrlAttribute(panel, SCI_FLOAT, ATTR_MAX_VALUE, 0.1), 0);
    EXPECT_EQ(Lu(SCI_FLOAT), F(0.1));
    EXPECT_EQ(Texte(SCI_FLOAT), "1.000e-01");
    ASSERT_EQ(ui_test::EntrerTexte(panel, SCI_FLOAT, "1"), 0);
    EXPECT_EQ(Lu(SCI_FLOAT), F(0.1));
}

}  // namespace
