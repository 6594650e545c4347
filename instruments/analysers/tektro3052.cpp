// "Tektronix TDS 3052": set-up, waveform acquisition on service request and vector channels
// (see tektro3052.h).
//
// The private record holds the 352-byte settings block, the rows of the last traces and of
// their abscissae (the block ends where they begin), then what only lives in this run: the
// device of the last `init` and the points per channel taken there, the lock that hands the
// rows over from the notification thread, the curve transfers of one cycle, and the panels
// and notification this instance has going.
#include "instruments/analysers/tektro3052.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "gpib/nombres.h"
#include "instruments/echanges_gpib.h"
#include "instruments/ouverture_gpib.h"
#include "instruments/panne_gpib.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_tektro3052.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace {

const char kFichierUir[] = "UIR_tektro3052.uir";
constexpr int kPointsMax = 10000;              // points of a row
constexpr long kOctetsMax = 2L * kPointsMax;   // bytes of a curve that fit in a row
constexpr int kSources = 3;                    // CH1, CH2, MATH
constexpr const char *kNomsSources[kSources] = {"CH1", "CH2", "MATH"};
constexpr const char *kNomsVoies[kSources] = {"Channel 1", "Channel 2", "Math"};
constexpr int kNotification = RQS;             // stop_interruption while the cycle runs

using panne_gpib::Issue;

// ---- settings block -------------------------------------------------------------------------

struct S_tek {
    std::int32_t identificateur;     // device of the last init (carries nothing when loaded)
    std::int32_t adresse_gpib;
    std::int32_t stop_interruption;  // RQS while the cycle runs, 0 once stopped
    std::int32_t voie_select[3];     // unused
    std::int32_t voie_active[3];     // CH1, CH2, MATH acquired (set by init)
    std::uint32_t numero_mesure;     // acquisitions read since init
    std::int32_t taille_voie[3];     // unused
    char nom_instru[128];
    char acqmod[6];
    char reserve_186[2];
    std::int32_t acqnumav;
    std::int32_t acqnume;
    char ch1ban[6], ch2ban[6];
    char ch1coup[6], ch2coup[6];
    char ch1imp[6], ch2imp[6];
    std::int32_t ch1inv, ch2inv;
    float ch1off, ch2off;
    float ch1probe, ch2probe;
    float ch1sca, ch2sca;
    std::int32_t hormaisca;  // seconds per division = hormaisca * 10^hor_unit
    std::int32_t hor_unit;
    std::int32_t horrecord;
    std::int32_t hortrigpos;
    char trigaedgcoup[6], trigaedgslo[6], trigaedgsou[6];
    char reserve_298[2];
    float trigalev;
    char math1[6], math2[6], mathf[6], fenetre[6], linlog[6];
    char reserve_334[2];
    std::int32_t selch1, selch2, selmath;
    char reserve_348[4];
};
static_assert(sizeof(S_tek) == 352, "settings block of 352 bytes");
static_assert(std::is_trivially_copyable_v<S_tek>);
static_assert(offsetof(S_tek, adresse_gpib) == 4);
static_assert(offsetof(S_tek, stop_interruption) == 8);
static_assert(offsetof(S_tek, voie_active) == 24);
static_assert(offsetof(S_tek, numero_mesure) == 36);
static_assert(offsetof(S_tek, nom_instru) == 52);
static_assert(offsetof(S_tek, acqmod) == 180);
static_assert(offsetof(S_tek, acqnumav) == 188);
static_assert(offsetof(S_tek, ch1ban) == 196);
static_assert(offsetof(S_tek, ch2imp) == 226);
static_assert(offsetof(S_tek, ch1inv) == 232);
static_assert(offsetof(S_tek, ch1off) == 240);
static_assert(offsetof(S_tek, ch1probe) == 248);
static_assert(offsetof(S_tek, ch1sca) == 256);
static_assert(offsetof(S_tek, hormaisca) == 264);
static_assert(offsetof(S_tek, horrecord) == 272);
static_assert(offsetof(S_tek, hortrigpos) == 276);
static_assert(offsetof(S_tek, trigaedgcoup) == 280);
static_assert(offsetof(S_tek, trigaedgsou) == 292);
static_assert(offsetof(S_tek, trigalev) == 300);
static_assert(offsetof(S_tek, math1) == 304);
static_assert(offsetof(S_tek, linlog) == 328);
static_assert(offsetof(S_tek, selch1) == 336);
static_assert(offsetof(S_tek, selmath) == 344);
// The rows follow the block with no gap, so that the block ends where `mesures` begins.
static_assert(sizeof(S_tek) % alignof(double) == 0);

// One source's curve as read on the notification thread, before it is scaled into its row.
struct Courbe {
    unsigned char octets[kOctetsMax];  // samples: unsigned 16 bits, least significant byte first
    long points = 0;                   // samples received
    bool lisible = false;              // block and preamble read whole
    float yof = 0, ymu = 0, yze = 0;
};

// ---- private record -------------------------------------------------------------------------

struct Tek_prive {
    S_tek bloc;
    double mesures[kSources][kPointsMax];  // the last trace of each acquired source, packed
    double indices[kSources][kPointsMax];  // their abscissae (read by init)

    int ud = -1;      // device opened by the last init; -1 before it
    int points = 0;   // points per channel taken at init; 0 before it
    std::mutex rangs; // `mesures` and `numero_mesure`, between the two threads
    Courbe courbes[kSources];  // the transfers of one cycle (notification thread only)
    panne_gpib::Suivi suivi;   // the faults of the cycle, said on the status list
    plugin::Activite activite;

    static constexpr const char *kNomDefaut = "Oscillo 500MHz";
    static constexpr auto kChampNom = &S_tek::nom_instru;

    // The panel's initial set-up: one consistent set-up before the first OK or init.
    void Defauts() {
        S_tek &b = bloc;
        b.adresse_gpib = 4;
        EcrireChamp(b.acqmod, "SAM");
        b.acqnumav = 2;
        b.acqnume = 512;
        EcrireChamp(b.ch1ban, "FULL");
        EcrireChamp(b.ch2ban, "FULL");
        EcrireChamp(b.ch1coup, "DC");
        EcrireChamp(b.ch2coup, "DC");
        EcrireChamp(b.ch1imp, "MEG");
        EcrireChamp(b.ch2imp, "MEG");
        b.ch1probe = b.ch2probe = 1.0f;
        b.ch1sca = b.ch2sca = 1.0f;
        b.hormaisca = 1;
        b.hor_unit = -3;
        b.horrecord = 10000;
        b.hortrigpos = 50;
        EcrireChamp(b.trigaedgcoup, "DC");
        EcrireChamp(b.trigaedgslo, "FALL");
        EcrireChamp(b.trigaedgsou, "CH1");
        EcrireChamp(b.math1, "CH1");
        EcrireChamp(b.math2, "CH1");
        EcrireChamp(b.mathf, "FFT");
        EcrireChamp(b.fenetre, "BLA");
        EcrireChamp(b.linlog, "LOG");
        b.selch1 = 1;
        b.selmath = 1;
        std::fill(&mesures[0][0], &mesures[0][0] + kSources * kPointsMax,
                  std::numeric_limits<double>::quiet_NaN());
    }

    // The mask the cycle arms its notification with: the service request and the time-out
    // while it runs, 0 once stopped.
    int Masque() { return panne_gpib::Masque(std::atomic_ref<std::int32_t>(bloc.stop_interruption).load()); }
};
using Vie = plugin::Gestion<Tek_prive, tek>;

Tek_prive *Prive(PInstrument *instrument) { return plugin::Prive<Tek_prive>(instrument); }

// One rule for "acquired", wherever a selection or an active flag is read.
bool Actif(std::int32_t v) { return v != 0; }

// Points per channel: those taken at init; before it, the record length of the block, bounded.
int Points(const Tek_prive &p) {
    return p.points > 0 ? p.points : std::clamp<int>(p.bloc.horrecord, 1, kPointsMax);
}

// The text of a 6-byte field, terminated (a loaded block may lack the terminator).
struct Mot {
    explicit Mot(const char (&champ)[6]) { CopierChamp(champ, t); }
    char t[7];
};

// ---- protocol -------------------------------------------------------------------------------

// Sends one command built from a format of this file; the status of the write.
[[gnu::format(printf, 2, 3)]] int Envoyer(int ud, const char *format, ...) {
    char commande[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(commande, sizeof commande, format, args);
    va_end(args);
    return ibecr(ud, commande);
}

using echanges_gpib::JeterReste;
using echanges_gpib::Lecture;
using echanges_gpib::Lire;
using echanges_gpib::LireTexte;

// The number of a reply after its header (":WFMP:YOF"...), blanks before it skipped: a decimal
// number, or an integer for an integer `v`. False when the reply does not begin with the header
// or holds no number after it.
template <class T>
bool NombreApres(std::string_view reponse, std::string_view entete, T &v) {
    if (!reponse.starts_with(entete)) return false;
    reponse.remove_prefix(entete.size());
    if constexpr (std::is_integral_v<T>) return nombres::LireEntier(reponse, v) > 0;
    else return nombres::LireReel(reponse, v) > 0;
}

// Asks `question` and reads one number of the preamble after its header: Illisible when the
// reply holds none, SansReponse when nobody took the question or answered.
Issue LireNombre(int ud, const char *question, std::string_view entete, float &v) {
    if (ibecr(ud, question) & ERR) return Issue::SansReponse;
    char reponse[51];
    if (LireTexte(ud, reponse).echec) return Issue::SansReponse;
    return NombreApres(reponse, entete, v) ? Issue::Lue : Issue::Illisible;
}

// The curve of `source` in the format set by init: ":CURV #", one digit n, n digits of the
// byte count L, L bytes of samples, one terminator; then the preamble of that source. A block
// beyond the row fills it and the rest is read off; a reply that ends early gives the samples
// received. The curve is unreadable (`lisible` false, Illisible) when its block header or a
// preamble number does not parse. A command that finds no listener or a read that times out
// ends the transfer there (SansReponse): the instrument is not asked again and again within
// one cycle.
Issue tek_read_curve(int ud, const char *source, Courbe &c) {
    c.points = 0;
    c.lisible = false;
    if ((Envoyer(ud, "DAT:SOU %s", source) & ERR) || (ibecr(ud, "CURVE?") & ERR)) return Issue::SansReponse;
    char entete[8] = {};
    Lecture l = Lire(ud, entete, 7);  // ":CURV #", not examined
    if (l.echec) return Issue::SansReponse;
    long longueur = -1;
    if (!l.fin) {
        // The n bytes of the length must all be digits: anything else is a block out of step.
        const echanges_gpib::EnteteBloc e = echanges_gpib::LireLongueurBloc(ud);
        if (e.echec) return Issue::SansReponse;
        longueur = e.longueur;
        l.fin = e.fin;
    }
    const bool bloc = longueur >= 0;
    if (bloc) {
        const long utiles = std::min(longueur, kOctetsMax);
        if (utiles > 0 && !l.fin) {
            l = Lire(ud, c.octets, utiles);
            c.points = l.octets / 2;  // an odd last byte is not a sample
            if (l.echec) return Issue::SansReponse;
        }
        // The terminator, or what lies beyond the row and then the terminator.
        if (!l.fin) {
            if (longueur > utiles) {
                JeterReste(ud);
            } else {
                char terminateur = 0;
                l = Lire(ud, &terminateur, 1);
                if (l.echec) return Issue::SansReponse;
                if (!l.fin) JeterReste(ud);
            }
        }
    } else if (!l.fin) {
        JeterReste(ud);
    }
    // The preamble of the source just read, in this order.
    struct Coefficient {
        const char *question, *entete;
        float Courbe::*valeur;
    };
    static constexpr Coefficient kPreambule[] = {{"WFMP:YOF?", ":WFMP:YOF", &Courbe::yof},
                                                 {"WFMP:YMU?", ":WFMP:YMU", &Courbe::ymu},
                                                 {"WFMP:YZE?", ":WFMP:YZE", &Courbe::yze}};
    bool preambule = true;
    for (const Coefficient &k : kPreambule) {
        const Issue i = LireNombre(ud, k.question, k.entete, c.*k.valeur);
        if (i == Issue::SansReponse) return i;
        preambule = preambule && i == Issue::Lue;
    }
    c.lisible = bloc && preambule;
    return c.lisible ? Issue::Lue : Issue::Illisible;
}

// Scales a curve into its row: (sample - YOF) * YMU + YZE in double precision from the
// single-precision coefficients. Points beyond those received keep their values; an unreadable
// curve makes the run's points missing.
void Echelonner(const Courbe &c, double *rang, int points) {
    if (!c.lisible) {
        std::fill(rang, rang + points, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    const double yof = c.yof, ymu = c.ymu, yze = c.yze;
    for (long i = 0; i < c.points; ++i) {
        const unsigned s = c.octets[2 * i] | (static_cast<unsigned>(c.octets[2 * i + 1]) << 8);
        rang[i] = (static_cast<double>(s) - yof) * ymu + yze;
    }
}

// The time axis of `source` into its row: XZE + XIN * i for the points the instrument
// reports, bounded to the row. Nothing is written when the preamble does not parse.
void tek_read_time_axis(int ud, const char *source, double *rang) {
    Envoyer(ud, "DAT:SOU %s", source);
    ibecr(ud, "WFMP:NR_P?");
    char reponse[51];
    LireTexte(ud, reponse);
    int n = 0;
    if (!NombreApres(reponse, ":WFMP:NR_P", n)) n = 0;
    float xin = 0, xze = 0;
    const bool lu_xin = LireNombre(ud, "WFMP:XIN?", ":WFMP:XIN", xin) == Issue::Lue;
    const bool lu_xze = LireNombre(ud, "WFMP:XZE?", ":WFMP:XZE", xze) == Issue::Lue;
    if (!lu_xin || !lu_xze) return;
    n = std::clamp(n, 0, kPointsMax);
    for (int i = 0; i < n; ++i) rang[i] = static_cast<double>(xze) + static_cast<double>(xin) * i;
}

// ---- management -------------------------------------------------------------------------------

// The panel's controls and the block's fields, in the block's order (the address first).
using Champ = std::variant<char (S_tek::*)[6], std::int32_t S_tek::*, float S_tek::*>;
struct Lien {
    int controle;
    Champ champ;
};
const Lien kLiens[] = {
    {P_CFG_TEK_GPIB, &S_tek::adresse_gpib},
    {P_CFG_TEK_ACQMOD, &S_tek::acqmod},
    {P_CFG_TEK_ACQNUMAV, &S_tek::acqnumav},
    {P_CFG_TEK_ACQNUME, &S_tek::acqnume},
    {P_CFG_TEK_CH1BAN, &S_tek::ch1ban},
    {P_CFG_TEK_CH2BAN, &S_tek::ch2ban},
    {P_CFG_TEK_CH1COUP, &S_tek::ch1coup},
    {P_CFG_TEK_CH2COUP, &S_tek::ch2coup},
    {P_CFG_TEK_CH1IMP, &S_tek::ch1imp},
    {P_CFG_TEK_CH2IMP, &S_tek::ch2imp},
    {P_CFG_TEK_CH1INV, &S_tek::ch1inv},
    {P_CFG_TEK_CH2INV, &S_tek::ch2inv},
    {P_CFG_TEK_CH1OFF, &S_tek::ch1off},
    {P_CFG_TEK_CH2OFF, &S_tek::ch2off},
    {P_CFG_TEK_CH1PROBE, &S_tek::ch1probe},
    {P_CFG_TEK_CH2PROBE, &S_tek::ch2probe},
    {P_CFG_TEK_CH1SCA, &S_tek::ch1sca},
    {P_CFG_TEK_CH2SCA, &S_tek::ch2sca},
    {P_CFG_TEK_HORMAISCA, &S_tek::hormaisca},
    {P_CFG_TEK_HOR_unit, &S_tek::hor_unit},
    {P_CFG_TEK_HORRECORD, &S_tek::horrecord},
    {P_CFG_TEK_HORTRIGPOS, &S_tek::hortrigpos},
    {P_CFG_TEK_TRIGAEDGCOUP, &S_tek::trigaedgcoup},
    {P_CFG_TEK_TRIGAEDGSLO, &S_tek::trigaedgslo},
    {P_CFG_TEK_TRIGAEDGSOU, &S_tek::trigaedgsou},
    {P_CFG_TEK_TRIGALEV, &S_tek::trigalev},
    {P_CFG_TEK_MATH1, &S_tek::math1},
    {P_CFG_TEK_MATH2, &S_tek::math2},
    {P_CFG_TEK_MATHF, &S_tek::mathf},
    {P_CFG_TEK_FENETRE, &S_tek::fenetre},
    {P_CFG_TEK_LINLOG, &S_tek::linlog},
    {P_CFG_TEK_SELCH1, &S_tek::selch1},
    {P_CFG_TEK_SELCH2, &S_tek::selch2},
    {P_CFG_TEK_SELMATH, &S_tek::selmath},
};
static_assert(std::size(kLiens) == 34, "the address and the 33 settings");

// Shows a field in its control: texts as strings, floats as doubles, integers as integers. A
// value the control does not offer (a loaded block) leaves the control as the file gives it.
struct Montrer {
    int panel, controle;
    const S_tek &b;
    void operator()(char (S_tek::*f)[6]) const { SetCtrlVal(panel, controle, Mot(b.*f).t); }
    void operator()(std::int32_t S_tek::*f) const { SetCtrlVal(panel, controle, static_cast<int>(b.*f)); }
    void operator()(float S_tek::*f) const { SetCtrlVal(panel, controle, static_cast<double>(b.*f)); }
};

// Reads a control into its field, as the control holds it.
struct Relever {
    int panel, controle;
    S_tek &b;
    void operator()(char (S_tek::*f)[6]) const {
        char texte[7] = "";
        if (GetCtrlVal(panel, controle, texte) >= 0) EcrireChamp(b.*f, texte);
    }
    void operator()(std::int32_t S_tek::*f) const {
        int v = 0;
        if (GetCtrlVal(panel, controle, &v) >= 0) b.*f = v;
    }
    void operator()(float S_tek::*f) const {
        float v = 0;
        if (GetCtrlVal(panel, controle, &v) >= 0) b.*f = v;
    }
};

void tek_configure(PInstrument *instrument) {
    Tek_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_CFG_TEK);
    if (panel < 0) return;
    for (const Lien &l : kLiens) std::visit(Montrer{panel, l.controle, p->bloc}, l.champ);
    SetCtrlAttribute(panel, P_CFG_TEK_TEK_OK, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

// The block up to the rows (flag 0).
void tek_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                    unsigned char *flag) {
    Tek_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = &p->mesures;
    *flag = 0;
}

// The device goes offline first (a transfer the callback waits on ends at once, and the callback
// is waited for), before the record goes.
void tek_liberer(PInstrument *instrument) {
    if (instrument && instrument->structure) {
        Tek_prive *p = Prive(instrument);
        panne_gpib::Fermer(p->suivi, p->ud, p->activite);
    }
    Vie::liberer(instrument);
}

// ---- control ----------------------------------------------------------------------------------

// The set-up of the block, one command each, in the instrument's order.
void Envoyer_reglages(int ud, const S_tek &b, int points) {
    Envoyer(ud, "ACQ:MOD %s", Mot(b.acqmod).t);
    Envoyer(ud, "ACQ:NUMAV %i", b.acqnumav);
    Envoyer(ud, "ACQ:NUME %i", b.acqnume);
    ibecr(ud, "ACQ:STOPA SEQ");
    Envoyer(ud, "CH1:BAN %s", Mot(b.ch1ban).t);
    Envoyer(ud, "CH2:BAN %s", Mot(b.ch2ban).t);
    Envoyer(ud, "CH1:COUP %s", Mot(b.ch1coup).t);
    Envoyer(ud, "CH2:COUP %s", Mot(b.ch2coup).t);
    Envoyer(ud, "CH1:IMP %s", Mot(b.ch1imp).t);
    Envoyer(ud, "CH2:IMP %s", Mot(b.ch2imp).t);
    Envoyer(ud, "CH1:INV %i", b.ch1inv);
    Envoyer(ud, "CH2:INV %i", b.ch2inv);
    Envoyer(ud, "CH1:OFF %f", static_cast<double>(b.ch1off));
    Envoyer(ud, "CH2:OFF %f", static_cast<double>(b.ch2off));
    Envoyer(ud, "CH1:PROBE %f", static_cast<double>(b.ch1probe));
    Envoyer(ud, "CH2:PROBE %f", static_cast<double>(b.ch2probe));
    Envoyer(ud, "CH1:SCA %f", static_cast<double>(b.ch1sca));
    Envoyer(ud, "CH2:SCA %f", static_cast<double>(b.ch2sca));
    ibecr(ud, "HOR:DEL:STATE OFF");
    Envoyer(ud, "HOR:MAI:SCA %ie%i", b.hormaisca, b.hor_unit);
    Envoyer(ud, "HOR:RECORD %i", b.horrecord);
    Envoyer(ud, "HOR:TRIG:POS %i", b.hortrigpos);
    if (TexteChamp(b.mathf) == "FFT")
        Envoyer(ud, "MATH:DEFINE \"FFT(%s,%s,%s)\"", Mot(b.math1).t, Mot(b.fenetre).t, Mot(b.linlog).t);
    else
        Envoyer(ud, "MATH:DEFINE \"%s%s%s\"", Mot(b.math1).t, Mot(b.mathf).t, Mot(b.math2).t);
    Envoyer(ud, "SEL:CH1 %i", Actif(b.selch1) ? 1 : 0);
    Envoyer(ud, "SEL:CH2 %i", Actif(b.selch2) ? 1 : 0);
    Envoyer(ud, "SEL:MATH %i", Actif(b.selmath) ? 1 : 0);
    Envoyer(ud, "TRIG:A:EDG:COUP %s", Mot(b.trigaedgcoup).t);
    Envoyer(ud, "TRIG:A:EDG:SLO %s", Mot(b.trigaedgslo).t);
    Envoyer(ud, "TRIG:A:EDG:SOU %s", Mot(b.trigaedgsou).t);
    ibecr(ud, "TRIG:A:HOL:TIM 2.5e-7");
    Envoyer(ud, "TRIG:A:LEV %f", static_cast<double>(b.trigalev));
    ibecr(ud, "TRIG:A:MOD NORM");
    ibecr(ud, "TRIG:A:TYP EDGE");
    ibecr(ud, "DAT:ENC SRP");
    ibecr(ud, "DAT:WID 2");
    ibecr(ud, "DAT:STAR 1");
    // The transfer ends at the last point a row holds.
    Envoyer(ud, "DAT:STOP %i", points);
}

int tek_init(PInstrument *instrument) {
    Tek_prive *p = Prive(instrument);
    S_tek &b = p->bloc;
    // The previous run's device goes first, and a cycle waiting on it with it; a callback cut
    // short by it says nothing.
    panne_gpib::Fermer(p->suivi, p->ud, p->activite);
    // From the identity on, the replies carry their headers, in short form.
    static constexpr const char *kAvantIdentite[] = {"HEADER ON", "VERB OFF"};
    const ouverture_gpib::Ouverture ouverture{
        .absence = {.texte = "Il faudrait penser à brancher l'oscilloscope à l'adresse "_w},
        .identite = {.modele = "TEKTRONIX,TDS 3052",
                     .avant = kAvantIdentite,
                     .recherche = ouverture_gpib::Recherche::Texte,
                     .compte_borne = true},
        .retrait = {.action = ouverture_gpib::HorsLigneSiOuvert},
    };
    int ud = -1;
    const int carte = ouverture_gpib::Ouvrir(b.adresse_gpib, ouverture, ud);
    if (carte < 0) return -1;
    const int points = std::clamp<int>(b.horrecord, 1, kPointsMax);
    Envoyer_reglages(ud, b, points);

    p->ud = ud;
    p->points = points;
    p->suivi.Preparer(TexteChamp(b.nom_instru), b.adresse_gpib);
    b.identificateur = ud;
    std::atomic_ref<std::int32_t>(b.stop_interruption).store(kNotification);
    {
        std::lock_guard g(p->rangs);
        b.numero_mesure = 0;
    }
    b.voie_active[0] = Actif(b.selch1) ? 1 : 0;
    b.voie_active[1] = Actif(b.selch2) ? 1 : 0;
    b.voie_active[2] = Actif(b.selmath) ? 1 : 0;
    int k = 0;
    for (int s = 0; s < kSources; ++s)
        if (Actif(b.voie_active[s])) tek_read_time_axis(ud, kNomsSources[s], p->indices[k++]);
    return carte;
}

int tek_start(PInstrument *instrument) {
    Tek_prive *p = Prive(instrument);
    const int ud = p->ud;
    ibecr(ud, "DESE 1");
    ibecr(ud, "*ESE 1");
    const int sre = ibecr(ud, "*SRE 32");
    if (sre & ERR) {
        MessagePopup("Attention !!!", "Impossible d'initialiser l'interruption (tektro)");
        return sre;
    }
    ibecr(ud, "*ESR?");
    char reponse[256];
    LireTexte(ud, reponse, 10);
    if (ibnotify(ud, p->Masque(), CB_interruption_tek, p) & ERR) {
        MessagePopup("Attention !!!", "Impossible d'initialiser le tektro");
        return -1;
    }
    p->activite.NotificationArmee(ud);
    const int sta = ibecr(ud, "ACQ:STATE RUN;*OPC");
    if (sta & ERR) {
        MessagePopup("Attention !!!", "Impossible de lancer une mesure");
        ibnotify(ud, 0, CB_interruption_tek, nullptr);
        p->activite.NotificationDesarmee(ud);
        return sta;
    }
    return sta;
}

// What the cycle does after each acquisition: clears the event status ("*ESR?", its reply read
// off), then launches the next acquisition. False when the oscilloscope did not take it (no
// listener, no reply, the launch refused): the launch is tried again at the next time-out.
bool Relancer(int ud) {
    if (ibecr(ud, "*ESR?") & ERR) return false;
    char reponse[256];
    if (LireTexte(ud, reponse, 10).echec) return false;
    return panne_gpib::Lancer(ud, "ACQ:STATE RUN;*OPC");
}

// The next completion still reads, counts and relaunches, then ends the notification.
void tek_stop(PInstrument *instrument) {
    std::atomic_ref<std::int32_t>(Prive(instrument)->bloc.stop_interruption).store(0);
}

// ---- channels ---------------------------------------------------------------------------------

int tek_nb_voie2D(PInstrument *instrument) {
    const S_tek &b = Prive(instrument)->bloc;
    return static_cast<int>(std::count_if(std::begin(b.voie_active), std::end(b.voie_active), Actif));
}

// Channel n is the n-th acquired source in the order CH1, CH2, MATH; any other number has no
// name.
void tek_get_nom_voie2D(PInstrument *instrument, int voie, char *nom_voie) {
    const S_tek &b = Prive(instrument)->bloc;
    nom_voie[0] = '\0';
    int n = 0;
    for (int s = 0; s < kSources; ++s)
        if (Actif(b.voie_active[s]) && ++n == voie) std::strcpy(nom_voie, kNomsVoies[s]);
}

int tek_get_taille_voie2D(PInstrument *instrument, int /*voie*/) { return Points(*Prive(instrument)); }

// Rows exist for channels 1 to 3; another number copies nothing.
void tek_mesure2D(PInstrument *instrument, int voie, double *mesure) {
    Tek_prive *p = Prive(instrument);
    if (voie < 1 || voie > kSources) return;
    std::lock_guard g(p->rangs);
    std::copy_n(p->mesures[voie - 1], Points(*p), mesure);
}

void tek_indices2D(PInstrument *instrument, int voie, double *indice) {
    Tek_prive *p = Prive(instrument);
    if (voie < 1 || voie > kSources) return;
    std::copy_n(p->indices[voie - 1], Points(*p), indice);
}

unsigned tek_numero2D(PInstrument *instrument, int /*voie*/) {
    Tek_prive *p = Prive(instrument);
    std::lock_guard g(p->rangs);
    return p->bloc.numero_mesure;
}

}  // namespace

// ---- the notification cycle -----------------------------------------------------------------

int CB_interruption_tek(int ud, int ibsta_recu, int /*iberr*/, long /*ibcntl*/, void *refData) {
    if (ibsta_recu == ERR) return 0;  // the error alone: the cycle ends here
    auto *p = static_cast<Tek_prive *>(refData);
    // No acquisition completed within the time-out: is the oscilloscope still there, and does
    // an acquisition whose launch failed have to be launched again?
    if ((ibsta_recu & RQS) == 0) {
        p->suivi.Surveiller(ud, [ud] { return Relancer(ud); });
        return p->Masque();
    }
    char octet_etat = 0;
    ibrsp(ud, &octet_etat);
    S_tek &b = p->bloc;
    // Once the oscilloscope has stopped answering, the other sources are not asked for: their
    // rows are missing for this acquisition.
    Issue issue = Issue::Lue;
    int lues = 0;
    for (int s = 0; s < kSources; ++s) {
        if (!Actif(b.voie_active[s])) continue;
        Courbe &c = p->courbes[lues++];
        if (issue != Issue::SansReponse) issue = panne_gpib::Pire(issue, tek_read_curve(ud, kNomsSources[s], c));
        else c.lisible = false;
    }
    {
        // Every row of the acquisition, then its number, in one hand-over.
        std::lock_guard g(p->rangs);
        for (int k = 0; k < lues; ++k) Echelonner(p->courbes[k], p->mesures[k], Points(*p));
        ++b.numero_mesure;
    }
    p->suivi.Cycle(issue, Relancer(ud));
    return p->Masque();
}

PInstrument tek = {
    .nouveau = Vie::nouveau,
    .liberer = tek_liberer,
    .configure = tek_configure,
    .get_memory = tek_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = tek_stop,
    .start = tek_start,
    .init = tek_init,
    .nb_voie2D = tek_nb_voie2D,
    .get_nom_voie2D = tek_get_nom_voie2D,
    .get_taille_voie2D = tek_get_taille_voie2D,
    .mesure2D = tek_mesure2D,
    .indices2D = tek_indices2D,
    .numero2D = tek_numero2D,
};

// ---- panel callback ---------------------------------------------------------------------------

// OK of P_CFG_TEK (callback data: the private record): stores every control into the block,
// then closes the panel. Nothing is sent: the settings reach the instrument at the next init.
int TEK_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Tek_prive *>(callbackData)) {
        for (const Lien &l : kLiens) std::visit(Relever{panel, l.controle, p->bloc}, l.champ);
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(TEK_OK);
