// The user-interface resource files hold what the program addresses by name and number:
// panels, controls with their ids, kinds, labels and callbacks, and the initial states the
// program relies on. These tests read the files as the program's loader does (JSON, UTF-8) and
// compare them with the program's tables; they also check that the panels are laid out without
// controls on top of each other or outside their panel.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRect>
#include <QString>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const QString kInterface = QStringLiteral("Interface.uir");
const QString kPilote = QStringLiteral("UIR_bidon_pilote.uir");

QJsonObject readResource(const QString &name) {
    QFile f(QStringLiteral(BANC_SOURCE_DIR "/ui/") + name);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot open ui/" << name.toStdString();
        return {};
    }
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError) {
        ADD_FAILURE() << "ui/" << name.toStdString() << ": " << err.errorString().toStdString()
                      << " at offset " << err.offset;
        return {};
    }
    return doc.object();
}

// The files are read once for the whole program of tests.
const QJsonObject &resource(const QString &name) {
    static std::map<QString, QJsonObject> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, readResource(name)).first;
    return it->second;
}

QJsonArray panelsOf(const QString &file) {
    return resource(file).value(QLatin1String("panels")).toArray();
}

QJsonArray controlsOf(const QJsonObject &panel) {
    return panel.value(QLatin1String("controls")).toArray();
}

// Empty object when the file has no such panel.
QJsonObject findPanel(const QString &file, const QString &constant) {
    for (const QJsonValue &p : panelsOf(file))
        if (p.toObject().value(QLatin1String("constant")).toString() == constant) return p.toObject();
    return {};
}

QJsonObject findControl(const QString &file, const QString &panel, const QString &constant) {
    for (const QJsonValue &c : controlsOf(findPanel(file, panel)))
        if (c.toObject().value(QLatin1String("constant")).toString() == constant) return c.toObject();
    return {};
}

// Texts are compared as UTF-8, so that a failure prints them readably.
std::string str(const QJsonObject &o, const char *key) {
    return o.value(QLatin1String(key)).toString().toStdString();
}

std::string json(const QJsonValue &v) {
    return QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

QRect rectOf(const QJsonObject &c) {
    return {c.value(QLatin1String("left")).toInt(), c.value(QLatin1String("top")).toInt(),
            c.value(QLatin1String("width")).toInt(), c.value(QLatin1String("height")).toInt()};
}

std::string describe(const QRect &r) {
    return "(" + std::to_string(r.left()) + ", " + std::to_string(r.top()) + ", " +
           std::to_string(r.width()) + "x" + std::to_string(r.height()) + ")";
}

// ---- panels -------------------------------------------------------------------------------

struct PanelRow {
    QString file;
    const char *constant;
    int id;
    const char *title;
};

const std::vector<PanelRow> kPanels = {
    {kInterface, "P_Commande", 1, "PANNEAU DE COMMANDE"},
    {kInterface, "P_Graphs", 2, "Graphes"},
    {kInterface, "P_Instru", 3, "Plugin d'instruments"},
    {kInterface, "P_RENOMMER", 4, "Renommer un instrument"},
    {kInterface, "P_SCAN", 5, "Scan GPIB bus"},
    {kInterface, "P_Synchro", 6, "SYNCHRONISATION"},
    {kInterface, "PANEL_Ajou", 7, "Ajouter un instrument"},
    {kInterface, "PANEL_Time", 8, "TIMER PANEL"},
    {kPilote, "P_config", 1, "Configuration"},
    {kPilote, "P_PILOT", 2, "Pilotage"},
};

TEST(UirFiles, EveryPanelHasItsIdAndTitle) {
    for (const PanelRow &row : kPanels) {
        SCOPED_TRACE(row.file.toStdString() + " " + row.constant);
        const QJsonObject p = findPanel(row.file, QString::fromUtf8(row.constant));
        ASSERT_FALSE(p.isEmpty()) << "panel missing";
        EXPECT_EQ(p.value(QLatin1String("id")).toInt(), row.id);
        EXPECT_EQ(str(p, "title"), row.title);
    }
}

TEST(UirFiles, NoPanelBeyondTheProgramsOwn) {
    for (const QString &file : {kInterface, kPilote}) {
        std::set<std::string> expected;
        for (const PanelRow &row : kPanels)
            if (row.file == file) expected.insert(row.constant);
        std::set<std::string> found;
        for (const QJsonValue &p : panelsOf(file)) {
            const std::string c = str(p.toObject(), "constant");
            EXPECT_TRUE(found.insert(c).second) << file.toStdString() << ": panel " << c << " appears twice";
        }
        EXPECT_EQ(found, expected) << file.toStdString();
    }
}

// ---- controls -----------------------------------------------------------------------------

struct ControlRow {
    QString file;
    const char *panel;
    const char *constant;
    int id;
    const char *kind;
    const char *label;     // nullptr: the control shows no label
    const char *callback;  // nullptr: none
};

const std::vector<ControlRow> kControls = {
    // Main panel.
    {kInterface, "P_Commande", "GPIB_SCAN", 2, "command_button", "Scan __GPIB", "Prog_Scan_GPIB"},
    {kInterface, "P_Commande", "PICTUREBUTTON_Load", 3, "picture_button", nullptr, "Prog_Charger_Fichier"},
    {kInterface, "P_Commande", "PICTUREBUTTON_Save", 4, "picture_button", nullptr, "Prog_Sauvegarde"},
    {kInterface, "P_Commande", "ECHANTILLON", 5, "command_button", "Echantillon", "Prog_Echantillon"},
    {kInterface, "P_Commande", "COMMANDBUTTON_Quit", 6, "command_button", "__Quitter", "Prog_Quitter"},
    {kInterface, "P_Commande", "TimeLimit", 7, "numeric", "Durée maximale en min (acq. limitée)", nullptr},
    {kInterface, "P_Commande", "N_sous_ech_2D", 8, "numeric", "Sous échantillonage 2D", nullptr},
    {kInterface, "P_Commande", "N_TEch", 9, "numeric", "Période d'échantillonage", nullptr},
    {kInterface, "P_Commande", "Mode_Fichier", 10, "slide", "Mode d'enregistrement", nullptr},
    {kInterface, "P_Commande", "COMMANDBUTTON_Acq", 11, "command_button", "Démarrer A__cquisition", "Prog_Acquisition"},
    {kInterface, "P_Commande", "PLUGINTAB", 12, "canvas", nullptr, "CB_TABS"},
    {kInterface, "P_Commande", "DeMarquage", 13, "string", nullptr, nullptr},
    {kInterface, "P_Commande", "Marquage_3", 14, "string", nullptr, nullptr},
    {kInterface, "P_Commande", "Marquage_2", 15, "string", nullptr, nullptr},
    {kInterface, "P_Commande", "Marquage", 16, "string", nullptr, nullptr},
    {kInterface, "P_Commande", "COMMANDBUTTON_4", 17, "command_button", "__Démarquer", "CB_DeMarquer"},
    {kInterface, "P_Commande", "COMMANDBUTTON_3", 18, "command_button", "Marquer", "CB_Marquer_3"},
    {kInterface, "P_Commande", "COMMANDBUTTON_2", 19, "command_button", "Marquer", "CB_Marquer_2"},
    {kInterface, "P_Commande", "COMMANDBUTTON", 20, "command_button", "Marquer", "CB_Marquer"},
    {kInterface, "P_Commande", "STATUS", 21, "list_box", "Indicateur de fonctionnement", nullptr},
    {kInterface, "P_Commande", "CHECKBOX", 22, "check_box", "Echantillons à la demande", nullptr},
    // Sheet of the instrument list.
    {kInterface, "P_Instru", "LISTBOX_Liste", 2, "list_box", "Instruments", "Prog_Liste"},
    {kInterface, "P_Instru", "Ajouter", 3, "command_button", "__Ajouter", "Prog_Ajouter"},
    {kInterface, "P_Instru", "Supprimer", 4, "command_button", "__Supprimer", "Prog_Supprimer"},
    {kInterface, "P_Instru", "RAZ", 5, "command_button", "RA__Z", "Prog_Supprimer_Tout_Instru"},
    {kInterface, "P_Instru", "Renommer", 6, "command_button", "__Renommer", "Prog_Renommer"},
    {kInterface, "P_Instru", "Proprietes", 7, "command_button", "__Propriétés", "Prog_Proprietes"},
    {kInterface, "P_Instru", "Piloter", 8, "command_button", "Piloter", "Prog_PiloterI"},
    // Sheet of the graph settings.
    {kInterface, "P_Graphs", "NUMERIC", 2, "numeric", "Nombre de graphes", "CB_nb_graphes"},
    {kInterface, "P_Graphs", "N_long", 3, "numeric", "Nb echantillons pour la moyenne long terme", nullptr},
    {kInterface, "P_Graphs", "N_mid", 4, "numeric", "Nb echantillons pour la moyenne moyen terme", nullptr},
    {kInterface, "P_Graphs", "N_nbpointsgraphs", 5, "numeric", "Nombre de points du graphique", nullptr},
    // Dialogs.
    {kInterface, "PANEL_Ajou", "CANCEL", 2, "command_button", "__Annuler", "Prog_Ajouter_Annuler"},
    {kInterface, "PANEL_Ajou", "COMMANDBUTTON_OK", 3, "command_button", "__OK", "Prog_Ajouter_OK"},
    {kInterface, "PANEL_Ajou", "RING_Ajou_Type", 4, "ring", "Saisissez le type d'appareil à ajourer :", nullptr},
    {kInterface, "P_RENOMMER", "NOM_INSTRUMENT", 2, "string", "Nom de l'instrument", nullptr},
    {kInterface, "P_RENOMMER", "COMMANDBUTTON", 3, "command_button", "__OK", "OK_RENOMMER"},
    {kInterface, "P_SCAN", "TABLE", 2, "table", "Appareils GPIB", nullptr},
    {kInterface, "P_SCAN", "BTN_SCAN", 3, "command_button", "__Scan", "DO_Scan"},
    {kInterface, "P_SCAN", "BTN_DONE", 4, "command_button", "__Fermer", "Fermer_Scan"},
    {kInterface, "P_Synchro", "TBN_Synchobanc", 2, "toggle_button", "Synchronisation avec le banc", "CB_synchrobanc"},
    {kInterface, "P_Synchro", "S_nomfichier", 3, "string", "Nom du fichier à surveiller", nullptr},
    {kInterface, "P_Synchro", "TEXTMSG_synchromes", 4, "text_message", nullptr, nullptr},
    // Hidden timer panel.
    {kInterface, "PANEL_Time", "TIMER_echantillon", 2, "timer", "Echantillonage données", "CB_T_echantillon"},
    {kInterface, "PANEL_Time", "T_synchrobanc", 3, "timer", "synchrobanc", "CB_T_Synchroban"},
    {kInterface, "PANEL_Time", "T_Attente", 4, "timer", "Timer d'attente", "CB_T_Attente"},
    {kInterface, "PANEL_Time", "TIMER_SEQ", 5, "timer", "Timer sequenceur", "CB_T_Seq"},
    // Pilote bidon.
    {kPilote, "P_config", "NUMERIC", 2, "numeric", "Adresse", nullptr},
    {kPilote, "P_config", "BUTTON_OK", 3, "command_button", "__OK", "OK_config"},
    {kPilote, "P_PILOT", "COMMANDBUTTON", 2, "command_button", "__Cacher", "Cacher_Pilotage"},
    {kPilote, "P_PILOT", "SW_Soleil", 3, "binary_switch", "Lumière du soleil", "Allumer_Eteindre"},
    {kPilote, "P_PILOT", "LED", 4, "led", "Soleil", nullptr},
};

TEST(UirFiles, EveryControlHasItsIdKindLabelAndCallback) {
    for (const ControlRow &row : kControls) {
        SCOPED_TRACE(row.file.toStdString() + " " + row.panel + " " + row.constant);
        const QJsonObject c =
            findControl(row.file, QString::fromUtf8(row.panel), QString::fromUtf8(row.constant));
        ASSERT_FALSE(c.isEmpty()) << "control missing";
        EXPECT_EQ(c.value(QLatin1String("id")).toInt(), row.id);
        EXPECT_EQ(str(c, "kind"), row.kind);
        EXPECT_EQ(str(c, "label"), row.label ? row.label : "");
        EXPECT_EQ(str(c, "callback"), row.callback ? row.callback : "");
    }
}

TEST(UirFiles, NoControlBeyondTheProgramsOwn) {
    for (const PanelRow &panel : kPanels) {
        SCOPED_TRACE(panel.file.toStdString() + " " + panel.constant);
        std::set<std::string> expected;
        for (const ControlRow &row : kControls)
            if (row.file == panel.file && std::string(row.panel) == panel.constant) expected.insert(row.constant);
        std::set<std::string> found;
        for (const QJsonValue &c : controlsOf(findPanel(panel.file, QString::fromUtf8(panel.constant)))) {
            const std::string constant = str(c.toObject(), "constant");
            EXPECT_TRUE(found.insert(constant).second) << constant << " appears twice";
        }
        EXPECT_EQ(found, expected);
    }
}

// ---- initial states the program relies on -------------------------------------------------

struct FieldRow {
    QString file;
    const char *panel;
    const char *control;
    const char *field;
    QJsonValue expected;
};

const std::vector<FieldRow> kFields = {
    // Timers: the program starts the first three itself and expects them stopped at load; the
    // sequencer timer ticks once a second from start-up.
    {kInterface, "PANEL_Time", "TIMER_echantillon", "enabled", false},
    {kInterface, "PANEL_Time", "T_synchrobanc", "enabled", false},
    {kInterface, "PANEL_Time", "T_Attente", "enabled", false},
    {kInterface, "PANEL_Time", "TIMER_SEQ", "enabled", true},
    {kInterface, "PANEL_Time", "TIMER_SEQ", "interval", 1.0},
    {kInterface, "PANEL_Time", "T_synchrobanc", "interval", 1.0},
    // Value types read by the program.
    {kInterface, "P_Commande", "N_TEch", "data_type", QStringLiteral("double")},
    {kInterface, "P_Commande", "TimeLimit", "data_type", QStringLiteral("int")},
    {kInterface, "P_Commande", "N_sous_ech_2D", "data_type", QStringLiteral("int")},
    {kInterface, "P_Commande", "Mode_Fichier", "value_type", QStringLiteral("int")},
    {kInterface, "P_Graphs", "NUMERIC", "data_type", QStringLiteral("int")},
    {kInterface, "P_Graphs", "N_long", "data_type", QStringLiteral("int")},
    {kInterface, "P_Graphs", "N_mid", "data_type", QStringLiteral("int")},
    {kInterface, "P_Graphs", "N_nbpointsgraphs", "data_type", QStringLiteral("int")},
    {kInterface, "PANEL_Ajou", "RING_Ajou_Type", "value_type", QStringLiteral("string")},
    {kPilote, "P_config", "NUMERIC", "data_type", QStringLiteral("int")},
    // List boxes: a tick box per instrument, none in the status list.
    {kInterface, "P_Instru", "LISTBOX_Liste", "check_mode", true},
    {kInterface, "P_Commande", "STATUS", "check_mode", false},
    // Texts.
    {kInterface, "P_Synchro", "S_nomfichier", "value", QStringLiteral("consigne.txt")},
    {kInterface, "P_Synchro", "TEXTMSG_synchromes", "value", QString::fromUtf8("Mesure en cours\nfichier")},
    {kInterface, "P_Synchro", "TBN_Synchobanc", "on_text", QString::fromUtf8("Désactiver")},
    {kInterface, "P_Synchro", "TBN_Synchobanc", "off_text", QStringLiteral("Activer")},
    {kInterface, "P_Synchro", "TBN_Synchobanc", "value", 0},
    {kPilote, "P_PILOT", "SW_Soleil", "on_text", QStringLiteral("Jour")},
    {kPilote, "P_PILOT", "SW_Soleil", "off_text", QStringLiteral("Nuit")},
    {kInterface, "P_Commande", "PICTUREBUTTON_Load", "picture", QStringLiteral("open")},
    {kInterface, "P_Commande", "PICTUREBUTTON_Save", "picture", QStringLiteral("save")},
    // A new Pilote bidon shows its address 45 in the configuration panel.
    {kPilote, "P_config", "NUMERIC", "value", 45},
};

TEST(UirFiles, InitialStatesTheProgramReliesOn) {
    for (const FieldRow &row : kFields) {
        SCOPED_TRACE(row.file.toStdString() + " " + row.panel + " " + row.control + " " + row.field);
        const QJsonObject c =
            findControl(row.file, QString::fromUtf8(row.panel), QString::fromUtf8(row.control));
        ASSERT_FALSE(c.isEmpty()) << "control missing";
        const QJsonValue v = c.value(QLatin1String(row.field));
        ASSERT_FALSE(v.isUndefined()) << "field missing";
        if (row.expected.isDouble()) {
            EXPECT_TRUE(v.isDouble()) << "not a number";
            EXPECT_DOUBLE_EQ(v.toDouble(), row.expected.toDouble());
        } else {
            EXPECT_EQ(json(v), json(row.expected));
        }
    }
}

TEST(UirFiles, ModeSlideHasTheFourModesInOrder) {
    const QJsonObject c = findControl(kInterface, QStringLiteral("P_Commande"), QStringLiteral("Mode_Fichier"));
    const QJsonArray items = c.value(QLatin1String("items")).toArray();
    const std::vector<std::pair<int, const char *>> expected = {
        {0, "Acquisition en continue"},
        {1, "Acquisition synchronisée"},
        {2, "Acquisition avec séquenceur"},
        {3, "Acquisition limitée en temps"},
    };
    ASSERT_EQ(static_cast<std::size_t>(items.size()), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const QJsonObject item = items.at(static_cast<qsizetype>(i)).toObject();
        EXPECT_EQ(json(item.value(QLatin1String("value"))), json(expected[i].first)) << "item " << i;
        EXPECT_EQ(str(item, "label"), expected[i].second) << "item " << i;
    }
    EXPECT_EQ(json(c.value(QLatin1String("value"))), json(0)) << "the continuous mode comes first";
}

TEST(UirFiles, ScanTableHasAddressAndIdentificationColumns) {
    const QJsonObject c = findControl(kInterface, QStringLiteral("P_SCAN"), QStringLiteral("TABLE"));
    EXPECT_EQ(json(c.value(QLatin1String("columns"))),
              json(QJsonArray{QStringLiteral("Adresse"), QStringLiteral("Identification")}));
}

// The numeric controls start inside their own range, and the ranges hold what the program
// writes into them.
TEST(UirFiles, NumericValuesLieInTheirRanges) {
    for (const QString &file : {kInterface, kPilote}) {
        for (const QJsonValue &p : panelsOf(file)) {
            for (const QJsonValue &cv : controlsOf(p.toObject())) {
                const QJsonObject c = cv.toObject();
                if (str(c, "kind") != "numeric") continue;
                SCOPED_TRACE(file.toStdString() + " " + str(p.toObject(), "constant") +
                             " " + str(c, "constant"));
                const double value = c.value(QLatin1String("value")).toDouble();
                if (c.contains(QLatin1String("min"))) {
                    EXPECT_GE(value, c.value(QLatin1String("min")).toDouble());
                }
                if (c.contains(QLatin1String("max"))) {
                    EXPECT_LE(value, c.value(QLatin1String("max")).toDouble());
                }
            }
        }
    }
    // The sampling period and the averaging counts can never be zero: the program divides by
    // them or times a timer with them.
    struct Floor {
        const char *panel;
        const char *control;
        double lowest;
    };
    for (const Floor &f : {Floor{"P_Commande", "N_TEch", 0.001}, Floor{"P_Commande", "N_sous_ech_2D", 1},
                           Floor{"P_Graphs", "N_long", 1}, Floor{"P_Graphs", "N_mid", 1},
                           Floor{"P_Graphs", "N_nbpointsgraphs", 2}}) {
        const QJsonObject c = findControl(kInterface, QString::fromUtf8(f.panel), QString::fromUtf8(f.control));
        ASSERT_TRUE(c.contains(QLatin1String("min"))) << f.control;
        EXPECT_GE(c.value(QLatin1String("min")).toDouble(), f.lowest) << f.control;
    }
}

// Before the first acquisition the panels show the stopped look, except the samples-on-request
// box: only a start with it ticked makes it available again, so it must be available at load.
TEST(UirFiles, PanelsLoadInTheStoppedLook) {
    struct Dim {
        const char *panel;
        const char *control;
        bool dimmed;
    };
    const std::vector<Dim> looks = {
        {"P_Instru", "Ajouter", false},          {"P_Instru", "Supprimer", false},
        {"P_Instru", "RAZ", false},              {"P_Instru", "Renommer", false},
        {"P_Instru", "Proprietes", false},       {"P_Instru", "Piloter", true},
        {"P_Commande", "PICTUREBUTTON_Load", false}, {"P_Commande", "GPIB_SCAN", false},
        {"P_Commande", "Mode_Fichier", false},   {"P_Commande", "COMMANDBUTTON_Quit", false},
        {"P_Commande", "N_sous_ech_2D", false},  {"P_Commande", "N_TEch", false},
        {"P_Commande", "TimeLimit", false},      {"P_Commande", "CHECKBOX", false},
        {"P_Commande", "COMMANDBUTTON_Acq", false}, {"P_Graphs", "N_nbpointsgraphs", false},
        {"P_Graphs", "N_mid", false},            {"P_Graphs", "N_long", false},
    };
    for (const Dim &d : looks) {
        const QJsonObject c = findControl(kInterface, QString::fromUtf8(d.panel), QString::fromUtf8(d.control));
        ASSERT_FALSE(c.isEmpty()) << d.control;
        EXPECT_EQ(c.value(QLatin1String("dimmed")).toBool(false), d.dimmed) << d.panel << " " << d.control;
        EXPECT_TRUE(c.value(QLatin1String("visible")).toBool(true)) << d.panel << " " << d.control;
    }
}

// ---- geometry -----------------------------------------------------------------------------

constexpr int kMargin = 10;
// The files whose panels are laid out here, checked for controls out of place.
const QString kDisposes[] = {kInterface, kPilote, QStringLiteral("UIR_graphtab.uir"), QStringLiteral("UIR_graph3D.uir")};

TEST(UirFiles, ControlsStayInsideTheirPanelWithAMargin) {
    for (const QString &file : kDisposes) {
        for (const QJsonValue &pv : panelsOf(file)) {
            const QJsonObject p = pv.toObject();
            const QRect inner(kMargin, kMargin, p.value(QLatin1String("width")).toInt() - 2 * kMargin,
                              p.value(QLatin1String("height")).toInt() - 2 * kMargin);
            for (const QJsonValue &cv : controlsOf(p)) {
                const QJsonObject c = cv.toObject();
                const QRect r = rectOf(c);
                EXPECT_TRUE(r.width() > 0 && r.height() > 0 && inner.contains(r))
                    << file.toStdString() << " " << str(p, "constant") << " "
                    << str(c, "constant") << " " << describe(r) << " not within "
                    << describe(inner);
            }
        }
    }
}

TEST(UirFiles, ControlsDoNotOverlap) {
    for (const QString &file : kDisposes) {
        for (const QJsonValue &pv : panelsOf(file)) {
            const QJsonObject p = pv.toObject();
            const QJsonArray controls = controlsOf(p);
            for (qsizetype i = 0; i < controls.size(); ++i) {
                const QJsonObject a = controls.at(i).toObject();
                if (str(a, "kind") == "timer") continue;  // no widget
                for (qsizetype j = i + 1; j < controls.size(); ++j) {
                    const QJsonObject b = controls.at(j).toObject();
                    if (str(b, "kind") == "timer") continue;
                    EXPECT_FALSE(rectOf(a).intersects(rectOf(b)))
                        << file.toStdString() << " " << str(p, "constant") << ": "
                        << str(a, "constant") << " " << describe(rectOf(a)) << " and "
                        << str(b, "constant") << " " << describe(rectOf(b));
                }
            }
        }
    }
}

// The two sheets are shown inside the tab control made from the canvas, below its row of tabs.
TEST(UirFiles, TabSheetsFitInTheCanvas) {
    constexpr int kTabBar = 24;
    const QRect canvas = rectOf(findControl(kInterface, QStringLiteral("P_Commande"), QStringLiteral("PLUGINTAB")));
    for (const char *sheet : {"P_Instru", "P_Graphs"}) {
        const QJsonObject p = findPanel(kInterface, QString::fromUtf8(sheet));
        ASSERT_FALSE(p.isEmpty()) << sheet;
        EXPECT_LE(p.value(QLatin1String("width")).toInt(), canvas.width()) << sheet;
        EXPECT_LE(p.value(QLatin1String("height")).toInt(), canvas.height() - kTabBar) << sheet;
    }
}

// The main window fits a 1600x1000 screen.
TEST(UirFiles, MainPanelFitsTheScreen) {
    const QJsonObject p = findPanel(kInterface, QStringLiteral("P_Commande"));
    const QRect r(p.value(QLatin1String("left")).toInt(0), p.value(QLatin1String("top")).toInt(0),
                  p.value(QLatin1String("width")).toInt(), p.value(QLatin1String("height")).toInt());
    EXPECT_TRUE(QRect(0, 0, 1600, 1000).contains(r)) << describe(r);
}

}  // namespace
