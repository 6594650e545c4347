// The user-interface layer on real widgets: controls and their attributes, callbacks, panels
// discarded from their own callbacks, pop-up scripts, timers, calls from other threads.
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

const std::string Essai = BANC_SOURCE_DIR "/tests/ui/Essai.uir";
enum { P_ESSAI = 1, P_FEUILLE = 2, P_FEUILLE_2 = 3 };
enum { FEUILLE_JETER = 2 };
enum {
    BOUTON = 2, IMAGE, ENTIER, REEL, ANNEAU, ANNEAU_TEXTE, GLISSIERE, TEXTE, MESSAGE, LISTE,
    JOURNAL, TABLEAU, CASE, BASCULE, INTER, LED, MINUTERIE, TOILE, JETER
};

struct Evenement {
    int panel, control, event;
    void *donnees;
    int d1, d2;
};
std::vector<Evenement> evenements;

int Essai_Cb(int panel, int control, int event, void *donnees, int d1, int d2) {
    evenements.push_back({panel, control, event, donnees, d1, d2});
    return 0;
}
UI_CALLBACK(Essai_Cb);

int Essai_Jeter(int panel, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(Essai_Jeter);

class Ui : public testing::Test {
protected:
    void SetUp() override {
        evenements.clear();
        panel = LoadPanel(0, Essai.c_str(), P_ESSAI);
        ASSERT_GT(panel, 0);
        DisplayPanel(panel);
    }
    void TearDown() override {
        DiscardPanel(panel);
        QApplication::processEvents();
    }
    std::vector<int> Evenements(int control) const {
        std::vector<int> r;
        for (const Evenement &e : evenements)
            if (e.control == control) r.push_back(e.event);
        return r;
    }
    int panel = 0;
};

TEST_F(Ui, MissingFileOrPanelGivesANegativeHandle) {
    EXPECT_EQ(LoadPanel(0, "/nonexistent/Rien.uir", 1), UIE_NO_FILE);
    EXPECT_EQ(LoadPanel(0, Essai.c_str(), 99), UIE_NO_PANEL);
    EXPECT_EQ(LoadPanel(12345, Essai.c_str(), P_ESSAI), UIE_BAD_PANEL);
    int v = 0;
    EXPECT_EQ(GetCtrlVal(panel, 99, &v), UIE_BAD_CONTROL);
    EXPECT_EQ(GetCtrlVal(999999, ENTIER, &v), UIE_BAD_PANEL);
}

TEST_F(Ui, EveryLoadIsAnIndependentCopy) {
    const int autre = LoadPanel(0, Essai.c_str(), P_ESSAI);
    ASSERT_GT(autre, 0);
    EXPECT_NE(autre, panel);
    SetCtrlVal(panel, ENTIER, 42);
    SetCtrlAttribute(autre, BOUTON, ATTR_CALLBACK_DATA, &evenements);
    int a = 0, b = 0;
    GetCtrlVal(panel, ENTIER, &a);
    GetCtrlVal(autre, ENTIER, &b);
    EXPECT_EQ(a, 42);
    EXPECT_EQ(b, 5);
    ui_test::Cliquer(panel, BOUTON);
    ui_test::Cliquer(autre, BOUTON);
    ASSERT_EQ(evenements.size(), 2u);
    EXPECT_EQ(evenements[0].panel, panel);
    EXPECT_EQ(evenements[0].donnees, nullptr);
    EXPECT_EQ(evenements[1].panel, autre);
    EXPECT_EQ(evenements[1].donnees, &evenements);
    DiscardPanel(autre);
}

// Values of every kind of control: what is set is read back, in the control's own type.
TEST_F(Ui, ValuesOfEveryKind) {
    struct Cas {
        int control;
        int entier;     // set and expected when >= 0
        const char *texte;  // set and expected when not null
    };
    const Cas cas[] = {
        {ENTIER, 77, nullptr},   {ANNEAU, 1, nullptr},       {GLISSIERE, 3, nullptr},
        {CASE, 1, nullptr},      {BASCULE, 1, nullptr},      {INTER, 1, nullptr},
        {LED, 1, nullptr},       {TEXTE, -1, "Fréquence"_w}, {MESSAGE, -1, "Mesures dans le fichier x"},
        {ANNEAU_TEXTE, -1, "electrovanne.dll"},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.control);
        if (c.texte) {
            ASSERT_EQ(SetCtrlVal(panel, c.control, c.texte), 0);
            char lu[64] = "";
            ASSERT_EQ(GetCtrlVal(panel, c.control, lu), 0);
            EXPECT_STREQ(lu, c.texte);
        } else {
            ASSERT_EQ(SetCtrlVal(panel, c.control, c.entier), 0);
            int lu = -5;
            ASSERT_EQ(GetCtrlVal(panel, c.control, &lu), 0);
            EXPECT_EQ(lu, c.entier);
        }
    }
    // A real numeric read as a float or a double, an integer one as a double.
    ASSERT_EQ(SetCtrlVal(panel, REEL, 0.25), 0);
    float f = 0;
    double d = 0;
    GetCtrlVal(panel, REEL, &f);
    EXPECT_FLOAT_EQ(f, 0.25f);
    GetCtrlVal(panel, ENTIER, &d);
    EXPECT_EQ(d, 77.0);
    // Values that the control does not hold.
    EXPECT_EQ(SetCtrlVal(panel, ANNEAU, 9), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlVal(panel, BOUTON, "x"), UIE_BAD_ATTRIBUTE);
    char petit[4];
    SetCtrlVal(panel, TEXTE, "abcdefgh");
    GetCtrlVal(panel, TEXTE, petit);
    EXPECT_STREQ(petit, "abc");
}

TEST_F(Ui, InitialValuesComeFromTheFile) {
    int v = 0;
    double d = 0;
    char t[64];
    GetCtrlVal(panel, ENTIER, &v);
    EXPECT_EQ(v, 5);
    GetCtrlVal(panel, REEL, &d);
    EXPECT_DOUBLE_EQ(d, 1.5);
    GetCtrlVal(panel, ANNEAU, &v);
    EXPECT_EQ(v, 2);
    GetCtrlVal(panel, MESSAGE, t);
    EXPECT_STREQ(t, "Mesure en cours\nfichier");
    GetCtrlVal(panel, ANNEAU_TEXTE, t);
    EXPECT_STREQ(t, "pilote_bidon.dll");
    int n = 0;
    GetNumListItems(panel, GLISSIERE, &n);
    EXPECT_EQ(n, 4);
    GetLabelFromIndex(panel, GLISSIERE, 1, t, sizeof t);
    EXPECT_STREQ(t, "Synchronisé"_w);
}

// Attributes, each on the kinds that carry it, and refused on the others.
TEST_F(Ui, AttributesOfTheKinds) {
    for (int control : {BOUTON, IMAGE, ENTIER, ANNEAU, GLISSIERE, TEXTE, LISTE, TABLEAU, CASE, BASCULE, INTER, LED}) {
        SCOPED_TRACE(control);
        int v = -1;
        ASSERT_EQ(SetCtrlAttribute(panel, control, ATTR_DIMMED, 1), 0);
        GetCtrlAttribute(panel, control, ATTR_DIMMED, &v);
        EXPECT_EQ(v, 1);
        EXPECT_FALSE(ui_test::Widget(panel, control)->isEnabled());
        SetCtrlAttribute(panel, control, ATTR_DIMMED, 0);
        EXPECT_TRUE(ui_test::Widget(panel, control)->isEnabled());
        ASSERT_EQ(SetCtrlAttribute(panel, control, ATTR_VISIBLE, 0), 0);
        EXPECT_FALSE(ui_test::Widget(panel, control)->isVisible());
        SetCtrlAttribute(panel, control, ATTR_VISIBLE, 1);
        EXPECT_TRUE(ui_test::Widget(panel, control)->isVisible());
        int marque = 0;
        void *lu = nullptr;
        ASSERT_EQ(SetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, static_cast<void *>(&marque)), 0);
        GetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, &lu);
        EXPECT_EQ(lu, &marque);
    }
    struct Refus {
        int control, attribut;
    };
    for (const Refus r : {Refus{BOUTON, ATTR_MAX_ENTRY_LENGTH}, Refus{ENTIER, ATTR_ENABLED},
                          Refus{LISTE, ATTR_INTERVAL}, Refus{TEXTE, ATTR_FIRST_VISIBLE_LINE},
                          Refus{CASE, ATTR_ON_TEXT}}) {
        EXPECT_EQ(SetCtrlAttribute(panel, r.control, r.attribut, 1), UIE_BAD_ATTRIBUTE) << r.control;
    }
}

TEST_F(Ui, LabelsShowWithoutShortcutMarksAndCanChange) {
    EXPECT_EQ(ui_test::TexteVisible(panel, BOUTON), "Valider");
    auto *b = qobject_cast<QAbstractButton *>(ui_test::Widget(panel, BOUTON));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), "&Valider");
    ASSERT_EQ(SetCtrlAttribute(panel, BOUTON, ATTR_LABEL_TEXT, "Arrêter A__cquisition"_w), 0);
    EXPECT_EQ(ui_test::TexteVisible(panel, BOUTON), "Arrêter Acquisition");
    char lu[64];
    GetCtrlAttribute(panel, BOUTON, ATTR_LABEL_TEXT, lu, sizeof lu);
    EXPECT_STREQ(lu, "Arrêter A__cquisition"_w);
    EXPECT_EQ(ui_test::TexteVisible(panel, TEXTE), "Nom");
    EXPECT_EQ(ui_test::TexteVisible(panel, CASE), "Echantillons à la demande");
    // The toggle button shows the text of its state.
    EXPECT_EQ(b = qobject_cast<QAbstractButton *>(ui_test::Widget(panel, BASCULE)), b);
    EXPECT_EQ(b->text(), "Activer");
    SetCtrlVal(panel, BASCULE, 1);
    EXPECT_EQ(b->text(), "Désactiver");
}

TEST_F(Ui, MaxEntryLengthLimitsWhatTheOperatorTypes) {
    ASSERT_EQ(SetCtrlAttribute(panel, TEXTE, ATTR_MAX_ENTRY_LENGTH, 5), 0);
    ui_test::EntrerTexte(panel, TEXTE, "abcdefghij");
    char lu[32];
    GetCtrlVal(panel, TEXTE, lu);
    EXPECT_STREQ(lu, "abcde");
    int n = 0;
    GetCtrlAttribute(panel, TEXTE, ATTR_MAX_ENTRY_LENGTH, &n);
    EXPECT_EQ(n, 5);
}

TEST_F(Ui, OperatorActionsSendTheirEvents) {
    ui_test::Cliquer(panel, BOUTON);
    EXPECT_EQ(Evenements(BOUTON), std::vector<int>{EVENT_COMMIT});
    ui_test::Cliquer(panel, IMAGE);
    EXPECT_EQ(Evenements(IMAGE), std::vector<int>{EVENT_COMMIT});
    ui_test::EntrerValeur(panel, ENTIER, 12);
    EXPECT_EQ(Evenements(ENTIER), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    ui_test::EntrerTexte(panel, TEXTE, "xyz");
    EXPECT_EQ(Evenements(TEXTE), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    ui_test::ChoisirElement(panel, GLISSIERE, 2);
    EXPECT_EQ(Evenements(GLISSIERE), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    ui_test::Cliquer(panel, INTER);
    int v = 0;
    GetCtrlVal(panel, INTER, &v);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(Evenements(INTER), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    ui_test::Cliquer(panel, CASE);
    GetCtrlVal(panel, CASE, &v);
    EXPECT_EQ(v, 1);

    // Values set by the program send nothing.
    evenements.clear();
    SetCtrlVal(panel, ENTIER, 3);
    SetCtrlVal(panel, TEXTE, "abc");
    SetCtrlVal(panel, GLISSIERE, 1);
    SetCtrlVal(panel, INTER, 0);
    InsertListItem(panel, LISTE, -1, "a", 0);
    CheckListItem(panel, LISTE, 0, 1);
    EXPECT_TRUE(evenements.empty());

    // A dimmed control ignores the operator.
    SetCtrlAttribute(panel, BOUTON, ATTR_DIMMED, 1);
    ui_test::Cliquer(panel, BOUTON);
    EXPECT_TRUE(evenements.empty());
}

TEST_F(Ui, ListBoxItemsTicksAndEvents) {
    for (const char *nom : {"Pilote bidon", "Fréquencemètre"_w, "Électrovanne"_w})
        ASSERT_EQ(InsertListItem(panel, LISTE, -1, nom, 0), 0);
    InsertListItem(panel, LISTE, 0, "En tête", 0);
    int n = 0;
    GetNumListItems(panel, LISTE, &n);
    EXPECT_EQ(n, 4);
    char lu[64];
    GetLabelFromIndex(panel, LISTE, 2, lu, sizeof lu);
    EXPECT_STREQ(lu, "Fréquencemètre"_w);
    ReplaceListItem(panel, LISTE, 2, "Compteur", 7);
    GetLabelFromIndex(panel, LISTE, 2, lu, sizeof lu);
    EXPECT_STREQ(lu, "Compteur");
    GetValueFromIndex(panel, LISTE, 2, &n);
    EXPECT_EQ(n, 7);

    ui_test::BasculerCoche(panel, LISTE, 1);
    ASSERT_EQ(evenements.size(), 1u);
    EXPECT_EQ(evenements[0].event, EVENT_MARK_STATE_CHANGE);
    EXPECT_EQ(evenements[0].d2, 1);
    int coche = 0;
    IsListItemChecked(panel, LISTE, 1, &coche);
    EXPECT_EQ(coche, 1);
    CheckListItem(panel, LISTE, 1, 0);
    IsListItemChecked(panel, LISTE, 1, &coche);
    EXPECT_EQ(coche, 0);
    ui_test::DoubleCliquer(panel, LISTE, 3);
    ASSERT_EQ(evenements.size(), 2u);
    EXPECT_EQ(evenements[1].event, EVENT_LEFT_DOUBLE_CLICK);
    EXPECT_EQ(evenements[1].d1, 3);

    EXPECT_EQ(DeleteListItem(panel, LISTE, 0, 2), 0);
    GetNumListItems(panel, LISTE, &n);
    EXPECT_EQ(n, 2);
    GetLabelFromIndex(panel, LISTE, 0, lu, sizeof lu);
    EXPECT_STREQ(lu, "Compteur");
    EXPECT_EQ(DeleteListItem(panel, LISTE, 5, 1), UIE_BAD_INDEX);
    EXPECT_EQ(GetLabelFromIndex(panel, LISTE, 2, lu, sizeof lu), UIE_BAD_INDEX);
    DeleteListItem(panel, LISTE, 0, -1);
    GetNumListItems(panel, LISTE, &n);
    EXPECT_EQ(n, 0);
}

TEST_F(Ui, ListScrollingFollowsTheFirstVisibleLine) {
    QApplication::processEvents();
    int visibles = 0;
    ASSERT_EQ(GetCtrlAttribute(panel, JOURNAL, ATTR_VISIBLE_LINES, &visibles), 0);
    EXPECT_GE(visibles, 3);
    for (int k = 0; k < visibles + 10; ++k) InsertListItem(panel, JOURNAL, -1, "ligne", 0);
    QApplication::processEvents();
    ASSERT_EQ(SetCtrlAttribute(panel, JOURNAL, ATTR_FIRST_VISIBLE_LINE, 10), 0);
    int haut = 0;
    GetCtrlAttribute(panel, JOURNAL, ATTR_FIRST_VISIBLE_LINE, &haut);
    EXPECT_EQ(haut, 10);
}

TEST_F(Ui, RingsWithTextValuesAreFilledAtRunTime) {
    ClearListCtrl(panel, ANNEAU_TEXTE);
    InsertListItem(panel, ANNEAU_TEXTE, -1, "-----", "");
    InsertListItem(panel, ANNEAU_TEXTE, -1, "Pilote bidon", "pilote_bidon.dll");
    SetCtrlIndex(panel, ANNEAU_TEXTE, 1);
    char lu[64];
    GetCtrlVal(panel, ANNEAU_TEXTE, lu);
    EXPECT_STREQ(lu, "pilote_bidon.dll");
    int v = 0;
    EXPECT_EQ(GetCtrlVal(panel, ANNEAU_TEXTE, &v), UIE_BAD_INDEX);
}

TEST_F(Ui, TableRowsAndCells) {
    ASSERT_EQ(InsertTableRows(panel, TABLEAU, -1, 2), 0);
    ASSERT_EQ(SetTableCellVal(panel, TABLEAU, MakePoint(1, 2), "22"), 0);
    SetTableCellVal(panel, TABLEAU, MakePoint(2, 2), "HEWLETT-PACKARD,53131A");
    char lu[64];
    GetTableCellVal(panel, TABLEAU, MakePoint(2, 2), lu, sizeof lu);
    EXPECT_STREQ(lu, "HEWLETT-PACKARD,53131A");
    EXPECT_EQ(SetTableCellVal(panel, TABLEAU, MakePoint(3, 1), "x"), UIE_BAD_INDEX);
    EXPECT_EQ(SetTableCellVal(panel, TABLEAU, MakePoint(1, 3), "x"), UIE_BAD_INDEX);
    DeleteTableRows(panel, TABLEAU, 1, -1);
    int n = -1;
    GetNumTableRows(panel, TABLEAU, &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(DeleteTableRows(panel, TABLEAU, 1, -1), 0);
}

TEST_F(Ui, CallbackDiscardsItsOwnPanel) {
    const int autre = LoadPanel(0, Essai.c_str(), P_ESSAI);
    DisplayPanel(autre);
    ASSERT_EQ(ui_test::Cliquer(autre, JETER), 0);
    EXPECT_EQ(DisplayPanel(autre), UIE_BAD_PANEL);
    QApplication::processEvents();
    const auto charges = ui_test::PanneauxCharges();
    EXPECT_EQ(std::count(charges.begin(), charges.end(), autre), 0);
    EXPECT_EQ(ui_test::Cliquer(autre, JETER), UIE_BAD_PANEL);
}

TEST_F(Ui, ChildPanelsGoWithTheirParent) {
    const int enfant = LoadPanel(panel, Essai.c_str(), P_FEUILLE);
    ASSERT_GT(enfant, 0);
    const int onglets = EasyTab_ConvertFromCanvas(panel, TOILE);
    EXPECT_EQ(onglets, TOILE);
    int f1 = 0, f2 = 0;
    ASSERT_EQ(EasyTab_LoadPanels(panel, onglets, 1, Essai.c_str(), {{P_FEUILLE, &f1}, {P_FEUILLE_2, &f2}}), 0);
    EXPECT_GT(f1, 0);
    EXPECT_GT(f2, 0);
    auto *tabs = qobject_cast<QTabWidget *>(ui_test::Widget(panel, TOILE));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Première feuille");
    EXPECT_EQ(tabs->tabText(1), "Seconde feuille");
    // A sheet's own callback can discard it.
    ASSERT_EQ(ui_test::Cliquer(f1, FEUILLE_JETER), 0);
    EXPECT_EQ(HidePanel(f1), UIE_BAD_PANEL);
    EXPECT_EQ(tabs->count(), 1);
    DiscardPanel(panel);
    for (int h : {enfant, f2}) EXPECT_EQ(HidePanel(h), UIE_BAD_PANEL);
    panel = LoadPanel(0, Essai.c_str(), P_ESSAI);
}

TEST_F(Ui, ScriptedPopupsAnswerInOrder) {
    ui_test::Repondre(ui_test::Popup::Confirmation, 1);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, "/tmp/mesure.xls");
    ui_test::Repondre(ui_test::Popup::Repertoire, VAL_DIRECTORY_SELECTED, "/tmp");
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(ConfirmPopup("ATTENTION", "Voulez vous vraiment effacer tous les instruments ?"), 1);
    char chemin[MAX_PATHNAME_LEN];
    EXPECT_EQ(FileSelectPopup("", "*.xls", "*.xls", "Choisir le fichier", VAL_SAVE_BUTTON, 0, 0, 1, 1, chemin),
              VAL_NEW_FILE_SELECTED);
    EXPECT_STREQ(chemin, "/tmp/mesure.xls");
    EXPECT_EQ(DirSelectPopup("", "Choisissez le répertoire"_w, 1, 1, chemin), VAL_DIRECTORY_SELECTED);
    EXPECT_STREQ(chemin, "/tmp");
    MessagePopup("Attention", "L'initialisation a échoué"_w);
    EXPECT_EQ(ui_test::ReponsesRestantes(), 0u);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 4u);
    EXPECT_EQ(vus[3].titre, "Attention");
    EXPECT_EQ(vus[3].message, "L'initialisation a échoué"_w);
}

TEST_F(Ui, UnexpectedPopupFailsInsteadOfBlocking) {
    std::vector<std::string> echecs;
    ui_test::ActiverScript([&](const std::string &d) { echecs.push_back(d); });
    ui_test::Repondre(ui_test::Popup::Message);
    // A confirmation where the script expects a message: reported and answered "no".
    EXPECT_EQ(ConfirmPopup("ATTENTION", "Vraiment ?"), 0);
    char chemin[MAX_PATHNAME_LEN] = "inchangé";
    EXPECT_EQ(FileSelectPopup("", "*.txt", "*.txt", "Séquenceur", VAL_LOAD_BUTTON, 0, 0, 1, 0, chemin),
              VAL_NO_FILE_SELECTED);
    ASSERT_EQ(echecs.size(), 2u);
    EXPECT_NE(echecs[0].find("Vraiment ?"), std::string::npos);
    EXPECT_NE(echecs[0].find("message"), std::string::npos);
    ui_test::ActiverScript([](const std::string &d) { ADD_FAILURE() << d; });
}

TEST_F(Ui, TooLongChosenPathIsAFailureNotATruncation) {
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, "/" + std::string(300, 'a'));
    char chemin[MAX_PATHNAME_LEN];
    EXPECT_LT(FileSelectPopup("", "*.xls", "*.xls", "x", VAL_SAVE_BUTTON, 0, 0, 1, 1, chemin), 0);
}

TEST_F(Ui, TimersTickThroughTheCallbackAndFollowTheirAttributes) {
    ui_test::DeclencherTimer(panel, MINUTERIE);
    EXPECT_EQ(Evenements(MINUTERIE), std::vector<int>{EVENT_TIMER_TICK});
    evenements.clear();
    // Disabled at load: no tick of its own.
    QTest::qWait(150);
    EXPECT_TRUE(Evenements(MINUTERIE).empty());
    ASSERT_EQ(SetCtrlAttribute(panel, MINUTERIE, ATTR_INTERVAL, 0.02), 0);
    ASSERT_EQ(SetCtrlAttribute(panel, MINUTERIE, ATTR_ENABLED, 1), 0);
    QTest::qWait(200);
    const auto ticks = Evenements(MINUTERIE).size();
    EXPECT_GE(ticks, 3u);
    SetCtrlAttribute(panel, MINUTERIE, ATTR_ENABLED, 0);
    QTest::qWait(60);
    evenements.clear();
    QTest::qWait(100);
    EXPECT_TRUE(Evenements(MINUTERIE).empty());
    double intervalle = 0;
    GetCtrlAttribute(panel, MINUTERIE, ATTR_INTERVAL, &intervalle);
    EXPECT_DOUBLE_EQ(intervalle, 0.02);
}

// A tick arriving while the timer's callback is still busy (here: in a nested event loop, as
// a pop-up makes one) is dropped rather than run inside it.
int profondeur = 0, profondeur_max = 0, ticks_lents = 0;
int Essai_Lent(int, int, int event, void *, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    ++ticks_lents;
    profondeur_max = std::max(profondeur_max, ++profondeur);
    QTest::qWait(120);
    --profondeur;
    return 0;
}

TEST_F(Ui, TimerCallbackIsNeverReentered) {
    // Callbacks are bound when a panel loads: this copy's timer gets the slow one.
    RegisterCallback("Essai_Cb", Essai_Lent);
    const int lent = LoadPanel(0, Essai.c_str(), P_ESSAI);
    RegisterCallback("Essai_Cb", Essai_Cb);
    SetCtrlAttribute(lent, MINUTERIE, ATTR_INTERVAL, 0.01);
    SetCtrlAttribute(lent, MINUTERIE, ATTR_ENABLED, 1);
    QTest::qWait(400);
    SetCtrlAttribute(lent, MINUTERIE, ATTR_ENABLED, 0);
    EXPECT_GE(ticks_lents, 2);
    EXPECT_EQ(profondeur_max, 1);
    DiscardPanel(lent);
}

TEST_F(Ui, CallsFromAnotherThreadRunOnTheInterfaceThread) {
    std::atomic<bool> fini{false};
    int lu = 0;
    bool sur_fil_ui = true;
    std::thread t([&] {
        sur_fil_ui = OnUiThread();
        SetCtrlVal(panel, ENTIER, 64);
        InsertListItem(panel, JOURNAL, -1, "depuis un autre fil", 0);
        GetCtrlVal(panel, ENTIER, &lu);
        fini = true;
    });
    while (!fini) QApplication::processEvents(QEventLoop::AllEvents, 10);
    t.join();
    EXPECT_FALSE(sur_fil_ui);
    EXPECT_EQ(lu, 64);
    int n = 0;
    GetNumListItems(panel, JOURNAL, &n);
    EXPECT_EQ(n, 1);
}

TEST_F(Ui, PostedCallsRunOnTheInterfaceThreadAfterTheirDelay) {
    std::atomic<int> appels{0};
    std::atomic<bool> sur_ui{false};
    std::thread t([&] {
        PostToUiThread([&] {
            sur_ui = OnUiThread();
            ++appels;
        }, 0.5);
    });
    t.join();
    EXPECT_EQ(appels, 0);
    QTest::qWait(20);
    EXPECT_EQ(appels, 0);
    // Generous bound: a loaded machine may run the call late, never early.
    EXPECT_TRUE(QTest::qWaitFor([&] { return appels == 1; }, 5000));
    EXPECT_TRUE(sur_ui);
}

TEST_F(Ui, PostedCallsFollowTheFakeClock) {
    horloge::UtiliserHorlogeFactice(1700000000);
    int appels = 0;
    PostToUiThread([&] { ++appels; }, 2.0);
    QTest::qWait(50);
    EXPECT_EQ(appels, 0);
    horloge::AvancerHorlogeFactice(2.5);
    QTest::qWait(50);
    EXPECT_EQ(appels, 1);

    // A call due is run at the event loop's next look once the clock has moved past it, in the
    // order posted, however little real time passes: the program may run the fake clock far
    // faster than any real-time polling.
    std::vector<int> ordre;
    PostToUiThread([&] { ordre.push_back(1); }, 1.0);
    PostToUiThread([&] { ordre.push_back(2); }, 1.0);
    PostToUiThread([&] { ordre.push_back(3); }, 3.0);
    for (int pas = 0; pas < 3; ++pas) {
        horloge::AvancerHorlogeFactice(1.0);
        QCoreApplication::processEvents();
        EXPECT_EQ(ordre.size(), pas == 0 ? 2u : pas == 1 ? 2u : 3u) << "after move " << pas;
    }
    EXPECT_EQ(ordre, (std::vector<int>{1, 2, 3}));
    horloge::UtiliserHorlogeReelle();
}

TEST_F(Ui, DeferredQuitLetsTheRunningCallbackFinish) {
    static bool apres_demande = false;
    auto cb = [](int, int, int event, void *, int, int) -> int {
        if (event != EVENT_COMMIT) return 0;
        QuitUserInterface(7);
        apres_demande = true;  // still runs: the request only ends the loop afterwards
        return 0;
    };
    RegisterCallback("Essai_Cb", cb);
    const int p = LoadPanel(0, Essai.c_str(), P_ESSAI);
    RegisterCallback("Essai_Cb", Essai_Cb);
    QTimer::singleShot(0, [p] { ui_test::Cliquer(p, BOUTON); });
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_TRUE(apres_demande);
    DiscardPanel(p);
}

TEST_F(Ui, DrawingDispatchesNoCallback) {
    SetCtrlAttribute(panel, MINUTERIE, ATTR_INTERVAL, 0.001);
    SetCtrlAttribute(panel, MINUTERIE, ATTR_ENABLED, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    evenements.clear();
    ProcessDrawEvents();
    EXPECT_TRUE(evenements.empty());
    SetCtrlAttribute(panel, MINUTERIE, ATTR_ENABLED, 0);
}

// The slide controls move as the operator clicks: on the label of a position, or beside the
// handle at a position; a dimmed one ignores the clicks.
TEST_F(Ui, SlidesMoveToThePositionOrLabelClicked) {
    const auto Valeur = [&](int control) {
        int v = -1;
        GetCtrlVal(panel, control, &v);
        return v;
    };
    QWidget *glissiere = ui_test::Widget(panel, GLISSIERE);
    const QList<QLabel *> etiquettes = glissiere->findChildren<QLabel *>();
    ASSERT_EQ(etiquettes.size(), 4);
    QTest::mouseClick(etiquettes[2], Qt::LeftButton);
    EXPECT_EQ(Valeur(GLISSIERE), 2);
    EXPECT_EQ(Evenements(GLISSIERE), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    auto *curseur = glissiere->findChild<QSlider *>();
    ASSERT_NE(curseur, nullptr);
    QTest::mouseClick(curseur, Qt::LeftButton, {}, QPoint(curseur->width() / 2, curseur->height() - 2));
    EXPECT_EQ(Valeur(GLISSIERE), 3);  // the last item is at the bottom
    QTest::mouseClick(curseur, Qt::LeftButton, {}, QPoint(curseur->width() / 2, 2));
    EXPECT_EQ(Valeur(GLISSIERE), 0);
    QTest::mouseClick(etiquettes[1], Qt::LeftButton);
    EXPECT_EQ(Valeur(GLISSIERE), 1);

    auto *inter = qobject_cast<QSlider *>(ui_test::Widget(panel, INTER));
    ASSERT_NE(inter, nullptr);
    QLabel *jour = inter->parentWidget()->findChild<QLabel *>("on");
    QLabel *nuit = inter->parentWidget()->findChild<QLabel *>("off");
    ASSERT_TRUE(jour && nuit);
    EXPECT_EQ(jour->text(), "Jour");
    QTest::mouseClick(jour, Qt::LeftButton);
    EXPECT_EQ(Valeur(INTER), 1);
    EXPECT_EQ(Evenements(INTER), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    QTest::mouseClick(jour, Qt::LeftButton);  // already there: nothing happens
    EXPECT_EQ(Evenements(INTER).size(), 2u);
    QTest::mouseClick(nuit, Qt::LeftButton);
    EXPECT_EQ(Valeur(INTER), 0);
    QTest::mouseClick(inter, Qt::LeftButton, {}, QPoint(inter->width() - 2, inter->height() / 2));
    EXPECT_EQ(Valeur(INTER), 1);
    QTest::mouseClick(inter, Qt::LeftButton, {}, QPoint(2, inter->height() / 2));
    EXPECT_EQ(Valeur(INTER), 0);

    SetCtrlAttribute(panel, INTER, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, GLISSIERE, ATTR_DIMMED, 1);
    evenements.clear();
    QTest::mouseClick(jour, Qt::LeftButton);
    QTest::mouseClick(etiquettes[3], Qt::LeftButton);
    QTest::mouseClick(curseur, Qt::LeftButton, {}, QPoint(curseur->width() / 2, curseur->height() - 2));
    EXPECT_EQ(Valeur(INTER), 0);
    EXPECT_EQ(Valeur(GLISSIERE), 1);
    EXPECT_TRUE(evenements.empty());
}

// Windows placed where they cover least of the windows shown, on a screen of 1600 by 1000: a
// main panel across the top, with a button and a journal that only shows, and a list and a
// dimmed control on its lower edge.
class Placement : public testing::Test {
protected:
    static constexpr const char *kFichier = BANC_SOURCE_DIR "/tests/ui/Placement.uir";
    enum { P_PRINCIPAL = 1, P_PETIT, P_MOYEN, P_GRAND, P_VUE };
    enum { LISTE_PRINCIPALE = 4 };

    void SetUp() override {
        QScreen *ecran = QGuiApplication::primaryScreen();
        ASSERT_NE(ecran, nullptr);
        bureau = ecran->availableGeometry();
        if (bureau.size() != QSize(1600, 1000)) GTEST_SKIP() << "a screen of 1600 by 1000 is needed";
        principal = LoadPanel(0, kFichier, P_PRINCIPAL);
        ASSERT_GT(principal, 0);
        DisplayPanel(principal);
        QApplication::processEvents();
    }
    void TearDown() override {
        for (int p : ouverts) DiscardPanel(p);
        if (principal > 0) DiscardPanel(principal);
        QApplication::processEvents();
    }
    // A panel placed, then shown; its window on the screen.
    QRect Ouvrir(int id) {
        const int p = LoadPanel(0, kFichier, id);
        EXPECT_GT(p, 0);
        ouverts.push_back(p);
        EXPECT_EQ(PlacePanelWhereFree(p), 0);
        DisplayPanel(p);
        QApplication::processEvents();
        const QRect r = ui_test::Fenetre(p)->frameGeometry();
        EXPECT_TRUE(bureau.contains(r)) << r.x() << "," << r.y();
        return r;
    }
    // The main panel's list, on the screen.
    QRect ZoneListe() const {
        const QWidget *liste = ui_test::Widget(principal, LISTE_PRINCIPALE);
        return QRect(liste->mapToGlobal(QPoint(0, 0)), liste->size());
    }
    static long long Aire(const QRect &r) { return r.isEmpty() ? 0 : static_cast<long long>(r.width()) * r.height(); }

    QRect bureau;
    int principal = 0;
    std::vector<int> ouverts;
};

TEST_F(Placement, WindowsCoverLeastOfTheMainPanelAndOfEachOther) {
    const QRect fenetre_principale = ui_test::Fenetre(principal)->frameGeometry();
    const QRect liste = ZoneListe();
    // Too tall for the free band under the main panel: over its dimmed control, not its list.
    const QRect moyen = Ouvrir(P_MOYEN);
    EXPECT_TRUE(moyen.intersects(fenetre_principale));
    EXPECT_FALSE(moyen.intersects(liste));
    // Small windows: in the free band, over no other window.
    std::vector<QRect> places = {fenetre_principale, moyen};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const QRect petit = Ouvrir(P_PETIT);
        for (const QRect &r : places) EXPECT_FALSE(petit.intersects(r));
        places.push_back(petit);
    }
    // Windows bigger than any free place: the second hides less than three quarters of the first.
    const QRect premier = Ouvrir(P_GRAND);
    const QRect second = Ouvrir(P_GRAND);
    EXPECT_LT(4 * Aire(premier.intersected(second)), 3 * Aire(premier));
}

// Two views too tall for the free band and too wide to stand side by side beside the list: the
// second goes over the journal, which the main panel only shows, rather than over the first.
TEST_F(Placement, WhatTheMainPanelOnlyShowsGivesWayBeforeTheWindowsPlacedBefore) {
    const QRect premiere = Ouvrir(P_VUE);
    const QRect seconde = Ouvrir(P_VUE);
    EXPECT_FALSE(premiere.intersects(seconde));
    for (const QRect &r : {premiere, seconde}) EXPECT_FALSE(r.intersects(ZoneListe()));
}

TEST(Locale, NumbersKeepTheirPointUnderAFrenchLocale) {
    // The test program runs with LC_ALL=fr_FR.UTF-8: the toolkit took it up, the layer put the
    // numbers back to "C".
    const char *ctype = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(ctype, nullptr);
    EXPECT_NE(std::string(ctype).find("fr_FR"), std::string::npos) << "locale fr_FR.UTF-8 missing";
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    char tampon[32];
    std::snprintf(tampon, sizeof tampon, "%f %e", 1.5, 0.25);
    EXPECT_STREQ(tampon, "1.500000 2.500000e-01");
    EXPECT_EQ(std::strtod("2.5", nullptr), 2.5);
}

}  // namespace
