// The hot path of an acquisition: one sampling step (Echantilloner) and one record row
// (Ecriture_donnees into a real file), for many scalar channels and for large vector channels.
//
// Each benchmark also times, in the same run and interleaved with the path sample by sample (so
// that both see the same load on a shared machine), the floor of the same work:
//   - scalars: formatting the same numbers into the same bytes with std::to_chars into one
//     buffer (what the row costs at least, the file aside);
//   - vectors: writing the same bytes (text line and vectors) with one fwrite to a file of the
//     same kind, in the same directory, reopened as often as the record file.
//
// Counters (microseconds per sample unless said):
//   echantillon_us  the sampling step        ecriture_us  the record row (and vector records)
//   total_us        both                      plancher_us  the floor of the same work
//   rapport         total_us / plancher_us (goals: scalars 1.5, vectors 1.2)
//   snprintf_us     the scalar row formatted by snprintf (for comparison)
//   allocs_echantillon, allocs_ecriture       heap allocations per sample (operator new)
//
// The program fails (exit status 1) when the scalar path allocates on the heap per sample.
#include "framework/enregistrement.h"
#include "framework/voies.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

// ---- heap allocations of this program, counted ---------------------------------------------

namespace {
std::atomic<long long> allocations{0};

void *Allouer(std::size_t taille) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(taille ? taille : 1)) return p;
    throw std::bad_alloc();
}
void *AllouerAligne(std::size_t taille, std::align_val_t alignement) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const auto a = static_cast<std::size_t>(alignement);
    if (void *p = std::aligned_alloc(a, (taille + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}
}  // namespace

void *operator new(std::size_t taille) { return Allouer(taille); }
void *operator new[](std::size_t taille) { return Allouer(taille); }
void *operator new(std::size_t taille, std::align_val_t a) { return AllouerAligne(taille, a); }
void *operator new[](std::size_t taille, std::align_val_t a) { return AllouerAligne(taille, a); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

using Horloge = std::chrono::steady_clock;

double Microsecondes(Horloge::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// ---- an instrument of the bench: fixed channels, readings renewed at every sample ---------

struct Appareil {
    char nom[kLongueurNomInstru] = {};
    std::vector<double> valeurs;      // measured scalar channels
    std::vector<unsigned> numeros;
    std::vector<double> calculs;      // computed scalar channels
    std::vector<std::vector<double>> vecteurs, abscisses;  // measured vector channels
};

Appareil &A(PInstrument *p) { return *static_cast<Appareil *>(p->structure); }

void Nom(PInstrument *p, char *nom) { std::memcpy(nom, A(p).nom, sizeof A(p).nom); }
void NomVoie(PInstrument *, int voie, char *nom) { std::snprintf(nom, kLongueurNomVoie, "V%d", voie); }

int Nb1D(PInstrument *p) { return static_cast<int>(A(p).valeurs.size()); }
double Mesure1D(PInstrument *p, int v) { return A(p).valeurs[static_cast<std::size_t>(v - 1)]; }
unsigned Numero1D(PInstrument *p, int v) { return A(p).numeros[static_cast<std::size_t>(v - 1)]; }

int NbCalcul(PInstrument *p) { return static_cast<int>(A(p).calculs.size()); }
double MesureCalcul(PInstrument *p, int v) { return A(p).calculs[static_cast<std::size_t>(v - 1)]; }
// New readings for the next sample, and the computed channels from this sample's readings.
void Calculer1D(PInstrument *p) {
    Appareil &a = A(p);
    double somme = 0.0;
    for (std::size_t k = 0; k < a.valeurs.size(); ++k) {
        somme += a.valeurs[k];
        a.valeurs[k] *= 1.0000001;
        ++a.numeros[k];
    }
    for (std::size_t k = 0; k < a.calculs.size(); ++k)
        a.calculs[k] = somme / static_cast<double>(k + 1) * (k % 2 ? 1e-9 : 1.0);
}

int Nb2D(PInstrument *p) { return static_cast<int>(A(p).vecteurs.size()); }
int Taille2D(PInstrument *p, int v) { return static_cast<int>(A(p).vecteurs[static_cast<std::size_t>(v - 1)].size()); }
void Copier(const std::vector<double> &source, double *dest) {
    std::memcpy(dest, source.data(), source.size() * sizeof(double));
}
void Mesure2D(PInstrument *p, int v, double *m) { Copier(A(p).vecteurs[static_cast<std::size_t>(v - 1)], m); }
void Indices2D(PInstrument *p, int v, double *m) { Copier(A(p).abscisses[static_cast<std::size_t>(v - 1)], m); }
unsigned Numero2D(PInstrument *, int) { return 1; }

// A bench of instruments and their list.
struct Banc {
    std::vector<Appareil> appareils;
    std::vector<PInstrument> instances;
    std::vector<fichei> noeuds;

    Banc(int nombre, int scalaires, int calculs, int vecteurs, int points) {
        appareils.resize(static_cast<std::size_t>(nombre));
        instances.resize(appareils.size());
        noeuds.resize(appareils.size());
        for (std::size_t i = 0; i < appareils.size(); ++i) {
            Appareil &a = appareils[i];
            std::snprintf(a.nom, sizeof a.nom, "Appareil %zu", i + 1);
            for (int k = 0; k < scalaires; ++k) {
                // Every magnitude a bench sees: counters' frequencies, powers, small voltages.
                const double v[] = {10000000.0 + 0.37 * k, -2.5 * k, 0.5 / (k + 1), 1.234e-7 * k};
                a.valeurs.push_back(v[k % 4]);
                a.numeros.push_back(static_cast<unsigned>(1000 * k));
            }
            a.calculs.assign(static_cast<std::size_t>(calculs), 0.0);
            for (int k = 0; k < vecteurs; ++k) {
                std::vector<double> x(static_cast<std::size_t>(points)), y(x.size());
                for (std::size_t j = 0; j < x.size(); ++j) x[j] = static_cast<double>(j), y[j] = std::sin(0.001 * static_cast<double>(j + k));
                a.abscisses.push_back(std::move(x));
                a.vecteurs.push_back(std::move(y));
            }
            PInstrument &p = instances[i];
            p = PInstrument{};
            p.structure = &a;
            p.get_nom_instru = Nom;
            if (scalaires > 0) p.nb_voie_1D = Nb1D, p.get_nom_voie_1D = NomVoie, p.mesure_1D = Mesure1D, p.numero_1D = Numero1D;
            if (calculs > 0) p.nb_voie_calcul = NbCalcul, p.get_nom_voie_calcul = NomVoie, p.mesure_calcul = MesureCalcul, p.calculer_1D = Calculer1D;
            if (vecteurs > 0) p.nb_voie2D = Nb2D, p.get_nom_voie2D = NomVoie, p.get_taille_voie2D = Taille2D, p.mesure2D = Mesure2D, p.indices2D = Indices2D, p.numero2D = Numero2D;
            noeuds[i] = fichei{};
            noeuds[i].plugin = &p;
            noeuds[i].tatoo = static_cast<int>(i);
            if (i > 0) noeuds[i - 1].suivant = &noeuds[i];
        }
        // What an acquisition start does with the buffers.
        Reserver_buffer_circu(Tete());
        nbpointsgraph = 500;
        sous_ech_2D = 1;
        diviseur_short_mid = 2;
        diviseur_mid_long = 5;
        Allouer_buffer_circu();
        Init_buffer2D_circu(Tete());
    }
    ~Banc() {
        Fermer_enregistrement(Tete());
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
    }
    fichei *Tete() { return noeuds.empty() ? nullptr : &noeuds.front(); }
};

// A directory of its own for the record files, removed at the end.
struct Dossier {
    std::filesystem::path chemin;
    Dossier() {
        char modele[] = "/tmp/banc-bench-XXXXXX";
        if (mkdtemp(modele)) chemin = modele;
    }
    ~Dossier() {
        if (!chemin.empty()) std::filesystem::remove_all(chemin);
    }
    std::string Fichier() const { return (chemin / "mesures.xls").string(); }
};

// ---- the bare cost of the same work ---------------------------------------------------------

// The scalar row's bytes, with to_chars into one buffer (what the row costs at least).
std::size_t FormaterNu(Banc &b, char *tampon) {
    char *q = tampon;
    const auto texte = [&](const char *s) {
        const std::size_t n = std::strlen(s);
        std::memcpy(q, s, n);
        q += n;
    };
    texte("01-02-2024\t03:04:05\t\t");
    q = std::to_chars(q, q + 24, 12).ptr;
    for (Appareil &a : b.appareils)
        for (std::size_t k = 0; k < a.valeurs.size(); ++k) {
            *q++ = '\t';
            const double v = a.valeurs[k];
            q = std::to_chars(q, q + 330, v, 1.0 >= std::fabs(v) ? std::chars_format::scientific : std::chars_format::fixed, 6).ptr;
            *q++ = '\t';
            q = std::to_chars(q, q + 24, a.numeros[k]).ptr;
        }
    for (Appareil &a : b.appareils)
        for (const double v : a.calculs) {
            *q++ = '\t';
            q = std::to_chars(q, q + 330, v, 1.0 >= std::fabs(v) ? std::chars_format::scientific : std::chars_format::fixed, 6).ptr;
        }
    texte("\r\n");
    return static_cast<std::size_t>(q - tampon);
}

// The same row with snprintf, for comparison.
std::size_t FormaterSnprintf(Banc &b, char *tampon, std::size_t taille) {
    std::size_t n = static_cast<std::size_t>(std::snprintf(tampon, taille, "%s\t%s\t%s\t%i", "01-02-2024", "03:04:05", "", 12));
    for (Appareil &a : b.appareils)
        for (std::size_t k = 0; k < a.valeurs.size(); ++k) {
            const double v = a.valeurs[k];
            n += static_cast<std::size_t>(std::snprintf(tampon + n, taille - n, 1.0 >= std::fabs(v) ? "\t%e\t%u" : "\t%f\t%u", v, a.numeros[k]));
        }
    for (Appareil &a : b.appareils)
        for (const double v : a.calculs)
            n += static_cast<std::size_t>(std::snprintf(tampon + n, taille - n, 1.0 >= std::fabs(v) ? "\t%e" : "\t%f", v));
    n += static_cast<std::size_t>(std::snprintf(tampon + n, taille - n, "\r\n"));
    return n;
}

// ---- the measures ------------------------------------------------------------------------------

struct Mesure {
    Horloge::duration echantillon{}, ecriture{}, plancher{};
    long long allocs_echantillon = 0, allocs_ecriture = 0;
};

// Times the samples of the benchmark: the sampling step and the record row apart, the heap
// allocations each one makes, and after each sample the floor `plancher` of the same work. The
// record file is reopened (untimed) every `par_fichier` samples so that it stays small;
// `rouvrir` does the same for the floor's file.
template <class Plancher, class Rouvrir>
void Echantillonner(benchmark::State &state, Banc &banc, const Dossier &dossier, int par_fichier, Mesure &m,
                    Plancher &&plancher, Rouvrir &&rouvrir) {
    Ouvrir_enregistrement(dossier.Fichier().c_str(), banc.Tete());
    rouvrir();
    // Warm-up: the row buffer and the vector scratch take their size once.
    for (int k = 0; k < 2; ++k) {
        Echantilloner(banc.Tete());
        Ecriture_donnees(banc.Tete());
        plancher();
    }
    int dans_fichier = 0;
    for (auto _ : state) {
        if (++dans_fichier == par_fichier) {
            state.PauseTiming();
            Ouvrir_enregistrement(dossier.Fichier().c_str(), banc.Tete());
            rouvrir();
            dans_fichier = 0;
            state.ResumeTiming();
        }
        const long long a0 = allocations.load(std::memory_order_relaxed);
        const auto t0 = Horloge::now();
        Echantilloner(banc.Tete());
        const auto t1 = Horloge::now();
        const long long a1 = allocations.load(std::memory_order_relaxed);
        Ecriture_donnees(banc.Tete());
        const auto t2 = Horloge::now();
        const long long a2 = allocations.load(std::memory_order_relaxed);
        plancher();
        const auto t3 = Horloge::now();
        m.echantillon += t1 - t0;
        m.ecriture += t2 - t1;
        m.plancher += t3 - t2;
        m.allocs_echantillon += a1 - a0;
        m.allocs_ecriture += a2 - a1;
    }
    Fermer_enregistrement(banc.Tete());
}

void Compteurs(benchmark::State &state, const Mesure &m) {
    const auto n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    const double e = Microsecondes(m.echantillon) / n, w = Microsecondes(m.ecriture) / n;
    const double plancher = Microsecondes(m.plancher) / n;
    state.counters["echantillon_us"] = e;
    state.counters["ecriture_us"] = w;
    state.counters["total_us"] = e + w;
    state.counters["plancher_us"] = plancher;
    state.counters["rapport"] = (e + w) / plancher;
    state.counters["allocs_echantillon"] = static_cast<double>(m.allocs_echantillon) / n;
    state.counters["allocs_ecriture"] = static_cast<double>(m.allocs_ecriture) / n;
}

long long allocations_scalaires = 0;  // over every run of the scalar benchmark

// 10 instruments of 16 measured and 4 computed scalar channels.
void BM_EchantillonScalaires(benchmark::State &state) {
    Dossier dossier;
    Banc banc(10, 16, 4, 0, 0);
    Mesure m;
    std::vector<char> tampon(1 << 16);
    Echantillonner(state, banc, dossier, 200, m,
                   [&] {
                       benchmark::DoNotOptimize(FormaterNu(banc, tampon.data()));
                       benchmark::ClobberMemory();
                   },
                   [] {});
    allocations_scalaires += m.allocs_echantillon + m.allocs_ecriture;
    Compteurs(state, m);

    const long long n = std::max<long long>(state.iterations(), 200);
    const auto t0 = Horloge::now();
    for (long long k = 0; k < n; ++k) {
        benchmark::DoNotOptimize(FormaterSnprintf(banc, tampon.data(), tampon.size()));
        benchmark::ClobberMemory();
    }
    state.counters["snprintf_us"] = Microsecondes(Horloge::now() - t0) / static_cast<double>(n);
}
BENCHMARK(BM_EchantillonScalaires)->Unit(benchmark::kMicrosecond);

// 4 vector channels of 10,000 points, a vector record at every row. The floor writes the same
// bytes as one vector record with one fwrite. Then, apart, the two copies of the vectors that
// the path is bound to make are timed alone ("copies_us"): the sampling step has the plugin
// copy them into the next row of the 50-row rings, and the record asks the plugin for them
// again. "rapport_copies" compares the path with the floor and these copies together.
void BM_EchantillonVecteurs(benchmark::State &state) {
    Dossier dossier;
    Banc banc(1, 0, 0, 4, 10000);
    const Appareil &a = banc.appareils[0];
    const std::string ligne = "01-02-2024\t03:04:05\t12\t\n";
    std::vector<const std::vector<double> *> vecteurs;
    for (std::size_t k = 0; k < a.vecteurs.size(); ++k) vecteurs.insert(vecteurs.end(), {&a.abscisses[k], &a.vecteurs[k]});
    std::string octets = ligne;
    for (const auto *v : vecteurs) octets.append(reinterpret_cast<const char *>(v->data()), v->size() * sizeof(double));

    std::FILE *f = nullptr;
    const std::string chemin = (dossier.chemin / "plancher.xls").string();
    Mesure m;
    // 20 records of 640 kB per file: the files stay in the page cache.
    Echantillonner(state, banc, dossier, 20, m,
                   [&] {
                       if (std::fwrite(octets.data(), 1, octets.size(), f) != octets.size()) state.SkipWithError("fwrite");
                   },
                   [&] {
                       if (f) std::fclose(f);
                       f = std::fopen(chemin.c_str(), "wb");
                   });
    if (f) std::fclose(f);
    Compteurs(state, m);

    const std::size_t nb_doubles = (octets.size() - ligne.size()) / sizeof(double);
    std::vector<std::vector<double>> anneau(50, std::vector<double>(nb_doubles));
    std::vector<double> enregistrement(nb_doubles);
    const long long n = std::max<long long>(state.iterations(), 100);
    const auto t0 = Horloge::now();
    for (long long k = 0; k < n; ++k) {
        double *d = anneau[static_cast<std::size_t>(k) % anneau.size()].data();
        double *r = enregistrement.data();
        for (const auto *v : vecteurs) {
            d = std::copy(v->begin(), v->end(), d);
            r = std::copy(v->begin(), v->end(), r);
        }
        benchmark::ClobberMemory();
    }
    const double copies_us = Microsecondes(Horloge::now() - t0) / static_cast<double>(n);
    state.counters["copies_us"] = copies_us;
    state.counters["rapport_copies"] = state.counters["total_us"] / (state.counters["plancher_us"] + copies_us);
}
BENCHMARK(BM_EchantillonVecteurs)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (allocations_scalaires != 0) {
        std::fprintf(stderr, "the scalar sampling path allocated %lld times on the heap\n", allocations_scalaires);
        return 1;
    }
    return 0;
}
