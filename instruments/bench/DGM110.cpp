// "DGM (retour infos)": the concentration analyser on a serial port (see DGM110.h).
//
// The private record holds the 132-byte settings block and its end marker, the channel's value
// and reading counter, then what only lives in this run (liaison_serie.h): the port the last
// `init` opened (the callback and `stop` use it, whatever the configuration panel changed since),
// the instance's activity (its configuration panels, its receive callback and the watch over the
// frames, which `liberer` stops before the record goes), and the fault said on the status list.
// The receive callback runs on the user-interface thread (the serial layer delivers it there).
//
// An analyser that stops sending frames during an acquisition, or whose bytes make no frame, is
// said once on the status list, and again when a frame comes anew (banc::Veille).
#include "instruments/bench/DGM110.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/liaison_serie.h"
#include "instruments/bench/pilotage.h"
#include "platform/rs232.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "uir/UIR_DGM110.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_DGM110.uir";
constexpr std::size_t kCorpsMax = 512;  // bytes of a frame between 'E' and 'P'
constexpr double kSilenceMin = 10.0;     // seconds without a frame before it is said

// ---- saved block --------------------------------------------------------------------------

struct S_DGM110 {
    char nom_instrument[128];  // terminated, at most 39 characters
    std::int32_t com_port;     // COM port number, 1..4
};
static_assert(sizeof(S_DGM110) == 132, "settings block of 132 bytes");
static_assert(offsetof(S_DGM110, com_port) == 128);
static_assert(std::is_trivially_copyable_v<S_DGM110>);

// ---- private record -----------------------------------------------------------------------

struct DGM110_prive : banc::Liaison {
    S_DGM110 bloc;
    char dont_remove_me = 0;  // the block ends here (get_memory flag 0)
    unsigned numero_mes1D[1] = {};
    double zone_memoire_mes1D[1] = {NotANumber()};
    banc::Veille veille;      // over the frames, while the callback is installed

    static constexpr const char *kNomDefaut = "DGM110";
    static constexpr auto kChampNom = &S_DGM110::nom_instrument;

    void Defauts() { bloc.com_port = 2; }
};
// The end marker follows the block at once: the block's size is a multiple of its alignment.
static_assert(sizeof(S_DGM110) % alignof(S_DGM110) == 0);
using Vie = plugin::Gestion<DGM110_prive, DGM110>;

constexpr auto Prive = plugin::Prive<DGM110_prive>;

// ---- protocol -----------------------------------------------------------------------------

// The receive callback, on each 'E': one frame up to its 'P', then the input queue is emptied
// (a frame already received behind it goes too). A frame that stops before its 'P' (a read
// that times out or fails, or more bytes than any frame holds) is no reading, and neither is one
// whose digits no reading holds: nothing is stored.
void DGM_comint(int /*portNumber*/, int eventMask, void *callbackData) {
    if ((eventMask & LWRS_RXFLAG) == 0 || callbackData == nullptr) return;
    DGM110_prive &p = *static_cast<DGM110_prive *>(callbackData);
    if (!banc::OctetsEnAttente(p.port) || !banc::SauterJusqua(p.port, 'E')) return;
    std::string corps;
    bool entiere = false;
    while (corps.size() < kCorpsMax) {
        const int c = ComRdByte(p.port);
        if (c < 0) break;
        if (c == 'P') {
            entiere = true;
            break;
        }
        corps.push_back(static_cast<char>(c));
    }
    FlushInQ(p.port);
    const auto lecture = entiere ? DGM110_lecture(corps) : std::nullopt;
    if (!lecture) {
        p.veille.Illisible();
        return;
    }
    p.zone_memoire_mes1D[0] = static_cast<double>(*lecture);
    ++p.numero_mes1D[0];
    p.veille.Lecture();
}

// ---- management -------------------------------------------------------------------------

void DGM110_configure(PInstrument *instrument) {
    DGM110_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_INSTR, P_INSTR_CB_OK, p);
    if (panel <= 0) return;
    SetCtrlVal(panel, P_INSTR_RG_COM_ID, p->bloc.com_port);
    DisplayPanel(panel);
}

// The block up to the end marker (flag 0).
void DGM110_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                       unsigned char *flag) {
    DGM110_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = &p->dont_remove_me;
    *flag = 0;
}

// ---- control ------------------------------------------------------------------------------

// The port's opening is not looked at here: a port that did not open fails the start.
int DGM110_init(PInstrument *instrument) {
    DGM110_prive &p = *Prive(instrument);
    p.zone_memoire_mes1D[0] = NotANumber();
    p.numero_mes1D[0] = 0;
    p.panne.Oublier();
    banc::OuvrirPort(p, p.bloc.com_port);
    return 0;
}

// Frames already waiting are kept: the first call reads the oldest one.
int DGM110_start(PInstrument *instrument) {
    DGM110_prive &p = *Prive(instrument);
    const int r = InstallComCallback(p.port, LWRS_RXFLAG, 0, 'E', DGM_comint, &p);
    if (r == 0) {
        p.activite.RappelSerieInstalle(p.port);
        p.veille.Armer(p, p.bloc.nom_instrument, kSilenceMin);
    }
    return r;
}

void DGM110_stop(PInstrument *instrument) {
    DGM110_prive &p = *Prive(instrument);
    p.veille.Desarmer();
    InstallComCallback(p.port, 0, 0, 0, nullptr, nullptr);
    p.activite.RappelSerieRetire(p.port);
}

// ---- channel ------------------------------------------------------------------------------

int DGM110_nb_voie_1D(PInstrument * /*instrument*/) { return 1; }

void DGM110_get_nom_voie_1D(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    std::strcpy(nom_voie, voie == 1 ? "Concentration" : "Erreur");
}

double DGM110_mesure_1D(PInstrument *instrument, int voie) {
    return voie == 1 ? Prive(instrument)->zone_memoire_mes1D[0] : NotANumber();
}

unsigned DGM110_numero_1D(PInstrument *instrument, int voie) {
    return voie == 1 ? Prive(instrument)->numero_mes1D[0] : 0u;
}

}  // namespace

std::optional<std::int32_t> DGM110_lecture(std::string_view corps) {
    std::int64_t lecture = 0;
    for (const char c : corps) {
        if (c < '0' || c > '9') continue;
        lecture = 10 * lecture + (c - '0');
        if (lecture > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return static_cast<std::int32_t>(lecture);
}

PInstrument DGM110 = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = DGM110_configure,
    .get_memory = DGM110_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = DGM110_stop,
    .start = DGM110_start,
    .init = DGM110_init,
    .nb_voie_1D = DGM110_nb_voie_1D,
    .get_nom_voie_1D = DGM110_get_nom_voie_1D,
    .mesure_1D = DGM110_mesure_1D,
    .numero_1D = DGM110_numero_1D,
};

// ---- panel callback (callback data: the private record) -------------------------------------

// Stores the port and closes the panel; the next acquisition start opens it.
int CB_DGM110_config_ok(int panel, int, int event, void *callbackData, int, int) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<DGM110_prive *>(callbackData);
    int port = 0;
    if (p != nullptr && GetCtrlVal(panel, P_INSTR_RG_COM_ID, &port) == 0) p->bloc.com_port = port;
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(CB_DGM110_config_ok);
