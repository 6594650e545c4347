// GPIB bus scan of the main panel (window P_SCAN of "Interface.uir").
#include "app/scan_gpib.h"

#include "app/Interface.h"
#include "platform/gpib.h"
#include "platform/ui.h"
#include "uir/Interface.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int kCarte = 0;             // the scan looks at board 0 only
constexpr int kPremiereAdresse = 1;   // address 0 is the board's own
constexpr int kDerniereAdresse = 30;  // the highest primary address
constexpr int kNbAdresses = kDerniereAdresse - kPremiereAdresse + 1;
constexpr int kTailleResultats = 255;  // entries of the result list
constexpr int kLimiteResultats = 254;  // at most this many addresses found
constexpr long kTailleReponse = 255;   // bytes of identification kept

constexpr char kQuestion[] = "*IDN?";

// Each scan window open, with the main panel whose start button it keeps dimmed.
std::map<int, int> fenetres_scan;

bool Chargee(int panel) {
    int visible = 0;
    return GetPanelAttribute(panel, ATTR_VISIBLE, &visible) >= 0;
}

void Griser_demarrage(int grise) {
    SetCtrlAttribute(panel_commande, P_Commande_COMMANDBUTTON_Acq, ATTR_DIMMED, grise);
}

}  // namespace

int Fenetres_scan_ouvertes() {
    // Windows discarded by other means than their button are forgotten here.
    std::erase_if(fenetres_scan, [](const auto &f) { return !Chargee(f.first); });
    return static_cast<int>(std::count_if(fenetres_scan.begin(), fenetres_scan.end(),
                                          [](const auto &f) { return f.second == panel_commande; }));
}

int Prog_Scan_GPIB(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // The bus belongs to the instruments while they measure (the button is dimmed then).
    if (acquisition_en_cours != 0) return 0;
    const int fenetre = LoadPanel(0, "Interface.uir", P_SCAN);
    if (fenetre < 0) return -1;
    fenetres_scan[fenetre] = panel_commande;
    Griser_demarrage(1);
    DisplayPanel(fenetre);
    return 0;
}
UI_CALLBACK(Prog_Scan_GPIB);

int DO_Scan(int panel, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // An identification query would clear the pending reply of an instrument being measured.
    if (acquisition_en_cours != 0) return 0;

    Addr4882_t recherche[kNbAdresses + 1];
    for (int i = 0; i < kNbAdresses; ++i) recherche[i] = static_cast<Addr4882_t>(kPremiereAdresse + i);
    recherche[kNbAdresses] = NOADDR;
    Addr4882_t trouvees[kTailleResultats] = {};
    FindLstn(kCarte, recherche, trouvees, kLimiteResultats);

    DeleteTableRows(panel, P_SCAN_TABLE, 1, -1);
    for (int i = 0; i < kTailleResultats && trouvees[i] > 0; ++i) {
        const Addr4882_t adresse = trouvees[i];
        const int ligne = i + 1;
        // Zeroed for each device: a failed read leaves nothing of the previous reply.
        char reponse[kTailleReponse + 1] = {};
        Send(kCarte, adresse, kQuestion, sizeof kQuestion - 1, DABend);
        Receive(kCarte, adresse, reponse, kTailleReponse, STOPend);
        // The count comes from the driver: it never places the end past the buffer.
        reponse[std::clamp<long>(ThreadIbcnt(), 0, kTailleReponse)] = '\0';

        InsertTableRows(panel, P_SCAN_TABLE, -1, 1);
        SetTableCellVal(panel, P_SCAN_TABLE, MakePoint(2, ligne), reponse);
        char texte[16];
        std::snprintf(texte, sizeof texte, "%i", adresse);
        SetTableCellVal(panel, P_SCAN_TABLE, MakePoint(1, ligne), texte);
    }
    return 0;
}
UI_CALLBACK(DO_Scan);

int Fermer_Scan(int panel, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    fenetres_scan.erase(panel);
    DiscardPanel(panel);
    // The start button comes back with the last scan window, and only while stopped: during an
    // acquisition its state belongs to the acquisition (the synchronised mode keeps it dimmed).
    if (Fenetres_scan_ouvertes() == 0 && acquisition_en_cours == 0) Griser_demarrage(0);
    return 0;
}
UI_CALLBACK(Fermer_Scan);
