// The sampling timer at the shortest period the program offers, for a minute, under load: the
// program itself (its main panel, run under Xvfb) acquires with a 16-channel test double
// instrument, its graph window, its measurement table and its record file, while a script-like
// writer adds bursts of status lines (100 lines every 100 ms). The time of each tick is taken
// inside the sampling step by a probe instrument (its calculer_1D), so it is the time the
// bench is really sampled.
//
// Counters: periode_ms (the shortest period of N_TEch), ticks, manques (ticks the period owed
// but that did not come: the span from the first to the last tick, in periods, against the
// ticks counted), intervalle_moyen_ms, ecart_type_ms (spread of the intervals between ticks),
// intervalle_min_ms / intervalle_max_ms, p99_ms (99th percentile of the intervals), retard_max_ms
// (the latest tick against the grid of the first tick and the period), charge (load average of
// the machine over the last minute, at the end).
//
// The run lasts 60 s; "--duree=<seconds>" changes it (the test suite runs 3 s).
#include "app/Interface.h"
#include "framework/liste.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Horloge = std::chrono::steady_clock;

double duree_s = 60.0;
std::vector<Horloge::time_point> ticks;

// The probe: an instrument with no channel whose calculation notes the time of each sample.
void NomSonde(PInstrument *, char *nom) { std::strcpy(nom, "Sonde"); }
void NoterTick(PInstrument *) {
    if (ticks.size() < ticks.capacity()) ticks.push_back(Horloge::now());
}
void LibererSonde(PInstrument *) {}

PInstrument *Sonde() {
    static PInstrument sonde = [] {
        PInstrument p{};
        p.liberer = LibererSonde;
        p.get_nom_instru = NomSonde;
        p.calculer_1D = NoterTick;
        return p;
    }();
    return &sonde;
}

void Ajouter(PInstrument *instrument, const char *nom) {
    liste_instru = Inserer_instru(liste_instru, "essai.dll", instrument, get_tatoo());
    InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
}

double ChargeMachine() {
    double charge = -1;
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &charge) != 1) charge = -1;
        std::fclose(f);
    }
    return charge;
}

double Ms(Horloge::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_MinuterieEchantillonnage(benchmark::State &state) {
    QTemporaryDir dossier;
    ConfigEssai c;
    c.nom = "Banc";
    c.mesures_1D = true;
    for (int k = 0; k < 16; ++k) {
        c.noms_1D.push_back("V" + std::to_string(k));
        c.valeurs_1D.push_back(1.0 + k);
        c.numeros_1D.push_back(1);
    }
    PInstrument *banc = CreerEssai(c);
    Ajouter(banc, "Banc");
    Ajouter(Sonde(), "Sonde");

    double periode = 0;
    GetCtrlAttribute(panel_commande, P_Commande_N_TEch, ATTR_MIN_VALUE, &periode);
    SetCtrlVal(panel_commande, P_Commande_N_TEch, periode);
    ticks.clear();
    ticks.reserve(static_cast<std::size_t>(duree_s / periode * 2) + 16);

    // A script reporting on every line of a long loop.
    QTimer ecrivain;
    ecrivain.setInterval(100);
    int lignes = 0;
    QObject::connect(&ecrivain, &QTimer::timeout, [&] {
        for (int k = 0; k < 100; ++k) afficher_status(panel_commande, ("ligne de script " + std::to_string(++lignes)).c_str());
        // Readings move, as a real bench's do.
        auto &v = Essai(banc).config.valeurs_1D;
        for (std::size_t k = 0; k < v.size(); ++k) v[k] = std::sin(0.001 * lignes * static_cast<double>(k + 1));
        JournalEssai().clear();
    });

    for (auto _ : state) {
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath("mesures.xls").toStdString());
        ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        if (acquisition_en_cours != 1) {
            state.SkipWithError("the acquisition did not start");
            return;
        }
        ecrivain.start();
        const auto debut = Horloge::now();
        // The program's own event loop, for the whole run.
        QEventLoop boucle;
        QTimer::singleShot(static_cast<int>(duree_s * 1000), &boucle, &QEventLoop::quit);
        boucle.exec();
        ecrivain.stop();
        ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        state.SetIterationTime(std::chrono::duration<double>(Horloge::now() - debut).count());
    }

    const double p_ms = periode * 1000.0;
    state.counters["periode_ms"] = p_ms;
    state.counters["ticks"] = static_cast<double>(ticks.size());
    state.counters["charge"] = ChargeMachine();
    if (ticks.size() < 2) return;
    std::vector<double> intervalles;
    for (std::size_t k = 1; k < ticks.size(); ++k) intervalles.push_back(Ms(ticks[k] - ticks[k - 1]));
    const double etendue = Ms(ticks.back() - ticks.front());
    double somme = 0, carres = 0, retard_max = 0;
    for (double i : intervalles) somme += i;
    const double moyenne = somme / static_cast<double>(intervalles.size());
    for (double i : intervalles) carres += (i - moyenne) * (i - moyenne);
    for (std::size_t k = 0; k < ticks.size(); ++k)
        retard_max = std::max(retard_max, Ms(ticks[k] - ticks.front()) - static_cast<double>(k) * p_ms);
    std::vector<double> tries = intervalles;
    std::sort(tries.begin(), tries.end());
    state.counters["manques"] = std::round(etendue / p_ms) + 1 - static_cast<double>(ticks.size());
    state.counters["intervalle_moyen_ms"] = moyenne;
    state.counters["ecart_type_ms"] = std::sqrt(carres / static_cast<double>(intervalles.size()));
    state.counters["intervalle_min_ms"] = tries.front();
    state.counters["intervalle_max_ms"] = tries.back();
    state.counters["p99_ms"] = tries[std::min(tries.size() - 1, tries.size() * 99 / 100)];
    state.counters["retard_max_ms"] = retard_max;
}
BENCHMARK(BM_MinuterieEchantillonnage)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char **argv) {
    // "--duree=<seconds>" is this program's own; the rest goes to the benchmark library.
    std::vector<char *> arguments;
    for (int k = 0; k < argc; ++k) {
        if (std::strncmp(argv[k], "--duree=", 8) == 0) duree_s = std::atof(argv[k] + 8);
        else arguments.push_back(argv[k]);
    }
    int n = static_cast<int>(arguments.size());
    benchmark::Initialize(&n, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(n, arguments.data())) return 1;
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    char nom[] = "banc";
    char *args[] = {nom, nullptr};
    if (Ouvrir_interface(1, args) < 0) return 2;
    ui_test::ActiverScript([](const std::string &d) { std::fprintf(stderr, "unexpected pop-up: %s\n", d.c_str()); });
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Fermer_interface();
    return 0;
}
