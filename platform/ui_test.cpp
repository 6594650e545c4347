// Test driving of the user interface (see ui_test.h).
#include "platform/ui_test.h"

#include "platform/ui_internal.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QTest>

#include <charconv>
#include <string>

namespace ui_detail {
std::vector<int> HandlesCharges();
}

using namespace ui_detail;

namespace {

// The widget is usable by the operator only when it and its frame are enabled.
bool Utilisable(const Controle &c) { return c.widget && c.widget->isEnabled() && c.cadre && c.cadre->isEnabled(); }

template <class F>
int Operer(int panel, int control, F &&f) {
    return AvecControle(panel, control, [&](Controle &c) { return Utilisable(c) ? f(c) : 0; });
}

}  // namespace

namespace ui_test {

int Cliquer(int panel, int control) {
    return Operer(panel, control, [](Controle &c) -> int {
        if (auto *b = qobject_cast<QAbstractButton *>(c.widget)) {
            QTest::mouseClick(b, Qt::LeftButton);
            return 0;
        }
        if (auto *s = qobject_cast<QSlider *>(c.widget); s && c.genre == CTRL_BINARY_SWITCH) {
            // A click on the switch moves it to its other position.
            s->triggerAction(s->value() ? QSlider::SliderPageStepSub : QSlider::SliderPageStepAdd);
            return 0;
        }
        return UIE_BAD_ATTRIBUTE;
    });
}

int EntrerTexte(int panel, int control, const std::string &cp1252) {
    return Operer(panel, control, [&](Controle &c) -> int {
        // A numeric takes the keys in its own text field, which refuses those that cannot
        // make a number.
        QWidget *champ = qobject_cast<QLineEdit *>(c.widget);
        if (auto *s = qobject_cast<QAbstractSpinBox *>(c.widget)) champ = s;
        if (!champ) return UIE_BAD_ATTRIBUTE;
        champ->setFocus();
        if (auto *s = qobject_cast<QAbstractSpinBox *>(champ)) s->selectAll();
        else static_cast<QLineEdit *>(champ)->selectAll();
        QTest::keyClick(champ, Qt::Key_Delete);
        QTest::keyClicks(champ, VersEcran(cp1252));
        QTest::keyClick(champ, Qt::Key_Return);
        return 0;
    });
}

int EntrerValeur(int panel, int control, double valeur) {
    // The shortest text that reads back as the value (an int numeric gets the integer).
    char texte[32];
    const auto r = std::to_chars(texte, texte + sizeof texte, valeur);
    std::string t(texte, r.ptr);
    return SurFilUi([&]() -> int {
        int err = 0;
        Controle *c = ChercherControle(panel, control, &err);
        if (!c) return err;
        if (!qobject_cast<QAbstractSpinBox *>(c->widget)) return UIE_BAD_ATTRIBUTE;
        if (!c->reel) t = std::to_string(static_cast<long long>(valeur));
        return EntrerTexte(panel, control, t);
    });
}

int ChoisirElement(int panel, int control, int index) {
    return Operer(panel, control, [&](Controle &c) -> int {
        if (index < 0 || index >= static_cast<int>(c.elements.size())) return UIE_BAD_INDEX;
        if (auto *combo = qobject_cast<QComboBox *>(c.widget)) {
            combo->setCurrentIndex(index);
            emit combo->activated(index);
            return 0;
        }
        if (auto *s = c.widget->findChild<QSlider *>()) {
            s->setValue(index);
            return 0;
        }
        return UIE_BAD_ATTRIBUTE;
    });
}

int BasculerCoche(int panel, int control, int index) {
    return Operer(panel, control, [&](Controle &c) -> int {
        auto *l = qobject_cast<QListWidget *>(c.widget);
        if (!l) return UIE_BAD_ATTRIBUTE;
        QListWidgetItem *it = l->item(index);
        if (!it) return UIE_BAD_INDEX;
        it->setCheckState(it->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return 0;
    });
}

int DoubleCliquer(int panel, int control, int index) {
    return Operer(panel, control, [&](Controle &c) -> int {
        auto *l = qobject_cast<QListWidget *>(c.widget);
        if (!l) return UIE_BAD_ATTRIBUTE;
        QListWidgetItem *it = l->item(index);
        if (!it) return UIE_BAD_INDEX;
        emit l->itemDoubleClicked(it);
        return 0;
    });
}

int DeclencherTimer(int panel, int control) {
    return SurFilUi([&]() -> int {
        int err = 0;
        Controle *c = ChercherControle(panel, control, &err);
        if (!c) return err;
        if (c->genre != CTRL_TIMER) return UIE_BAD_ATTRIBUTE;
        Distribuer(panel, control, EVENT_TIMER_TICK, 0, 0);
        return 0;
    });
}

QWidget *Fenetre(int panel) {
    return SurFilUi([&]() -> QWidget * {
        auto p = ChercherPanneau(panel);
        return p ? p->fenetre.data() : nullptr;
    });
}

QWidget *Widget(int panel, int control) {
    return SurFilUi([&]() -> QWidget * {
        int err = 0;
        Controle *c = ChercherControle(panel, control, &err);
        return c ? c->widget.data() : nullptr;
    });
}

std::string TexteVisible(int panel, int control) {
    return SurFilUi([&]() -> std::string {
        int err = 0;
        Controle *c = ChercherControle(panel, control, &err);
        if (!c) return {};
        QString t;
        if (c->etiquette) t = c->etiquette->text();
        else if (auto *b = qobject_cast<QAbstractButton *>(c->widget)) t = b->text();
        t.remove('&');
        return t.toStdString();
    });
}

std::vector<int> PanneauxCharges() {
    return SurFilUi([] { return HandlesCharges(); });
}

}  // namespace ui_test
