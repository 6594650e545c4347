// Cost of one refresh of the displays at a sampling tick, on real widgets (run under Xvfb),
// against the plain way of refreshing the same windows with the plot library, timed in the same
// run and interleaved tick by tick so that both see the same load on a shared machine.
//
// The bench, made of test double instruments: 16 scalar channels; a network-analyser-like
// trace of 1,601 points; two oscilloscope channels of 10,000 points. Eight graph windows each
// show a left and a right channel on their three graphs (rings and curves of 1,000 points), the
// measurement table has the 16 channels (full: 501 rows, as after the first 50 seconds at a
// 100 ms period), the 3D view shows an oscilloscope channel.
//
//   BM_Graphes: the graph windows and the table (Visu2D), everything drawn on screen, against
//     the reference: the same 24 graphs in eight plain windows, where each refresh makes new
//     plots from copied vectors, rescales and replots every graph at once. Counters:
//     graphes_ms, reference_ms, rapport = graphes_ms / reference_ms (goal: at most 0.5).
//   BM_Rafraichissement_complet: the whole display of a tick (graph windows, table and 3D
//     view, drawn), with its ratio to the same reference.
//   BM_Visu2D_appel, BM_Visu3D_appel: what the sampling callback itself spends (the screen
//     follows later).
// "part_periode" is the share of a 100 ms sampling period that one refresh takes.
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
#include <QCursor>
#include <QGuiApplication>
#include <QWindow>

#include <chrono>
#include <ctime>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kVoies = 16;
constexpr int kFenetres = 8;
constexpr int kPoints = 1000;
constexpr int kPointsAnalyseur = 1601;
constexpr int kPointsOscillo = 10000;
constexpr double kPeriode = 0.100;  // seconds

using Horloge = std::chrono::steady_clock;

double Secondes(Horloge::duration d) { return std::chrono::duration<double>(d).count(); }

fichei *liste = nullptr;
PInstrument *banc = nullptr;
PInstrument *analyseur = nullptr;
PInstrument *oscillo = nullptr;
int tick = 0;
Q3DSurface *surface = nullptr;

// One sampling step, the readings renewed first.
void Echantillonner() {
    ++tick;
    auto &c = Essai(banc).config;
    for (int k = 0; k < kVoies; ++k) c.valeurs_1D[static_cast<std::size_t>(k)] = std::sin(0.01 * tick * (k + 1)) + 0.1 * k;
    auto &trace = Essai(analyseur).config.valeurs_2D[0];
    for (std::size_t q = 0; q < trace.size(); ++q) trace[q] = -20.0 + 10.0 * std::sin(0.01 * static_cast<double>(q) + 0.1 * tick);
    for (auto &voie : Essai(oscillo).config.valeurs_2D)
        for (std::size_t q = 0; q < voie.size(); ++q) voie[q] = std::sin(0.002 * static_cast<double>(q) + 0.1 * tick);
    Echantilloner(liste);
    // The double notes every call; nothing here reads the notes.
    JournalEssai().clear();
}

// Waits until the display server has carried out every request sent so far (the pixels sent
// to it included): a question to the server is answered only after them.
void AttendreServeur() { benchmark::DoNotOptimize(QCursor::pos()); }

// The queued drawings, then the paint requests they made, until they are on screen.
void DessinerFenetres() {
    for (int k = 0; k < 3; ++k) QCoreApplication::processEvents();
    AttendreServeur();
}

// Everything the screen shows after the refresh: queued drawings run, windows painted.
void Dessiner() {
    DessinerFenetres();
    if (surface) {
        QEvent demande(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(surface, &demande);
    }
}

std::string Reference(int tatoo, int voie) { return std::to_string(tatoo) + ";" + std::to_string(voie); }

ConfigEssai Vecteurs(const std::string &nom, std::vector<std::string> noms, int points) {
    std::vector<double> x(static_cast<std::size_t>(points));
    for (std::size_t q = 0; q < x.size(); ++q) x[q] = static_cast<double>(q);
    const std::size_t n = noms.size();
    return MesuresVecteurs(nom, std::move(noms), std::vector<std::vector<double>>(n, std::vector<double>(x.size(), 0.0)),
                           std::vector<std::vector<double>>(n, x), 1);
}

// The plain way: 24 graphs in eight windows of the same size, shown.
struct Reference_QCustomPlot {
    std::vector<std::unique_ptr<QWidget>> fenetres;
    std::vector<QCustomPlot *> graphes;
    QVector<double> x;

    Reference_QCustomPlot() : x(kPoints) {
        for (int i = 0; i < kPoints; ++i) x[i] = i;
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
    }

    // Each graph gets new plots of the same curves as the graph windows show (the left and the
    // right channel of its window: raw ring, mid-term or long-term curve), copied, rescaled and
    // replotted at once.
    void Rafraichir() {
        for (std::size_t k = 0; k < graphes.size(); ++k) {
            QCustomPlot *p = graphes[k];
            const int fenetre = static_cast<int>(k / 3);
            const ptr &g = tableau_Bcirc[(2 * fenetre) % kVoies];
            const ptr &d = tableau_Bcirc[(2 * fenetre + 1) % kVoies];
            const auto courbe = [&](const ptr &b) {
                switch (k % 3) {
                case 0: {
                    QVector<double> v(kPoints);
                    for (int i = 0; i < kPoints; ++i) v[i] = b.mesure[(b.ptr_mobile + i) % kPoints];
                    return v;
                }
                case 1: return QVector<double>(b.points_mid, b.points_mid + kPoints);
                default: return QVector<double>(b.points_long, b.points_long + kPoints);
                }
            };
            p->clearGraphs();
            p->addGraph(p->xAxis, p->yAxis)->setData(x, courbe(g), true);
            p->addGraph(p->xAxis, p->yAxis2)->setData(x, courbe(d), true);
            p->rescaleAxes();
            p->replot(QCustomPlot::rpImmediateRefresh);
        }
        QCoreApplication::processEvents();
        AttendreServeur();
    }
};
std::unique_ptr<Reference_QCustomPlot> reference;

void Preparer() {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    ConfigEssai c;
    c.nom = "Banc";
    c.mesures_1D = true;
    for (int k = 0; k < kVoies; ++k) {
        std::string nom = "V";
        nom += std::to_string(k);
        c.noms_1D.push_back(nom);
        c.valeurs_1D.push_back(0.0);
        c.numeros_1D.push_back(1);
    }
    banc = CreerEssai(c);
    analyseur = CreerEssai(Vecteurs("Analyseur", {"S21"}, kPointsAnalyseur));
    oscillo = CreerEssai(Vecteurs("Oscillo", {"CH1", "CH2"}, kPointsOscillo));
    liste = Inserer_instru(nullptr, "essai.dll", banc, 1);
    liste = Inserer_instru(liste, "essai.dll", analyseur, 2);
    liste = Inserer_instru(liste, "essai.dll", oscillo, 3);
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
    SetCtrlVal(panel3D, P_OGL_RING, Reference(3, 1).c_str());
    SetCtrlVal(panel3D, P_OGL_CENTER, kPointsOscillo / 2);
    SetCtrlVal(panel3D, P_OGL_Z_OUT, 20);
    for (QWindow *w : QGuiApplication::allWindows())
        if (auto *s = qobject_cast<Q3DSurface *>(w)) surface = s;
    // The measurement table in its lasting state: full (501 rows), each sample's row taking
    // the place of the oldest.
    for (int i = 0; i < 510; ++i) {
        Echantillonner();
        Visu2D(nb_Bcirc, tableau_Bcirc);
    }
    reference = std::make_unique<Reference_QCustomPlot>();
    for (int i = 0; i < 20; ++i) {
        Echantillonner();
        Visu2D(nb_Bcirc, tableau_Bcirc);
        Visu3D(tableau_Bcirc2D);
        Dessiner();
        reference->Rafraichir();
    }
}

// Processor time of this thread, in seconds: what the refresh itself computes, without the
// display server's share and without the waits of a loaded machine.
double TempsProcesseur() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs the ticks: the sampling step (untimed), then `rafraichir`, then the reference refresh.
// "rapport" compares the times until everything is on screen; "rapport_processeur" the
// processor time of the program's own thread.
template <class F>
void Comparer(benchmark::State &state, F &&rafraichir) {
    Horloge::duration notre{}, plain{};
    double notre_cpu = 0, plain_cpu = 0;
    for (auto _ : state) {
        Echantillonner();
        const double c0 = TempsProcesseur();
        const auto t0 = Horloge::now();
        rafraichir();
        const auto t1 = Horloge::now();
        const double c1 = TempsProcesseur();
        reference->Rafraichir();
        const auto t2 = Horloge::now();
        const double c2 = TempsProcesseur();
        state.SetIterationTime(Secondes(t1 - t0));
        notre += t1 - t0;
        plain += t2 - t1;
        notre_cpu += c1 - c0;
        plain_cpu += c2 - c1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["graphes_ms"] = Secondes(notre) / n * 1e3;
    state.counters["reference_ms"] = Secondes(plain) / n * 1e3;
    state.counters["rapport"] = Secondes(notre) / Secondes(plain);
    state.counters["rapport_processeur"] = notre_cpu / plain_cpu;
    state.counters["part_periode"] = Secondes(notre) / n / kPeriode;
}

// What the sampling callback spends, the screen following later.
template <class F>
void Appel(benchmark::State &state, F &&rafraichir) {
    double total = 0;
    for (auto _ : state) {
        Echantillonner();
        const auto t0 = Horloge::now();
        rafraichir();
        const double s = Secondes(Horloge::now() - t0);
        state.SetIterationTime(s);
        total += s;
        Dessiner();
    }
    state.counters["part_periode"] = total / static_cast<double>(state.iterations()) / kPeriode;
}

void BM_Graphes(benchmark::State &state) {
    Comparer(state, [] {
        Visu2D(nb_Bcirc, tableau_Bcirc);
        DessinerFenetres();
    });
}
void BM_Rafraichissement_complet(benchmark::State &state) {
    Comparer(state, [] {
        Visu2D(nb_Bcirc, tableau_Bcirc);
        Visu3D(tableau_Bcirc2D);
        Dessiner();
    });
}
void BM_Visu2D_appel(benchmark::State &state) {
    Appel(state, [] { Visu2D(nb_Bcirc, tableau_Bcirc); });
}
void BM_Visu3D_appel(benchmark::State &state) {
    Appel(state, [] { Visu3D(tableau_Bcirc2D); });
}

BENCHMARK(BM_Graphes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rafraichissement_complet)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Visu2D_appel)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Visu3D_appel)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (InitUserInterface(argc, argv) == 0) return 2;
    Preparer();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    reference.reset();
    DiscardGraph3D();
    DiscardGraphTab();
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    Effacer_liste_inst(liste);
    return 0;
}
