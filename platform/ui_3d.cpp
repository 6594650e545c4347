// The OpenGL 3D-graph control on Qt DataVisualization's Q3DSurface (see ui_3d.h).
//
// The surface's points live in one array of the series, allocated once for the grid and
// rewritten in place at every refresh; handing the same array back to the series only tells it
// that the values changed. The vertical axis of the view is the control's Z axis (the values);
// the X axis runs along a row of the caller's array, the Y axis along a column.
#include "platform/ui_3d.h"

#include "platform/text.h"
#include "platform/ui_graph.h"
#include "platform/ui_internal.h"

#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>

#include <QGuiApplication>
#include <QLabel>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <variant>

namespace {

using namespace ui_detail;

QColor Couleur(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

int echec_force = 0;  // OGLEchecCreation

// Whether this display can give a 3D view an OpenGL context (checked once).
bool GlDisponible() {
    static int etat = -1;
    if (etat < 0) {
        const QString plateforme = QGuiApplication::platformName();
        if (plateforme == QLatin1String("offscreen") || plateforme == QLatin1String("minimal")) {
            etat = 0;
        } else {
            QOffscreenSurface surface;
            surface.create();
            QOpenGLContext contexte;
            etat = contexte.create() && surface.isValid() && contexte.makeCurrent(&surface) ? 1 : 0;
            if (etat == 1) contexte.doneCurrent();
        }
    }
    return etat == 1;
}

// Number of segments of a grid axis that puts its labels on round values when it can.
int Segments(double longueur) {
    for (int s : {5, 7, 6, 8, 4, 9, 10})
        if (const double pas = longueur / s; pas >= 1 && pas == std::floor(pas)) return s;
    return 5;
}

bool DansLesGroupes(int attribut) { return attribut >= 10000 && attribut < 10500; }
bool AttributDeTrace(int attribut) { return attribut >= 10480 && attribut < 10500; }

class Vue3D : public QWidget {
public:
    using Valeur = std::variant<int, double, std::string>;

    Vue3D(const std::string &libelle, QWidget *parent) : QWidget(parent) {
        QSurfaceFormat format;
        format.setDepthBufferSize(24);
        format.setStencilBufferSize(8);
        format.setSamples(0);  // no multisampling: twice as fast on a software renderer
        surface_ = new Q3DSurface(&format);
        surface_->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
        surface_->setSelectionMode(QAbstract3DGraph::SelectionNone);
        surface_->scene()->activeCamera()->setCameraPosition(-40.0f, 28.0f, 95.0f);
        Q3DTheme *theme = surface_->activeTheme();
        theme->setType(Q3DTheme::ThemeEbony);
        theme->setBackgroundColor(QColor(0x30, 0x30, 0x30));
        theme->setWindowColor(QColor(0x20, 0x20, 0x20));
        theme->setLabelBackgroundEnabled(false);
        theme->setLabelBorderEnabled(false);
        theme->setLabelTextColor(QColor(0xE8, 0xE8, 0xE8));
        theme->setAmbientLightStrength(0.45f);
        theme->setLightStrength(3.0f);
        theme->setHighlightLightStrength(2.0f);
        QFont police = theme->font();
        police.setPointSize(38);
        theme->setFont(police);
        surface_->axisX()->setLabelFormat(QStringLiteral("%.4g"));
        surface_->axisZ()->setLabelFormat(QStringLiteral("%.4g"));
        surface_->axisY()->setLabelFormat(QStringLiteral("%.4g"));
        for (QValue3DAxis *a : {surface_->axisX(), surface_->axisY(), surface_->axisZ()}) a->setTitleVisible(true);

        serie_ = new QSurface3DSeries();
        serie_->setDrawMode(QSurface3DSeries::DrawSurface);
        serie_->setWireframeColor(QColor(0x40, 0x40, 0x40));
        serie_->setColorStyle(Q3DTheme::ColorStyleRangeGradient);
        surface_->addSeries(serie_);

        auto *l = new QVBoxLayout(this);
        l->setContentsMargins(0, 0, 0, 0);
        l->setSpacing(2);
        if (!libelle.empty()) l->addWidget(new QLabel(LibelleVisible(libelle), this));
        l->addWidget(QWidget::createWindowContainer(surface_, this), 1);
        zmin_ = -1;
        zmax_ = 1;
        for (QValue3DAxis *a : {surface_->axisX(), surface_->axisY(), surface_->axisZ()}) a->setRange(-1.0f, 1.0f);
    }

    int Fixer(int attribut, const Valeur &v) {
        if (!DansLesGroupes(attribut) || AttributDeTrace(attribut)) return OGL_ERR_ATTRIBUTE;
        const int *entier = std::get_if<int>(&v);
        const std::string *texte = std::get_if<std::string>(&v);
        switch (attribut) {
        case OGLATTR_LEFT:
        case OGLATTR_TOP:
        case OGLATTR_WIDTH:
        case OGLATTR_HEIGHT: {
            if (!entier) return OGL_ERR_ATTRIBUTE;
            QRect r = geometry();
            if (attribut == OGLATTR_LEFT) r.moveLeft(*entier);
            if (attribut == OGLATTR_TOP) r.moveTop(*entier);
            if (attribut == OGLATTR_WIDTH) r.setWidth(std::max(1, *entier));
            if (attribut == OGLATTR_HEIGHT) r.setHeight(std::max(1, *entier));
            setGeometry(r);
            return 0;
        }
        case OGLATTR_X_NAME:
        case OGLATTR_Y_NAME:
        case OGLATTR_Z_NAME:
            if (!texte) return OGL_ERR_ATTRIBUTE;
            Axe(attribut)->setTitle(VersEcran(*texte));
            break;
        case OGLATTR_X_COLOR:
        case OGLATTR_Y_COLOR:
        case OGLATTR_Z_COLOR:
            // The view has one colour for every axis text: the last one set.
            if (!entier) return OGL_ERR_ATTRIBUTE;
            surface_->activeTheme()->setLabelTextColor(Couleur(*entier));
            break;
        case OGLATTR_XY_PLANE_COLOR:
        case OGLATTR_XZ_PLANE_COLOR:
        case OGLATTR_YZ_PLANE_COLOR:
            if (!entier) return OGL_ERR_ATTRIBUTE;
            surface_->activeTheme()->setGridLineColor(Couleur(*entier));
            break;
        case OGLATTR_ZMIN:
        case OGLATTR_ZMAX:
            return OGL_ERR_ATTRIBUTE;  // they follow the values
        default:
            break;
        }
        attributs_[attribut] = v;
        return 0;
    }

    int Lire(int attribut, Valeur *v) {
        switch (attribut) {
        case OGLATTR_LEFT: *v = x(); return 0;
        case OGLATTR_TOP: *v = y(); return 0;
        case OGLATTR_WIDTH: *v = width(); return 0;
        case OGLATTR_HEIGHT: *v = height(); return 0;
        case OGLATTR_ZMIN:
        case OGLATTR_ZMAX: {
            double lo, hi;
            BornesZ(&lo, &hi);
            *v = attribut == OGLATTR_ZMIN ? lo : hi;
            return 0;
        }
        default: {
            auto it = attributs_.find(attribut);
            if (it == attributs_.end()) return OGL_ERR_ATTRIBUTE;
            *v = it->second;
            return 0;
        }
        }
    }

    int Tracer(const double *z, int nx, int ny, double xpas, double x0, double ypas, double y0) {
        donnees_ = z;
        nx_ = nx;
        ny_ = ny;
        auto *tableau = new QSurfaceDataArray;
        tableau->reserve(ny);
        for (int j = 0; j < ny; ++j) {
            auto *ligne = new QSurfaceDataRow(nx);
            for (int i = 0; i < nx; ++i)
                (*ligne)[i].setPosition(QVector3D(static_cast<float>(x0 + i * xpas), 0.0f,
                                                  static_cast<float>(y0 + j * ypas)));
            tableau->append(ligne);
        }
        // The axes are fixed first, so that the view never scales them on its own.
        const double x1 = x0 + (nx - 1) * xpas, y1 = y0 + (ny - 1) * ypas;
        surface_->axisX()->setRange(static_cast<float>(std::min(x0, x1)), static_cast<float>(std::max(x0, x1)));
        surface_->axisZ()->setRange(static_cast<float>(std::min(y0, y1)), static_cast<float>(std::max(y0, y1)));
        surface_->axisX()->setSegmentCount(Segments(std::abs(x1 - x0)));
        surface_->axisZ()->setSegmentCount(Segments(std::abs(y1 - y0)));
        tableau_ = tableau;
        serie_->dataProxy()->resetArray(tableau_);
        plot_ = ++dernier_plot_;
        attributs_plot_.clear();
        Rafraichir();
        return plot_;
    }
    int Plot() const { return plot_; }

    int FixerTrace(int attribut, const Valeur &v) {
        if (!AttributDeTrace(attribut)) return OGL_ERR_ATTRIBUTE;
        attributs_plot_[attribut] = v;
        return 0;
    }

    void Carte(const ColorMapEntry *carte, int n, int haut, bool interpoler) {
        carte_.assign(carte, carte + n);
        std::stable_sort(carte_.begin(), carte_.end(), [](const ColorMapEntry &a, const ColorMapEntry &b) {
            return a.dataValue.valDouble < b.dataValue.valDouble;
        });
        haut_ = haut;
        interpoler_ = interpoler;
        Colorer();
    }

    // Takes the caller's array as it is now; the view is drawn again only if it changed.
    void Rafraichir() {
        if (donnees_ && tableau_) {
            bool change = false;
            for (int j = 0; j < ny_; ++j) {
                QSurfaceDataRow &ligne = *(*tableau_)[j];
                const double *source = donnees_ + static_cast<std::size_t>(j) * static_cast<std::size_t>(nx_);
                for (int i = 0; i < nx_; ++i) {
                    const float v = static_cast<float>(source[i]);
                    if (std::bit_cast<std::uint32_t>(v) == std::bit_cast<std::uint32_t>(ligne[i].y())) continue;
                    ligne[i].setY(v);
                    change = true;
                }
            }
            // The same array again: the series only learns that its values changed.
            if (change) serie_->dataProxy()->resetArray(tableau_);
        }
        BornesZ(&zmin_, &zmax_);
        const auto bas = static_cast<float>(zmin_), haut = static_cast<float>(zmax_);
        if (surface_->axisY()->min() != bas || surface_->axisY()->max() != haut) surface_->axisY()->setRange(bas, haut);
        Colorer();
        ++rafraichissements_;
    }

    void Etat(OglEtat *e) const {
        e->lignes = tableau_ ? ny_ : 0;
        e->colonnes = tableau_ ? nx_ : 0;
        e->rafraichissements = rafraichissements_;
        e->zmin = zmin_;
        e->zmax = zmax_;
        e->hauteurs.clear();
        if (tableau_)
            for (int j = 0; j < ny_; ++j)
                for (int i = 0; i < nx_; ++i) e->hauteurs.push_back((*(*tableau_)[j])[i].y());
        e->arrets.clear();
        for (const auto &[pos, couleur] : serie_->baseGradient().stops())
            e->arrets.push_back({pos, (couleur.red() << 16) | (couleur.green() << 8) | couleur.blue()});
    }

    QImage Image() {
        // What the screen shows of the control, the OpenGL part included.
        const QPoint origine = mapToGlobal(QPoint(0, 0));
        QScreen *ecran = screen();
        if (!ecran) return {};
        return ecran->grabWindow(0, origine.x(), origine.y(), width(), height()).toImage();
    }

private:
    QValue3DAxis *Axe(int attribut) const {
        if (attribut == OGLATTR_X_NAME) return surface_->axisX();
        if (attribut == OGLATTR_Y_NAME) return surface_->axisZ();
        return surface_->axisY();
    }

    // Bounds of the finite values of the array; a flat or empty array gets a band around it.
    void BornesZ(double *lo, double *hi) const {
        double a = std::numeric_limits<double>::infinity(), b = -a;
        if (donnees_) {
            const std::size_t n = static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_);
            for (std::size_t k = 0; k < n; ++k) {
                const double v = donnees_[k];
                if (!std::isfinite(v)) continue;
                a = std::min(a, v);
                b = std::max(b, v);
            }
        }
        if (a > b) {
            a = -1;
            b = 1;
        } else if (a == b) {
            const double marge = a == 0 ? 1.0 : std::abs(a) * 0.1;
            a -= marge;
            b += marge;
        }
        *lo = a;
        *hi = b;
    }

    // The gradient of the surface from the colour map, over the Z axis as it stands.
    void Colorer() {
        if (carte_.empty()) return;
        const double etendue = zmax_ - zmin_;
        auto position = [&](double v) { return std::clamp((v - zmin_) / etendue, 0.0, 1.0); };
        QLinearGradient g;
        g.setColorAt(0.0, Couleur(carte_.front().color));
        for (std::size_t k = 0; k < carte_.size(); ++k) {
            const double p = position(carte_[k].dataValue.valDouble);
            if (!interpoler_ && k > 0) g.setColorAt(std::max(0.0, p - 1e-6), Couleur(carte_[k - 1].color));
            g.setColorAt(p, Couleur(carte_[k].color));
        }
        const double fin = position(carte_.back().dataValue.valDouble);
        if (fin < 1.0) {
            g.setColorAt(std::min(1.0, fin + 1e-6), Couleur(haut_));
            g.setColorAt(1.0, Couleur(haut_));
        }
        if (g.stops() != serie_->baseGradient().stops()) serie_->setBaseGradient(g);
    }

    Q3DSurface *surface_ = nullptr;
    QSurface3DSeries *serie_ = nullptr;
    QSurfaceDataArray *tableau_ = nullptr;  // owned by the series' proxy
    const double *donnees_ = nullptr;
    int nx_ = 0, ny_ = 0;
    int plot_ = 0;
    static inline int dernier_plot_ = 0;
    double zmin_ = -1, zmax_ = 1;
    std::vector<ColorMapEntry> carte_;
    int haut_ = 0;
    bool interpoler_ = true;
    std::size_t rafraichissements_ = 0;
    std::map<int, Valeur> attributs_;
    std::map<int, Valeur> attributs_plot_;
};

Vue3D *CommeVue(const Controle &c) { return c.genre == CTRL_OGL ? dynamic_cast<Vue3D *>(c.widget.data()) : nullptr; }

template <class F>
int AvecVue(int panel, int control, F &&f) {
    return SurFilUi([&]() -> int {
        if (!ChercherPanneau(panel)) return OGL_ERR_PANEL;
        int err = 0;
        Controle *c = ChercherControle(panel, control, &err);
        Vue3D *v = c ? CommeVue(*c) : nullptr;
        if (!v) return OGL_ERR_CONTROL;
        return f(*v);
    });
}

}  // namespace

int OGLNewCtrl(int panel, const char *label, int top, int left) {
    const std::string libelle = label ? label : "";
    return SurFilUi([&]() -> int {
        auto p = ChercherPanneau(panel);
        if (!p || !p->fenetre) return OGL_ERR_PANEL;
        if (echec_force != 0) return echec_force;
        if (!GlDisponible()) return OGL_ERR_NO_GL;
        const int id = p->controles.empty() ? 2 : p->controles.rbegin()->first + 1;
        auto c = std::make_unique<Controle>();
        c->id = id;
        c->genre = CTRL_OGL;
        c->constante = "OGL_" + std::to_string(id);
        c->libelle = libelle;
        auto *vue = new Vue3D(libelle, p->fenetre);
        vue->setGeometry(left, top, 300, 300);
        vue->setObjectName(QString::fromStdString(c->constante));
        vue->show();
        c->widget = vue;
        c->cadre = vue;
        p->controles.emplace(id, std::move(c));
        return id;
    });
}

int OGLGetErrorString(int code, char *text, int size) {
    if (!text || size <= 0) return OGL_ERR_ARGUMENT;
    std::string message;
    switch (code) {
    case OGL_ERR_PANEL: message = "Le panneau n'existe pas"; break;
    case OGL_ERR_CONTROL: message = "Le contrôle 3D n'existe pas"_w; break;
    case OGL_ERR_PLOT: message = "Le tracé 3D n'existe pas"_w; break;
    case OGL_ERR_ATTRIBUTE: message = "Attribut ou valeur invalide"; break;
    case OGL_ERR_NO_GL: message = "OpenGL n'est pas disponible sur cet affichage"; break;
    case OGL_ERR_ARGUMENT: message = "Argument invalide"; break;
    default: message = code >= 0 ? "Pas d'erreur" : "Erreur inconnue du contrôle 3D"_w; break;
    }
    const std::size_t n = std::min(message.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
    return 0;
}

int OGLDiscardCtrl(int panel, int control) {
    return SurFilUi([&]() -> int {
        auto p = ChercherPanneau(panel);
        if (!p) return OGL_ERR_PANEL;
        auto it = p->controles.find(control);
        if (it == p->controles.end() || !CommeVue(*it->second)) return OGL_ERR_CONTROL;
        if (QWidget *w = it->second->widget) {
            w->hide();
            w->deleteLater();
        }
        p->controles.erase(it);
        return 0;
    });
}

int OGLSetCtrlAttribute(int panel, int control, int attribute, int value) {
    return AvecVue(panel, control, [&](Vue3D &v) { return v.Fixer(attribute, value); });
}
int OGLSetCtrlAttribute(int panel, int control, int attribute, double value) {
    return AvecVue(panel, control, [&](Vue3D &v) { return v.Fixer(attribute, value); });
}
int OGLSetCtrlAttribute(int panel, int control, int attribute, const char *value) {
    const std::string t = value ? value : "";
    return AvecVue(panel, control, [&](Vue3D &v) { return v.Fixer(attribute, t); });
}

int OGLGetCtrlAttribute(int panel, int control, int attribute, int *value) {
    return AvecVue(panel, control, [&](Vue3D &v) -> int {
        Vue3D::Valeur val;
        if (const int r = v.Lire(attribute, &val); r < 0) return r;
        const int *i = std::get_if<int>(&val);
        if (!i) return OGL_ERR_ATTRIBUTE;
        *value = *i;
        return 0;
    });
}
int OGLGetCtrlAttribute(int panel, int control, int attribute, double *value) {
    return AvecVue(panel, control, [&](Vue3D &v) -> int {
        Vue3D::Valeur val;
        if (const int r = v.Lire(attribute, &val); r < 0) return r;
        if (const double *d = std::get_if<double>(&val)) *value = *d;
        else if (const int *i = std::get_if<int>(&val)) *value = *i;
        else return OGL_ERR_ATTRIBUTE;
        return 0;
    });
}
int OGLGetCtrlAttribute(int panel, int control, int attribute, char *value, int size) {
    return AvecVue(panel, control, [&](Vue3D &v) -> int {
        Vue3D::Valeur val;
        if (const int r = v.Lire(attribute, &val); r < 0) return r;
        const std::string *t = std::get_if<std::string>(&val);
        if (!t || !value || size <= 0) return OGL_ERR_ATTRIBUTE;
        const std::size_t n = std::min(t->size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(value, t->data(), n);
        value[n] = '\0';
        return 0;
    });
}

int OGLPlot3DUniform(int panel, int control, const void *zArray, int numberOfXPoints,
                     int numberOfYPoints, int zDataType, double xSpacing, double xStart,
                     double ySpacing, double yStart) {
    if (!zArray || numberOfXPoints < 2 || numberOfYPoints < 2 || zDataType != OGLVAL_DOUBLE ||
        !(xSpacing != 0) || !(ySpacing != 0) || !std::isfinite(xSpacing + xStart + ySpacing + yStart))
        return OGL_ERR_ARGUMENT;
    return AvecVue(panel, control, [&](Vue3D &v) {
        return v.Tracer(static_cast<const double *>(zArray), numberOfXPoints, numberOfYPoints,
                        xSpacing, xStart, ySpacing, yStart);
    });
}

int OGLSetPlotAttribute(int panel, int control, int plot, int attribute, int value) {
    return AvecVue(panel, control, [&](Vue3D &v) {
        return plot != v.Plot() || plot == 0 ? OGL_ERR_PLOT : v.FixerTrace(attribute, value);
    });
}
int OGLSetPlotAttribute(int panel, int control, int plot, int attribute, double value) {
    return AvecVue(panel, control, [&](Vue3D &v) {
        return plot != v.Plot() || plot == 0 ? OGL_ERR_PLOT : v.FixerTrace(attribute, value);
    });
}

int OGLSetPlotColorScheme(int panel, int control, int plot, int scheme,
                          const ColorMapEntry *colorMap, int count, int hiColor, int interpolate,
                          const int * /*colorArray*/, int /*dim1*/, int /*dim2*/) {
    if (scheme != OGLVAL_SCHEME_COLOR_MAP) return OGL_ERR_ATTRIBUTE;
    if (!colorMap || count < 1) return OGL_ERR_ARGUMENT;
    return AvecVue(panel, control, [&](Vue3D &v) -> int {
        if (plot != v.Plot() || plot == 0) return OGL_ERR_PLOT;
        v.Carte(colorMap, count, hiColor, interpolate != 0);
        return 0;
    });
}

int OGLRefreshGraph(int panel, int control) {
    return AvecVue(panel, control, [&](Vue3D &v) {
        v.Rafraichir();
        return 0;
    });
}

int OGLGetState(int panel, int control, OglEtat *etat) {
    if (!etat) return OGL_ERR_ARGUMENT;
    return AvecVue(panel, control, [&](Vue3D &v) {
        v.Etat(etat);
        return 0;
    });
}

int OGLSaveImage(int panel, int control, const char *path) {
    if (!path) return OGL_ERR_ARGUMENT;
    return AvecVue(panel, control, [&](Vue3D &v) -> int {
        const QImage image = v.Image();
        return !image.isNull() && image.save(QString::fromLocal8Bit(path), "PNG") ? 0 : OGL_ERR_ARGUMENT;
    });
}

void OGLEchecCreation(int code) {
    SurFilUi([&] { echec_force = code < 0 ? code : 0; });
}
