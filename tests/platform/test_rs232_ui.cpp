// Receive callbacks of the serial ports reach the program's user-interface thread through its
// event loop, as they do in the program.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include <QApplication>

#include "platform/rs232.h"
#include "platform/ui.h"
#include "sim/serie/ligne.h"
#include "sim/serie/peripheriques.h"

namespace {

using namespace std::chrono_literals;

struct Compte {
    std::atomic<int> appels{0};
    std::atomic<bool> surLeFilUi{true};
    std::atomic<int> lus{0};
};

void Rappel(int port, int, void *donnees) {
    auto *c = static_cast<Compte *>(donnees);
    if (!OnUiThread()) c->surLeFilUi = false;
    for (int n = GetInQLen(port); n > 0; --n) {
        ComRdByte(port);
        ++c->lus;
    }
    ++c->appels;
}

TEST(PortSerieUi, CallbacksRunOnTheUserInterfaceThreadWhenItHandlesItsEvents) {
    constexpr int kPort = 9;
    sim::serie::Ligne ligne(sim::serie::CreerModele("boucle"));
    ASSERT_TRUE(ligne.Ouverte());
    ASSERT_EQ(OpenComConfig(kPort, ligne.Chemin().c_str(), 9600, 0, 8, 1, 512, 512), 0);
    Compte compte;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 'E', Rappel, &compte), 0);

    // A device thread sends reports while the user-interface thread is busy elsewhere.
    std::thread appareil([&] { ligne.Envoyer("E12P"); });
    appareil.join();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(compte.appels, 0);  // nothing runs behind the user-interface thread's back

    const auto fin = std::chrono::steady_clock::now() + 5s;
    while (compte.appels == 0 && std::chrono::steady_clock::now() < fin)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(compte.appels, 1);
    EXPECT_TRUE(compte.surLeFilUi);
    EXPECT_EQ(compte.lus, 4);

    // Removed: the next report reaches nobody.
    ASSERT_EQ(InstallComCallback(kPort, 0, 0, 0, nullptr, nullptr), 0);
    ligne.Envoyer("E13P");
    const auto fin2 = std::chrono::steady_clock::now() + 100ms;
    while (std::chrono::steady_clock::now() < fin2) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(compte.appels, 1);
    EXPECT_EQ(CloseCom(kPort), 0);
}

}  // namespace
