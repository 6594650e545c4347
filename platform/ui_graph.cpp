// The graph control (on QCustomPlot), and what goes with it in the user-interface layer:
// colours and geometry of any control, table columns and numeric cells, panel callbacks.
//
// A graph keeps its own model of plots and axes: the range of an automatic axis follows the
// finite values of its plots, and a caller reads it back at once after making or deleting a
// plot. The screen follows once per turn of the event loop, only while the graph is
// shown, and only when what it would show differs from what it shows: the program deletes and
// makes again every plot at every sample, while an average curve changes only every few
// samples. A graph is drawn straight onto its window, without a paint buffer of its own. The
// ranges of the automatic axes are worked out once after the changes of a refresh, when they
// are read or drawn. Deleted line plots are kept hidden and reused, data container included,
// so that this refresh allocates nothing once running.
#include "platform/ui_graph.h"

#include "platform/ui_internal.h"

#include <qcustomplot.h>

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <optional>

namespace ui_detail {

namespace {

constexpr int RoleNombre = Qt::UserRole + 20;    // a numeric cell's double
constexpr int RoleFormat = Qt::UserRole + 21;    // header item: UiFormat of the column
constexpr int RolePrecision = Qt::UserRole + 22; // header item: digits
constexpr int RoleTitre = Qt::UserRole + 23;     // header item: title, Windows-1252
constexpr int RoleAvecTitre = Qt::UserRole + 24; // header item: title shown (ATTR_USE_LABEL_TEXT)
constexpr int RoleEntier = Qt::UserRole + 25;    // header item: widest integer part of its numbers, pixels
constexpr int RoleFraction = Qt::UserRole + 26;  // header item: widest decimals and exponent, pixels

QColor Couleur(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
int Rgb(const QColor &c) { return (c.red() << 16) | (c.green() << 8) | c.blue(); }

QByteArray Octets(const std::string &s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// ---- tick labels ----------------------------------------------------------------------------

// The texts of ticks `pas` apart, with the digits that tell two neighbours apart for the range
// they cover, all with as many decimals: 10 MHz give or take 10 Hz reads 9999990, 9999995,
// 10000000... Plain decimals, unless the numbers are tiny, huge, or only their first few digits
// change: then a mantissa and a power of ten ("2.5e-07"), which the graph draws as 2.5·10⁻⁷.
QVector<QString> TextesGraduations(const QVector<double> &ticks, double pas) {
    QVector<QString> textes;
    textes.reserve(ticks.size());
    double plus_grand = 0;
    for (double t : ticks)
        if (std::isfinite(t)) plus_grand = std::max(plus_grand, std::abs(t));
    if (!(pas > 0) || !std::isfinite(pas) || !std::isfinite(plus_grand)) {
        for (double t : ticks) textes.push_back(QString::number(t, 'g', 6));
        return textes;
    }
    // The step is a mantissa of few digits (1, 2, 2.5, 5...) times a power of ten.
    int p = static_cast<int>(std::floor(std::log10(pas)));
    double mantisse = pas / std::pow(10.0, p);
    if (mantisse >= 9.999999) { ++p; mantisse /= 10; }
    if (mantisse < 0.9999999) { --p; mantisse *= 10; }
    int decimales_pas = 0;
    for (double m = mantisse; decimales_pas < 3 && std::abs(m - std::round(m)) > 1e-6 * std::max(1.0, m); m *= 10)
        ++decimales_pas;
    // A tick that stands for zero, by the step, is zero.
    const double zero = pas * 1e-6;
    const int e = plus_grand > zero ? static_cast<int>(std::floor(std::log10(plus_grand) + 1e-12)) : 0;
    const int decimales_fixes = std::clamp(decimales_pas - p, 0, 17);
    const int decimales_mantisse = std::clamp(e - p + decimales_pas, 0, 17);
    const int longueur_fixe = std::max(e, 0) + 2 + (decimales_fixes > 0 ? decimales_fixes + 1 : 0);
    const int longueur_mantisse = 2 + (decimales_mantisse > 0 ? decimales_mantisse + 1 : 0) + (std::abs(e) >= 100 ? 5 : 4);
    const bool puissance = plus_grand > zero &&
                           (e < -3                      // 0.0000025: zeros to count
                            || (e >= 6 && p >= e - 2)   // 2500000: only the first digits change
                            || (longueur_fixe > 15 && longueur_mantisse < longueur_fixe));
    char tampon[400];
    for (double t : ticks) {
        if (std::abs(t) <= zero) t = 0.0;
        std::to_chars_result r;
        if (!std::isfinite(t))
            r = std::to_chars(tampon, tampon + sizeof tampon, t);
        else if (puissance && t == 0.0)
            r = std::to_chars(tampon, tampon + sizeof tampon, 0);
        else if (puissance)
            r = std::to_chars(tampon, tampon + sizeof tampon, t, std::chars_format::scientific, decimales_mantisse);
        else
            r = std::to_chars(tampon, tampon + sizeof tampon, t, std::chars_format::fixed, decimales_fixes);
        textes.push_back(QString::fromLatin1(tampon, r.ec == std::errc() ? r.ptr - tampon : 0));
    }
    return textes;
}

// The ticks of an axis, labelled by TextesGraduations.
class Graduations : public QCPAxisTicker {
protected:
    double getTickStep(const QCPRange &range) override {
        pas_ = QCPAxisTicker::getTickStep(range);
        return pas_;
    }
    QVector<QString> createLabelVector(const QVector<double> &ticks, const QLocale &, QChar, int) override {
        return TextesGraduations(ticks, pas_);
    }

private:
    double pas_ = 1;
};

// The margin that a plot area leaves for its axes on one side (left or right), worked out by the
// graph that owns it from what its own axes need there (`besoin`, at least its minimum).
class MargesAlignees : public QCPMarginGroup {
public:
    using Regle = std::function<int(QCP::MarginSide, int)>;
    MargesAlignees(QCustomPlot *graphe, Regle regle) : QCPMarginGroup(graphe), regle_(std::move(regle)) {}

protected:
    int commonMargin(QCP::MarginSide cote) const override { return regle_(cote, QCPMarginGroup::commonMargin(cote)); }

private:
    Regle regle_;
};

// ---- the graph widget ----------------------------------------------------------------------

class Graphe : public QCustomPlot {
public:
    struct Trace {
        int handle = 0;
        QCPAbstractPlottable *plot = nullptr;
        QCPGraph *ligne = nullptr;  // the same plot when it is a line over x = 0, 1, 2...
        int axe = VAL_LEFT_YAXIS;
        int couleur = 0;
        int points = 0;
        int style_trace = 0, style_point = 0, style_ligne = 0;
        std::uint64_t empreinte = 0;  // of the values
        bool a_valeurs = false;     // at least one finite value
        double ymin = 0, ymax = 0;  // of the finite values
        double xmin = 0, xmax = 0;
    };
    struct Axe {
        int mode = VAL_AUTOSCALE;
        double mini = 0, maxi = 10;  // the range the axis has now
    };

    Graphe(int panel, int id) : panel_(panel), id_(id) {
        // Numbers read as everywhere in the program, with a point.
        setLocale(QLocale::c());
        setPlottingHints(QCP::phCacheLabels);
        setNotAntialiasedElements(QCP::aeAll);
        // The graph shows no legend: its plots are not listed in the hidden one, whose size
        // would otherwise be worked out again at every drawing.
        setAutoAddPlottableToLegend(false);
        // The graph is drawn straight onto the window (see paintEvent) and paints every one of
        // its pixels, so nothing needs painting under it.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setNoAntialiasingOnDrag(true);
        yAxis2->setVisible(true);
        yAxis2->setTickLabels(true);
        axisRect()->setBackground(QBrush(Qt::black));
        // Graphs stacked in a window keep their plot areas aligned: each leaves on either side
        // the widest margin that one of them needs (see MargeCommune).
        axisRect()->setMinimumMargins(QMargins(72, 10, 72, 10));
        axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight,
                                   new MargesAlignees(this, [this](QCP::MarginSide cote, int besoin) {
                                       return MargeCommune(cote, besoin);
                                   }));
        for (QCPAxis *a : {xAxis, yAxis, yAxis2}) {
            a->grid()->setPen(QPen(QColor(0x50, 0x50, 0x50), 0, Qt::DotLine));
            a->grid()->setZeroLinePen(Qt::NoPen);
        }
        yAxis2->grid()->setVisible(false);
        for (QCPAxis *a : {xAxis, yAxis, yAxis2}) a->setTicker(QSharedPointer<QCPAxisTicker>(new Graduations));
        for (int k = 0; k < 3; ++k) Axe_(k)->setRange(axes_[k].mini, axes_[k].maxi);
    }

    // Colours of the frame, axes and texts, taken from the panel's palette.
    void SuivrePalette() {
        fond_ = palette().color(QPalette::Window);
        const QColor texte = palette().color(QPalette::WindowText);
        setBackground(QBrush(fond_));
        for (QCPAxis *a : {xAxis, yAxis, yAxis2}) {
            a->setBasePen(QPen(texte, 0));
            a->setTickPen(QPen(texte, 0));
            a->setSubTickPen(QPen(texte, 0));
            a->setTickLabelColor(texte);
            a->setLabelColor(texte);
        }
        Forcer();
    }

    // The ticks of an axis for its range now, with their texts, as the next drawing makes them.
    void Graduer(int axe, QVector<double> *valeurs, QVector<QString> *textes) {
        Actualiser();
        QCPAxis *a = Axe_(axe);
        a->ticker()->generate(a->range(), locale(), QLatin1Char('g'), a->numberPrecision(), *valeurs, nullptr, textes);
    }
    // The plot area as the graph lays it out now.
    QRect ZoneDesTraces() {
        Actualiser();
        updateLayout();
        return axisRect()->rect();
    }

    QCPAxis *Axe_(int axe) const { return axe == VAL_XAXIS ? xAxis : axe == VAL_RIGHT_YAXIS ? yAxis2 : yAxis; }
    int axe_actif = VAL_LEFT_YAXIS;
    const std::vector<Trace> &Traces() const { return traces_; }
    int Dessins() const { return dessins_; }

    template <class T>
    int Tracer(const T *x, const void *yv, int n, int type, int style, int point, int ligne, int couleur) {
        Trace t;
        t.handle = prochain_++;
        t.axe = axe_actif;
        t.couleur = couleur & 0xFFFFFF;
        t.points = n;
        t.style_trace = style;
        t.style_point = point;
        t.style_ligne = ligne;
        QCPAxis *valeurs = Axe_(t.axe);
        bool habille = false;
        if (!x) {
            QCPGraph *g = nullptr;
            if (!reserve_.empty()) {
                // A plot made again as it was keeps its pens.
                const Trace &ancien = reserve_.front();
                g = ancien.ligne;
                habille = MemeAllure(ancien, t);
                reserve_.pop_front();
                g->setValueAxis(valeurs);
                g->setVisible(true);
            } else {
                g = addGraph(xAxis, valeurs);
                g->setAdaptiveSampling(true);
            }
            Remplir(g, yv, n, type, t);
            t.plot = t.ligne = g;
        } else {
            auto *courbe = new QCPCurve(xAxis, valeurs);
            QVector<double> cx(n), cy(n);
            for (int i = 0; i < n; ++i) {
                cx[i] = static_cast<double>(x[i]);
                cy[i] = Valeur(yv, type, i);
            }
            courbe->setData(cx, cy);
            t.empreinte = Melanger(Empreinte(cx.constData(), n), Empreinte(cy.constData(), n));
            Etendue(cx.constData(), n, &t.xmin, &t.xmax);
            t.a_valeurs = Etendue(cy.constData(), n, &t.ymin, &t.ymax);
            t.plot = courbe;
        }
        if (!habille) Habiller(t.plot, style, point, ligne, t.couleur);
        traces_.push_back(t);
        Changer();
        return t.handle;
    }

    bool Effacer(int handle, bool dessiner) {
        bool trouve = false;
        for (auto it = traces_.begin(); it != traces_.end();) {
            if (handle != -1 && it->handle != handle) {
                ++it;
                continue;
            }
            if (it->ligne) {
                it->ligne->setVisible(false);
                reserve_.push_back(*it);
            } else {
                removePlottable(it->plot);
            }
            it = traces_.erase(it);
            trouve = true;
        }
        // Unused line plots beyond a few are given back.
        while (reserve_.size() > 8) {
            removePlottable(reserve_.front().ligne);
            reserve_.pop_front();
        }
        if (trouve) Changer(dessiner);
        return trouve;
    }

    int FixerEchelle(int axe, int mode, double mini, double maxi) {
        Actualiser();  // a locked axis keeps the range it has now
        Axe &a = axes_[axe];
        if (mode == VAL_MANUAL) {
            if (!(mini < maxi) || !std::isfinite(mini) || !std::isfinite(maxi)) return UIE_BAD_ATTRIBUTE;
            a.mini = mini;
            a.maxi = maxi;
        } else if (mode != VAL_AUTOSCALE && mode != VAL_LOCK) {
            return UIE_BAD_ATTRIBUTE;
        }
        a.mode = mode;
        Changer();
        return 0;
    }

    // The model changed: the automatic axes will take their new ranges, the screen follows.
    void Changer(bool dessiner = true) {
        axes_perimes_ = true;
        if (dessiner) Planifier();
        else sale_ = true;
    }

    // The state of an axis, its range following the plots.
    const Axe &Etat(int axe) {
        Actualiser();
        return axes_[axe];
    }

    // Draws the graph if it is shown and shows something else than what it shows now.
    void Dessiner() {
        planifie_ = false;
        if (!isVisible()) {
            sale_ = true;
            return;
        }
        Actualiser();
        const std::uint64_t e = EmpreinteDuModele();
        if (!force_ && e == dessine_) {
            sale_ = false;
            return;
        }
        force_ = false;
        sale_ = false;
        dessine_ = e;
        ++dessins_;
        update();
    }

    // One drawing at the next turn of the event loop, if the graph is shown then.
    void Planifier() {
        if (planifie_) return;
        planifie_ = true;
        QMetaObject::invokeMethod(this, [this] { Dessiner(); }, Qt::QueuedConnection);
    }
    // What must be drawn again whatever the plots (colours, titles).
    void Forcer() {
        force_ = true;
        Planifier();
    }

protected:
    // The graph is drawn straight onto the window, without the plot library's own paint
    // buffers: a graph that changes at every sample would otherwise be drawn into a buffer of
    // its size, cleared first, and the buffer then copied onto the window, all at every sample.
    void paintEvent(QPaintEvent *) override {
        QCPPainter peintre(this);
        if (!peintre.isActive()) return;
        Actualiser();
        peintre.fillRect(rect(), fond_);
        draw(&peintre);
    }
    void showEvent(QShowEvent *e) override {
        QCustomPlot::showEvent(e);
        if (sale_) Planifier();
    }
    // The layout follows the new size; the window paints the graph again by itself.
    void resizeEvent(QResizeEvent *) override { setViewport(rect()); }
    void changeEvent(QEvent *e) override {
        QCustomPlot::changeEvent(e);
        if (e->type() == QEvent::PaletteChange) SuivrePalette();
    }
    void mousePressEvent(QMouseEvent *e) override {
        if (e->button() == Qt::RightButton) {
            const QPoint p = e->position().toPoint();
            Distribuer(panel_, id_, EVENT_RIGHT_CLICK, p.y(), p.x());
            return;
        }
        QCustomPlot::mousePressEvent(e);
    }

private:
    // The margin of the plot area on one side: the widest that the shown graphs of the window
    // need there, this one's being `besoin`. A graph whose need changes has the others drawn
    // again, so that they follow.
    int MargeCommune(QCP::MarginSide cote, int besoin) {
        const int k = cote == QCP::msLeft ? 0 : 1;
        std::vector<Graphe *> voisins;
        for (QCustomPlot *q : window()->findChildren<QCustomPlot *>())
            if (auto *g = dynamic_cast<Graphe *>(q); g && g != this && g->isVisible()) voisins.push_back(g);
        if (besoin != besoin_[k]) {
            besoin_[k] = besoin;
            for (Graphe *g : voisins) g->update();
        }
        int marge = besoin;
        for (const Graphe *g : voisins) marge = std::max(marge, g->besoin_[k]);
        return marge;
    }

    // The ranges of the axes, worked out once after any number of changes (a refresh deletes
    // and makes several plots in a row) when they are read or drawn.
    void Actualiser() {
        if (!axes_perimes_) return;
        axes_perimes_ = false;
        for (int k = 0; k < 3; ++k) {
            Axe &a = axes_[k];
            if (a.mode == VAL_AUTOSCALE) {
                double lo = std::numeric_limits<double>::infinity(), hi = -lo;
                for (const Trace &t : traces_) {
                    if (k == VAL_XAXIS) {
                        if (t.points == 0) continue;
                        lo = std::min(lo, t.xmin);
                        hi = std::max(hi, t.xmax);
                    } else if (t.axe == k && t.a_valeurs) {
                        lo = std::min(lo, t.ymin);
                        hi = std::max(hi, t.ymax);
                    }
                }
                // An axis without any finite value keeps the range it had.
                if (lo <= hi) {
                    a.mini = lo;
                    a.maxi = hi;
                }
            }
            double lo = a.mini, hi = a.maxi;
            if (!(lo < hi)) {
                // A flat curve is drawn in the middle of a band around it.
                const double marge = lo == 0 ? 1.0 : std::abs(lo) * 0.1;
                lo -= marge;
                hi += marge;
            }
            Axe_(k)->setRange(lo, hi);
        }
    }

    static std::uint64_t Melanger(std::uint64_t h, std::uint64_t v) {
        // FNV-1a over the 8 bytes of v.
        for (int k = 0; k < 8; ++k) {
            h ^= (v >> (8 * k)) & 0xFF;
            h *= 0x100000001B3ull;
        }
        return h;
    }
    static std::uint64_t Bits(double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    }
    static std::uint64_t Empreinte(const double *v, int n) {
        std::uint64_t h = 0xCBF29CE484222325ull ^ static_cast<std::uint64_t>(n);
        for (int i = 0; i < n; ++i) h = (h ^ Bits(v[i])) * 0x100000001B3ull;
        return h;
    }
    // Everything the screen shows of the plots and the axes.
    std::uint64_t EmpreinteDuModele() const {
        std::uint64_t h = 0xCBF29CE484222325ull;
        for (const Trace &t : traces_) {
            h = Melanger(h, reinterpret_cast<std::uintptr_t>(t.plot));
            h = Melanger(h, t.empreinte);
            h = Melanger(h, (static_cast<std::uint64_t>(t.axe) << 56) ^ (static_cast<std::uint64_t>(t.couleur) << 24) ^
                                (static_cast<std::uint64_t>(t.style_trace) << 16) ^
                                (static_cast<std::uint64_t>(t.style_point) << 8) ^ static_cast<std::uint64_t>(t.style_ligne));
        }
        for (const QCPAxis *a : {xAxis, yAxis, yAxis2}) {
            h = Melanger(h, Bits(a->range().lower));
            h = Melanger(h, Bits(a->range().upper));
        }
        return h;
    }

    static double Valeur(const void *v, int type, int i) {
        switch (type) {
        case VAL_FLOAT: return static_cast<const float *>(v)[i];
        case VAL_INTEGER: return static_cast<const int *>(v)[i];
        default: return static_cast<const double *>(v)[i];
        }
    }
    // Smallest and largest finite value; false when there is none.
    static bool Etendue(const double *v, int n, double *lo, double *hi) {
        double a = std::numeric_limits<double>::infinity(), b = -a;
        for (int i = 0; i < n; ++i) {
            if (!std::isfinite(v[i])) continue;
            a = std::min(a, v[i]);
            b = std::max(b, v[i]);
        }
        if (a > b) return false;
        *lo = a;
        *hi = b;
        return true;
    }

    // Copies the values into the plot's own points, in place when it has as many already.
    void Remplir(QCPGraph *g, const void *yv, int n, int type, Trace &t) {
        QSharedPointer<QCPGraphDataContainer> d = g->data();
        if (d->size() != n) {
            QVector<QCPGraphData> v(n);
            for (int i = 0; i < n; ++i) v[i].key = i;
            d->set(v, true);
        }
        double a = std::numeric_limits<double>::infinity(), b = -a;
        std::uint64_t h = 0xCBF29CE484222325ull ^ static_cast<std::uint64_t>(n);
        auto it = d->begin();
        if (type == VAL_DOUBLE) {
            const double *y = static_cast<const double *>(yv);
            for (int i = 0; i < n; ++i, ++it) {
                const double v = y[i];
                it->value = v;
                h = (h ^ Bits(v)) * 0x100000001B3ull;
                if (std::isfinite(v)) {
                    a = std::min(a, v);
                    b = std::max(b, v);
                }
            }
        } else {
            for (int i = 0; i < n; ++i, ++it) {
                const double v = Valeur(yv, type, i);
                it->value = v;
                h = (h ^ Bits(v)) * 0x100000001B3ull;
                if (std::isfinite(v)) {
                    a = std::min(a, v);
                    b = std::max(b, v);
                }
            }
        }
        t.empreinte = h;
        t.a_valeurs = a <= b;
        t.ymin = a;
        t.ymax = b;
        t.xmin = 0;
        t.xmax = n > 0 ? n - 1 : 0;
    }

    static bool MemeAllure(const Trace &a, const Trace &b) {
        return a.couleur == b.couleur && a.style_trace == b.style_trace && a.style_point == b.style_point &&
               a.style_ligne == b.style_ligne;
    }

    static void Habiller(QCPAbstractPlottable *p, int style, int point, int ligne, int couleur) {
        const Qt::PenStyle traits[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine};
        QPen stylo(Couleur(couleur), style == VAL_FAT_LINE ? 2 : 0,
                   ligne >= 0 && ligne < 4 ? traits[ligne] : Qt::SolidLine);
        p->setPen(stylo);
        QCPScatterStyle::ScatterShape forme = QCPScatterStyle::ssNone;
        switch (point) {
        case VAL_SIMPLE_DOT: forme = QCPScatterStyle::ssDot; break;
        case VAL_EMPTY_SQUARE: forme = QCPScatterStyle::ssSquare; break;
        case VAL_SOLID_SQUARE: forme = QCPScatterStyle::ssSquare; break;
        case VAL_EMPTY_CIRCLE: forme = QCPScatterStyle::ssCircle; break;
        case VAL_SOLID_CIRCLE: forme = QCPScatterStyle::ssDisc; break;
        case VAL_CROSS: forme = QCPScatterStyle::ssCross; break;
        default: break;
        }
        const bool points = style == VAL_SCATTER || style == VAL_CONNECTED_POINTS;
        QCPScatterStyle s(points ? forme : QCPScatterStyle::ssNone, Couleur(couleur),
                          point == VAL_SOLID_SQUARE ? Couleur(couleur) : Qt::transparent, 5);
        if (auto *g = qobject_cast<QCPGraph *>(p)) {
            g->setLineStyle(style == VAL_SCATTER ? QCPGraph::lsNone : QCPGraph::lsLine);
            g->setScatterStyle(s);
        } else if (auto *c = qobject_cast<QCPCurve *>(p)) {
            c->setLineStyle(style == VAL_SCATTER ? QCPCurve::lsNone : QCPCurve::lsLine);
            c->setScatterStyle(s);
        }
    }

    QColor fond_;  // the background of the graph around its plot area
    int panel_, id_;
    int besoin_[2] = {0, 0};     // margins this graph's own axes need, left and right
    bool axes_perimes_ = false;  // the ranges of the automatic axes must be worked out again
    int prochain_ = 1;
    int dessins_ = 0;
    bool sale_ = true;       // the screen may be behind the model
    bool planifie_ = false;  // a drawing is queued
    bool force_ = true;      // the next drawing happens whatever the fingerprint
    std::uint64_t dessine_ = 0;  // fingerprint of what the screen shows
    Axe axes_[3];
    std::vector<Trace> traces_;
    std::deque<Trace> reserve_;  // hidden line plots, with the look they were given
};

Graphe *CommeGraphe(const Controle &c) { return c.genre == CTRL_GRAPH ? dynamic_cast<Graphe *>(c.widget.data()) : nullptr; }

// ---- panel callbacks -------------------------------------------------------------------------

class FiltrePanneau : public QObject {
public:
    FiltrePanneau(int handle, QObject *parent) : QObject(parent), handle_(handle) {}
    bool eventFilter(QObject *o, QEvent *e) override {
        switch (e->type()) {
        case QEvent::Close: Envoyer(EVENT_CLOSE); break;  // the guard of ui.cpp then refuses it
        case QEvent::WindowActivate: Envoyer(EVENT_GOT_FOCUS); break;
        case QEvent::WindowDeactivate: Envoyer(EVENT_LOST_FOCUS); break;
        case QEvent::Resize: {
            auto *r = static_cast<QResizeEvent *>(e);
            auto *w = qobject_cast<QWidget *>(o);
            if (w && w->isVisible() && r->oldSize().isValid() && r->oldSize() != r->size())
                Envoyer(EVENT_PANEL_SIZE);
            break;
        }
        default: break;
        }
        return QObject::eventFilter(o, e);
    }

private:
    void Envoyer(int event) {
        std::shared_ptr<Panneau> p = ChercherPanneau(handle_);
        if (!p || !p->callback) return;
        p->callback(handle_, event, p->donnees, 0, 0);
    }
    int handle_;
};

// ---- tables --------------------------------------------------------------------------------

QTableWidget *Table(const Controle &c) { return qobject_cast<QTableWidget *>(c.widget.data()); }

// Where the decimal point of a number's text stands: the integer part before it, the decimals
// and the exponent from it. A text without a point stands before its exponent ("1e-09"), and
// one without either ("12", "NaN") is all integer part.
qsizetype Virgule(const QString &texte) {
    qsizetype k = texte.indexOf(QLatin1Char('.'));
    if (k < 0) k = texte.indexOf(QLatin1Char('e'));
    return k < 0 ? texte.size() : k;
}

// The widths of a number's integer part and of the rest, in pixels.
struct Parts {
    qreal entier = 0, fraction = 0;
};
Parts Mesurer(const QFontMetricsF &m, const QString &texte) {
    const qsizetype v = Virgule(texte);
    return {m.horizontalAdvance(texte.left(v)), m.horizontalAdvance(texte.mid(v))};
}

constexpr int kMargeCellule = 4;  // pixels between a cell's text and either side of the cell

// Cells of a table of numbers, drawn as plain text: a table that gains a row at every sample
// is drawn again whole each time, and the style's full item drawing costs most of it. A row
// keeps its figures while it moves up the view, so the laid-out text of a cell is kept from one
// drawing to the next instead of being laid out again each time.
//
// The numbers of a column stand on one decimal point: the column keeps the widest integer part
// and the widest decimals (with exponent) of its numbers (RoleEntier, RoleFraction), and the
// block they make is centred in the column, under its title.
class DelegueNombres : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *peintre, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        const bool choisi = option.state & QStyle::State_Selected;
        if (choisi) peintre->fillRect(option.rect, option.palette.highlight());
        peintre->setPen(option.palette.color(choisi ? QPalette::HighlightedText : QPalette::Text));
        const QVariant alignement = index.data(Qt::TextAlignmentRole);
        int a = alignement.isValid() ? alignement.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter);
        const QRect zone = option.rect.adjusted(kMargeCellule, 0, -kMargeCellule, 0);
        const QString texte = index.data(Qt::DisplayRole).toString();
        QRect cible = zone;
        const QVariant entiers = index.data(RoleNombre).isValid()
                                     ? index.model()->headerData(index.column(), Qt::Horizontal, RoleEntier)
                                     : QVariant();
        if (entiers.isValid()) {
            const qreal entier = entiers.toDouble();
            const qreal bloc = entier + index.model()->headerData(index.column(), Qt::Horizontal, RoleFraction).toDouble();
            const qreal virgule = zone.x() + (zone.width() - bloc) / 2 + entier;
            const int x = static_cast<int>(std::lround(virgule - PartsDe(peintre->font(), texte).entier));
            cible = QRect(x, zone.y(), std::max(zone.right() + 1 - x, 1), zone.height());
            a = (a & Qt::AlignVertical_Mask) | Qt::AlignLeft;
        }
        if (Ecrire(peintre, zone, cible, a, texte)) return;
        const bool couper = !zone.contains(cible);
        if (couper) {
            peintre->save();
            peintre->setClipRect(zone, Qt::IntersectClip);
        }
        peintre->drawText(cible, a, texte);
        if (couper) peintre->restore();
    }

    // Whether the parts of a number's text are no wider than these, from the widths of its
    // characters alone (which a text of figures is never narrower than): a quick look for the
    // number that every sample writes.
    bool Tient(const QFont &police, const QString &texte, qreal entier, qreal fraction) const {
        Suivre(police);
        const qsizetype v = Virgule(texte);
        qreal largeur = 0;
        for (qsizetype k = 0; k < texte.size(); ++k) {
            if (k == v) {
                if (largeur > entier) return false;
                largeur = 0;
            }
            const char16_t c = texte[k].unicode();
            if (c < 0x20 || c > 0x7E) return false;
            largeur += avances_[c - 0x20];
        }
        return v == texte.size() ? largeur <= entier : largeur <= fraction;
    }
    // The widths of the parts of a number's text in this font: kept with its layout once it is
    // drawn; a text not drawn yet is only measured.
    Parts PartsDe(const QFont &police, const QString &texte) const {
        Suivre(police);
        if (const auto it = textes_.constFind(texte); it != textes_.constEnd()) return it->parts;
        return Mesurer(*metriques_, texte);
    }

private:
    struct Texte {
        QStaticText ligne;  // laid out once
        Parts parts;
    };

    // Draws a line of printable ASCII, as every number is, from its kept layout, where drawText
    // would draw it in `cible`: its natural width and the height of a line placed there as the
    // alignment says, clipped to the zone when it goes out of it. False for any other text,
    // left to drawText.
    bool Ecrire(QPainter *peintre, const QRect &zone, const QRect &cible, int a, const QString &texte) const {
        const Texte *t = Garde(peintre->font(), texte, a);
        if (!t) return false;
        const QStaticText &s = t->ligne;
        const qreal largeur = s.size().width();
        const Qt::Alignment h = QStyle::visualAlignment(peintre->layoutDirection(), Qt::Alignment(a));
        qreal x = cible.x(), y = cible.y();
        if (h & Qt::AlignRight) x += cible.width() - largeur;
        else if (h & Qt::AlignHCenter) x += (cible.width() - largeur) / 2;
        if (a & Qt::AlignBottom) y += cible.height() - hauteur_;
        else if (a & Qt::AlignVCenter) y += (cible.height() - hauteur_) / 2;
        const QRectF place(x, y, largeur, hauteur_);
        const bool couper = !QRectF(zone).contains(place);
        if (couper) {
            peintre->save();
            peintre->setClipRect(zone, Qt::IntersectClip);
        }
        peintre->drawStaticText(place.topLeft(), s);
        if (couper) peintre->restore();
        return true;
    }

    // What is kept is of this font: kept texts of another font go.
    void Suivre(const QFont &police) const {
        if (mesure_ && police == police_) return;
        textes_.clear();
        mesure_ = true;
        police_ = police;
        metriques_.emplace(police);
        for (char16_t c = 0x20; c <= 0x7E; ++c) avances_[c - 0x20] = metriques_->horizontalAdvance(QChar(c));
        hauteur_ = std::ceil(metriques_->ascent() + metriques_->descent());
        // A font with a leading would place a kept line otherwise: its cells go to drawText.
        QStaticText essai(QStringLiteral("0"));
        essai.setTextFormat(Qt::PlainText);
        utilisable_ = essai.size().height() == hauteur_;
    }

    // The kept layout of a line of printable ASCII in this font; null for any other text, or
    // for a font whose kept lines would not stand where drawText puts them.
    const Texte *Garde(const QFont &police, const QString &texte, int a) const {
        if (texte.isEmpty() || (a & Qt::AlignJustify)) return nullptr;
        for (QChar c : texte)
            if (c.unicode() < 0x20 || c.unicode() > 0x7E) return nullptr;
        Suivre(police);
        if (!utilisable_) return nullptr;
        auto it = textes_.find(texte);
        if (it == textes_.end()) {
            // A table shows a few hundred cells at once; older texts are dropped all together.
            if (textes_.size() >= kTextesGardes) textes_.clear();
            Texte t;
            t.ligne = QStaticText(texte);
            t.ligne.setTextFormat(Qt::PlainText);
            t.parts = Mesurer(*metriques_, texte);
            it = textes_.insert(texte, t);
        }
        return &it.value();
    }

    static constexpr qsizetype kTextesGardes = 4096;
    mutable QHash<QString, Texte> textes_;
    mutable bool mesure_ = false;  // police_ and hauteur_ are known
    mutable QFont police_;
    mutable std::optional<QFontMetricsF> metriques_;  // of police_
    mutable std::array<qreal, 0x7F - 0x20> avances_{};  // of the printable ASCII characters in police_
    mutable qreal hauteur_ = 0;     // of a line of police_
    mutable bool utilisable_ = false;  // kept lines of police_ stand where drawText puts them
};

bool TableDeNombres(const QTableWidget &t) { return dynamic_cast<DelegueNombres *>(t.itemDelegate()) != nullptr; }

QTableWidgetItem *EnTete(QTableWidget *t, int colonne) {
    QTableWidgetItem *h = t->horizontalHeaderItem(colonne);
    if (!h) {
        h = new QTableWidgetItem();
        h->setData(RoleFormat, static_cast<int>(VAL_AUTO_FORMAT));
        h->setData(RolePrecision, 6);
        h->setData(RoleAvecTitre, 0);
        h->setText(QString::number(colonne + 1));
        t->setHorizontalHeaderItem(colonne, h);
    }
    return h;
}

// The widest text that a number of ordinary size takes in this format: a column of numbers is
// made that wide from the start, so that it keeps its width while its numbers come.
QString TexteLePlusLarge(int format, int precision) {
    precision = std::clamp(precision, 0, 17);
    switch (format) {
    case VAL_DECIMAL_FORMAT: return QStringLiteral("-8888") + (precision > 0 ? "." + QString(precision, '8') : QString());
    case VAL_SCIENTIFIC_FORMAT: return QStringLiteral("-8") + (precision > 0 ? "." + QString(precision, '8') : QString()) + "e-88";
    default: return QStringLiteral("-8.") + QString(std::max(precision - 1, 1), '8') + "e-88";
    }
}

// A column of numbers is as wide as its title, as the numbers of its format and as the block of
// the numbers it shows, each with its margins.
void AjusterColonne(QTableWidget &t, int colonne) {
    if (!TableDeNombres(t)) return;
    const QTableWidgetItem *h = EnTete(&t, colonne);
    const QFontMetricsF m(t.font());
    const qreal nombres = std::max(m.horizontalAdvance(TexteLePlusLarge(h->data(RoleFormat).toInt(), h->data(RolePrecision).toInt())),
                                   h->data(RoleEntier).toDouble() + h->data(RoleFraction).toDouble());
    const int largeur = std::max(t.horizontalHeader()->sectionSizeHint(colonne),
                                 static_cast<int>(std::ceil(nombres)) + 2 * kMargeCellule);
    if (t.columnWidth(colonne) != largeur) t.setColumnWidth(colonne, largeur);
}

// The column makes room, on its decimal point, for the number written `texte`.
void LogerNombre(QTableWidget &t, int colonne, const QString &texte) {
    const auto *delegue = dynamic_cast<const DelegueNombres *>(t.itemDelegate());
    if (!delegue) return;
    QTableWidgetItem *h = EnTete(&t, colonne);
    const QVariant entier = h->data(RoleEntier);
    const qreal entier_avant = entier.toDouble(), fraction_avant = h->data(RoleFraction).toDouble();
    if (entier.isValid() && delegue->Tient(t.font(), texte, entier_avant, fraction_avant)) return;
    const Parts p = delegue->PartsDe(t.font(), texte);
    if (entier.isValid() && p.entier <= entier_avant && p.fraction <= fraction_avant) return;
    h->setData(RoleEntier, std::max(p.entier, entier_avant));
    h->setData(RoleFraction, std::max(p.fraction, fraction_avant));
    AjusterColonne(t, colonne);
    // The numbers already shown move onto the new point.
    t.viewport()->update();
}

void MontrerTitre(QTableWidgetItem *h, int colonne) {
    const QByteArray b = h->data(RoleTitre).toByteArray();
    h->setText(h->data(RoleAvecTitre).toInt() ? VersEcran(std::string(b.constData(), static_cast<std::size_t>(b.size())))
                                              : QString::number(colonne + 1));
    if (QTableWidget *t = h->tableWidget()) AjusterColonne(*t, colonne);
}

std::string Formater(double v, int format, int precision) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    precision = std::clamp(precision, 0, 17);
    char tampon[400];
    std::to_chars_result r;
    switch (format) {
    case VAL_DECIMAL_FORMAT: r = std::to_chars(tampon, tampon + sizeof tampon, v, std::chars_format::fixed, precision); break;
    case VAL_SCIENTIFIC_FORMAT: r = std::to_chars(tampon, tampon + sizeof tampon, v, std::chars_format::scientific, precision); break;
    default: r = std::to_chars(tampon, tampon + sizeof tampon, v, std::chars_format::general, std::max(precision, 1)); break;
    }
    if (r.ec != std::errc()) return "?";
    return std::string(tampon, r.ptr);
}

}  // namespace

// ---- extension points of the layer ---------------------------------------------------------

QWidget *CreerWidgetEtendu(Panneau &panneau, Controle &c, const DefControle &def, QWidget *parent) {
    if (c.genre == CTRL_GRAPH) {
        auto *g = new Graphe(panneau.handle, c.id);
        g->setParent(parent);
        g->setGeometry(def.gauche, def.haut, def.largeur, def.hauteur);
        const QJsonObject &o = def.brut;
        g->xAxis->setLabel(VersEcran(DepuisEcran(o.value("x_name").toString())));
        g->yAxis->setLabel(VersEcran(DepuisEcran(o.value("left_y_name").toString())));
        g->yAxis2->setLabel(VersEcran(DepuisEcran(o.value("right_y_name").toString())));
        if (!c.libelle.empty()) {
            g->plotLayout()->insertRow(0);
            g->plotLayout()->addElement(0, 0, new QCPTextElement(g, LibelleVisible(c.libelle)));
        }
        g->SuivrePalette();
        c.widget = g;
        return g;
    }
    // A kind that nothing makes: an empty frame keeps its place.
    auto *f = new QFrame(parent);
    f->setGeometry(def.gauche, def.haut, def.largeur, def.hauteur);
    c.widget = f;
    return f;
}

// The widget that shows a control's label: its label beside it, or a check box's own text.
QWidget *CibleLibelle(Controle &c) {
    if (c.etiquette) return c.etiquette.data();
    return qobject_cast<QCheckBox *>(c.widget) ? c.widget.data() : nullptr;
}

int FixerAttributEtendu(Controle &c, int attribute, int value) {
    QWidget *w = c.widget;
    switch (attribute) {
    case ATTR_LABEL_COLOR: {
        QWidget *cible = CibleLibelle(c);
        if (!cible) return UIE_BAD_ATTRIBUTE;
        QPalette pal = cible->palette();
        pal.setColor(QPalette::WindowText, Couleur(value));
        cible->setPalette(pal);
        cible->setProperty("couleur_libelle", value & 0xFFFFFF);
        return 0;
    }
    case ATTR_TEXT_COLOR: {
        if (!w || c.genre == CTRL_GRAPH || c.genre == CTRL_TIMER) return UIE_BAD_ATTRIBUTE;
        QPalette pal = w->palette();
        for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
            pal.setColor(role, Couleur(value));
        w->setPalette(pal);
        w->setProperty("couleur_texte", value & 0xFFFFFF);
        return 0;
    }
    case ATTR_LEFT:
    case ATTR_TOP:
    case ATTR_WIDTH:
    case ATTR_HEIGHT: {
        if (!c.cadre) return UIE_BAD_ATTRIBUTE;
        QRect r = c.cadre->geometry();
        if (attribute == ATTR_LEFT) r.moveLeft(value);
        if (attribute == ATTR_TOP) r.moveTop(value);
        if (attribute == ATTR_WIDTH) {
            if (value < 1) return UIE_BAD_ATTRIBUTE;
            r.setWidth(value);
        }
        if (attribute == ATTR_HEIGHT) {
            if (value < 1) return UIE_BAD_ATTRIBUTE;
            r.setHeight(value);
        }
        c.cadre->setGeometry(r);
        return 0;
    }
    case ATTR_ACTIVE_YAXIS: {
        Graphe *g = CommeGraphe(c);
        if (!g || (value != VAL_LEFT_YAXIS && value != VAL_RIGHT_YAXIS)) return UIE_BAD_ATTRIBUTE;
        g->axe_actif = value;
        return 0;
    }
    case ATTR_FIRST_VISIBLE_ROW: {
        QTableWidget *t = Table(c);
        if (!t) return UIE_BAD_ATTRIBUTE;
        if (value < 1 || value > t->rowCount()) return UIE_BAD_INDEX;
        // As far as the table scrolls: the last rows stay at the bottom.
        t->scrollTo(t->model()->index(value - 1, 0), QAbstractItemView::PositionAtTop);
        return 0;
    }
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int LireAttributEtendu(Controle &c, int attribute, int *value) {
    QWidget *w = c.widget;
    switch (attribute) {
    case ATTR_LABEL_COLOR: {
        QWidget *cible = CibleLibelle(c);
        if (!cible) return UIE_BAD_ATTRIBUTE;
        const QVariant v = cible->property("couleur_libelle");
        *value = v.isValid() ? v.toInt() : Rgb(cible->palette().color(QPalette::WindowText));
        return 0;
    }
    case ATTR_TEXT_COLOR: {
        if (!w || c.genre == CTRL_GRAPH || c.genre == CTRL_TIMER) return UIE_BAD_ATTRIBUTE;
        const QVariant v = w->property("couleur_texte");
        *value = v.isValid() ? v.toInt() : Rgb(w->palette().color(QPalette::Text));
        return 0;
    }
    case ATTR_LEFT: if (!c.cadre) return UIE_BAD_ATTRIBUTE; *value = c.cadre->x(); return 0;
    case ATTR_TOP: if (!c.cadre) return UIE_BAD_ATTRIBUTE; *value = c.cadre->y(); return 0;
    case ATTR_WIDTH: if (!c.cadre) return UIE_BAD_ATTRIBUTE; *value = c.cadre->width(); return 0;
    case ATTR_HEIGHT: if (!c.cadre) return UIE_BAD_ATTRIBUTE; *value = c.cadre->height(); return 0;
    case ATTR_ACTIVE_YAXIS: {
        Graphe *g = CommeGraphe(c);
        if (!g) return UIE_BAD_ATTRIBUTE;
        *value = g->axe_actif;
        return 0;
    }
    case ATTR_FIRST_VISIBLE_ROW: {
        QTableWidget *t = Table(c);
        if (!t) return UIE_BAD_ATTRIBUTE;
        *value = t->rowCount() == 0 ? 0 : std::max(0, t->rowAt(0)) + 1;
        return 0;
    }
    default:
        return UIE_BAD_ATTRIBUTE;
    }
}

int FixerAttributPanneauEtendu(Panneau &p, int attribute, int value) {
    if (attribute != ATTR_BACKCOLOR || !p.fenetre) return UIE_BAD_ATTRIBUTE;
    // A dark background takes light texts, and the reverse.
    const QColor fond = Couleur(value);
    const bool sombre = fond.lightness() < 128;
    QPalette pal = p.fenetre->palette();
    pal.setColor(QPalette::Window, fond);
    pal.setColor(QPalette::WindowText, sombre ? QColor(0xE8, 0xE8, 0xE8) : Qt::black);
    pal.setColor(QPalette::Button, sombre ? fond.lighter(130) : fond);
    pal.setColor(QPalette::ButtonText, sombre ? QColor(0xE8, 0xE8, 0xE8) : Qt::black);
    pal.setColor(QPalette::Base, sombre ? fond.darker(160) : Qt::white);
    pal.setColor(QPalette::Text, sombre ? QColor(0xE8, 0xE8, 0xE8) : Qt::black);
    p.fenetre->setPalette(pal);
    p.fenetre->setAutoFillBackground(true);
    p.fenetre->setProperty("couleur_fond", value & 0xFFFFFF);
    return 0;
}

}  // namespace ui_detail

using namespace ui_detail;

namespace {


template <class F>
int AvecGraphe(int panel, int control, F &&f) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        Graphe *g = CommeGraphe(c);
        if (!g) return UIE_BAD_ATTRIBUTE;
        return f(*g);
    });
}

template <class F>
int AvecTable(int panel, int control, F &&f) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QTableWidget *t = Table(c);
        if (!t) return UIE_BAD_ATTRIBUTE;
        return f(*t);
    });
}

bool TypeConnu(int type) { return type == VAL_DOUBLE || type == VAL_FLOAT || type == VAL_INTEGER; }

}  // namespace

// ---- panel callbacks -------------------------------------------------------------------------

int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData) {
    return SurFilUi([&]() -> int {
        auto p = ChercherPanneau(panel);
        if (!p) return UIE_BAD_PANEL;
        p->callback = callback;
        p->donnees = callbackData;
        if (p->fenetre && !p->fenetre->property("filtre_panneau").toBool()) {
            p->fenetre->installEventFilter(new FiltrePanneau(panel, p->fenetre));
            p->fenetre->setProperty("filtre_panneau", true);
        }
        return 0;
    });
}

// ---- tables --------------------------------------------------------------------------------

int InsertTableColumns(int panel, int control, int column, int count) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        const int n = t.columnCount();
        if (count < 0 || (column != -1 && (column < 1 || column > n + 1))) return UIE_BAD_INDEX;
        const int debut = column == -1 ? n : column - 1;
        for (int k = 0; k < count; ++k) t.insertColumn(debut + k);
        for (int k = debut; k < t.columnCount(); ++k) MontrerTitre(EnTete(&t, k), k);
        return 0;
    });
}

int DeleteTableColumns(int panel, int control, int column, int count) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        const int n = t.columnCount();
        if (n == 0 && count < 0) return 0;
        if (column < 1 || column > n) return UIE_BAD_INDEX;
        const int fin = count < 0 ? n : std::min(n, column - 1 + count);
        for (int k = fin - 1; k >= column - 1; --k) t.removeColumn(k);
        for (int k = column - 1; k < t.columnCount(); ++k) MontrerTitre(EnTete(&t, k), k);
        return 0;
    });
}

int GetNumTableColumns(int panel, int control, int *columns) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        *columns = t.columnCount();
        return 0;
    });
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute, int value) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        if (column < 1 || column > t.columnCount()) return UIE_BAD_INDEX;
        QTableWidgetItem *h = EnTete(&t, column - 1);
        switch (attribute) {
        case ATTR_USE_LABEL_TEXT: h->setData(RoleAvecTitre, value != 0 ? 1 : 0); break;
        case ATTR_FORMAT:
            if (value != VAL_DECIMAL_FORMAT && value != VAL_SCIENTIFIC_FORMAT && value != VAL_AUTO_FORMAT)
                return UIE_BAD_ATTRIBUTE;
            h->setData(RoleFormat, value);
            if (!TableDeNombres(t)) {
                t.setItemDelegate(new DelegueNombres(&t));
                // Rows of one line of figures: as many rows in view as the table can show.
                t.verticalHeader()->setDefaultSectionSize(t.fontMetrics().height() + 6);
                // Columns as wide as their titles and numbers, the last one too.
                t.horizontalHeader()->setStretchLastSection(false);
                for (int k = 0; k < t.columnCount(); ++k) {
                    t.horizontalHeader()->setSectionResizeMode(k, QHeaderView::Interactive);
                    AjusterColonne(t, k);
                }
            }
            break;
        case ATTR_PRECISION:
            if (value < 0 || value > 17) return UIE_BAD_ATTRIBUTE;
            h->setData(RolePrecision, value);
            break;
        default: return UIE_BAD_ATTRIBUTE;
        }
        MontrerTitre(h, column - 1);
        return 0;
    });
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value) {
    const std::string v = value ? value : "";
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        if (column < 1 || column > t.columnCount()) return UIE_BAD_INDEX;
        if (attribute != ATTR_LABEL_TEXT) return UIE_BAD_ATTRIBUTE;
        QTableWidgetItem *h = EnTete(&t, column - 1);
        h->setData(RoleTitre, Octets(v));
        MontrerTitre(h, column - 1);
        return 0;
    });
}

int GetTableColumnAttribute(int panel, int control, int column, int attribute, int *value) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        if (column < 1 || column > t.columnCount()) return UIE_BAD_INDEX;
        QTableWidgetItem *h = EnTete(&t, column - 1);
        switch (attribute) {
        case ATTR_USE_LABEL_TEXT: *value = h->data(RoleAvecTitre).toInt(); return 0;
        case ATTR_FORMAT: *value = h->data(RoleFormat).toInt(); return 0;
        case ATTR_PRECISION: *value = h->data(RolePrecision).toInt(); return 0;
        default: return UIE_BAD_ATTRIBUTE;
        }
    });
}

int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *value,
                            std::size_t size) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        if (column < 1 || column > t.columnCount()) return UIE_BAD_INDEX;
        if (attribute != ATTR_LABEL_TEXT || !value || size == 0) return UIE_BAD_ATTRIBUTE;
        const QByteArray b = EnTete(&t, column - 1)->data(RoleTitre).toByteArray();
        const std::size_t n = std::min(static_cast<std::size_t>(b.size()), size - 1);
        std::memcpy(value, b.constData(), n);
        value[n] = '\0';
        return 0;
    });
}

int SetTableCellVal(int panel, int control, Point cell, double value) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        if (cell.x < 1 || cell.x > t.columnCount() || cell.y < 1 || cell.y > t.rowCount())
            return UIE_BAD_INDEX;
        const QTableWidgetItem *h = EnTete(&t, cell.x - 1);
        const std::string texte = Formater(value, h->data(RoleFormat).toInt(), h->data(RolePrecision).toInt());
        QTableWidgetItem *it = t.item(cell.y - 1, cell.x - 1);
        if (!it) {
            it = new QTableWidgetItem();
            it->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            t.setItem(cell.y - 1, cell.x - 1, it);
        }
        it->setData(RoleTexteBrut, Octets(texte));
        it->setData(RoleNombre, value);
        it->setText(QString::fromLatin1(texte.c_str()));
        LogerNombre(t, cell.x - 1, it->text());
        return 0;
    });
}

int GetTableCellVal(int panel, int control, Point cell, double *value) {
    return AvecTable(panel, control, [&](QTableWidget &t) -> int {
        if (cell.x < 1 || cell.x > t.columnCount() || cell.y < 1 || cell.y > t.rowCount())
            return UIE_BAD_INDEX;
        const QTableWidgetItem *it = t.item(cell.y - 1, cell.x - 1);
        const QVariant v = it ? it->data(RoleNombre) : QVariant();
        *value = v.isValid() ? v.toDouble() : std::numeric_limits<double>::quiet_NaN();
        return 0;
    });
}

// ---- graph control ------------------------------------------------------------------------

int PlotY(int panel, int control, const void *yArray, int count, int yDataType, int plotStyle,
          int pointStyle, int lineStyle, int /*pointFrequency*/, int color) {
    if (!yArray || count < 0 || !TypeConnu(yDataType)) return UIE_BAD_ATTRIBUTE;
    return AvecGraphe(panel, control, [&](Graphe &g) {
        return g.Tracer<double>(nullptr, yArray, count, yDataType, plotStyle, pointStyle, lineStyle, color);
    });
}

int PlotXY(int panel, int control, const void *xArray, const void *yArray, int count,
           int xDataType, int yDataType, int plotStyle, int pointStyle, int lineStyle,
           int /*pointFrequency*/, int color) {
    if (!xArray || !yArray || count < 0 || !TypeConnu(xDataType) || !TypeConnu(yDataType))
        return UIE_BAD_ATTRIBUTE;
    return AvecGraphe(panel, control, [&](Graphe &g) -> int {
        switch (xDataType) {
        case VAL_FLOAT:
            return g.Tracer(static_cast<const float *>(xArray), yArray, count, yDataType, plotStyle, pointStyle, lineStyle, color);
        case VAL_INTEGER:
            return g.Tracer(static_cast<const int *>(xArray), yArray, count, yDataType, plotStyle, pointStyle, lineStyle, color);
        default:
            return g.Tracer(static_cast<const double *>(xArray), yArray, count, yDataType, plotStyle, pointStyle, lineStyle, color);
        }
    });
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh) {
    return AvecGraphe(panel, control, [&](Graphe &g) {
        g.Effacer(plotHandle, refresh != VAL_NO_DRAW);
        return 0;
    });
}

int SetAxisRange(int panel, int control, int xScaling, double xmin, double xmax, int yScaling,
                 double ymin, double ymax) {
    return AvecGraphe(panel, control, [&](Graphe &g) -> int {
        if (xScaling != VAL_NO_CHANGE) {
            if (const int r = g.FixerEchelle(VAL_XAXIS, xScaling, xmin, xmax); r < 0) return r;
        }
        if (yScaling != VAL_NO_CHANGE) return g.FixerEchelle(g.axe_actif, yScaling, ymin, ymax);
        return 0;
    });
}

int SetAxisScalingMode(int panel, int control, int axis, int scaling, double min, double max) {
    if (axis < VAL_XAXIS || axis > VAL_RIGHT_YAXIS) return UIE_BAD_ATTRIBUTE;
    return AvecGraphe(panel, control, [&](Graphe &g) { return g.FixerEchelle(axis, scaling, min, max); });
}

int GetAxisScalingMode(int panel, int control, int axis, int *scaling, double *min, double *max) {
    if (axis < VAL_XAXIS || axis > VAL_RIGHT_YAXIS) return UIE_BAD_ATTRIBUTE;
    return AvecGraphe(panel, control, [&](Graphe &g) {
        const Graphe::Axe &a = g.Etat(axis);
        if (scaling) *scaling = a.mode;
        if (min) *min = a.mini;
        if (max) *max = a.maxi;
        return 0;
    });
}

int SetAxisName(int panel, int control, int axis, const char *name) {
    if (axis < VAL_XAXIS || axis > VAL_RIGHT_YAXIS) return UIE_BAD_ATTRIBUTE;
    const std::string n = name ? name : "";
    return AvecGraphe(panel, control, [&](Graphe &g) {
        g.Axe_(axis)->setLabel(VersEcran(n));
        g.Forcer();
        return 0;
    });
}

int GetGraphPlots(int panel, int control, std::vector<int> *handles) {
    return AvecGraphe(panel, control, [&](Graphe &g) {
        handles->clear();
        for (const auto &t : g.Traces()) handles->push_back(t.handle);
        return 0;
    });
}

int GetPlotAttribute(int panel, int control, int plotHandle, int attribute, int *value) {
    return AvecGraphe(panel, control, [&](Graphe &g) -> int {
        for (const auto &t : g.Traces()) {
            if (t.handle != plotHandle) continue;
            switch (attribute) {
            case ATTR_TRACE_COLOR: *value = t.couleur; return 0;
            case ATTR_PLOT_YAXIS: *value = t.axe; return 0;
            case ATTR_NUM_POINTS: *value = t.points; return 0;
            default: return UIE_BAD_ATTRIBUTE;
            }
        }
        return UIE_BAD_INDEX;
    });
}

int GetPlotData(int panel, int control, int plotHandle, std::vector<double> *x, std::vector<double> *y) {
    return AvecGraphe(panel, control, [&](Graphe &g) -> int {
        for (const auto &t : g.Traces()) {
            if (t.handle != plotHandle) continue;
            if (x) x->clear();
            if (y) y->clear();
            if (t.ligne) {
                for (auto it = t.ligne->data()->constBegin(); it != t.ligne->data()->constEnd(); ++it) {
                    if (x) x->push_back(it->key);
                    if (y) y->push_back(it->value);
                }
            } else if (auto *c = qobject_cast<QCPCurve *>(t.plot)) {
                for (auto it = c->data()->constBegin(); it != c->data()->constEnd(); ++it) {
                    if (x) x->push_back(it->key);
                    if (y) y->push_back(it->value);
                }
            }
            return 0;
        }
        return UIE_BAD_INDEX;
    });
}

int GetAxisTicks(int panel, int control, int axis, std::vector<double> *values, std::vector<std::string> *labels) {
    if (axis < VAL_XAXIS || axis > VAL_RIGHT_YAXIS) return UIE_BAD_ATTRIBUTE;
    return AvecGraphe(panel, control, [&](Graphe &g) {
        QVector<double> v;
        QVector<QString> t;
        g.Graduer(axis, &v, &t);
        if (values) values->assign(v.begin(), v.end());
        if (labels) {
            labels->clear();
            for (const QString &s : t) labels->push_back(s.toStdString());
        }
        return 0;
    });
}

int GetGraphPlotArea(int panel, int control, int *left, int *top, int *width, int *height) {
    return AvecGraphe(panel, control, [&](Graphe &g) {
        const QRect r = g.ZoneDesTraces();
        if (left) *left = r.left();
        if (top) *top = r.top();
        if (width) *width = r.width();
        if (height) *height = r.height();
        return 0;
    });
}

int GetGraphDrawCount(int panel, int control, int *count) {
    return AvecGraphe(panel, control, [&](Graphe &g) {
        *count = g.Dessins();
        return 0;
    });
}
