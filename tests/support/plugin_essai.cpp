#include "tests/support/plugin_essai.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

ConfigEssai prochaine;
std::vector<std::string> journal;
int vivantes = 0;

EssaiPrive &P(PInstrument *i) { return *static_cast<EssaiPrive *>(i->structure); }

void Noter(PInstrument *i, const char *op, int voie = 0) {
    std::string e = std::string(op) + " " + P(i).config.nom;
    if (voie) (e += ' ') += std::to_string(voie);
    journal.push_back(std::move(e));
}

void Copier(const std::string &s, char *dest, std::size_t taille) {
    const std::size_t n = std::min(s.size(), taille - 1);
    std::memcpy(dest, s.data(), n);
    dest[n] = '\0';
}

template <class T>
T A(const std::vector<T> &v, int voie) {
    return voie >= 1 && static_cast<std::size_t>(voie) <= v.size() ? v[static_cast<std::size_t>(voie - 1)] : T{};
}

void CopierVecteur(const std::vector<std::vector<double>> &v, int voie, double *dest) {
    const auto vec = A(v, voie);
    std::copy(vec.begin(), vec.end(), dest);
}

void Nouveau(PInstrument **instrument) {
    auto *inst = new PInstrument(plugin_essai);
    auto *prive = new EssaiPrive{prochaine, {}, prochaine.bloc};
    inst->structure = prive;
    const ConfigEssai &c = prive->config;
    if (!c.mesures_1D) inst->nb_voie_1D = nullptr, inst->get_nom_voie_1D = nullptr, inst->mesure_1D = nullptr, inst->numero_1D = nullptr;
    if (!c.calculs_1D) inst->nb_voie_calcul = nullptr, inst->get_nom_voie_calcul = nullptr, inst->mesure_calcul = nullptr, inst->calculer_1D = nullptr;
    if (!c.mesures_2D) inst->nb_voie2D = nullptr, inst->get_nom_voie2D = nullptr, inst->get_taille_voie2D = nullptr, inst->mesure2D = nullptr, inst->indices2D = nullptr, inst->numero2D = nullptr;
    if (!c.calculs_2D) inst->nb_voie_calcul2D = nullptr, inst->get_nom_voie_calcul_2D = nullptr, inst->get_taille_voie_calcul2D = nullptr, inst->calcul2D = nullptr, inst->i_calcul2D = nullptr, inst->calculer_2D = nullptr;
    if (!c.avec_init) inst->init = nullptr;
    if (!c.avec_start) inst->start = nullptr;
    if (!c.avec_stop) inst->stop = nullptr;
    if (!c.avec_status) inst->status = nullptr;
    if (!c.avec_execute) inst->execute = nullptr;
    if (!c.avec_piloter) inst->piloter = nullptr;
    ++vivantes;
    *instrument = inst;
}

void Liberer(PInstrument *i) {
    Noter(i, "liberer");
    delete &P(i);
    delete i;
    --vivantes;
}

void Configure(PInstrument *i) { Noter(i, "configure"); }

void GetMemory(PInstrument *i, void **p_strct, void **p_member, unsigned *size, unsigned char *flag) {
    EssaiPrive &p = P(i);
    const int drapeau = p.config.drapeau_memoire;
    void *debut = p.bloc.empty() ? i->structure : static_cast<void *>(p.bloc.data());
    *p_strct = debut;
    if (drapeau == 0) *p_member = static_cast<unsigned char *>(debut) + p.bloc.size();
    else if (drapeau == 1) *size = static_cast<unsigned>(p.bloc.size());
    *flag = static_cast<unsigned char>(drapeau);
}

void GetNom(PInstrument *i, char *nom) { Copier(P(i).config.nom, nom, kLongueurNomInstru); }
void SetNom(PInstrument *i, const char *nom) { P(i).config.nom = std::string(nom).substr(0, 39); }

void Stop(PInstrument *i) { Noter(i, "stop"); }
int Start(PInstrument *i) { Noter(i, "start"); return P(i).config.resultat_start; }
int Init(PInstrument *i) { Noter(i, "init"); return P(i).config.resultat_init; }
int Status(PInstrument *i) { Noter(i, "status"); return P(i).config.resultat_status; }
void Execute(PInstrument *i, const char *chaine) {
    Noter(i, "execute");
    P(i).commandes.emplace_back(chaine);
}
void Piloter(PInstrument *i) { Noter(i, "piloter"); }

int Nb2D(PInstrument *i) { return static_cast<int>(P(i).config.noms_2D.size()); }
void Nom2D(PInstrument *i, int voie, char *nom) { Copier(A(P(i).config.noms_2D, voie), nom, kLongueurNomVoie); }
int Taille2D(PInstrument *i, int voie) { return static_cast<int>(A(P(i).config.valeurs_2D, voie).size()); }
void Mesure2D(PInstrument *i, int voie, double *m) { Noter(i, "mesure2D", voie); CopierVecteur(P(i).config.valeurs_2D, voie, m); }
void Indices2D(PInstrument *i, int voie, double *m) { Noter(i, "indices2D", voie); CopierVecteur(P(i).config.indices_2D, voie, m); }
unsigned Numero2D(PInstrument *i, int voie) { Noter(i, "numero2D", voie); return A(P(i).config.numeros_2D, voie); }

int NbCalcul(PInstrument *i) { return static_cast<int>(P(i).config.noms_calcul.size()); }
void NomCalcul(PInstrument *i, int voie, char *nom) { Copier(A(P(i).config.noms_calcul, voie), nom, kLongueurNomVoie); }
double MesureCalcul(PInstrument *i, int voie) { Noter(i, "mesure_calcul", voie); return A(P(i).config.valeurs_calcul, voie); }
void Calculer1D(PInstrument *i) { Noter(i, "calculer_1D"); }

int Nb1D(PInstrument *i) { return static_cast<int>(P(i).config.noms_1D.size()); }
void Nom1D(PInstrument *i, int voie, char *nom) { Copier(A(P(i).config.noms_1D, voie), nom, kLongueurNomVoie); }
double Mesure1D(PInstrument *i, int voie) { Noter(i, "mesure_1D", voie); return A(P(i).config.valeurs_1D, voie); }
unsigned Numero1D(PInstrument *i, int voie) { Noter(i, "numero_1D", voie); return A(P(i).config.numeros_1D, voie); }

int NbCalcul2D(PInstrument *i) { return static_cast<int>(P(i).config.noms_calcul2D.size()); }
void NomCalcul2D(PInstrument *i, int voie, char *nom) { Copier(A(P(i).config.noms_calcul2D, voie), nom, kLongueurNomVoie); }
int TailleCalcul2D(PInstrument *i, int voie) { return static_cast<int>(A(P(i).config.valeurs_calcul2D, voie).size()); }
void Calcul2D(PInstrument *i, int voie, double *m) { Noter(i, "calcul2D", voie); CopierVecteur(P(i).config.valeurs_calcul2D, voie, m); }
void ICalcul2D(PInstrument *i, int voie, double *m) { Noter(i, "i_calcul2D", voie); CopierVecteur(P(i).config.indices_calcul2D, voie, m); }
void Calculer2D(PInstrument *i) { Noter(i, "calculer_2D"); }

}  // namespace

PInstrument plugin_essai = {
    nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr,
    Nouveau, Liberer, Configure, GetMemory, GetNom, SetNom,
    Stop, Start, Init, Status, Execute, Piloter,
    Nb2D, Nom2D, Taille2D, Mesure2D, Indices2D, Numero2D,
    NbCalcul, NomCalcul, MesureCalcul, Calculer1D,
    Nb1D, Nom1D, Mesure1D, Numero1D,
    NbCalcul2D, NomCalcul2D, TailleCalcul2D, Calcul2D, ICalcul2D, Calculer2D,
};

void FixerConfigEssai(const ConfigEssai &config) { prochaine = config; }

PInstrument *CreerEssai(const ConfigEssai &config) {
    FixerConfigEssai(config);
    PInstrument *i = nullptr;
    plugin_essai.nouveau(&i);
    return i;
}

EssaiPrive &Essai(PInstrument *instance) { return P(instance); }

ConfigEssai MesuresScalaires(const std::string &nom, std::vector<std::string> noms, std::vector<double> valeurs,
                             unsigned numero) {
    ConfigEssai c;
    c.nom = nom;
    c.mesures_1D = true;
    c.numeros_1D.assign(noms.size(), numero);
    c.noms_1D = std::move(noms);
    c.valeurs_1D = std::move(valeurs);
    return c;
}

ConfigEssai MesuresVecteurs(const std::string &nom, std::vector<std::string> noms,
                            std::vector<std::vector<double>> valeurs, std::vector<std::vector<double>> indices,
                            unsigned numero) {
    ConfigEssai c;
    c.nom = nom;
    c.mesures_2D = true;
    c.numeros_2D.assign(noms.size(), numero);
    c.noms_2D = std::move(noms);
    c.valeurs_2D = std::move(valeurs);
    c.indices_2D = std::move(indices);
    return c;
}
std::vector<std::string> &JournalEssai() { return journal; }
int InstancesEssaiVivantes() { return vivantes; }
