// The panels an instrument instance keeps open: ToutFermer discards those added and not taken
// out again, and only those.
#include "framework/panneaux_instrument.h"
#include "platform/ui.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_bidon_pilote.h"

#include <gtest/gtest.h>

namespace {

TEST(PanneauxOuverts, ToutFermerDiscardsThePanelsStillHeld) {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    const int a = LoadPanel(0, "UIR_bidon_pilote.uir", P_config);
    const int b = LoadPanel(0, "UIR_bidon_pilote.uir", P_config);
    const int c = LoadPanel(0, "UIR_bidon_pilote.uir", P_config);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_GT(c, 0);
    PanneauxOuverts panneaux;
    panneaux.Ajouter(a);
    panneaux.Ajouter(b);
    panneaux.Retirer(a);  // its own button took it out: no longer this instance's to discard
    panneaux.ToutFermer();
    EXPECT_TRUE(Charge(a));
    EXPECT_FALSE(Charge(b));
    EXPECT_TRUE(Charge(c)) << "a panel never added is not discarded";
    // Emptied: a second ToutFermer discards nothing.
    panneaux.ToutFermer();
    EXPECT_TRUE(Charge(a));
    DiscardPanel(a);
    DiscardPanel(c);
}

}  // namespace
