// uirc: checks a user-interface resource file (ui/<Name>.uir, JSON, see ui/FORMAT.md) and
// writes the header of its constants and callback prototypes.
//
//     uirc in.uir out.h
//
// Every fault found is printed as "file: panel X control Y: message" and the tool exits with 1,
// so that a broken resource file stops the build. The header is rewritten only when its
// content changes, so that an edit that leaves the constants alone recompiles nothing.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QSaveFile>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- faults -------------------------------------------------------------------------------

class Faults {
public:
    explicit Faults(QString file) : file_(std::move(file)) {}

    void add(const QString &where, const QString &message) {
        QString line = file_ + ": ";
        if (!where.isEmpty()) line += where + ": ";
        line += message;
        lines_.push_back(line);
    }
    bool empty() const { return lines_.isEmpty(); }
    void print() const {
        for (const QString &l : lines_) std::fprintf(stderr, "%s\n", l.toUtf8().constData());
    }

private:
    QString file_;
    QStringList lines_;
};

// ---- names --------------------------------------------------------------------------------

const std::set<QString> &cppKeywords() {
    static const std::set<QString> words = {
        "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool",
        "break", "case", "catch", "char", "char8_t", "char16_t", "char32_t", "class", "compl",
        "concept", "const", "consteval", "constexpr", "constinit", "const_cast", "continue",
        "co_await", "co_return", "co_yield", "decltype", "default", "delete", "do", "double",
        "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
        "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
        "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private",
        "protected", "public", "register", "reinterpret_cast", "requires", "return", "short",
        "signed", "sizeof", "static", "static_assert", "static_cast", "struct", "switch",
        "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid",
        "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t",
        "while", "xor", "xor_eq"};
    return words;
}

bool isCIdentifier(const QString &s) {
    if (s.isEmpty()) return false;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                            (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_');
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!(letter || (digit && i > 0))) return false;
    }
    return true;
}

// Names the compiler keeps for itself: a double underscore anywhere, or an underscore followed
// by a capital at the start.
bool isReservedName(const QString &s) {
    if (s.contains(QLatin1String("__"))) return true;
    return s.size() >= 2 && s[0] == QLatin1Char('_') && s[1].isUpper();
}

// Why `s` cannot name a constant or a function in C++, or an empty text when it can.
QString badNameReason(const QString &s) {
    if (!isCIdentifier(s)) return QStringLiteral("\"%1\" is not a valid C identifier").arg(s);
    if (cppKeywords().count(s) != 0) return QStringLiteral("\"%1\" is a C++ keyword").arg(s);
    if (isReservedName(s)) return QStringLiteral("\"%1\" is a reserved identifier").arg(s);
    return {};
}

// ---- texts --------------------------------------------------------------------------------

// The program sees every text as Windows-1252: a character outside that code page would be
// lost on the way. NUL would cut the text short.
bool inWindows1252(char32_t c) {
    static const std::set<char32_t> upper = {
        0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
        0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
        0x0161, 0x203A, 0x0153, 0x017E, 0x0178};
    if (c == 0) return false;
    if (c < 0x80) return true;
    if (c >= 0xA0 && c <= 0xFF) return true;
    return upper.count(c) != 0;
}

QString badTextReason(const QString &s) {
    for (char32_t c : s.toUcs4()) {
        if (!inWindows1252(c)) {
            const QString code =
                QString::number(static_cast<unsigned>(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
            return QStringLiteral("character U+%1 cannot be shown (not in Windows-1252)").arg(code);
        }
    }
    return {};
}

// ---- field readers ------------------------------------------------------------------------

// Reads the fields of one JSON object and reports what is missing or of the wrong type.
class Fields {
public:
    Fields(const QJsonObject &o, QString where, Faults &faults)
        : o_(o), where_(std::move(where)), faults_(faults) {}

    bool has(const char *key) const { return o_.contains(QLatin1String(key)); }

    void fault(const QString &message) const { faults_.add(where_, message); }

    std::optional<int> integer(const char *key, bool required) const {
        return read(key, required, QStringLiteral("an integer"),
                    [](const QJsonValue &v) { return v.isDouble() && isInt(v.toDouble()); },
                    [](const QJsonValue &v) { return static_cast<int>(v.toDouble()); });
    }

    std::optional<double> number(const char *key, bool required) const {
        return read(key, required, QStringLiteral("a number"), [](const QJsonValue &v) { return v.isDouble(); },
                    [](const QJsonValue &v) { return v.toDouble(); });
    }

    std::optional<bool> boolean(const char *key, bool required) const {
        return read(key, required, QStringLiteral("true or false"), [](const QJsonValue &v) { return v.isBool(); },
                    [](const QJsonValue &v) { return v.toBool(); });
    }

    // A text shown to the operator: checked against the program's code page.
    std::optional<QString> text(const char *key, bool required) const {
        return checkedString(key, required, badTextReason);
    }

    // A name that becomes a C++ identifier.
    std::optional<QString> name(const char *key, bool required) const {
        return checkedString(key, required, badNameReason);
    }

    // One of a fixed set of words.
    std::optional<QString> choice(const char *key, const QStringList &allowed, bool required) const {
        return read(key, required,
                    QLatin1String("one of \"") + allowed.join(QLatin1String("\", \"")) + QLatin1String("\""),
                    [&allowed](const QJsonValue &v) { return v.isString() && allowed.contains(v.toString()); },
                    [](const QJsonValue &v) { return v.toString(); });
    }

    std::optional<QJsonArray> array(const char *key, bool required) const {
        return read(key, required, QStringLiteral("an array"), [](const QJsonValue &v) { return v.isArray(); },
                    [](const QJsonValue &v) { return v.toArray(); });
    }

    // Reports every field that is not in `known` (most often a misspelt one).
    void onlyKnown(const QStringList &known, const QString &what) const {
        for (const QString &k : o_.keys()) {
            if (!known.contains(k))
                fault(QStringLiteral("unknown field \"%1\" for %2").arg(k, what));
        }
    }

private:
    // Field `key` through `convert` when `accept` takes it; absent, it is missing if required;
    // of another kind, the fault says what it must be.
    template <class Accept, class Convert>
    auto read(const char *key, bool required, const QString &what, Accept accept, Convert convert) const
        -> std::optional<decltype(convert(QJsonValue()))> {
        const QJsonValue v = o_.value(QLatin1String(key));
        if (v.isUndefined()) {
            if (required) missing(key);
            return std::nullopt;
        }
        if (!accept(v)) {
            fault(QStringLiteral("field \"%1\" must be %2").arg(QLatin1String(key), what));
            return std::nullopt;
        }
        return convert(v);
    }

    // A string field that `reason` finds nothing wrong with.
    std::optional<QString> checkedString(const char *key, bool required, QString (*reason)(const QString &)) const {
        auto s = read(key, required, QStringLiteral("a string"), [](const QJsonValue &v) { return v.isString(); },
                      [](const QJsonValue &v) { return v.toString(); });
        if (!s) return s;
        if (const QString why = reason(*s); !why.isEmpty()) {
            fault(QStringLiteral("field \"%1\": %2").arg(QLatin1String(key), why));
            return std::nullopt;
        }
        return s;
    }

    static bool isInt(double d) {
        return std::isfinite(d) && d == std::floor(d) &&
               d >= static_cast<double>(std::numeric_limits<int>::min()) &&
               d <= static_cast<double>(std::numeric_limits<int>::max());
    }
    void missing(const char *key) const {
        fault(QStringLiteral("missing field \"%1\"").arg(QLatin1String(key)));
    }

    QJsonObject o_;
    QString where_;
    Faults &faults_;
};

// ---- kinds --------------------------------------------------------------------------------

const std::map<QString, QStringList> &kindFields() {
    static const std::map<QString, QStringList> kinds = {
        {QStringLiteral("command_button"), {}},
        {QStringLiteral("picture_button"), {QStringLiteral("picture")}},
        {QStringLiteral("numeric"),
         {QStringLiteral("data_type"), QStringLiteral("min"), QStringLiteral("max"),
          QStringLiteral("value"), QStringLiteral("increment"), QStringLiteral("precision"),
          QStringLiteral("indicator"), QStringLiteral("format")}},
        {QStringLiteral("ring"),
         {QStringLiteral("items"), QStringLiteral("value_type"), QStringLiteral("value")}},
        {QStringLiteral("slide"),
         {QStringLiteral("items"), QStringLiteral("value_type"), QStringLiteral("value")}},
        {QStringLiteral("string"), {QStringLiteral("value"), QStringLiteral("max_length")}},
        {QStringLiteral("text_message"), {QStringLiteral("value")}},
        {QStringLiteral("list_box"), {QStringLiteral("check_mode")}},
        {QStringLiteral("table"), {QStringLiteral("columns")}},
        {QStringLiteral("check_box"), {QStringLiteral("value")}},
        {QStringLiteral("toggle_button"),
         {QStringLiteral("on_text"), QStringLiteral("off_text"), QStringLiteral("value")}},
        {QStringLiteral("binary_switch"),
         {QStringLiteral("on_text"), QStringLiteral("off_text"), QStringLiteral("value"),
          QStringLiteral("value_type"), QStringLiteral("on_value"), QStringLiteral("off_value")}},
        {QStringLiteral("led"), {QStringLiteral("on_color"), QStringLiteral("value")}},
        {QStringLiteral("timer"), {QStringLiteral("interval"), QStringLiteral("enabled")}},
        {QStringLiteral("canvas"), {}},
        {QStringLiteral("graph"),
         {QStringLiteral("x_name"), QStringLiteral("left_y_name"), QStringLiteral("right_y_name")}},
    };
    return kinds;
}

const QStringList kCommonControlFields = {
    QStringLiteral("id"),     QStringLiteral("constant"), QStringLiteral("kind"),
    QStringLiteral("left"),   QStringLiteral("top"),      QStringLiteral("width"),
    QStringLiteral("height"), QStringLiteral("label"),    QStringLiteral("callback"),
    QStringLiteral("dimmed"), QStringLiteral("visible"),  QStringLiteral("label_pos")};

const QStringList kPanelFields = {
    QStringLiteral("id"),    QStringLiteral("constant"), QStringLiteral("title"),
    QStringLiteral("width"), QStringLiteral("height"),   QStringLiteral("left"),
    QStringLiteral("top"),   QStringLiteral("parent"),   QStringLiteral("controls")};

void checkZeroOne(const Fields &f) {
    if (auto v = f.integer("value", false); v && *v != 0 && *v != 1)
        f.fault(QStringLiteral("field \"value\" must be 0 or 1"));
}

void checkNumeric(const Fields &f) {
    const auto type = f.choice("data_type", {QStringLiteral("int"), QStringLiteral("float"), QStringLiteral("double")},
                               true);
    const bool isInt = type && *type == QLatin1String("int");
    const bool isFloat = type && *type == QLatin1String("float");
    auto read = [&](const char *key) -> std::optional<double> {
        if (isInt) {
            auto v = f.integer(key, false);
            return v ? std::optional<double>(*v) : std::nullopt;
        }
        auto v = f.number(key, false);
        if (v && isFloat && std::fabs(*v) > std::numeric_limits<float>::max()) {
            f.fault(QStringLiteral("\"%1\" is beyond the range of a float").arg(QLatin1String(key)));
            return std::nullopt;
        }
        return v;
    };
    const auto mn = read("min");
    const auto mx = read("max");
    const auto value = read("value");
    const auto inc = read("increment");
    if (mn && mx && *mn > *mx) f.fault(QStringLiteral("\"min\" is greater than \"max\""));
    if (value && mn && *value < *mn) f.fault(QStringLiteral("\"value\" is below \"min\""));
    if (value && mx && *value > *mx) f.fault(QStringLiteral("\"value\" is above \"max\""));
    if (inc && *inc <= 0) f.fault(QStringLiteral("\"increment\" must be positive"));
    f.boolean("indicator", false);
    const auto format = f.choice("format",
                                 {QStringLiteral("integer"), QStringLiteral("fixed"), QStringLiteral("scientific"),
                                  QStringLiteral("general")},
                                 false);
    if (format && isInt != (*format == QLatin1String("integer")))
        f.fault(isInt ? QStringLiteral("an int numeric has the format \"integer\"")
                      : QStringLiteral("\"format\" \"integer\" is for int numerics"));
    const auto precision = f.integer("precision", false);
    if (precision && isInt) f.fault(QStringLiteral("\"precision\" is for float and double numerics"));
    const int least = format && *format == QLatin1String("general") ? 1 : 0;
    if (precision && (*precision < least || *precision > 15))
        f.fault(QStringLiteral("\"precision\" must be between %1 and 15").arg(least));
}

// A value of a ring item or a switch position, of the control's `value_type`.
std::optional<QJsonValue> typedValue(const Fields &f, const char *key, const QString &type, bool required) {
    if (type == QLatin1String("int")) {
        if (auto n = f.integer(key, required)) return QJsonValue(*n);
    } else if (type == QLatin1String("float")) {
        // Held in single precision: two numbers that round to the same float are one value.
        if (auto d = f.number(key, required)) return QJsonValue(static_cast<double>(static_cast<float>(*d)));
    } else if (auto t = f.text(key, required)) {
        return QJsonValue(*t);
    }
    return std::nullopt;
}

// A binary switch either is 0/1, or has a value of its own for each position.
void checkSwitch(const Fields &f) {
    f.text("on_text", false);
    f.text("off_text", false);
    if (!f.has("value_type")) {
        if (f.has("on_value") || f.has("off_value"))
            f.fault(QStringLiteral("\"on_value\" and \"off_value\" need a \"value_type\""));
        checkZeroOne(f);
        return;
    }
    const auto type = f.choice("value_type", {QStringLiteral("int"), QStringLiteral("string")}, true);
    if (!type) return;
    const auto on = typedValue(f, "on_value", *type, true);
    const auto off = typedValue(f, "off_value", *type, true);
    if (on && off && *on == *off) f.fault(QStringLiteral("both positions have the same value"));
    if (!f.has("value")) return;
    const auto value = typedValue(f, "value", *type, false);
    if (value && on && off && *value != *on && *value != *off)
        f.fault(QStringLiteral("\"value\" is neither \"on_value\" nor \"off_value\""));
}

void checkRing(const Fields &f, const QString &where, Faults &faults) {
    const auto type = f.choice("value_type",
                               {QStringLiteral("int"), QStringLiteral("string"), QStringLiteral("float")}, true);
    const auto items = f.array("items", false);
    std::vector<QJsonValue> values;
    if (items) {
        for (qsizetype i = 0; i < items->size(); ++i) {
            const QString itemWhere = where + QStringLiteral(" item %1").arg(i + 1);
            if (!items->at(i).isObject()) {
                faults.add(itemWhere, QStringLiteral("an item must be an object"));
                continue;
            }
            Fields item(items->at(i).toObject(), itemWhere, faults);
            item.onlyKnown({QStringLiteral("label"), QStringLiteral("value")},
                           QStringLiteral("an item"));
            item.text("label", true);
            std::optional<QJsonValue> v;
            if (type) v = typedValue(item, "value", *type, true);
            if (!v) continue;
            for (const QJsonValue &seen : values) {
                if (seen == *v) {
                    item.fault(QStringLiteral("two items have the same value"));
                    break;
                }
            }
            values.push_back(*v);
        }
    }
    if (!type || !f.has("value")) return;
    const std::optional<QJsonValue> value = typedValue(f, "value", *type, false);
    if (!value) return;
    bool found = false;
    for (const QJsonValue &v : values) found = found || v == *value;
    if (!found) f.fault(QStringLiteral("\"value\" is the value of no item"));
}

void checkKind(const QString &kind, const Fields &f, const QString &where, Faults &faults) {
    if (kind == QLatin1String("picture_button")) {
        f.choice("picture", {QStringLiteral("open"), QStringLiteral("save")}, true);
    } else if (kind == QLatin1String("numeric")) {
        checkNumeric(f);
    } else if (kind == QLatin1String("ring") || kind == QLatin1String("slide")) {
        checkRing(f, where, faults);
    } else if (kind == QLatin1String("string")) {
        const auto value = f.text("value", false);
        const auto maxLength = f.integer("max_length", false);
        if (maxLength && *maxLength < 1) f.fault(QStringLiteral("\"max_length\" must be at least 1"));
        if (value && maxLength && value->size() > *maxLength)
            f.fault(QStringLiteral("\"value\" is longer than \"max_length\""));
    } else if (kind == QLatin1String("text_message")) {
        f.text("value", false);
    } else if (kind == QLatin1String("list_box")) {
        f.boolean("check_mode", false);
    } else if (kind == QLatin1String("table")) {
        if (auto cols = f.array("columns", true)) {
            if (cols->isEmpty()) f.fault(QStringLiteral("a table needs at least one column"));
            for (const QJsonValue &c : *cols) {
                if (!c.isString()) {
                    f.fault(QStringLiteral("column titles must be strings"));
                } else if (const QString why = badTextReason(c.toString()); !why.isEmpty()) {
                    f.fault(QStringLiteral("column \"%1\": %2").arg(c.toString(), why));
                }
            }
        }
    } else if (kind == QLatin1String("check_box")) {
        checkZeroOne(f);
    } else if (kind == QLatin1String("binary_switch")) {
        checkSwitch(f);
    } else if (kind == QLatin1String("toggle_button")) {
        f.text("on_text", false);
        f.text("off_text", false);
        checkZeroOne(f);
    } else if (kind == QLatin1String("led")) {
        if (auto c = f.text("on_color", false)) {
            bool ok = c->size() == 7 && c->at(0) == QLatin1Char('#');
            for (qsizetype i = 1; ok && i < c->size(); ++i) {
                const QChar ch = c->at(i);
                ok = (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) ||
                     (ch >= QLatin1Char('a') && ch <= QLatin1Char('f')) ||
                     (ch >= QLatin1Char('A') && ch <= QLatin1Char('F'));
            }
            if (!ok) f.fault(QStringLiteral("\"on_color\" must be written \"#rrggbb\""));
        }
        checkZeroOne(f);
    } else if (kind == QLatin1String("graph")) {
        f.text("x_name", false);
        f.text("left_y_name", false);
        f.text("right_y_name", false);
    } else if (kind == QLatin1String("timer")) {
        if (auto i = f.number("interval", true); i && !(*i > 0))
            f.fault(QStringLiteral("\"interval\" must be positive"));
        f.boolean("enabled", false);
    }
}

// ---- the file -----------------------------------------------------------------------------

struct Control {
    QString constant;
    int id = 0;
};

struct Panel {
    QString constant;
    int id = 0;
    std::vector<Control> controls;
};

struct Resource {
    std::vector<Panel> panels;
    QStringList callbacks;  // distinct, in order of first appearance
};

QString panelWhere(const QJsonObject &o, qsizetype index) {
    const QJsonValue c = o.value(QLatin1String("constant"));
    if (c.isString() && !c.toString().isEmpty()) return QStringLiteral("panel ") + c.toString();
    return QStringLiteral("panel #%1").arg(index + 1);
}

QString controlWhere(const QString &panel, const QJsonObject &o, qsizetype index) {
    const QJsonValue c = o.value(QLatin1String("constant"));
    if (c.isString() && !c.toString().isEmpty()) return panel + QStringLiteral(" control ") + c.toString();
    return panel + QStringLiteral(" control #%1").arg(index + 1);
}

Resource readResource(const QJsonDocument &doc, Faults &faults) {
    Resource res;
    if (!doc.isObject()) {
        faults.add({}, QStringLiteral("the document must be a JSON object"));
        return res;
    }
    const QJsonObject root = doc.object();
    Fields top(root, {}, faults);
    top.onlyKnown({QStringLiteral("panels")}, QStringLiteral("the document"));
    const auto panels = top.array("panels", true);
    if (!panels) return res;
    if (panels->isEmpty()) faults.add({}, QStringLiteral("the file holds no panel"));

    std::set<int> panelIds;
    std::set<QString> panelConstants;
    std::map<QString, QString> generated;  // C++ name -> where it comes from

    auto claim = [&](const QString &cppName, const QString &where) {
        auto [it, fresh] = generated.emplace(cppName, where);
        if (!fresh)
            faults.add(where, QStringLiteral("the name %1 is already used by %2").arg(cppName, it->second));
    };

    for (qsizetype p = 0; p < panels->size(); ++p) {
        if (!panels->at(p).isObject()) {
            faults.add(QStringLiteral("panel #%1").arg(p + 1), QStringLiteral("a panel must be an object"));
            continue;
        }
        const QJsonObject po = panels->at(p).toObject();
        const QString pw = panelWhere(po, p);
        Fields pf(po, pw, faults);
        pf.onlyKnown(kPanelFields, QStringLiteral("a panel"));

        Panel panel;
        const auto id = pf.integer("id", true);
        const auto constant = pf.name("constant", true);
        pf.text("title", true);
        const auto width = pf.integer("width", true);
        const auto height = pf.integer("height", true);
        pf.integer("left", false);
        pf.integer("top", false);
        if (pf.has("parent")) pf.name("parent", false);
        if (width && *width <= 0) pf.fault(QStringLiteral("\"width\" must be positive"));
        if (height && *height <= 0) pf.fault(QStringLiteral("\"height\" must be positive"));
        if (id) {
            if (*id < 1) pf.fault(QStringLiteral("panel ids start at 1"));
            else if (!panelIds.insert(*id).second)
                pf.fault(QStringLiteral("panel id %1 is used twice").arg(*id));
            panel.id = *id;
        }
        if (constant) {
            if (!panelConstants.insert(*constant).second)
                pf.fault(QStringLiteral("panel constant %1 is used twice").arg(*constant));
            else
                claim(*constant, pw);
            panel.constant = *constant;
        }

        const auto controls = pf.array("controls", false);
        std::set<QString> controlConstants;
        for (qsizetype c = 0; controls && c < controls->size(); ++c) {
            if (!controls->at(c).isObject()) {
                faults.add(pw + QStringLiteral(" control #%1").arg(c + 1),
                           QStringLiteral("a control must be an object"));
                continue;
            }
            const QJsonObject co = controls->at(c).toObject();
            const QString cw = controlWhere(pw, co, c);
            Fields cf(co, cw, faults);

            Control control;
            const auto cid = cf.integer("id", true);
            const auto cconst = cf.name("constant", true);
            const auto kind = cf.choice("kind", [] {
                QStringList k;
                for (const auto &e : kindFields()) k << e.first;
                return k;
            }(), true);
            const auto left = cf.integer("left", true);
            const auto topPos = cf.integer("top", true);
            const auto cwidth = cf.integer("width", true);
            const auto cheight = cf.integer("height", true);
            cf.text("label", false);
            const auto callback = cf.name("callback", false);
            cf.boolean("dimmed", false);
            cf.boolean("visible", false);
            cf.choice("label_pos",
                      {QStringLiteral("top"), QStringLiteral("left"), QStringLiteral("right"),
                       QStringLiteral("none")},
                      false);

            if (cid) {
                const qsizetype expected = c + 2;
                if (*cid != expected)
                    cf.fault(QStringLiteral("control id is %1, expected %2 (ids run from 2 in "
                                            "the order of the controls)")
                                 .arg(*cid)
                                 .arg(expected));
                control.id = *cid;
            }
            if (cconst) {
                if (!controlConstants.insert(*cconst).second) {
                    cf.fault(QStringLiteral("control constant %1 is used twice in the panel").arg(*cconst));
                } else if (constant) {
                    const QString cppName = *constant + QLatin1Char('_') + *cconst;
                    if (const QString why = badNameReason(cppName); !why.isEmpty())
                        cf.fault(QStringLiteral("generated name: ") + why);
                    else
                        claim(cppName, cw);
                }
                control.constant = *cconst;
            }
            if (kind) {
                QStringList known = kCommonControlFields;
                known << kindFields().at(*kind);
                cf.onlyKnown(known, QStringLiteral("a control of kind ") + *kind);
                checkKind(*kind, cf, cw, faults);
            }
            if (cwidth && *cwidth <= 0) cf.fault(QStringLiteral("\"width\" must be positive"));
            if (cheight && *cheight <= 0) cf.fault(QStringLiteral("\"height\" must be positive"));
            if (left && *left < 0) cf.fault(QStringLiteral("\"left\" must not be negative"));
            if (topPos && *topPos < 0) cf.fault(QStringLiteral("\"top\" must not be negative"));
            if (left && topPos && cwidth && cheight && width && height &&
                (*left + *cwidth > *width || *topPos + *cheight > *height))
                cf.fault(QStringLiteral("the control goes beyond its panel (%1x%2)").arg(*width).arg(*height));
            if (callback && !res.callbacks.contains(*callback)) res.callbacks << *callback;
            panel.controls.push_back(control);
        }
        res.panels.push_back(panel);
    }
    for (const QString &cb : res.callbacks) claim(cb, QStringLiteral("callback ") + cb);
    return res;
}

QByteArray header(const Resource &res, const QString &inputName) {
    QByteArray out;
    out += "#pragma once\n";
    out += "// Generated by uirc from ui/" + inputName.toUtf8() + ". Do not edit.\n\n";
    for (const Panel &p : res.panels) {
        out += "constexpr int " + p.constant.toUtf8() + " = " + QByteArray::number(p.id) + ";\n";
        for (const Control &c : p.controls) {
            out += "constexpr int " + p.constant.toUtf8() + '_' + c.constant.toUtf8() +
                   " = " + QByteArray::number(c.id) + ";\n";
        }
        out += '\n';
    }
    if (!res.callbacks.isEmpty()) {
        out += "// Callbacks named by the file.\n";
        for (const QString &cb : res.callbacks) {
            out += "int " + cb.toUtf8() +
                   "(int panel, int control, int event, void *callbackData, int eventData1, "
                   "int eventData2);\n";
        }
    }
    return out;
}

int lineOfOffset(const QByteArray &data, int offset) {
    int line = 1;
    for (int i = 0; i < offset && i < data.size(); ++i)
        if (data[i] == '\n') ++line;
    return line;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: uirc in.uir out.h\n");
        return 2;
    }
    const QString inPath = QString::fromLocal8Bit(argv[1]);
    const QString outPath = QString::fromLocal8Bit(argv[2]);
    Faults faults(inPath);

    QFile in(inPath);
    if (!in.open(QIODevice::ReadOnly)) {
        faults.add({}, QStringLiteral("cannot be read: ") + in.errorString());
        faults.print();
        return 1;
    }
    const QByteArray data = in.readAll();
    QJsonParseError perr{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &perr);
    if (perr.error != QJsonParseError::NoError) {
        faults.add(QStringLiteral("line %1").arg(lineOfOffset(data, perr.offset)),
                   QStringLiteral("JSON: ") + perr.errorString());
        faults.print();
        return 1;
    }

    const Resource res = readResource(doc, faults);
    if (!faults.empty()) {
        faults.print();
        return 1;
    }

    const QByteArray text = header(res, QFileInfo(inPath).fileName());
    QFile old(outPath);
    if (old.open(QIODevice::ReadOnly) && old.readAll() == text) return 0;
    old.close();

    QDir().mkpath(QFileInfo(outPath).absolutePath());
    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        std::fprintf(stderr, "%s: cannot be written: %s\n", outPath.toUtf8().constData(),
                     out.errorString().toUtf8().constData());
        return 1;
    }
    return 0;
}
