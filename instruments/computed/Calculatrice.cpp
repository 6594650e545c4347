// "Calculatrice": the reverse-Polish calculator over three scalar channels (see Calculatrice.h).
//
// The private record holds the 328-byte settings block first, then the evaluation stack (where
// the block ends, as get_memory tells the settings file), the last result, and the
// configuration panels this instance has on screen, which `liberer` discards so that their OK
// button never reaches a freed record.
//
// Everything runs on the user-interface thread; one evaluation allocates nothing: tokens are
// scanned in place and the stack lives in the record.
#include "instruments/computed/Calculatrice.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/tables.h"
#include "platform/ui.h"
#include "uir/UIR_calc.h"

#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_calc.uir";
const char kFormuleDefaut[] = "A B C + *";
constexpr int kTaillePile = 1024;
constexpr std::size_t kLongueurTatoo = 30;               // channel references: 29 + terminator
constexpr std::size_t kLongueurChaine = 100;             // formula: 99 + terminator

// The settings block, stored raw in the settings files.
struct S_Calculatrice {
    char chaine[kLongueurChaine];       // the formula
    char nom_pilot[128];                // terminated, at most 39 characters
    char tatoo_voie1[kLongueurTatoo];   // input A
    char tatoo_voie2[kLongueurTatoo];   // input B
    char tatoo_voie3[kLongueurTatoo];   // input C
    std::int32_t stack_height;          // values on the stack (saved; every evaluation resets it)
    char reserve[4];                    // gap before the stack, any content
};
static_assert(sizeof(S_Calculatrice) == 328, "settings block of 328 bytes");
static_assert(offsetof(S_Calculatrice, chaine) == 0);
static_assert(offsetof(S_Calculatrice, nom_pilot) == 100);
static_assert(offsetof(S_Calculatrice, tatoo_voie1) == 228);
static_assert(offsetof(S_Calculatrice, tatoo_voie2) == 258);
static_assert(offsetof(S_Calculatrice, tatoo_voie3) == 288);
static_assert(offsetof(S_Calculatrice, stack_height) == 320);
static_assert(std::is_trivially_copyable_v<S_Calculatrice>);

// What `structure` points to. The stack directly follows the block: its address is the end
// that get_memory reports (a multiple of 8 bytes after the block's 328, so no gap between).
struct Calculatrice_prive {
    S_Calculatrice bloc{};
    double stack[kTaillePile]{};     // element 0 is the bottom
    double mesure = std::numeric_limits<double>::quiet_NaN();  // last result
    plugin::Activite activite;       // P_config panels opened by configure, still loaded

    static constexpr const char *kNomDefaut = "Calculatrice";
    static constexpr auto kChampNom = &S_Calculatrice::nom_pilot;  // bytes 40..127 kept
    void Defauts() { EcrireChamp(bloc.chaine, kFormuleDefaut); }
};
static_assert(sizeof(S_Calculatrice) % alignof(double) == 0, "the stack starts where the block ends");
using Vie = plugin::Gestion<Calculatrice_prive, Calculatrice>;
constexpr auto Prive = plugin::Prive<Calculatrice_prive>;

const double NaN = std::numeric_limits<double>::quiet_NaN();

// ---- evaluation -----------------------------------------------------------------------------

// Pushes `valeur`; a push onto a full stack is dropped.
void Calculatrice_empiler(Calculatrice_prive *p, double valeur) {
    std::int32_t &h = p->bloc.stack_height;
    if (h < 0 || h >= kTaillePile) return;
    p->stack[h] = valeur;
    ++h;
}

// Pops the top value; an empty stack gives 0.
double Calculatrice_depiler(Calculatrice_prive *p) {
    std::int32_t &h = p->bloc.stack_height;
    if (h <= 0 || h > kTaillePile) return 0.0;
    --h;
    return p->stack[h];
}

bool Blanc(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool Chiffre(char c) { return c >= '0' && c <= '9'; }

// The C locale, in which numbers of a formula are read whatever the program's locale.
locale_t LocaleC() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// The number a token begins with: an optional sign, digits with an optional decimal point
// (at least one digit), an optional exponent (e or E, an optional sign, digits). False when the
// token does not begin with one. Nothing else is a number here: neither "inf" nor "nan" nor
// hexadecimal, and the decimal separator is the point in every locale.
bool NombreEnTete(std::string_view jeton, double &valeur) {
    std::size_t i = 0;
    const std::size_t n = jeton.size();
    if (i < n && (jeton[i] == '+' || jeton[i] == '-')) ++i;
    std::size_t chiffres = 0;
    while (i < n && Chiffre(jeton[i])) ++i, ++chiffres;
    if (i < n && jeton[i] == '.') {
        ++i;
        while (i < n && Chiffre(jeton[i])) ++i, ++chiffres;
    }
    if (chiffres == 0) return false;
    if (i < n && (jeton[i] == 'e' || jeton[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (jeton[j] == '+' || jeton[j] == '-')) ++j;
        if (j < n && Chiffre(jeton[j])) {
            while (j < n && Chiffre(jeton[j])) ++j;
            i = j;
        }
    }
    // The prefix is at most the formula's length; out-of-range values become an infinity or a
    // (sub)normal towards 0, as reading a double does.
    char texte[kLongueurChaine + 1];
    std::memcpy(texte, jeton.data(), i);
    texte[i] = '\0';
    const locale_t c = LocaleC();
    valeur = c ? strtod_l(texte, nullptr, c) : std::strtod(texte, nullptr);
    return true;
}

// A value as a 32-bit integer truncated toward zero; false when it is not finite or does not
// fit.
bool Entier32(double v, std::int32_t &entier) {
    if (!std::isfinite(v)) return false;
    const double t = std::trunc(v);
    if (t < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        t > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return false;
    entier = static_cast<std::int32_t>(t);
    return true;
}

// l % r on the truncated integers, with the sign of l. A division that integers cannot do
// (a divisor truncating to 0, an operand that is NaN, infinite or beyond 32 bits) gives the
// missing value instead of stopping the program.
double Reste(double l, double r) {
    std::int32_t li = 0;
    std::int32_t ri = 0;
    if (!Entier32(l, li) || !Entier32(r, ri) || ri == 0) return NaN;
    if (ri == -1) return 0.0;  // every integer, the most negative one included
    return static_cast<double>(li % ri);
}

void Appliquer(Calculatrice_prive *p, std::string_view jeton, double a, double b, double c) {
    if (jeton.size() == 1) {
        const char t = jeton[0];
        double r;
        switch (t) {
        case 'A': Calculatrice_empiler(p, a); return;
        case 'B': Calculatrice_empiler(p, b); return;
        case 'C': Calculatrice_empiler(p, c); return;
        case '+': r = Calculatrice_depiler(p); Calculatrice_empiler(p, Calculatrice_depiler(p) + r); return;
        case '-': r = Calculatrice_depiler(p); Calculatrice_empiler(p, Calculatrice_depiler(p) - r); return;
        case '*': r = Calculatrice_depiler(p); Calculatrice_empiler(p, Calculatrice_depiler(p) * r); return;
        case '/': r = Calculatrice_depiler(p); Calculatrice_empiler(p, Calculatrice_depiler(p) / r); return;
        case '^': r = Calculatrice_depiler(p); Calculatrice_empiler(p, std::pow(Calculatrice_depiler(p), r)); return;
        case '%': r = Calculatrice_depiler(p); Calculatrice_empiler(p, Reste(Calculatrice_depiler(p), r)); return;
        default:
            if (Chiffre(t)) Calculatrice_empiler(p, t - '0');
            return;  // any other single character is skipped
        }
    }
    using Fonction = double (*)(double);
    static const struct {
        std::string_view nom;
        Fonction f;
    } fonctions[] = {
        {"ln", [](double x) { return std::log(x); }},   {"log", [](double x) { return std::log10(x); }},
        {"exp", [](double x) { return std::exp(x); }},  {"sqrt", [](double x) { return std::sqrt(x); }},
        {"sin", [](double x) { return std::sin(x); }},  {"cos", [](double x) { return std::cos(x); }},
    };
    for (const auto &f : fonctions)
        if (jeton == f.nom) {
            Calculatrice_empiler(p, f.f(Calculatrice_depiler(p)));
            return;
        }
    double nombre = 0.0;
    if (NombreEnTete(jeton, nombre)) Calculatrice_empiler(p, nombre);
    // any other token is skipped
}

// Evaluates the formula with the inputs and keeps the result in `mesure`.
void Calculatrice_evaluer(Calculatrice_prive *p, double a, double b, double c) {
    p->bloc.stack_height = 0;
    // A block loaded from a file may fill the whole field without a terminator.
    const char *formule = p->bloc.chaine;
    const std::size_t longueur = strnlen(formule, kLongueurChaine);
    std::size_t i = 0;
    while (i < longueur) {
        while (i < longueur && Blanc(formule[i])) ++i;
        const std::size_t debut = i;
        while (i < longueur && !Blanc(formule[i])) ++i;
        if (i > debut) Appliquer(p, std::string_view(formule + debut, i - debut), a, b, c);
    }
    p->mesure = Calculatrice_depiler(p);
}

// The newest value of the channel named by `reference`: 0 when no channel is chosen, the
// missing value when the chosen channel does not exist (any more) or has no ring.
double Entree(PInstrument *instrument, const char (&reference)[kLongueurTatoo]) {
    char tatoo[kLongueurTatoo + 1];
    CopierChamp(reference, tatoo);
    if (tatoo[0] == '\0') return 0.0;
    const ptr *voie = instrument->get_buffer_from_tatoo ? instrument->get_buffer_from_tatoo(tatoo) : nullptr;
    if (!voie || !voie->mesure || voie->dernier_indice < 0 || voie->dernier_indice >= voie->profondeur)
        return NaN;
    return voie->mesure[voie->dernier_indice];
}

// ---- management -------------------------------------------------------------------------

void Calculatrice_configure(PInstrument *instrument) {
    Calculatrice_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_config);
    if (panel < 0) return;
    SetCtrlAttribute(panel, P_config_COMMANDBUTTON, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    if (instrument->init_liste_voie) {
        instrument->init_liste_voie(panel, P_config_RING1);
        instrument->init_liste_voie(panel, P_config_RING2);
        instrument->init_liste_voie(panel, P_config_RING3);
    }
    // A reference the ring does not list (its channel is gone) shows as "(aucun)".
    ChoisirReferenceOuAucun(panel, P_config_RING1, TexteChamp(p->bloc.tatoo_voie1));
    ChoisirReferenceOuAucun(panel, P_config_RING2, TexteChamp(p->bloc.tatoo_voie2));
    ChoisirReferenceOuAucun(panel, P_config_RING3, TexteChamp(p->bloc.tatoo_voie3));
    char formule[kLongueurChaine + 1];
    CopierChamp(p->bloc.chaine, formule);
    SetCtrlVal(panel, P_config_STRING, formule);
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

void Calculatrice_get_memory(PInstrument *instrument, void **p_strct, void **p_member,
                             unsigned * /*size*/, unsigned char *flag) {
    Calculatrice_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = p->stack;
    *flag = 0;
}

int Calculatrice_init(PInstrument * /*instrument*/) { return 0; }

// ---- the computed channel -----------------------------------------------------------------

int Calculatrice_nb_voie_calcul(PInstrument * /*instrument*/) { return 1; }

void Calculatrice_get_nom_voie_calcul(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::memcpy(nom_voie, "Voie 1", sizeof "Voie 1");
}

double Calculatrice_mesure_calcul(PInstrument *instrument, int /*voie*/) {
    return Prive(instrument)->mesure;
}

void Calculatrice_calculer_1D(PInstrument *instrument) {
    Calculatrice_prive *p = Prive(instrument);
    const double a = Entree(instrument, p->bloc.tatoo_voie1);
    const double b = Entree(instrument, p->bloc.tatoo_voie2);
    const double c = Entree(instrument, p->bloc.tatoo_voie3);
    Calculatrice_evaluer(p, a, b, c);
}

}  // namespace

PInstrument Calculatrice = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = Calculatrice_configure,
    .get_memory = Calculatrice_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = Calculatrice_init,
    .nb_voie_calcul = Calculatrice_nb_voie_calcul,
    .get_nom_voie_calcul = Calculatrice_get_nom_voie_calcul,
    .mesure_calcul = Calculatrice_mesure_calcul,
    .calculer_1D = Calculatrice_calculer_1D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of P_config (callback data: the private record): stores the three channel references and
// the formula, then closes the panel. Nothing is checked; the next sample uses them.
int OK_config_calcul_bidon(int panel, int /*control*/, int event, void *callbackData,
                           int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Calculatrice_prive *>(callbackData)) {
        const struct {
            int ring;
            char (&reference)[kLongueurTatoo];
        } entrees[] = {{P_config_RING1, p->bloc.tatoo_voie1},
                       {P_config_RING2, p->bloc.tatoo_voie2},
                       {P_config_RING3, p->bloc.tatoo_voie3}};
        for (const auto &e : entrees) {
            // The rings offer references of at most 23 characters; anything that would not fit
            // whole is stored as "no channel" rather than cut into another channel's reference.
            char valeur[64] = "";
            if (GetCtrlVal(panel, e.ring, valeur) < 0 || std::strlen(valeur) >= kLongueurTatoo) valeur[0] = '\0';
            EcrireChamp(e.reference, valeur);
        }
        char formule[kLongueurChaine];  // the text box takes 99 characters; a longer text is cut
        if (GetCtrlVal(panel, P_config_STRING, formule) == 0) EcrireChamp(p->bloc.chaine, formule);
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_config_calcul_bidon);
