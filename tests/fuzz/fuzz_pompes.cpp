// The pumps: the peristaltic pump's reply to "1!" (its maximum flow) whatever its bytes, the
// speed computed against it for any flow, and the commands that scripts send to both pump
// plugins ("commande <pompe>:<texte>") on a port that is not open, whose failures are pop-ups
// answered at once (their pauses pass at once on the fake clock). A maximum taken is above 0, a
// speed an int, and nothing reads or writes out of bounds. The first 8 bytes of the input are
// the flow, the rest the reply and the command.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "instruments/bench/Pompe_Ismatec.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/ui_test.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static PInstrument *peristaltique = nullptr;
    static PInstrument *seringues = nullptr;
    static const bool pret = [] {
        ui_test::ActiverScript([](const std::string &) {});
        horloge::UtiliserHorlogeFactice(0);  // the plugins' pauses pass at once
        peristaltique = Nouvel_instrument("Pompe_Ismatec.dll");
        seringues = Nouvel_instrument("Pousse_Seringue.dll");
        return peristaltique && seringues;
    }();
    if (!pret) __builtin_trap();
    if (taille < sizeof(double)) return 0;
    double debit = 0;
    std::memcpy(&debit, donnees, sizeof debit);
    const std::string texte(reinterpret_cast<const char *>(donnees + sizeof debit), taille - sizeof debit);

    if (const std::optional<double> maximum = Ismatec_debit_maximum(texte)) {
        if (!(*maximum > 0)) __builtin_trap();
        (void)Ismatec_pour_mille(debit, *maximum);
    }
    const std::string commande = texte.substr(0, texte.find('\0'));
    peristaltique->execute(peristaltique, commande.c_str());
    seringues->execute(seringues, commande.c_str());
    return 0;
}
