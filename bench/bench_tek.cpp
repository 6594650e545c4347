// The oscilloscope's acquisition cycle at 10,000 points per channel, two channels, through the
// simulated GPIB bus: one service-request callback (serial poll, for each channel the source,
// the curve in its five reads and the three preamble queries, the scaling into the row, then
// "*ESR?" and the relaunch), and the sampling step's pull of the two vectors with their
// abscissae (mesure2D and indices2D).
//
// Each is set against the bare copy of the same points (memcpy of the doubles), timed in the
// same run, so that the ratio holds on a noisy machine.
//
// Counters (microseconds per cycle):
//   cycle_us     one callback            releve_us   mesure2D + indices2D of both channels
//   copie_us     memcpy of the same points (2 x 10,000 doubles; 4 x for the pull)
//   rapport      cycle_us / copie_us     rapport_releve  releve_us / copie_us
//   marge        the demo's sampling period (1 s) / cycle_us: how many cycles fit in it
//
// The program fails (exit status 1) when a cycle does not fit in the demo's period.
#include "instruments/analysers/tektro3052.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/bench_config.h"
#include "platform/gpib.h"
#include "sim/analysers/tds3052.h"
#include "sim/banc.h"
#include "sim/bus.h"

namespace {

using Horloge = std::chrono::steady_clock;
constexpr int kPoints = 10000;
constexpr double kPeriodeDemo = 1.0;  // seconds: the main panel's sampling period
constexpr std::size_t kSelch2 = 340, kSelmath = 344;
bool en_retard = false;

double Microsecondes(Horloge::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The simulated oscilloscope at address 4 with its last acquisition held (no new trigger
// comes), and an instance set up for channels 1 and 2.
struct Banc {
    Banc() {
        const auto conf = std::filesystem::temp_directory_path() / "bench-tek.conf";
        std::ofstream(conf) << "gpib0 = sim\n";
        RechargerConfigurationBanc(conf.c_str());
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Brancher(4, tds);
        tek.nouveau(&instance);
        void *debut = nullptr, *fin = nullptr;
        unsigned taille = 0;
        unsigned char drapeau = 0;
        instance->get_memory(instance, &debut, &fin, &taille, &drapeau);
        const std::int32_t un = 1, zero = 0;
        std::memcpy(static_cast<char *>(debut) + kSelch2, &un, 4);
        std::memcpy(static_cast<char *>(debut) + kSelmath, &zero, 4);
        instance->init(instance);
        ud = *static_cast<const std::int32_t *>(debut);
        // One acquisition, then a trigger level no signal reaches: the relaunched acquisitions
        // wait, and every cycle reads the waveforms held.
        Ecrire("ACQ:STATE RUN;*OPC");
        while (tds->Acquisitions() == 0) {
            tds->DemandeService();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Ecrire("TRIG:A:LEV 100");
    }
    ~Banc() {
        instance->liberer(instance);
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
    }
    void Ecrire(const std::string &commande) const { ibwrt(ud, commande.c_str(), static_cast<long>(commande.size() + 1)); }

    std::shared_ptr<sim::Tds3052> tds = std::make_shared<sim::Tds3052>();
    PInstrument *instance = nullptr;
    int ud = -1;
};

// The bare cost: `fois` copies of 2 x kPoints doubles.
double CopieNue(long long n, int fois) {
    std::vector<double> source(2 * kPoints, 0.5), destination(2 * kPoints);
    const auto debut = Horloge::now();
    for (long long i = 0; i < n; ++i)
        for (int k = 0; k < fois; ++k) {
            std::memcpy(destination.data(), source.data(), source.size() * sizeof(double));
            benchmark::DoNotOptimize(destination.data());
            benchmark::ClobberMemory();
        }
    return Microsecondes(Horloge::now() - debut) / static_cast<double>(n);
}

// Times `travail` at every iteration; its microseconds per iteration, and the bare copy of
// `fois` x 2 x kPoints doubles beside it (counter "copie_us").
template <class F>
double Mesurer(benchmark::State &state, int fois, F &&travail) {
    Horloge::duration total{};
    for (auto _ : state) {
        const auto debut = Horloge::now();
        travail();
        total += Horloge::now() - debut;
    }
    const auto n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["copie_us"] = CopieNue(std::max<long long>(state.iterations(), 200), fois);
    return Microsecondes(total) / n;
}

void BM_CycleTek(benchmark::State &state) {
    Banc banc;
    const double cycle_us =
        Mesurer(state, 1, [&] { CB_interruption_tek(banc.ud, RQS | CMPL, 0, 0, banc.instance->structure); });
    state.counters["cycle_us"] = cycle_us;
    state.counters["rapport"] = cycle_us / state.counters["copie_us"];
    state.counters["marge"] = kPeriodeDemo * 1e6 / cycle_us;
    if (cycle_us > kPeriodeDemo * 1e6) en_retard = true;
}
BENCHMARK(BM_CycleTek)->Unit(benchmark::kMicrosecond);

void BM_ReleveTek(benchmark::State &state) {
    Banc banc;
    CB_interruption_tek(banc.ud, RQS | CMPL, 0, 0, banc.instance->structure);
    std::vector<double> valeurs(kPoints), abscisses(kPoints);
    const double releve_us = Mesurer(state, 2, [&] {
        for (int voie = 1; voie <= 2; ++voie) {
            banc.instance->mesure2D(banc.instance, voie, valeurs.data());
            banc.instance->indices2D(banc.instance, voie, abscisses.data());
            benchmark::DoNotOptimize(valeurs.data());
            benchmark::DoNotOptimize(abscisses.data());
        }
    });
    state.counters["releve_us"] = releve_us;
    state.counters["rapport_releve"] = releve_us / state.counters["copie_us"];
}
BENCHMARK(BM_ReleveTek)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    sim::InstallerBanc();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (en_retard) {
        std::fprintf(stderr, "bench_tek: a cycle does not fit in the demo's sampling period\n");
        return 1;
    }
    return 0;
}
