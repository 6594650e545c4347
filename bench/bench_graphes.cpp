// Cost of one refresh of the displays at a sampling tick, on real widgets (run under Xvfb):
// eight graph windows, each with a left and a right channel of 1,000-point rings on its three
// graphs, the measurement table of 16 channels, and the 3D view of a channel of 1,000-point
// vectors.
//
// Each benchmark reports the time of one refresh, the share of a 100 ms sampling period it
// takes ("part_periode"), and its ratio to the bare cost of the same work ("rapport_copie":
// copying the same numbers once). Variants:
//   - "appel": what the sampling callback itself spends (the screen follows later);
//   - "dessine": the same plus everything drawn on screen before the next tick;
//   - Reference_QCustomPlot_immediat: the plain way (new plots, autoscale, immediate replot of
//     every graph) for comparison on the same machine.
#include "framework/instrument.h"
#include "framework/liste.h"
#include "framework/voies.h"
#include "graphs/graph3D.h"
#include "graphs/graphtab.h"
#include "platform/ui.h"
#include "tests/support/plugin_essai.h"
#include "uir/UIR_graph3D.h"
#include "uir/UIR_graphtab.h"

#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <QtDataVisualization/Q3DSurface>

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kVoies = 16;
constexpr int kFenetres = 8;
constexpr int kPoints = 1000;
constexpr double kPeriode = 0.100;  // seconds

fichei *liste = nullptr;
PInstrument *banc = nullptr;
PInstrument *spectre = nullptr;
int tick = 0;
Q3DSurface *surface = nullptr;

void Echantillonner() {
    ++tick;
    auto &c = Essai(banc).config;
    for (int k = 0; k < kVoies; ++k) c.valeurs_1D[static_cast<std::size_t>(k)] = std::sin(0.01 * tick * (k + 1)) + 0.1 * k;
    auto &v = Essai(spectre).config.valeurs_2D[0];
    for (int q = 0; q < kPoints; ++q) v[static_cast<std::size_t>(q)] = std::sin(0.02 * q + 0.1 * tick);
    Echantilloner(liste);
}

// Everything the screen shows after the refresh: queued drawings run, windows painted.
void Dessiner() {
    // The queued drawings, then the paint requests they made.
    for (int k = 0; k < 3; ++k) QCoreApplication::processEvents();
    if (surface) {
        QEvent demande(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(surface, &demande);
    }
}

std::string Reference(int tatoo, int voie) { return std::to_string(tatoo) + ";" + std::to_string(voie); }

void Preparer() {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    ConfigEssai c;
    c.nom = "Banc";
    c.mesures_1D = true;
    for (int k = 0; k < kVoies; ++k) {
        c.noms_1D.push_back("V" + std::to_string(k));
        c.valeurs_1D.push_back(0.0);
        c.numeros_1D.push_back(1);
    }
    ConfigEssai v;
    v.nom = "Spectre";
    v.mesures_2D = true;
    v.noms_2D = {"S"};
    v.valeurs_2D = {std::vector<double>(kPoints, 0.0)};
    v.indices_2D = {std::vector<double>(kPoints, 0.0)};
    v.numeros_2D = {1};
    banc = CreerEssai(c);
    spectre = CreerEssai(v);
    liste = Inserer_instru(nullptr, "essai.dll", banc, 1);
    liste = Inserer_instru(liste, "essai.dll", spectre, 2);
    Reserver_buffer_circu(liste);
    nbpointsgraph = kPoints;
    diviseur_short_mid = 2;
    diviseur_mid_long = 5;
    Allouer_buffer_circu();
    Init_buffer2D_circu(liste);
    for (int k = 0; k < kPoints; ++k) Echantillonner();

    Init_graphtab(nb_Bcirc, kFenetres, tableau_Bcirc);
    int k = 0;
    for (LC_GRAPH *w = graphs; w; w = w->next, ++k) {
        SetCtrlVal(w->panelGraph, P_Graph_TRACE_GAUCHE, Reference(1, 2 * k + 1).c_str());
        SetCtrlVal(w->panelGraph, P_Graph_TRACE_DROIT, Reference(1, 2 * k + 2).c_str());
    }
    InitGraph3D(nb_Bcirc2D);
    SetCtrlVal(panel3D, P_OGL_RING, Reference(2, 1).c_str());
    SetCtrlVal(panel3D, P_OGL_CENTER, kPoints / 2);
    SetCtrlVal(panel3D, P_OGL_Z_OUT, 20);
    for (QWindow *w : QGuiApplication::allWindows())
        if (auto *s = qobject_cast<Q3DSurface *>(w)) surface = s;
    for (int i = 0; i < 20; ++i) {
        Echantillonner();
        Visu2D(nb_Bcirc, tableau_Bcirc);
        Visu3D(tableau_Bcirc2D);
        Dessiner();
    }
}

// Seconds to copy once the numbers that one refresh hands over.
double CopieBrute(int nb_doubles) {
    static std::vector<double> source(static_cast<std::size_t>(nb_doubles), 1.0), cible(source.size());
    if (source.size() != static_cast<std::size_t>(nb_doubles)) {
        source.assign(static_cast<std::size_t>(nb_doubles), 1.0);
        cible.resize(source.size());
    }
    const auto debut = std::chrono::steady_clock::now();
    constexpr int kFois = 200;
    for (int i = 0; i < kFois; ++i) {
        source[0] = i;
        std::memcpy(cible.data(), source.data(), source.size() * sizeof(double));
        benchmark::DoNotOptimize(cible.data());
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count() / kFois;
}

// Runs the loop, timing each refresh without the sampling step.
template <class F>
void Mesurer(benchmark::State &state, int nb_doubles, F &&rafraichir) {
    double total = 0;
    for (auto _ : state) {
        Echantillonner();
        const auto debut = std::chrono::steady_clock::now();
        rafraichir();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
        state.SetIterationTime(s);
        total += s;
    }
    const double moyenne = total / static_cast<double>(state.iterations());
    state.counters["part_periode"] = moyenne / kPeriode;
    state.counters["rapport_copie"] = moyenne / CopieBrute(nb_doubles);
}

// Numbers handed over by one refresh: six curves per window, a table row, the 3D surface.
constexpr int kDoubles2D = kFenetres * 6 * kPoints + kVoies;
constexpr int kDoubles3D = 50 * 50;

void BM_Visu2D_appel(benchmark::State &state) {
    Mesurer(state, kDoubles2D, [] { Visu2D(nb_Bcirc, tableau_Bcirc); });
    Dessiner();
}
void BM_Visu2D_dessine(benchmark::State &state) {
    Mesurer(state, kDoubles2D, [] {
        Visu2D(nb_Bcirc, tableau_Bcirc);
        for (int k = 0; k < 3; ++k) QCoreApplication::processEvents();
    });
}
void BM_Visu3D_appel(benchmark::State &state) {
    Mesurer(state, kDoubles3D, [] { Visu3D(tableau_Bcirc2D); });
    Dessiner();
}
void BM_Visu3D_dessine(benchmark::State &state) {
    Mesurer(state, kDoubles3D, [] {
        Visu3D(tableau_Bcirc2D);
        if (surface) {
            QEvent demande(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(surface, &demande);
        }
    });
}
// One sampling tick's whole display: graph windows, table, 3D view, all on screen.
void BM_Rafraichissement_complet(benchmark::State &state) {
    Mesurer(state, kDoubles2D + kDoubles3D, [] {
        Visu2D(nb_Bcirc, tableau_Bcirc);
        Visu3D(tableau_Bcirc2D);
        Dessiner();
    });
}

// The plain way, for comparison: 24 graphs in 8 windows, each refresh makes new plots from
// copied vectors, rescales and replots every graph at once.
void BM_Reference_QCustomPlot_immediat(benchmark::State &state) {
    std::vector<std::unique_ptr<QWidget>> fenetres;
    std::vector<QCustomPlot *> graphes;
    for (int f = 0; f < kFenetres; ++f) {
        auto w = std::make_unique<QWidget>();
        w->resize(980, 750);
        for (int g = 0; g < 3; ++g) {
            auto *p = new QCustomPlot(w.get());
            p->setGeometry(10, 76 + 224 * g, 790, 216);
            p->yAxis2->setVisible(true);
            graphes.push_back(p);
        }
        w->show();
        fenetres.push_back(std::move(w));
    }
    QCoreApplication::processEvents();
    QVector<double> x(kPoints);
    for (int i = 0; i < kPoints; ++i) x[i] = i;
    double total = 0;
    for (auto _ : state) {
        Echantillonner();
        const auto debut = std::chrono::steady_clock::now();
        int k = 0;
        for (QCustomPlot *p : graphes) {
            const ptr &g = tableau_Bcirc[(2 * k) % kVoies];
            const ptr &d = tableau_Bcirc[(2 * k + 1) % kVoies];
            ++k;
            p->clearGraphs();
            p->addGraph(p->xAxis, p->yAxis)->setData(x, QVector<double>(g.points_mid, g.points_mid + kPoints), true);
            p->addGraph(p->xAxis, p->yAxis2)->setData(x, QVector<double>(d.points_mid, d.points_mid + kPoints), true);
            p->rescaleAxes();
            p->replot(QCustomPlot::rpImmediateRefresh);
        }
        QCoreApplication::processEvents();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
        state.SetIterationTime(s);
        total += s;
    }
    const double moyenne = total / static_cast<double>(state.iterations());
    state.counters["part_periode"] = moyenne / kPeriode;
    state.counters["rapport_copie"] = moyenne / CopieBrute(kDoubles2D);
}

BENCHMARK(BM_Visu2D_appel)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Visu2D_dessine)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Visu3D_appel)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Visu3D_dessine)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rafraichissement_complet)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_QCustomPlot_immediat)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (InitUserInterface(argc, argv) == 0) return 2;
    Preparer();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DiscardGraph3D();
    DiscardGraphTab();
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    Effacer_liste_inst(liste);
    return 0;
}
