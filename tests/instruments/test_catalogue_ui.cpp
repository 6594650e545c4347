// The add dialog's ring lists the catalogue: labels as the operator reads them, type keys as
// item values.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "platform/ui.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

TEST(CatalogueRing, FilledWithEveryRowEachTimeTheDialogOpens) {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    const int panel = LoadPanel(0, "Interface.uir", PANEL_Ajou);
    ASSERT_GT(panel, 0);
    InsertListItem(panel, PANEL_Ajou_RING_Ajou_Type, -1, "ancien", "ancien.dll");
    for (int fois = 0; fois < 2; ++fois) {  // a second fill replaces, it does not append
        remplir_liste_instru(panel);
        int nombre = 0;
        GetNumListItems(panel, PANEL_Ajou_RING_Ajou_Type, &nombre);
        ASSERT_EQ(nombre, kLignesCatalogue);
        for (int i = 0; i < nombre; ++i) {
            char libelle[300] = {}, valeur[300] = {};
            GetLabelFromIndex(panel, PANEL_Ajou_RING_Ajou_Type, i, libelle, sizeof libelle);
            GetValueFromIndex(panel, PANEL_Ajou_RING_Ajou_Type, i, valeur, sizeof valeur);
            EXPECT_STREQ(libelle, catalogue_instru[i].libelle) << i;
            EXPECT_STREQ(valeur, catalogue_instru[i].type_apareil) << i;
        }
    }
    // The value the add command reads for the chosen row.
    SetCtrlIndex(panel, PANEL_Ajou_RING_Ajou_Type, 10);
    char cle[255] = {};
    GetCtrlVal(panel, PANEL_Ajou_RING_Ajou_Type, cle);
    EXPECT_STREQ(cle, "pilote_bidon.dll");
    DiscardPanel(panel);
}
