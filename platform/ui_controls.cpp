// Controls of the user-interface layer: their widgets, values, attributes, list items and
// table cells.
#include "platform/clock.h"
#include "platform/ui_internal.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

namespace ui_detail {

namespace {

constexpr int RoleBrut = RoleTexteBrut;         // item label or cell text, Windows-1252
constexpr int RoleValeur = Qt::UserRole + 1;    // item value (int or Windows-1252 bytes)
constexpr int RoleValeurTexte = Qt::UserRole + 2;

QByteArray Octets(const std::string &s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }
std::string Chaine(const QVariant &v) {
    const QByteArray b = v.toByteArray();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

void Copier(const std::string &s, char *dest, std::size_t taille) {
    if (!dest || taille == 0) return;
    const std::size_t n = std::min(s.size(), taille - 1);
    std::memcpy(dest, s.data(), n);
    dest[n] = '\0';
}

// The list-box escape sequence ESC "vline" draws a vertical rule between two parts of a line
// (the status list separates the time from the message with it).
const QString SeparateurVertical = QStringLiteral("\x1bvline");

class DelegueSeparateur : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *peintre, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        const QString texte = index.data(Qt::DisplayRole).toString();
        const qsizetype pos = texte.indexOf(SeparateurVertical);
        if (pos < 0) {
            QStyledItemDelegate::paint(peintre, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        const QWidget *w = option.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, peintre, w);
        const QRect zone = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w);
        const QString gauche = texte.left(pos);
        const QString droite = texte.mid(pos + SeparateurVertical.size());
        const int largeur_gauche = opt.fontMetrics.horizontalAdvance(gauche);
        const int x_trait = zone.left() + largeur_gauche + 6;
        peintre->save();
        const bool choisi = opt.state & QStyle::State_Selected;
        peintre->setPen(opt.palette.color(choisi ? QPalette::HighlightedText : QPalette::Text));
        peintre->drawText(zone.adjusted(0, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, gauche);
        peintre->setPen(opt.palette.color(QPalette::Mid));
        peintre->drawLine(x_trait, zone.top(), x_trait, zone.bottom());
        peintre->setPen(opt.palette.color(choisi ? QPalette::HighlightedText : QPalette::Text));
        peintre->drawText(zone.adjusted(largeur_gauche + 12, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                          droite);
        peintre->restore();
    }
};

// A table that does not repaint its scroll bars at every layout pass. Each added or removed
// row makes one, and the scroll area then raises both scroll bars over their siblings, which
// repaints them whole (with everything under them) although nothing overlaps them. The pass
// runs with the scroll bars' frames not taking updates, as setUpdatesEnabled(false) does but
// without the full repaint it makes when updates come back; a frame the pass moved, resized,
// showed or hid is repainted after it, and a scroll bar whose range or position changes
// repaints itself as always.
class Tableau : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

protected:
    void updateGeometries() override {
        struct Cadre {
            QWidget *w;
            QRect place;
            bool visible = false;
            bool retenu = false;  // its updates were held back here
        };
        Cadre cadres[] = {{horizontalScrollBar()->parentWidget(), {}}, {verticalScrollBar()->parentWidget(), {}}};
        for (Cadre &c : cadres) {
            if (!c.w || c.w == this || c.w->testAttribute(Qt::WA_UpdatesDisabled)) continue;
            c.place = c.w->geometry();
            c.visible = c.w->isVisible();
            c.retenu = true;
            c.w->setAttribute(Qt::WA_UpdatesDisabled, true);
        }
        QTableWidget::updateGeometries();
        for (Cadre &c : cadres) {
            if (!c.retenu) continue;
            c.w->setAttribute(Qt::WA_UpdatesDisabled, false);
            if (c.w->geometry() != c.place || c.w->isVisible() != c.visible) c.w->update();
        }
    }
};

// A lamp: a disc lit in its colour when the value is not 0.
class Voyant : public QWidget {
public:
    Voyant(QColor couleur, QWidget *parent) : QWidget(parent), couleur_(couleur) {
        setMinimumSize(16, 16);
    }
    void Allumer(bool on) {
        allume_ = on;
        update();
    }
    bool Allume() const { return allume_; }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const int d = std::min(width(), height()) - 2;
        const QRect r((width() - d) / 2, (height() - d) / 2, d, d);
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(allume_ ? couleur_ : couleur_.darker(400));
        p.drawEllipse(r);
    }

private:
    QColor couleur_;
    bool allume_ = false;
};

Voyant *CommeVoyant(QWidget *w) { return dynamic_cast<Voyant *>(w); }

// A real numeric: the value is kept as its data type holds it (a float numeric in single
// precision, as a float variable would) and shown in its format, always in the C locale:
// - fixed: `precision` digits after the point; the field holds its value to those digits, so
//   the value read is the number shown;
// - scientific: one digit, the point, `precision` digits and the exponent ("1.235e+07");
// - general: `precision` significant digits, in fixed or scientific notation, whichever is
//   shorter.
// In the last two the display rounds and the value stays whole: 12345678 typed in a
// scientific field with three decimals shows "1.235e+07" and reads back 12345678. A text is
// read again only when the operator changed it, so leaving the field keeps the value.
class ChampReel : public QAbstractSpinBox {
public:
    enum class Format { Fixe, General, Scientifique };

    ChampReel(Format format, int precision, bool simple)
        : format_(format), precision_(std::clamp(precision, format == Format::General ? 1 : 0, 17)),
          simple_(simple) {
        connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
            if (const auto v = Saisie()) Changer(*v);
            else Afficher();
        });
    }

    // Called when the operator changes the value (typing or stepping), not for Fixer.
    std::function<void()> quand_change;

    double Valeur() const { return valeur_; }
    // The program's value, bounded and taken as the field holds it; redrawn only when the
    // text changes (indicators refreshed at every sample).
    void Fixer(double v) {
        valeur_ = Tenue(v);
        if (Texte(valeur_) != texte_) Afficher();
    }
    void FixerBornes(double mini, double maxi) {
        mini_ = simple_ ? static_cast<float>(mini) : mini;
        maxi_ = simple_ ? static_cast<float>(maxi) : maxi;
        Fixer(valeur_);
    }
    void FixerPas(double pas) { pas_ = pas; }

protected:
    void stepBy(int pas) override {
        Changer(Saisie().value_or(valeur_) + pas * pas_);
        selectAll();
    }
    StepEnabled stepEnabled() const override {
        if (isReadOnly()) return StepNone;
        StepEnabled e = StepNone;
        if (!(valeur_ >= maxi_)) e |= StepUpEnabled;
        if (!(valeur_ <= mini_)) e |= StepDownEnabled;
        return e;
    }
    // Keys that cannot lead to a number are refused; a number being written is let through.
    QValidator::State validate(QString &t, int &) const override {
        if (Nombre(t)) return QValidator::Acceptable;
        static const QRegularExpression debut(QStringLiteral(R"(^\s*[+-]?\d*\.?\d*([eE][+-]?\d*)?\s*$)"));
        return debut.match(t).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
    }

private:
    // The number `t` gives in the field's data type, before bounds and format; nothing when
    // `t` is not a finite number written in the C locale.
    std::optional<double> Nombre(const QString &t) const {
        QByteArray b = t.trimmed().toLatin1();
        if (b.startsWith('+') && !b.startsWith("+-")) b.remove(0, 1);  // "+5", not "+-5"
        const char *debut = b.constData();
        const char *fin = debut + b.size();
        double d = 0;
        const auto r = std::from_chars(debut, fin, d);
        if (b.isEmpty() || r.ec != std::errc() || r.ptr != fin || !std::isfinite(d)) return std::nullopt;
        // Within the range of a float, the text itself is rounded to the nearest float; beyond
        // it, the field's bounds will hold the double.
        if (float f = 0; simple_ && std::fabs(d) >= FLT_MIN && std::fabs(d) <= FLT_MAX &&
                         std::from_chars(debut, fin, f).ec == std::errc())
            d = f;
        return d;
    }

    // What the operator typed, when the text is no longer the one shown and reads as a number.
    std::optional<double> Saisie() const {
        const QString t = lineEdit()->text();
        return t == texte_ ? std::nullopt : Nombre(t);
    }

    // The value as the field keeps it: bounded, to its decimals when fixed, in its data type.
    double Tenue(double v) const {
        v = std::isnan(v) ? v : std::clamp(v, mini_, maxi_);
        if (format_ == Format::Fixe && std::isfinite(v)) {
            // A small negative value shown as zero is zero, not "-0.00".
            const double montre = Nombre(Texte(v)).value_or(v);
            return montre == 0.0 ? 0.0 : montre;
        }
        return simple_ ? static_cast<float>(v) : v;
    }

    QString Texte(double v) const {
        if (std::isnan(v)) return QStringLiteral("NaN");
        // Enough for a fixed double of 1e308 with its 17 decimals.
        char tampon[400];
        const auto forme = format_ == Format::Fixe          ? std::chars_format::fixed
                           : format_ == Format::Scientifique ? std::chars_format::scientific
                                                             : std::chars_format::general;
        const auto r = std::to_chars(tampon, tampon + sizeof tampon, v, forme, precision_);
        return QString::fromLatin1(tampon, r.ec == std::errc() ? r.ptr - tampon : 0);
    }

    void Afficher() {
        texte_ = Texte(valeur_);
        lineEdit()->setText(texte_);
    }

    void Changer(double v) {
        const double avant = valeur_;
        valeur_ = Tenue(v);
        Afficher();
        const bool pareil = valeur_ == avant || (std::isnan(valeur_) && std::isnan(avant));
        if (!pareil && quand_change) quand_change();
    }

    Format format_;
    int precision_;
    bool simple_;  // a float numeric
    double valeur_ = 0.0;
    double mini_ = -1e300, maxi_ = 1e300;
    double pas_ = 1.0;
    QString texte_;
};

ChampReel *CommeReel(QWidget *w) { return dynamic_cast<ChampReel *>(w); }

// A real value read as an int: its integer part, held within the int's range (NaN gives 0).
int EntierTronque(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

// Geometry and label of a control: `cadre` holds the label and the widget.
QWidget *Encadrer(Controle &c, const DefControle &def, QWidget *parent, QWidget *widget,
                  const std::string &position_defaut) {
    const std::string pos = def.position_libelle.empty() ? position_defaut : def.position_libelle;
    if (c.libelle.empty() || pos == "none") {
        widget->setParent(parent);
        widget->setGeometry(def.gauche, def.haut, def.largeur, def.hauteur);
        return widget;
    }
    auto *cadre = new QWidget(parent);
    cadre->setGeometry(def.gauche, def.haut, def.largeur, def.hauteur);
    auto *etiquette = new QLabel(LibelleAvecRaccourci(c.libelle), cadre);
    etiquette->setBuddy(widget);
    c.etiquette = etiquette;
    QBoxLayout *l;
    if (pos == "left" || pos == "right") {
        l = new QHBoxLayout(cadre);
        if (pos == "left") {
            l->addWidget(etiquette);
            l->addWidget(widget, 1);
        } else {
            l->addWidget(widget);
            l->addWidget(etiquette, 1);
        }
    } else {
        l = new QVBoxLayout(cadre);
        l->setSpacing(2);
        l->addWidget(etiquette);
        l->addWidget(widget, 1);
    }
    l->setContentsMargins(0, 0, 0, 0);
    return cadre;
}

// ---- values of rings and valued switches: integers, texts, single-precision numbers ----

// An item's value as the resource file writes it, for a control whose `value_type` is
// `type` ("int", "string" or "float").
Element ElementDeJson(const QString &type, const QJsonValue &valeur) {
    Element e;
    if (type == "string") {
        e.valeur_texte = true;
        e.valeur_chaine = DepuisEcran(valeur.toString());
    } else if (type == "float") {
        e.valeur_reelle = true;
        e.valeur_reel = static_cast<float>(valeur.toDouble());
    } else {
        e.valeur_entier = valeur.toInt();
    }
    return e;
}

// A valued binary switch (`value_type` given): its off and its on position as two items.
void RemplirPositions(Controle &c, const QJsonObject &o) {
    const QString type = o.value("value_type").toString();
    if (type.isEmpty()) return;
    c.valeur_texte = type == "string";
    for (const char *cle : {"off_value", "on_value"}) c.elements.push_back(ElementDeJson(type, o.value(cle)));
    c.elements[0].libelle = c.texte_off;
    c.elements[1].libelle = c.texte_on;
}

void RemplirElements(Controle &c, const DefControle &def) {
    const QString type = def.brut.value("value_type").toString();
    c.valeur_texte = type == "string";
    c.valeur_reelle = type == "float";
    for (const QJsonValue &v : def.brut.value("items").toArray()) {
        const QJsonObject o = v.toObject();
        Element e = ElementDeJson(type, o.value("value"));
        e.libelle = DepuisEcran(o.value("label").toString());
        c.elements.push_back(std::move(e));
    }
}

// The slider of a slide control: a click beside the handle puts it at the position clicked (the
// handle is still dragged as usual), as the slides of instrument panels do.
class CurseurCliquable : public QSlider {
public:
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent *e) override {
        if (e->button() != Qt::LeftButton) return QSlider::mousePressEvent(e);
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        const QPoint clic = e->position().toPoint();
        const QRect poignee = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
        if (poignee.contains(clic)) return QSlider::mousePressEvent(e);
        const QRect sillon = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
        const bool horizontal = orientation() == Qt::Horizontal;
        const int taille_poignee = horizontal ? poignee.width() : poignee.height();
        const int debut = (horizontal ? sillon.x() : sillon.y()) + taille_poignee / 2;
        const int etendue = (horizontal ? sillon.width() : sillon.height()) - taille_poignee;
        setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), (horizontal ? clic.x() : clic.y()) - debut,
                                                 std::max(etendue, 1), opt.upsideDown));
        e->accept();
    }
};

// The label of a slide position: a click on it selects that position.
class EtiquettePosition : public QLabel {
public:
    EtiquettePosition(const QString &texte, QWidget *parent, QSlider *curseur, int position)
        : QLabel(texte, parent), curseur_(curseur), position_(position) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent *e) override {
        if (e->button() != Qt::LeftButton) return QLabel::mousePressEvent(e);
        curseur_->setValue(position_);
        e->accept();
    }

private:
    QSlider *curseur_;
    int position_;
};

// Slide of a ring: a vertical slider beside the labels of its items, first item at the top.
class Glissiere : public QWidget {
public:
    Glissiere(const std::vector<Element> &elements, QWidget *parent) : QWidget(parent) {
        auto *l = new QHBoxLayout(this);
        l->setContentsMargins(0, 0, 0, 0);
        curseur = new CurseurCliquable(Qt::Vertical, this);
        curseur->setInvertedAppearance(true);
        curseur->setInvertedControls(true);
        curseur->setTickPosition(QSlider::TicksRight);
        curseur->setPageStep(1);
        l->addWidget(curseur);
        etiquettes = new QVBoxLayout();
        etiquettes->setContentsMargins(0, 0, 0, 0);
        l->addLayout(etiquettes, 1);
        Reconstruire(elements);
    }
    void Reconstruire(const std::vector<Element> &elements) {
        while (QLayoutItem *it = etiquettes->takeAt(0)) {
            delete it->widget();
            delete it;
        }
        for (std::size_t k = 0; k < elements.size(); ++k)
            etiquettes->addWidget(
                new EtiquettePosition(VersEcran(elements[k].libelle), this, curseur, static_cast<int>(k)));
        QSignalBlocker b(curseur);
        curseur->setRange(0, std::max<int>(0, static_cast<int>(elements.size()) - 1));
    }
    QSlider *curseur;
    QVBoxLayout *etiquettes;
};

Glissiere *CommeGlissiere(QWidget *w) { return dynamic_cast<Glissiere *>(w); }

int IndexCourant(const Controle &c) {
    if (auto *combo = qobject_cast<QComboBox *>(c.widget)) return combo->currentIndex();
    if (auto *g = CommeGlissiere(c.widget)) return c.elements.empty() ? -1 : g->curseur->value();
    return -1;
}

void ChoisirIndex(Controle &c, int index) {
    if (auto *combo = qobject_cast<QComboBox *>(c.widget)) {
        QSignalBlocker b(combo);
        combo->setCurrentIndex(index);
    } else if (auto *g = CommeGlissiere(c.widget)) {
        QSignalBlocker b(g->curseur);
        g->curseur->setValue(index);
    }
}

void SynchroniserElements(Controle &c) {
    const int courant = IndexCourant(c);
    if (auto *combo = qobject_cast<QComboBox *>(c.widget)) {
        QSignalBlocker b(combo);
        combo->clear();
        for (const Element &e : c.elements) combo->addItem(VersEcran(e.libelle));
    } else if (auto *g = CommeGlissiere(c.widget)) {
        g->Reconstruire(c.elements);
    }
    if (!c.elements.empty())
        ChoisirIndex(c, std::clamp(courant, 0, static_cast<int>(c.elements.size()) - 1));
}

// The chosen item of a ring or slide, the position of a valued switch (0 off, 1 on).
int PositionCourante(const Controle &c) {
    if (c.genre != CTRL_BINARY_SWITCH) return IndexCourant(c);
    auto *s = qobject_cast<QSlider *>(c.widget);
    return s ? s->value() : -1;
}

void ChoisirPosition(Controle &c, int k) {
    if (c.genre != CTRL_BINARY_SWITCH) return ChoisirIndex(c, k);
    if (auto *s = qobject_cast<QSlider *>(c.widget)) {
        QSignalBlocker b(s);
        s->setValue(k);
    }
}

// The item (or switch position) now chosen; null when none is or the control has no items.
const Element *ElementCourant(const Controle &c) {
    const int k = PositionCourante(c);
    if (k < 0 || k >= static_cast<int>(c.elements.size())) return nullptr;
    return &c.elements[static_cast<std::size_t>(k)];
}

// Whether an item holds this value; a single-precision item matches the value taken to single
// precision, as the control would hold it.
bool MemeValeur(const Element &e, int v) { return !e.valeur_texte && !e.valeur_reelle && e.valeur_entier == v; }
bool MemeValeur(const Element &e, double v) {
    return e.valeur_reelle && e.valeur_reel == static_cast<double>(static_cast<float>(v));
}
bool MemeValeur(const Element &e, const std::string &v) { return e.valeur_texte && e.valeur_chaine == v; }

// Chooses the first item of that value; UIE_BAD_INDEX, the choice unchanged, when none has it.
template <class V>
int ChoisirValeur(Controle &c, const V &v) {
    for (std::size_t k = 0; k < c.elements.size(); ++k)
        if (MemeValeur(c.elements[k], v)) {
            ChoisirPosition(c, static_cast<int>(k));
            return 0;
        }
    return UIE_BAD_INDEX;
}

// The value of the chosen item (or switch position); UIE_BAD_INDEX when none is chosen or its
// value is of another type.
int LireValeur(const Controle &c, int *value) {
    const Element *e = ElementCourant(c);
    if (!e || e->valeur_texte || e->valeur_reelle) return UIE_BAD_INDEX;
    *value = e->valeur_entier;
    return 0;
}
int LireValeur(const Controle &c, double *value) {
    const Element *e = ElementCourant(c);
    if (!e || !e->valeur_reelle) return UIE_BAD_INDEX;
    *value = e->valeur_reel;
    return 0;
}
int LireValeur(const Controle &c, std::string *value) {
    const Element *e = ElementCourant(c);
    if (!e || !e->valeur_texte) return UIE_BAD_INDEX;
    *value = e->valeur_chaine;
    return 0;
}

// The initial value of a resource file: the item that holds it, as SetCtrlVal would choose.
void ChoisirValeurJson(Controle &c, const QJsonValue &v) {
    if (v.isString()) ChoisirValeur(c, DepuisEcran(v.toString()));
    else if (v.isDouble() && c.valeur_reelle) ChoisirValeur(c, v.toDouble());
    else if (v.isDouble()) ChoisirValeur(c, v.toInt());
}

QListWidget *Liste(const Controle &c) { return qobject_cast<QListWidget *>(c.widget); }
QTableWidget *Table(const Controle &c) { return qobject_cast<QTableWidget *>(c.widget); }

void Montrer(QListWidgetItem *it, const std::string &libelle) {
    it->setData(RoleBrut, Octets(libelle));
    it->setText(VersEcran(libelle));
}

void TexteInterrupteur(Controle &c) {
    if (auto *b = qobject_cast<QPushButton *>(c.widget); b && c.genre == CTRL_TOGGLE_BUTTON)
        b->setText(VersEcran(b->isChecked() ? c.texte_on : c.texte_off));
}

int Faux() { return UIE_BAD_ATTRIBUTE; }

}  // namespace

void DemarrerTimer(Controle &c) {
    if (!c.timer) return;
    // The fake clock only moves when a test advances it: ticks are then fired by the test.
    if (!c.actif || horloge::HorlogeFactice()) {
        c.timer->stop();
        return;
    }
    // The toolkit's timers count milliseconds in an int: longer intervals are held at its
    // limit (about 24 days).
    const double ms = std::clamp(c.intervalle * 1000.0 / horloge::Vitesse(), 1.0, 2147483647.0);
    c.timer->start(static_cast<int>(std::lround(ms)));
}

void CreerWidget(Panneau &panneau, Controle &c, const DefControle &def, QWidget *parent) {
    const QJsonObject &o = def.brut;
    const int handle = panneau.handle;
    const int id = c.id;
    auto envoyer = [handle, id](int event, int d1 = 0, int d2 = 0) {
        Distribuer(handle, id, event, d1, d2);
    };
    QWidget *cadre = nullptr;
    switch (c.genre) {
    case CTRL_COMMAND_BUTTON: {
        auto *b = new QPushButton(LibelleAvecRaccourci(c.libelle));
        QObject::connect(b, &QPushButton::clicked, [envoyer] { envoyer(EVENT_COMMIT); });
        c.widget = b;
        cadre = Encadrer(c, def, parent, b, "none");
        break;
    }
    case CTRL_PICTURE_BUTTON: {
        auto *b = new QToolButton();
        const QString image = o.value("picture").toString();
        const auto icone = image == "save" ? QStyle::SP_DialogSaveButton
                           : image == "open" ? QStyle::SP_DialogOpenButton
                                             : QStyle::SP_FileIcon;
        b->setIcon(QApplication::style()->standardIcon(icone));
        b->setIconSize(QSize(def.largeur * 2 / 3, def.hauteur * 2 / 3));
        b->setToolTip(LibelleVisible(c.libelle));
        QObject::connect(b, &QToolButton::clicked, [envoyer] { envoyer(EVENT_COMMIT); });
        c.widget = b;
        cadre = Encadrer(c, def, parent, b, "none");
        break;
    }
    case CTRL_NUMERIC: {
        const QString type = o.value("data_type").toString();
        c.reel = type == "double" || type == "float";
        const bool simple = type == "float";
        const double borne = simple ? FLT_MAX : c.reel ? 1e300 : 2147483647.0;
        c.mini = o.value("min").toDouble(-borne);
        c.maxi = o.value("max").toDouble(borne);
        QAbstractSpinBox *s;
        if (c.reel) {
            const QString format = o.value("format").toString();
            const auto f = format == "general"      ? ChampReel::Format::General
                           : format == "scientific" ? ChampReel::Format::Scientifique
                                                    : ChampReel::Format::Fixe;
            auto *r = new ChampReel(f, o.value("precision").toInt(f == ChampReel::Format::General ? 6 : 2), simple);
            r->FixerBornes(c.mini, c.maxi);
            r->FixerPas(o.value("increment").toDouble(1.0));
            r->Fixer(o.value("value").toDouble());
            r->quand_change = [envoyer] {
                envoyer(EVENT_VAL_CHANGED);
                envoyer(EVENT_COMMIT);
            };
            s = r;
        } else {
            auto *i = new QSpinBox();
            i->setRange(static_cast<int>(c.mini), static_cast<int>(c.maxi));
            i->setSingleStep(o.value("increment").toInt(1));
            i->setValue(o.value("value").toInt());
            QObject::connect(i, &QSpinBox::valueChanged, [envoyer] {
                envoyer(EVENT_VAL_CHANGED);
                envoyer(EVENT_COMMIT);
            });
            s = i;
        }
        // The value is taken when the operator presses Enter or leaves the field, not at
        // every key.
        s->setKeyboardTracking(false);
        s->setLocale(QLocale::c());
        // An indicator shows a value the program writes: no arrows, no typing.
        if (o.value("indicator").toBool(false)) {
            s->setReadOnly(true);
            s->setButtonSymbols(QAbstractSpinBox::NoButtons);
        }
        c.widget = s;
        cadre = Encadrer(c, def, parent, s, "top");
        break;
    }
    case CTRL_RING:
    case CTRL_SLIDE: {
        RemplirElements(c, def);
        if (c.genre == CTRL_RING) {
            auto *combo = new QComboBox();
            QObject::connect(combo, &QComboBox::activated, [envoyer] {
                envoyer(EVENT_VAL_CHANGED);
                envoyer(EVENT_COMMIT);
            });
            c.widget = combo;
        } else {
            auto *g = new Glissiere(c.elements, nullptr);
            QObject::connect(g->curseur, &QSlider::valueChanged, [envoyer] {
                envoyer(EVENT_VAL_CHANGED);
                envoyer(EVENT_COMMIT);
            });
            c.widget = g;
        }
        SynchroniserElements(c);
        // The initial value names an item by its value.
        ChoisirValeurJson(c, o.value("value"));
        cadre = Encadrer(c, def, parent, c.widget, "top");
        break;
    }
    case CTRL_STRING: {
        auto *e = new QLineEdit(VersEcran(DepuisEcran(o.value("value").toString())));
        c.longueur_max = o.value("max_length").toInt(0);
        if (c.longueur_max > 0) e->setMaxLength(c.longueur_max);
        QObject::connect(e, &QLineEdit::editingFinished, [envoyer, e] {
            if (!e->isModified()) return;
            e->setModified(false);
            envoyer(EVENT_VAL_CHANGED);
            envoyer(EVENT_COMMIT);
        });
        c.widget = e;
        cadre = Encadrer(c, def, parent, e, "top");
        break;
    }
    case CTRL_TEXT_MSG: {
        const std::string v = DepuisEcran(o.value("value").toString());
        auto *l = new QLabel(VersEcran(v));
        l->setProperty("brut", Octets(v));
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        c.widget = l;
        cadre = Encadrer(c, def, parent, l, "top");
        break;
    }
    case CTRL_LIST_BOX: {
        auto *l = new QListWidget();
        l->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        l->setItemDelegate(new DelegueSeparateur(l));
        l->setUniformItemSizes(true);
        l->setProperty("coches", o.value("check_mode").toBool(false));
        QObject::connect(l, &QListWidget::itemChanged, [envoyer, l](QListWidgetItem *it) {
            envoyer(EVENT_MARK_STATE_CHANGE, 0, l->row(it));
        });
        QObject::connect(l, &QListWidget::itemDoubleClicked, [envoyer, l](QListWidgetItem *it) {
            envoyer(EVENT_LEFT_DOUBLE_CLICK, l->row(it), 0);
        });
        QObject::connect(l, &QListWidget::currentRowChanged, [envoyer](int) {
            envoyer(EVENT_VAL_CHANGED);
        });
        c.widget = l;
        cadre = Encadrer(c, def, parent, l, "top");
        break;
    }
    case CTRL_TABLE: {
        const QJsonArray colonnes = o.value("columns").toArray();
        auto *t = new Tableau(0, static_cast<int>(colonnes.size()));
        QStringList titres;
        for (const QJsonValue &v : colonnes) titres << v.toString();
        t->setHorizontalHeaderLabels(titres);
        t->horizontalHeader()->setStretchLastSection(true);
        for (int k = 0; k + 1 < t->columnCount(); ++k)
            t->horizontalHeader()->setSectionResizeMode(k, QHeaderView::ResizeToContents);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->verticalHeader()->setVisible(false);
        c.widget = t;
        cadre = Encadrer(c, def, parent, t, "top");
        break;
    }
    case CTRL_CHECK_BOX: {
        auto *b = new QCheckBox(LibelleAvecRaccourci(c.libelle));
        b->setChecked(o.value("value").toInt() != 0);
        QObject::connect(b, &QCheckBox::clicked, [envoyer] {
            envoyer(EVENT_VAL_CHANGED);
            envoyer(EVENT_COMMIT);
        });
        c.widget = b;
        cadre = b;
        b->setParent(parent);
        b->setGeometry(def.gauche, def.haut, def.largeur, def.hauteur);
        break;
    }
    case CTRL_TOGGLE_BUTTON: {
        c.texte_on = DepuisEcran(o.value("on_text").toString());
        c.texte_off = DepuisEcran(o.value("off_text").toString());
        auto *b = new QPushButton();
        b->setCheckable(true);
        b->setChecked(o.value("value").toInt() != 0);
        c.widget = b;
        TexteInterrupteur(c);
        Controle *pc = &c;
        QObject::connect(b, &QPushButton::clicked, [envoyer, pc] {
            TexteInterrupteur(*pc);
            envoyer(EVENT_VAL_CHANGED);
            envoyer(EVENT_COMMIT);
        });
        cadre = Encadrer(c, def, parent, b, "top");
        break;
    }
    case CTRL_BINARY_SWITCH: {
        c.texte_on = DepuisEcran(o.value("on_text").toString());
        c.texte_off = DepuisEcran(o.value("off_text").toString());
        auto *boite = new QWidget();
        auto *l = new QHBoxLayout(boite);
        l->setContentsMargins(0, 0, 0, 0);
        auto *s = new CurseurCliquable(Qt::Horizontal, boite);
        auto *off = new EtiquettePosition(VersEcran(c.texte_off), boite, s, 0);
        s->setRange(0, 1);
        s->setPageStep(1);
        s->setFixedWidth(44);
        s->setValue(o.value("value").toInt() != 0 ? 1 : 0);
        auto *on = new EtiquettePosition(VersEcran(c.texte_on), boite, s, 1);
        off->setObjectName("off");
        on->setObjectName("on");
        l->addWidget(off);
        l->addWidget(s);
        l->addWidget(on);
        l->addStretch(1);
        QObject::connect(s, &QSlider::valueChanged, [envoyer] {
            envoyer(EVENT_VAL_CHANGED);
            envoyer(EVENT_COMMIT);
        });
        c.widget = s;
        // A switch with values of its own starts on the position that holds "value".
        RemplirPositions(c, o);
        if (!c.elements.empty()) ChoisirValeurJson(c, o.value("value"));
        cadre = Encadrer(c, def, parent, boite, "top");
        break;
    }
    case CTRL_LED: {
        const QColor couleur(o.value("on_color").toString("#30d030"));
        auto *v = new Voyant(couleur, nullptr);
        v->Allumer(o.value("value").toInt() != 0);
        v->setFixedSize(std::min(def.hauteur, 22), std::min(def.hauteur, 22));
        c.widget = v;
        cadre = Encadrer(c, def, parent, v, "right");
        break;
    }
    case CTRL_TIMER: {
        c.timer = new QTimer(panneau.fenetre);
        c.timer->setTimerType(Qt::PreciseTimer);
        c.intervalle = o.value("interval").toDouble(1.0);
        c.actif = o.value("enabled").toBool(true);
        QObject::connect(c.timer, &QTimer::timeout, [envoyer] { envoyer(EVENT_TIMER_TICK); });
        DemarrerTimer(c);
        return;
    }
    case CTRL_CANVAS:
    case CTRL_TAB: {
        auto *f = new QFrame();
        f->setFrameShape(QFrame::StyledPanel);
        c.widget = f;
        cadre = Encadrer(c, def, parent, f, "none");
        break;
    }
    default:  // the graph control (ui_graph.cpp)
        cadre = CreerWidgetEtendu(panneau, c, def, parent);
        break;
    }
    c.widget->setObjectName(QString::fromStdString(c.constante));
    c.cadre = cadre;
    cadre->setEnabled(!c.grise);
    cadre->setVisible(c.visible);
}

}  // namespace ui_detail

using namespace ui_detail;

namespace {


}  // namespace

// ---- values -------------------------------------------------------------------------------

int SetCtrlVal(int panel, int control, int value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QWidget *w = c.widget;
        QSignalBlocker b(w);
        switch (c.genre) {
        case CTRL_NUMERIC:
            if (auto *i = qobject_cast<QSpinBox *>(w)) i->setValue(value);
            else if (auto *r = CommeReel(w)) r->Fixer(value);
            return 0;
        case CTRL_RING:
        case CTRL_SLIDE:
            // A ring of single-precision values takes the integer as that number.
            return c.valeur_reelle ? ChoisirValeur(c, static_cast<double>(value)) : ChoisirValeur(c, value);
        case CTRL_CHECK_BOX:
            qobject_cast<QCheckBox *>(w)->setChecked(value != 0);
            return 0;
        case CTRL_TOGGLE_BUTTON:
            qobject_cast<QPushButton *>(w)->setChecked(value != 0);
            TexteInterrupteur(c);
            return 0;
        case CTRL_BINARY_SWITCH:
            if (!c.elements.empty()) return ChoisirValeur(c, value);  // a switch with values
            qobject_cast<QSlider *>(w)->setValue(value != 0 ? 1 : 0);
            return 0;
        case CTRL_LED:
            CommeVoyant(w)->Allumer(value != 0);
            return 0;
        case CTRL_LIST_BOX:
            if (value < 0 || value >= Liste(c)->count()) return UIE_BAD_INDEX;
            Liste(c)->setCurrentRow(value);
            return 0;
        default:
            return Faux();
        }
    });
}

int SetCtrlVal(int panel, int control, double value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (c.genre != CTRL_NUMERIC) return c.valeur_reelle ? ChoisirValeur(c, value) : Faux();
        QSignalBlocker b(c.widget);
        if (auto *r = CommeReel(c.widget)) r->Fixer(value);
        else if (auto *i = qobject_cast<QSpinBox *>(c.widget)) i->setValue(static_cast<int>(std::lround(value)));
        return 0;
    });
}

int SetCtrlVal(int panel, int control, const char *value) {
    const std::string v = value ? value : "";
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QSignalBlocker b(c.widget);
        switch (c.genre) {
        case CTRL_STRING: {
            auto *e = qobject_cast<QLineEdit *>(c.widget);
            e->setText(VersEcran(v));
            e->setModified(false);
            return 0;
        }
        case CTRL_TEXT_MSG:
            c.widget->setProperty("brut", Octets(v));
            qobject_cast<QLabel *>(c.widget)->setText(VersEcran(v));
            return 0;
        case CTRL_RING:
        case CTRL_SLIDE:
            return ChoisirValeur(c, v);
        case CTRL_BINARY_SWITCH:
            return c.elements.empty() ? Faux() : ChoisirValeur(c, v);
        default:
            return Faux();
        }
    });
}

int GetCtrlVal(int panel, int control, int *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QWidget *w = c.widget;
        switch (c.genre) {
        case CTRL_NUMERIC:
            if (auto *i = qobject_cast<QSpinBox *>(w)) *value = i->value();
            else *value = EntierTronque(CommeReel(w)->Valeur());
            return 0;
        case CTRL_RING:
        case CTRL_SLIDE:
            return LireValeur(c, value);
        case CTRL_CHECK_BOX:
            *value = qobject_cast<QCheckBox *>(w)->isChecked() ? 1 : 0;
            return 0;
        case CTRL_TOGGLE_BUTTON:
            *value = qobject_cast<QPushButton *>(w)->isChecked() ? 1 : 0;
            return 0;
        case CTRL_BINARY_SWITCH:
            if (!c.elements.empty()) return LireValeur(c, value);  // a switch with values
            *value = qobject_cast<QSlider *>(w)->value();
            return 0;
        case CTRL_LED:
            *value = CommeVoyant(w)->Allume() ? 1 : 0;
            return 0;
        case CTRL_LIST_BOX:
            *value = Liste(c)->currentRow();
            return 0;
        default:
            return Faux();
        }
    });
}

int GetCtrlVal(int panel, int control, double *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (c.valeur_reelle) return LireValeur(c, value);
        if (c.genre != CTRL_NUMERIC) {
            int v = 0;
            const int r = GetCtrlVal(panel, control, &v);
            *value = v;
            return r;
        }
        if (auto *r = CommeReel(c.widget)) *value = r->Valeur();
        else *value = qobject_cast<QSpinBox *>(c.widget)->value();
        return 0;
    });
}

int GetCtrlVal(int panel, int control, float *value) {
    double d = 0;
    const int r = GetCtrlVal(panel, control, &d);
    if (r >= 0) *value = static_cast<float>(d);
    return r;
}

int GetCtrlVal(int panel, int control, char *value, std::size_t size) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (c.genre) {
        case CTRL_STRING:
            Copier(DepuisEcran(qobject_cast<QLineEdit *>(c.widget)->text()), value, size);
            return 0;
        case CTRL_TEXT_MSG:
            Copier(Chaine(c.widget->property("brut")), value, size);
            return 0;
        case CTRL_RING:
        case CTRL_SLIDE:
        case CTRL_BINARY_SWITCH: {
            if (c.genre == CTRL_BINARY_SWITCH && c.elements.empty()) return Faux();
            std::string texte;
            const int r = LireValeur(c, &texte);
            if (r == 0) Copier(texte, value, size);
            return r;
        }
        default:
            return Faux();
        }
    });
}

// ---- attributes ---------------------------------------------------------------------------

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (attribute) {
        case ATTR_DIMMED:
            c.grise = value != 0;
            if (c.cadre) c.cadre->setEnabled(!c.grise);
            return 0;
        case ATTR_VISIBLE:
            c.visible = value != 0;
            if (c.cadre) c.cadre->setVisible(c.visible);
            return 0;
        case ATTR_MAX_ENTRY_LENGTH:
            if (c.genre != CTRL_STRING) return Faux();
            c.longueur_max = value;
            qobject_cast<QLineEdit *>(c.widget)->setMaxLength(value > 0 ? value : 32767);
            return 0;
        case ATTR_ENABLED:
            if (c.genre != CTRL_TIMER) return Faux();
            c.actif = value != 0;
            DemarrerTimer(c);
            return 0;
        case ATTR_INTERVAL:
            return SetCtrlAttribute(panel, control, attribute, static_cast<double>(value));
        case ATTR_FIRST_VISIBLE_LINE: {
            QListWidget *l = Liste(c);
            if (!l) return Faux();
            if (value < 0 || (value >= l->count() && l->count() > 0)) return UIE_BAD_INDEX;
            l->doItemsLayout();  // the scroll range follows the items only once laid out
            l->verticalScrollBar()->setValue(value);
            return 0;
        }
        case ATTR_MIN_VALUE:
        case ATTR_MAX_VALUE:
            return SetCtrlAttribute(panel, control, attribute, static_cast<double>(value));
        default:
            return FixerAttributEtendu(c, attribute, value);
        }
    });
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (attribute) {
        case ATTR_INTERVAL:
            if (c.genre != CTRL_TIMER || !(value > 0)) return Faux();
            c.intervalle = value;
            // A new interval starts a new period from now.
            DemarrerTimer(c);
            return 0;
        case ATTR_MIN_VALUE:
        case ATTR_MAX_VALUE: {
            if (c.genre != CTRL_NUMERIC) return Faux();
            (attribute == ATTR_MIN_VALUE ? c.mini : c.maxi) = value;
            QSignalBlocker b(c.widget);
            if (auto *r = CommeReel(c.widget)) r->FixerBornes(c.mini, c.maxi);
            else qobject_cast<QSpinBox *>(c.widget)->setRange(static_cast<int>(c.mini), static_cast<int>(c.maxi));
            return 0;
        }
        default:
            return SetCtrlAttribute(panel, control, attribute, static_cast<int>(value));
        }
    });
}

int SetCtrlAttribute(int panel, int control, int attribute, const char *value) {
    const std::string v = value ? value : "";
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (attribute) {
        case ATTR_LABEL_TEXT:
            c.libelle = v;
            if (c.etiquette) c.etiquette->setText(LibelleAvecRaccourci(v));
            else if (auto *b = qobject_cast<QAbstractButton *>(c.widget); b && c.genre != CTRL_TOGGLE_BUTTON)
                b->setText(LibelleAvecRaccourci(v));
            if (c.genre == CTRL_PICTURE_BUTTON) c.widget->setToolTip(LibelleVisible(v));
            return 0;
        case ATTR_ON_TEXT:
        case ATTR_OFF_TEXT:
            if (c.genre != CTRL_TOGGLE_BUTTON && c.genre != CTRL_BINARY_SWITCH) return Faux();
            (attribute == ATTR_ON_TEXT ? c.texte_on : c.texte_off) = v;
            if (c.genre == CTRL_TOGGLE_BUTTON) {
                TexteInterrupteur(c);
            } else if (c.widget) {
                auto *l = c.widget->parentWidget()->findChild<QLabel *>(attribute == ATTR_ON_TEXT ? "on" : "off");
                if (l) l->setText(VersEcran(v));
            }
            return 0;
        default:
            return Faux();
        }
    });
}

int SetCtrlAttribute(int panel, int control, int attribute, void *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (attribute != ATTR_CALLBACK_DATA) return Faux();
        c.donnees = value;
        return 0;
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (attribute) {
        case ATTR_DIMMED: *value = c.grise; return 0;
        case ATTR_VISIBLE: *value = c.visible; return 0;
        case ATTR_ENABLED:
            if (c.genre != CTRL_TIMER) return Faux();
            *value = c.actif;
            return 0;
        case ATTR_MAX_ENTRY_LENGTH:
            if (c.genre != CTRL_STRING) return Faux();
            *value = c.longueur_max;
            return 0;
        case ATTR_CTRL_KIND: *value = c.genre; return 0;
        case ATTR_VISIBLE_LINES: {
            QListWidget *l = Liste(c);
            if (!l) return Faux();
            // Rows the list shows whole, as its own scrolling counts them.
            l->doItemsLayout();
            if (l->count() > 0 && l->verticalScrollBar()->maximum() > 0) {
                *value = l->verticalScrollBar()->pageStep();
            } else {
                const int ligne = l->count() > 0 ? l->sizeHintForRow(0) : l->fontMetrics().height();
                *value = std::max(1, l->viewport()->height() / std::max(1, ligne));
            }
            return 0;
        }
        case ATTR_FIRST_VISIBLE_LINE: {
            QListWidget *l = Liste(c);
            if (!l) return Faux();
            *value = l->verticalScrollBar()->value();
            return 0;
        }
        default:
            return LireAttributEtendu(c, attribute, value);
        }
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, double *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (attribute) {
        case ATTR_INTERVAL:
            if (c.genre != CTRL_TIMER) return Faux();
            *value = c.intervalle;
            return 0;
        case ATTR_MIN_VALUE: *value = c.mini; return c.genre == CTRL_NUMERIC ? 0 : Faux();
        case ATTR_MAX_VALUE: *value = c.maxi; return c.genre == CTRL_NUMERIC ? 0 : Faux();
        default:
            return Faux();
        }
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, void **value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (attribute != ATTR_CALLBACK_DATA) return Faux();
        *value = c.donnees;
        return 0;
    });
}

int GetCtrlAttribute(int panel, int control, int attribute, char *value, std::size_t size) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        switch (attribute) {
        case ATTR_LABEL_TEXT: Copier(c.libelle, value, size); return 0;
        case ATTR_ON_TEXT: Copier(c.texte_on, value, size); return 0;
        case ATTR_OFF_TEXT: Copier(c.texte_off, value, size); return 0;
        default: return Faux();
        }
    });
}

// ---- list boxes and rings -----------------------------------------------------------------

namespace {

int InsererElement(int panel, int control, int index, const char *label, const Element &modele) {
    const std::string libelle = label ? label : "";
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            if (index < -1 || index > l->count()) return UIE_BAD_INDEX;
            QSignalBlocker b(l);
            auto *it = new QListWidgetItem();
            Montrer(it, libelle);
            it->setData(RoleValeurTexte, modele.valeur_texte);
            it->setData(RoleValeur, modele.valeur_texte ? QVariant(Octets(modele.valeur_chaine))
                                                        : QVariant(modele.valeur_entier));
            if (l->property("coches").toBool()) {
                it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
                it->setCheckState(Qt::Unchecked);
            }
            l->insertItem(index < 0 ? l->count() : index, it);
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            const int n = static_cast<int>(c.elements.size());
            if (index < -1 || index > n) return UIE_BAD_INDEX;
            Element e = modele;
            e.libelle = libelle;
            c.elements.insert(c.elements.begin() + (index < 0 ? n : index), std::move(e));
            SynchroniserElements(c);
            return 0;
        }
        return Faux();
    });
}

int RemplacerElement(int panel, int control, int index, const char *label, const Element &modele) {
    const std::string libelle = label ? label : "";
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            QListWidgetItem *it = l->item(index);
            if (!it) return UIE_BAD_INDEX;
            QSignalBlocker b(l);
            Montrer(it, libelle);
            it->setData(RoleValeurTexte, modele.valeur_texte);
            it->setData(RoleValeur, modele.valeur_texte ? QVariant(Octets(modele.valeur_chaine))
                                                        : QVariant(modele.valeur_entier));
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
            Element e = modele;
            e.libelle = libelle;
            c.elements[static_cast<std::size_t>(index)] = std::move(e);
            SynchroniserElements(c);
            return 0;
        }
        return Faux();
    });
}

Element ValeurEntiere(int v) {
    Element e;
    e.valeur_entier = v;
    return e;
}
Element ValeurTexte(const char *v) {
    Element e;
    e.valeur_texte = true;
    e.valeur_chaine = v ? v : "";
    return e;
}

}  // namespace

int ClearListCtrl(int panel, int control) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            QSignalBlocker b(l);
            l->clear();
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            c.elements.clear();
            SynchroniserElements(c);
            return 0;
        }
        return Faux();
    });
}

int InsertListItem(int panel, int control, int index, const char *label, int value) {
    return InsererElement(panel, control, index, label, ValeurEntiere(value));
}
int InsertListItem(int panel, int control, int index, const char *label, const char *value) {
    return InsererElement(panel, control, index, label, ValeurTexte(value));
}
int ReplaceListItem(int panel, int control, int index, const char *label, int value) {
    return RemplacerElement(panel, control, index, label, ValeurEntiere(value));
}
int ReplaceListItem(int panel, int control, int index, const char *label, const char *value) {
    return RemplacerElement(panel, control, index, label, ValeurTexte(value));
}

int DeleteListItem(int panel, int control, int index, int count) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            const int n = l->count();
            if (index < 0 || index >= n) return UIE_BAD_INDEX;
            const int fin = count < 0 ? n : std::min(n, index + count);
            QSignalBlocker b(l);
            for (int k = fin - 1; k >= index; --k) delete l->takeItem(k);
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            const int n = static_cast<int>(c.elements.size());
            if (index < 0 || index >= n) return UIE_BAD_INDEX;
            const int fin = count < 0 ? n : std::min(n, index + count);
            c.elements.erase(c.elements.begin() + index, c.elements.begin() + fin);
            SynchroniserElements(c);
            return 0;
        }
        return Faux();
    });
}

int GetNumListItems(int panel, int control, int *count) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) *count = l->count();
        else if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) *count = static_cast<int>(c.elements.size());
        else return Faux();
        return 0;
    });
}

int GetLabelFromIndex(int panel, int control, int index, char *label, std::size_t size) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            QListWidgetItem *it = l->item(index);
            if (!it) return UIE_BAD_INDEX;
            Copier(Chaine(it->data(RoleBrut)), label, size);
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
            Copier(c.elements[static_cast<std::size_t>(index)].libelle, label, size);
            return 0;
        }
        return Faux();
    });
}

int GetValueFromIndex(int panel, int control, int index, int *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            QListWidgetItem *it = l->item(index);
            if (!it) return UIE_BAD_INDEX;
            if (it->data(RoleValeurTexte).toBool()) return Faux();
            *value = it->data(RoleValeur).toInt();
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
            const Element &e = c.elements[static_cast<std::size_t>(index)];
            if (e.valeur_texte || e.valeur_reelle) return Faux();
            *value = e.valeur_entier;
            return 0;
        }
        return Faux();
    });
}

int GetValueFromIndex(int panel, int control, int index, char *value, std::size_t size) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            QListWidgetItem *it = l->item(index);
            if (!it) return UIE_BAD_INDEX;
            if (!it->data(RoleValeurTexte).toBool()) return Faux();
            Copier(Chaine(it->data(RoleValeur)), value, size);
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
            const Element &e = c.elements[static_cast<std::size_t>(index)];
            if (!e.valeur_texte) return Faux();
            Copier(e.valeur_chaine, value, size);
            return 0;
        }
        return Faux();
    });
}

// The value of item `index` of a ring of single-precision values.
int GetValueFromIndex(int panel, int control, int index, double *value) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (c.genre != CTRL_RING && c.genre != CTRL_SLIDE) return Faux();
        if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
        const Element &e = c.elements[static_cast<std::size_t>(index)];
        if (!e.valeur_reelle) return Faux();
        *value = e.valeur_reel;
        return 0;
    });
}

int GetCtrlIndex(int panel, int control, int *index) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) *index = l->currentRow();
        else if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) *index = IndexCourant(c);
        else return Faux();
        return 0;
    });
}

int SetCtrlIndex(int panel, int control, int index) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        if (QListWidget *l = Liste(c)) {
            if (index < 0 || index >= l->count()) return UIE_BAD_INDEX;
            QSignalBlocker b(l);
            l->setCurrentRow(index);
            return 0;
        }
        if (c.genre == CTRL_RING || c.genre == CTRL_SLIDE) {
            if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
            ChoisirIndex(c, index);
            return 0;
        }
        return Faux();
    });
}

int IsListItemChecked(int panel, int control, int index, int *checked) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QListWidget *l = Liste(c);
        if (!l) return Faux();
        QListWidgetItem *it = l->item(index);
        if (!it) return UIE_BAD_INDEX;
        *checked = it->checkState() == Qt::Checked ? 1 : 0;
        return 0;
    });
}

int CheckListItem(int panel, int control, int index, int checked) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QListWidget *l = Liste(c);
        if (!l) return Faux();
        QListWidgetItem *it = l->item(index);
        if (!it) return UIE_BAD_INDEX;
        QSignalBlocker b(l);
        it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        return 0;
    });
}

// ---- tables -------------------------------------------------------------------------------

int DeleteTableRows(int panel, int control, int row, int count) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QTableWidget *t = Table(c);
        if (!t) return Faux();
        const int n = t->rowCount();
        if (n == 0 && count < 0) return 0;
        if (row < 1 || row > n) return UIE_BAD_INDEX;
        const int fin = count < 0 ? n : std::min(n, row - 1 + count);
        // The view stays where it is: a removed current cell passes to a neighbour without
        // scrolling the table to it.
        const bool suivre = t->hasAutoScroll();
        t->setAutoScroll(false);
        for (int k = fin - 1; k >= row - 1; --k) t->removeRow(k);
        t->setAutoScroll(suivre);
        return 0;
    });
}

int InsertTableRows(int panel, int control, int row, int count) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QTableWidget *t = Table(c);
        if (!t) return Faux();
        const int n = t->rowCount();
        if (count < 0 || (row != -1 && (row < 1 || row > n + 1))) return UIE_BAD_INDEX;
        const int debut = row == -1 ? n : row - 1;
        for (int k = 0; k < count; ++k) t->insertRow(debut + k);
        return 0;
    });
}

int GetNumTableRows(int panel, int control, int *rows) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QTableWidget *t = Table(c);
        if (!t) return Faux();
        *rows = t->rowCount();
        return 0;
    });
}

int SetTableCellVal(int panel, int control, Point cell, const char *value) {
    const std::string v = value ? value : "";
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QTableWidget *t = Table(c);
        if (!t) return Faux();
        if (cell.x < 1 || cell.x > t->columnCount() || cell.y < 1 || cell.y > t->rowCount())
            return UIE_BAD_INDEX;
        // The cell shows its text without trailing line ends (replies of instruments end with
        // one); the whole text stays readable in its tooltip and through GetTableCellVal.
        auto *it = new QTableWidgetItem(VersEcran(v).trimmed());
        it->setToolTip(VersEcran(v).trimmed());
        it->setData(RoleBrut, Octets(v));
        t->setItem(cell.y - 1, cell.x - 1, it);
        return 0;
    });
}

int GetTableCellVal(int panel, int control, Point cell, char *value, std::size_t size) {
    return AvecControle(panel, control, [&](Controle &c) -> int {
        QTableWidget *t = Table(c);
        if (!t) return Faux();
        if (cell.x < 1 || cell.x > t->columnCount() || cell.y < 1 || cell.y > t->rowCount())
            return UIE_BAD_INDEX;
        QTableWidgetItem *it = t->item(cell.y - 1, cell.x - 1);
        Copier(it ? Chaine(it->data(RoleBrut)) : std::string(), value, size);
        return 0;
    });
}
