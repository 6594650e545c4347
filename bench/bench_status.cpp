// Cost of 1,000 status lines written in one turn of the event loop (a script that reports on
// every line), on the real main panel (run under Xvfb), and the longest stall of the event loop
// while a timer writes such bursts.
//
//   BM_Status_1000_lignes: afficher_status 1,000 times, then the loop draws what is pending;
//   BM_Reference_insertion_naive: the same lines each inserted, trimmed, scrolled into view
//     and drawn at once (every window repainted) — the plain way, for comparison;
//   the ratio "rapport_naif" of the two is printed by the first (goal: at most 0.1).
//   BM_Boucle_rafales: a timer tick writes 1,000 lines ten times; "attente_max_ms" is the
//     longest time the event loop could not serve anything else.
#include "framework/liste.h"
#include "platform/utility.h"
#include "platform/ui.h"
#include "uir/Interface.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr int kLignes = 1000;
int panel = 0;
double duree_naive = 0.0;

using Horloge = std::chrono::steady_clock;

double Secondes(Horloge::time_point debut) {
    return std::chrono::duration<double>(Horloge::now() - debut).count();
}

void Rafale() {
    for (int k = 0; k < kLignes; ++k) afficher_status(panel, ("ligne de script " + std::to_string(k)).c_str());
}

void BM_Reference_insertion_naive(benchmark::State &state) {
    for (auto _ : state) {
        ClearListCtrl(panel, P_Commande_STATUS);
        const auto debut = Horloge::now();
        for (int k = 0; k < kLignes; ++k) {
            const std::string ligne = TimeStr() + std::string("\x1bvline") + "ligne de script " + std::to_string(k);
            InsertListItem(panel, P_Commande_STATUS, -1, ligne.c_str(), 0);
            int n = 0;
            GetNumListItems(panel, P_Commande_STATUS, &n);
            if (n > 400) DeleteListItem(panel, P_Commande_STATUS, 0, n - 400);
            SetCtrlAttribute(panel, P_Commande_STATUS, ATTR_FIRST_VISIBLE_LINE, std::max(0, std::min(n, 400) - 10));
            ProcessDrawEvents();
        }
        QApplication::processEvents();
        const double t = Secondes(debut);
        state.SetIterationTime(t);
        duree_naive = t;
    }
}

void BM_Status_1000_lignes(benchmark::State &state) {
    double derniere = 0.0;
    for (auto _ : state) {
        ClearListCtrl(panel, P_Commande_STATUS);
        QApplication::processEvents();
        const auto debut = Horloge::now();
        Rafale();
        QApplication::processEvents();  // what is left to draw
        derniere = Secondes(debut);
        state.SetIterationTime(derniere);
    }
    if (duree_naive > 0) state.counters["rapport_naif"] = derniere / duree_naive;
}

void BM_Boucle_rafales(benchmark::State &state) {
    for (auto _ : state) {
        double attente_max = 0.0;
        int rafales = 0;
        QTimer ecrivain;
        ecrivain.setInterval(100);
        QObject::connect(&ecrivain, &QTimer::timeout, [&] {
            Rafale();
            ++rafales;
        });
        // A probe posted every millisecond: the gap between two of its runs is a stall.
        QTimer sonde;
        sonde.setInterval(1);
        auto precedent = Horloge::now();
        QObject::connect(&sonde, &QTimer::timeout, [&] {
            const auto maintenant = Horloge::now();
            attente_max = std::max(attente_max, std::chrono::duration<double>(maintenant - precedent).count());
            precedent = maintenant;
        });
        const auto debut = Horloge::now();
        ecrivain.start();
        sonde.start();
        while (rafales < 10) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ecrivain.stop();
        sonde.stop();
        state.SetIterationTime(Secondes(debut));
        state.counters["attente_max_ms"] = attente_max * 1000.0;
    }
}

BENCHMARK(BM_Reference_insertion_naive)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Status_1000_lignes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Boucle_rafales)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (InitUserInterface(argc, argv) == 0) return 2;
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    panel = LoadPanel(0, "Interface.uir", P_Commande);
    if (panel < 0) return 2;
    DisplayPanel(panel);
    QApplication::processEvents();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DiscardPanel(panel);
    return 0;
}
