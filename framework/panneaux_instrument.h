// The panels an instrument instance has opened and must discard before it is freed.
//
// A plugin's configuration panel carries the instance's private record as callback data, and
// the operator may leave it open while the instrument is deleted. So each instance keeps the
// panels it has on screen: `configure` adds each panel it loads, the panel's own OK or close
// button takes it out as it discards it, and `liberer` discards those still open before it
// frees the record. A discarded panel calls nothing back any more, so no button of a panel left
// open reaches a freed record.
#pragma once

#include <string_view>
#include <vector>

class PanneauxOuverts {
public:
    // A panel that this instance has just loaded.
    void Ajouter(int panel);
    // A panel that its own OK or close callback is discarding.
    void Retirer(int panel);
    // Discards every panel still open; `liberer` calls it before freeing the record.
    void ToutFermer();

private:
    std::vector<int> panels_;
};

// "Cacher" of a manual-control panel: the panel is hidden and stays loaded, with its values,
// for the next `piloter`. Each plugin registers it under the callback name its resource file
// gives the button (UI_CALLBACK_AS).
int CacherPanneau(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// ---- channel rings of configuration panels --------------------------------------------------
// A channel ring filled by init_liste_voie or init_liste_voie2D lists "(aucun)" (value "")
// first, then one item per channel of the tables as last built, valued by its reference. The
// stored reference may name a channel that the ring does not list: one that is gone, or one
// that is not in the tables yet (right after a settings load). Two rules, each plugin its own:

// Selects `reference`; a reference that the ring does not list shows as "(aucun)", so that
// OK stores no channel.
void ChoisirReferenceOuAucun(int panel, int ring, std::string_view reference);
// Selects `reference`; a reference that the ring does not list gets an item of its own,
// "(voie absente) <reference>", so that OK keeps it instead of clearing it.
void ChoisirReference(int panel, int ring, std::string_view reference);
