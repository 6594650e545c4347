#include "app/Interface.h"
#include "sim/banc.h"

int main(int argc, char **argv) {
    // The bench configuration may place simulated instruments and ports (a demo bench).
    sim::InstallerBanc();
    return Interface_main(argc, argv);
}
