// Core of the user-interface layer: start-up, panels and their handles, the callback registry
// and dispatch, the event loop, calls from other threads and delayed calls.
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui_internal.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <limits>
#include <list>
#include <mutex>

namespace ui_detail {

namespace {

std::map<int, std::shared_ptr<Panneau>> panneaux;
int prochain_handle = 1;

std::mutex verrou_registre;
std::map<std::string, CtrlCallbackPtr> &Registre() {
    static std::map<std::string, CtrlCallbackPtr> r;
    return r;
}

QEventLoop *boucle_principale = nullptr;
bool quitter_demande = false;
int code_sortie = 0;
QApplication *application_propre = nullptr;

// Keeps top-level panels from being closed by the window manager: panels close through their
// own buttons, so that the program's state always knows which panels are loaded.
class GardienFermeture : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Close) {
            e->ignore();
            return true;
        }
        return QObject::eventFilter(o, e);
    }
};
GardienFermeture *gardien = nullptr;

// Delayed calls waiting for the program's clock (used when the clock is the fake one or
// runs at another speed: real timers cannot know when the clock will be advanced).
struct AppelDiffere {
    double echeance;
    std::function<void()> fn;
};
std::mutex verrou_differes;
std::list<AppelDiffere> differes;
QTimer *scrutation_differes = nullptr;

bool execution_postee = false;  // an ExecuterDifferesEchus is on its way to the event loop

void ExecuterDifferesEchus() {
    {
        std::lock_guard<std::mutex> g(verrou_differes);
        execution_postee = false;
    }
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> g(verrou_differes);
            const double maintenant = horloge::Secondes();
            auto it = differes.begin();
            while (it != differes.end() && it->echeance > maintenant) ++it;
            if (it == differes.end()) {
                if (differes.empty() && scrutation_differes) scrutation_differes->stop();
                return;
            }
            fn = std::move(it->fn);
            differes.erase(it);
        }
        fn();
    }
}

// Every move of the fake clock hands the delayed calls it made due to the event loop, which
// runs them the next time it handles its events (not at the next look of the polling timer,
// whose real-time pace has nothing to do with the fake clock's).
horloge::Suite DifferesEchus(double maintenant) {
    std::lock_guard<std::mutex> g(verrou_differes);
    const bool echu = std::any_of(differes.begin(), differes.end(),
                                  [&](const AppelDiffere &d) { return d.echeance <= maintenant; });
    if (echu && !execution_postee && qApp) {
        execution_postee = true;
        QMetaObject::invokeMethod(qApp, &ExecuterDifferesEchus, Qt::QueuedConnection);
    }
    return {std::numeric_limits<double>::infinity(), false};
}

}  // namespace

std::shared_ptr<Panneau> ChercherPanneau(int handle) {
    auto it = panneaux.find(handle);
    return it == panneaux.end() ? nullptr : it->second;
}

Controle *ChercherControle(int panel, int control, int *erreur) {
    auto p = ChercherPanneau(panel);
    if (!p) {
        *erreur = UIE_BAD_PANEL;
        return nullptr;
    }
    auto it = p->controles.find(control);
    if (it == p->controles.end()) {
        *erreur = UIE_BAD_CONTROL;
        return nullptr;
    }
    return it->second.get();
}

int Distribuer(int panel, int control, int event, int data1, int data2) {
    // Holding the panel keeps its controls alive while the callback runs, even when the
    // callback discards the panel.
    std::shared_ptr<Panneau> p = ChercherPanneau(panel);
    if (!p) return 0;
    auto it = p->controles.find(control);
    if (it == p->controles.end()) return 0;
    Controle &c = *it->second;
    if (!c.callback) return 0;
    // A timer tick never re-enters a callback still running (a pop-up inside it, say).
    if (event == EVENT_TIMER_TICK && c.en_callback) return 0;
    const bool avant = c.en_callback;
    c.en_callback = true;
    const int r = c.callback(panel, control, event, c.donnees, data1, data2);
    c.en_callback = avant;
    return r;
}

QString VersEcran(const std::string &cp1252) {
    return QString::fromStdString(texte::Cp1252VersUtf8(cp1252));
}

std::string DepuisEcran(const QString &t) { return texte::Utf8VersCp1252(t.toStdString()); }

QString LibelleAvecRaccourci(const std::string &cp1252) {
    QString s = VersEcran(cp1252);
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            out += "&&";
        } else if (s[i] == '_' && i + 2 < s.size() && s[i + 1] == '_') {
            out += '&';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

QString LibelleVisible(const std::string &cp1252) {
    QString s = VersEcran(cp1252);
    s.replace("__", "");
    return s;
}

}  // namespace ui_detail

using namespace ui_detail;

// ---- run-time -----------------------------------------------------------------------------

int InitUserInterface(int argc, char **argv) {
    if (!QApplication::instance()) {
        static int argc_garde;
        argc_garde = argc;
        application_propre = new QApplication(argc_garde, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // The toolkit takes the locale from the environment; numbers are always written and read
    // with "." in this program.
    std::setlocale(LC_NUMERIC, "C");
    if (!gardien) gardien = new GardienFermeture(qApp);
    return 1;
}

int RunUserInterface() {
    if (!qApp) return UIE_NOT_INITIALISED;
    if (quitter_demande) {
        quitter_demande = false;
        return code_sortie;
    }
    QEventLoop boucle;
    QEventLoop *precedente = boucle_principale;
    boucle_principale = &boucle;
    boucle.exec();
    boucle_principale = precedente;
    quitter_demande = false;
    return code_sortie;
}

int QuitUserInterface(int code) {
    SurFilUi([&] {
        code_sortie = code;
        quitter_demande = true;
        // exit() only takes effect when control returns to the main loop, so the callback
        // now running (however deep) ends first.
        if (boucle_principale) boucle_principale->exit(code);
    });
    return 0;
}

bool QuitRequested() { return quitter_demande; }

void ProcessDrawEvents() {
    SurFilUi([] {
        // Painting at once, without handing events to anyone: no callback can run here.
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->repaint();
    });
}

void ProcessSystemEvents() {
    SurFilUi([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
}

int RedrawCtrl(int panel, int control) {
    return ui_detail::AvecControle(panel, control, [](ui_detail::Controle &c) -> int {
        if (!c.widget || !c.widget->isVisible()) return 0;
        // Drawing a scroll bar costs more than a few rows of text: the bars follow with the
        // event loop, when they have changed.
        if (auto *zone = qobject_cast<QAbstractScrollArea *>(c.widget.data())) zone->viewport()->repaint();
        else c.widget->repaint();
        return 0;
    });
}

void SetWaitCursor(int on) {
    SurFilUi([&] {
        static bool actif = false;
        if (on && !actif) QApplication::setOverrideCursor(Qt::WaitCursor);
        if (!on && actif) QApplication::restoreOverrideCursor();
        actif = on != 0;
    });
}

// ---- threads ------------------------------------------------------------------------------

bool OnUiThread() {
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void RunOnUiThread(const std::function<void()> &fn) {
    if (OnUiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection);
}

void PostToUiThread(std::function<void()> fn, double delaySeconds) {
    if (!qApp) return;
    const bool horloge_reelle = !horloge::HorlogeFactice() && horloge::Vitesse() == 1.0;
    if (horloge_reelle) {
        const int ms = delaySeconds <= 0 ? 0 : static_cast<int>(delaySeconds * 1000.0 + 0.5);
        QMetaObject::invokeMethod(
            qApp, [ms, fn = std::move(fn)]() mutable { QTimer::singleShot(ms, qApp, std::move(fn)); },
            Qt::QueuedConnection);
        return;
    }
    static const horloge::Participant pas(&DifferesEchus);
    {
        std::lock_guard<std::mutex> g(verrou_differes);
        differes.push_back({horloge::Secondes() + delaySeconds, std::move(fn)});
    }
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (!scrutation_differes) {
                scrutation_differes = new QTimer(qApp);
                QObject::connect(scrutation_differes, &QTimer::timeout, &ExecuterDifferesEchus);
            }
            if (!scrutation_differes->isActive()) scrutation_differes->start(5);
        },
        Qt::QueuedConnection);
}

// ---- callback registry --------------------------------------------------------------------

bool RegisterCallback(const char *name, CtrlCallbackPtr callback) {
    std::lock_guard<std::mutex> g(verrou_registre);
    Registre()[name] = callback;
    return true;
}

CtrlCallbackPtr FindCallback(const char *name) {
    std::lock_guard<std::mutex> g(verrou_registre);
    auto it = Registre().find(name);
    return it == Registre().end() ? nullptr : it->second;
}

// ---- panels -------------------------------------------------------------------------------

namespace {

UiCtrlKind GenreDepuisNom(const std::string &n) {
    static const std::map<std::string, UiCtrlKind> genres = {
        {"command_button", CTRL_COMMAND_BUTTON}, {"picture_button", CTRL_PICTURE_BUTTON},
        {"numeric", CTRL_NUMERIC},               {"ring", CTRL_RING},
        {"slide", CTRL_SLIDE},                   {"string", CTRL_STRING},
        {"text_message", CTRL_TEXT_MSG},         {"list_box", CTRL_LIST_BOX},
        {"table", CTRL_TABLE},                   {"check_box", CTRL_CHECK_BOX},
        {"toggle_button", CTRL_TOGGLE_BUTTON},   {"binary_switch", CTRL_BINARY_SWITCH},
        {"led", CTRL_LED},                       {"timer", CTRL_TIMER},
        {"canvas", CTRL_CANVAS},                 {"graph", CTRL_GRAPH},
    };
    auto it = genres.find(n);
    return it == genres.end() ? CTRL_CANVAS : it->second;
}

int Charger(int parent, const std::string &fichier, int id, QWidget *hote) {
    if (!qApp) return UIE_NOT_INITIALISED;
    int erreur = 0;
    const DefPanneau *def = TrouverPanneau(fichier, id, &erreur);
    if (!def) return erreur;
    std::shared_ptr<Panneau> parent_p;
    if (parent != 0) {
        parent_p = ChercherPanneau(parent);
        if (!parent_p) return UIE_BAD_PANEL;
    }

    auto p = std::make_shared<Panneau>();
    p->handle = prochain_handle++;
    p->parent = parent;
    p->fichier = fichier;
    p->id_ressource = id;
    p->titre = def->titre;

    QWidget *w;
    if (hote) {
        w = new QWidget(hote);
    } else if (parent_p) {
        w = new QWidget(parent_p->fenetre);
        w->hide();
    } else {
        w = new QWidget(nullptr, Qt::Window);
        w->installEventFilter(gardien);
        if (def->gauche >= 0 && def->haut >= 0) w->move(def->gauche, def->haut);
    }
    w->setObjectName(QString::fromStdString(def->constante));
    w->setWindowTitle(VersEcran(def->titre));
    w->setFixedSize(def->largeur, def->hauteur);
    p->fenetre = w;

    for (const DefControle &dc : def->controles) {
        auto c = std::make_unique<Controle>();
        c->id = dc.id;
        c->genre = GenreDepuisNom(dc.genre);
        c->constante = dc.constante;
        c->libelle = dc.libelle;
        c->grise = dc.grise;
        c->visible = dc.visible;
        if (!dc.callback.empty()) {
            c->callback = FindCallback(dc.callback.c_str());
            if (!c->callback)
                qWarning("%s: callback %s is not part of this program", fichier.c_str(),
                         dc.callback.c_str());
        }
        Controle &ref = *c;
        p->controles.emplace(dc.id, std::move(c));
        ref.cadre = nullptr;
        // Widgets call back through the handle, so the panel must be registered first.
        panneaux[p->handle] = p;
        CreerWidget(*p, ref, dc, w);
    }
    panneaux[p->handle] = p;
    if (parent_p) parent_p->enfants.push_back(p->handle);
    return p->handle;
}

void Detruire(int handle) {
    auto p = ChercherPanneau(handle);
    if (!p) return;
    const std::vector<int> enfants = p->enfants;  // each child removes itself from the list
    for (int enfant : enfants) Detruire(enfant);
    panneaux.erase(handle);
    for (auto &[id, c] : p->controles) {
        if (c->timer) {
            c->timer->stop();
            c->timer->deleteLater();
            c->timer = nullptr;
        }
        c->callback = nullptr;
    }
    if (p->fenetre) {
        p->fenetre->hide();
        // A sheet leaves its tab control (and a child its parent) at once.
        if (p->parent) p->fenetre->setParent(nullptr);
        // Deferred: the panel may be discarded from inside one of its own callbacks, whose
        // widget is still on the call stack.
        p->fenetre->deleteLater();
    }
    if (p->parent) {
        if (auto parent = ChercherPanneau(p->parent)) std::erase(parent->enfants, handle);
    }
}

}  // namespace

int LoadPanel(int parent, const char *file, int panelId) {
    return SurFilUi([&] { return Charger(parent, file ? file : "", panelId, nullptr); });
}

int DisplayPanel(int panel) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (p->fenetre) {
            p->fenetre->show();
            if (p->fenetre->isWindow()) {
                p->fenetre->raise();
                p->fenetre->activateWindow();
            }
        }
        return 0;
    });
}

namespace {

// What a window would cover of the windows shown, pixel by pixel. The background of a window
// that the program put in a place of its own (the main panel) counts 1, and so does what it only
// shows (a status list); a control on it that the operator acts on (a button, a list he picks
// from, a field he fills in) counts kPoidsPropre * kPoidsControle: he keeps them in view first.
// A window placed here counts kPoidsPlacee, its controls shown and not dimmed (a graph, a
// table...) kPoidsControle: windows go over what the main panel only shows rather than over
// each other. No window hides three quarters of one placed here before it when it can do
// otherwise.
constexpr long long kPoidsPlacee = 2;
constexpr long long kPoidsControle = 4;
constexpr long long kPoidsPropre = 4;
constexpr long long kPoidsMasque = kPoidsPropre * kPoidsControle;
constexpr const char *kPlaceLibre = "place_libre";  // property of a window placed here

struct Obstacle {
    QRect zone;  // on the screen
    long long poids;
    bool fenetre_placee = false;  // the frame of a window placed here
};

// Whether the operator acts on a control, rather than only reads it: it calls back, or it takes
// a value that he types or chooses.
bool Agit(const Controle &c) {
    if (c.callback) return true;
    switch (c.genre) {
    case CTRL_NUMERIC: {
        const auto *champ = qobject_cast<const QAbstractSpinBox *>(c.widget.data());
        return champ && !champ->isReadOnly();
    }
    case CTRL_RING:
    case CTRL_SLIDE:
    case CTRL_STRING:
    case CTRL_CHECK_BOX:
    case CTRL_TOGGLE_BUTTON:
    case CTRL_BINARY_SWITCH:
        return true;
    default:
        return false;
    }
}

// The windows shown other than `sauf`, with the controls that the operator can use (those of
// the tab sheets in view included), on the screen.
std::vector<Obstacle> ObstaclesAffiches(const QWidget *sauf) {
    std::vector<Obstacle> obstacles;
    for (const auto &[handle, p] : panneaux) {
        QWidget *w = p->fenetre;
        if (!w || !w->isVisible()) continue;
        QWidget *fenetre = w->window();
        if (fenetre == sauf) continue;
        const bool placee = fenetre->property(kPlaceLibre).toBool();
        const long long fond = placee ? kPoidsPlacee : 1;
        if (w->isWindow()) obstacles.push_back({w->frameGeometry(), fond, placee});
        const QPoint origine = fenetre->geometry().topLeft();
        for (const auto &[id, c] : p->controles) {
            QWidget *cadre = c->cadre;
            if (!cadre || c->grise || !cadre->isVisibleTo(fenetre)) continue;
            long long poids = kPoidsControle;
            if (!placee) poids = Agit(*c) ? kPoidsPropre * kPoidsControle : fond;
            if (poids > fond)
                obstacles.push_back({QRect(cadre->mapTo(fenetre, QPoint(0, 0)) + origine, cadre->size()), poids - fond});
        }
    }
    return obstacles;
}

long long Couverture(const QRect &r, const std::vector<Obstacle> &obstacles) {
    long long c = 0;
    for (const Obstacle &o : obstacles) {
        const QRect i = r.intersected(o.zone);
        if (i.isEmpty()) continue;
        const long long aire = static_cast<long long>(i.width()) * i.height();
        c += o.poids * aire;
        if (o.fenetre_placee && 4 * aire >= 3 * static_cast<long long>(o.zone.width()) * o.zone.height())
            c += kPoidsMasque * aire;
    }
    return c;
}

// Positions from `debut` to `fin` for one coordinate of a window's corner: a grid, and the
// places that put the window against the given edges, all within [debut, fin].
std::vector<int> Positions(int debut, int fin, const std::vector<int> &bords) {
    std::vector<int> v;
    if (fin < debut) return {debut};
    constexpr int kPas = 8;
    for (int x = debut; x < fin; x += kPas) v.push_back(x);
    v.push_back(fin);
    for (int b : bords)
        if (b >= debut && b <= fin) v.push_back(b);
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

}  // namespace

int PlacePanelWhereFree(int panel) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        QWidget *w = p->fenetre;
        if (!w || !w->isWindow()) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        const std::vector<Obstacle> obstacles = ObstaclesAffiches(w);
        // The frame that the window manager adds: as around the windows shown.
        QMargins cadre;
        for (const auto &[handle, q] : panneaux) {
            const QWidget *autre = q->fenetre;
            if (autre && autre != w && autre->isWindow() && autre->isVisible()) {
                const QRect f = autre->frameGeometry(), g = autre->geometry();
                cadre = QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
                break;
            }
        }
        const QSize taille = w->size().grownBy(cadre);
        QScreen *s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
        if (!s) return 0;
        const QRect ecran = s->availableGeometry();
        std::vector<int> bords_x, bords_y;
        for (const Obstacle &o : obstacles) {
            bords_x.insert(bords_x.end(), {o.zone.left() - taille.width(), o.zone.right() + 1});
            bords_y.insert(bords_y.end(), {o.zone.top() - taille.height(), o.zone.bottom() + 1});
        }
        const std::vector<int> xs = Positions(ecran.left(), ecran.right() + 1 - taille.width(), bords_x);
        const std::vector<int> ys = Positions(ecran.top(), ecran.bottom() + 1 - taille.height(), bords_y);
        // Among the places that cover least, the nearest to where the resource file puts it.
        const QPoint voulu = w->pos();
        QPoint meilleur = ecran.topLeft();
        long long cout_min = -1;
        int distance_min = 0;
        for (int y : ys)
            for (int x : xs) {
                const long long c = Couverture(QRect(QPoint(x, y), taille), obstacles);
                const int d = std::abs(x - voulu.x()) + std::abs(y - voulu.y());
                if (cout_min < 0 || c < cout_min || (c == cout_min && d < distance_min)) {
                    cout_min = c;
                    distance_min = d;
                    meilleur = QPoint(x, y);
                }
            }
        w->move(meilleur);
        w->setProperty(kPlaceLibre, true);
        return 0;
    });
}

int HidePanel(int panel) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (p->fenetre) p->fenetre->hide();
        return 0;
    });
}

int DiscardPanel(int panel) {
    return SurFilUi([&] {
        if (!ChercherPanneau(panel)) return static_cast<int>(UIE_BAD_PANEL);
        Detruire(panel);
        return 0;
    });
}

int SetPanelSize(int panel, int height, int width) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (height < 1 || width < 1 || !p->fenetre) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        p->fenetre->setFixedSize(width, height);
        return 0;
    });
}

int SetPanelAttribute(int panel, int attribute, int value) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (attribute != ATTR_VISIBLE) return FixerAttributPanneauEtendu(*p, attribute, value);
        if (!p->fenetre) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        p->fenetre->setVisible(value != 0);
        return 0;
    });
}

int SetPanelAttribute(int panel, int attribute, const char *value) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (attribute != ATTR_TITLE || !value) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        p->titre = value;
        if (p->fenetre) p->fenetre->setWindowTitle(VersEcran(p->titre));
        return 0;
    });
}

int GetPanelAttribute(int panel, int attribute, int *value) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (attribute != ATTR_VISIBLE) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        *value = p->fenetre && p->fenetre->isVisible() ? 1 : 0;
        return 0;
    });
}

int GetPanelAttribute(int panel, int attribute, char *value, std::size_t size) {
    return SurFilUi([&] {
        auto p = ChercherPanneau(panel);
        if (!p) return static_cast<int>(UIE_BAD_PANEL);
        if (attribute != ATTR_TITLE || size == 0) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        std::snprintf(value, size, "%s", p->titre.c_str());
        return 0;
    });
}

// ---- tab control --------------------------------------------------------------------------

int EasyTab_ConvertFromCanvas(int panel, int canvas) {
    return SurFilUi([&] {
        int err = 0;
        Controle *c = ChercherControle(panel, canvas, &err);
        if (!c) return err;
        if (c->genre != CTRL_CANVAS) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        auto *tabs = new QTabWidget(c->cadre ? c->cadre->parentWidget() : nullptr);
        if (c->cadre) {
            tabs->setGeometry(c->cadre->geometry());
            c->cadre->hide();
        }
        tabs->setObjectName(QString::fromStdString(c->constante));
        tabs->show();
        c->onglets = tabs;
        c->cadre = tabs;
        c->widget = tabs;
        c->genre = CTRL_TAB;
        return canvas;
    });
}

int EasyTab_LoadPanels(int panel, int tabControl, int /*row*/, const char *file,
                       std::initializer_list<TabSheet> sheets) {
    std::vector<TabSheet> liste(sheets);
    return SurFilUi([&] {
        int err = 0;
        Controle *c = ChercherControle(panel, tabControl, &err);
        if (!c) return err;
        if (c->genre != CTRL_TAB || !c->onglets) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        auto p = ChercherPanneau(panel);
        for (const TabSheet &f : liste) {
            const int h = Charger(0, file ? file : "", f.panelId, c->onglets);
            if (f.handle) *f.handle = h;
            if (h <= 0) return h;
            auto feuille = ChercherPanneau(h);
            feuille->parent = panel;
            p->enfants.push_back(h);
            c->feuilles.push_back(h);
            // The sheet takes the tab's size; its controls keep their places.
            feuille->fenetre->setMinimumSize(0, 0);
            feuille->fenetre->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            c->onglets->addTab(feuille->fenetre, VersEcran(feuille->titre));
        }
        return 0;
    });
}

int EasyTab_GetActiveSheet(int panel, int tabControl, int *index) {
    return SurFilUi([&] {
        int err = 0;
        Controle *c = ChercherControle(panel, tabControl, &err);
        if (!c) return err;
        if (!c->onglets) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        *index = c->onglets->currentIndex();
        return 0;
    });
}

int EasyTab_SetActiveSheet(int panel, int tabControl, int index) {
    return SurFilUi([&] {
        int err = 0;
        Controle *c = ChercherControle(panel, tabControl, &err);
        if (!c) return err;
        if (!c->onglets) return static_cast<int>(UIE_BAD_ATTRIBUTE);
        if (index < 0 || index >= c->onglets->count()) return static_cast<int>(UIE_BAD_INDEX);
        c->onglets->setCurrentIndex(index);
        return 0;
    });
}

// ---- introspection for tests ----------------------------------------------------------------

namespace ui_detail {
std::vector<int> HandlesCharges() {
    std::vector<int> h;
    for (auto &[k, v] : panneaux) h.push_back(k);
    return h;
}
}  // namespace ui_detail
