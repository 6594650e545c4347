// The panels an instrument instance has opened (see panneaux_instrument.h).
#include "framework/panneaux_instrument.h"

#include "platform/ui.h"

#include <string>

void PanneauxOuverts::Ajouter(int panel) { panels_.push_back(panel); }

void PanneauxOuverts::Retirer(int panel) { std::erase(panels_, panel); }

void PanneauxOuverts::ToutFermer() {
    for (const int panel : panels_) DiscardPanel(panel);
    panels_.clear();
}

int CacherPanneau(int panel, int /*control*/, int event, void * /*callbackData*/, int /*eventData1*/,
                  int /*eventData2*/) {
    if (event == EVENT_COMMIT) HidePanel(panel);
    return 0;
}

void ChoisirReferenceOuAucun(int panel, int ring, std::string_view reference) {
    const std::string r(reference);
    if (SetCtrlVal(panel, ring, r.c_str()) < 0) SetCtrlIndex(panel, ring, 0);
}

void ChoisirReference(int panel, int ring, std::string_view reference) {
    const std::string r(reference);
    if (SetCtrlVal(panel, ring, r.c_str()) == 0) return;
    const std::string libelle = "(voie absente) " + r;
    InsertListItem(panel, ring, -1, libelle.c_str(), r.c_str());
    SetCtrlVal(panel, ring, r.c_str());
}
