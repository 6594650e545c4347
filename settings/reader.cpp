// Key=value reader (see reader.h).
#include "settings/reader.h"

#include "settings/save.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

// The C locale, for reading reals whatever the process locale says.
locale_t LocaleC() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// White space as the C locale knows it.
bool Blanc(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char *Copie(const char *texte) {
    const std::size_t n = std::strlen(texte);
    auto *copie = static_cast<char *>(std::malloc(n + 1));
    if (copie) std::memcpy(copie, texte, n + 1);
    return copie;
}

// Resizes `*liste` to exactly N elements (N >= 1; a null array only for N = 1), leaving the
// array as it was when memory cannot be obtained.
template <class T>
bool Agrandir(T **liste, int N) {
    if (N < 1 || (*liste == nullptr && N != 1)) return false;
    void *nouveau = std::realloc(*liste, static_cast<std::size_t>(N) * sizeof(T));
    if (!nouveau) return false;
    *liste = static_cast<T *>(nouveau);
    return true;
}

// Brings an array that grew by one element for an entry that could not be completed back to
// its count (a failed shrink keeps the larger block, whose extra element is never read).
template <class T>
void Retrecir(T **liste, int N) {
    if (N == 0) {
        std::free(*liste);
        *liste = nullptr;
    } else if (void *moins = std::realloc(*liste, static_cast<std::size_t>(N) * sizeof(T))) {
        *liste = static_cast<T *>(moins);
    }
}

// Appends one entry to a kind: its key copy, then its value. The count grows only when both
// are stored, so the count always equals the number of keys and of values.
template <class T, class Ajout>
void AjouterEntree(const char *cle, char ***mots, T **valeurs, int *N, Ajout ajouter_valeur) {
    const int n = *N + 1;
    if (!reader_add_string_to_list(cle, mots, n)) return;
    if (!ajouter_valeur(valeurs, n)) {
        std::free((*mots)[n - 1]);
        Retrecir(mots, *N);
        return;
    }
    *N = n;
}

int IndexCle(const char *cle, char *const *mots, int N) {
    if (!cle) return -1;
    for (int i = 0; i < N; ++i)
        if (std::strcmp(mots[i], cle) == 0) return i;
    return -1;
}

}  // namespace

int reader_init(reader_lists *table) {
    *table = reader_lists{nullptr, nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr, 0};
    return 1;
}

int reader_load_file(const char *chemin, reader_lists *table) {
    stockage::LecteurTexte fichier(chemin);
    if (!fichier.Ouvert()) return 0;
    char ligne[kTailleLigneLecteur];
    while (fichier.LireLigne(ligne, sizeof ligne)) {
        char cle[kTailleLigneLecteur] = "";
        char valeur[kTailleLigneLecteur] = "";
        char texte[kTailleLigneLecteur] = "";
        reader_extract_string(ligne);
        if (ligne[0] == '\0') continue;
        if (!reader_extract_values(ligne, cle, valeur)) continue;
        switch (reader_return_rvalue_type(valeur)) {
        case 1: {
            int entier = 0;
            reader_convert_rvalue_to_int(valeur, &entier);
            AjouterEntree(cle, &table->int_words, &table->int_values, &table->int_N,
                          [entier](int **l, int n) { return reader_add_int_to_list(entier, l, n); });
            break;
        }
        case 2: {
            double reel = 0.0;
            reader_convert_rvalue_to_double(valeur, &reel);
            AjouterEntree(cle, &table->double_words, &table->double_values, &table->double_N,
                          [reel](double **l, int n) { return reader_add_double_to_list(reel, l, n); });
            break;
        }
        default:
            reader_convert_rvalue_to_string(valeur, texte);
            AjouterEntree(cle, &table->string_words, &table->string_values, &table->string_N,
                          [&texte](char ***l, int n) { return reader_add_string_to_list(texte, l, n); });
            break;
        }
    }
    return 1;
}

int reader_find_int(const char *cle, const reader_lists *table, int *valeur) {
    const int i = IndexCle(cle, table->int_words, table->int_N);
    if (i < 0) return 0;
    *valeur = table->int_values[i];
    return 1;
}

int reader_find_double(const char *cle, const reader_lists *table, double *valeur) {
    const int i = IndexCle(cle, table->double_words, table->double_N);
    if (i < 0) return 0;
    *valeur = table->double_values[i];
    return 1;
}

int reader_return_int(const char *cle, const reader_lists *table) {
    int valeur = 0;
    reader_find_int(cle, table, &valeur);
    return valeur;
}

double reader_return_double(const char *cle, const reader_lists *table) {
    double valeur = 0.0;
    reader_find_double(cle, table, &valeur);
    return valeur;
}

const char *reader_return_string(const char *cle, const reader_lists *table) {
    const int i = IndexCle(cle, table->string_words, table->string_N);
    return i < 0 ? nullptr : table->string_values[i];
}

int reader_free(reader_lists *table) {
    for (int i = 0; i < table->string_N; ++i) {
        std::free(table->string_values[i]);
        std::free(table->string_words[i]);
    }
    for (int i = 0; i < table->double_N; ++i) std::free(table->double_words[i]);
    for (int i = 0; i < table->int_N; ++i) std::free(table->int_words[i]);
    std::free(table->string_values);
    std::free(table->string_words);
    std::free(table->double_words);
    std::free(table->double_values);
    std::free(table->int_words);
    std::free(table->int_values);
    return 1;
}

int reader_extract_string(char *ligne) {
    if (!ligne) return 0;
    const std::size_t n = std::strlen(ligne);
    auto *propre = static_cast<char *>(std::malloc(n + 1));
    if (!propre) return 0;
    bool entre_guillemets = false;
    std::size_t o = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = ligne[i];
        if (c == '"') entre_guillemets = !entre_guillemets;
        if (c == ' ' && !entre_guillemets) continue;
        if (c == ';') break;
        propre[o++] = c;
    }
    propre[o] = '\0';
    std::memcpy(ligne, propre, o + 1);
    std::free(propre);
    return 1;
}

int reader_extract_values(const char *ligne, char *cle, char *valeur, std::size_t taille) {
    if (!ligne || !cle || !valeur || taille == 0) return 0;
    const char *egal = std::strchr(ligne, '=');
    const char *fin_cle = egal ? egal : ligne + std::strlen(ligne);
    std::size_t o = 0;
    for (const char *p = ligne; p < fin_cle && o + 1 < taille; ++p) {
        cle[o++] = *p;
        cle[o] = '\0';
    }
    if (!egal) return 0;
    o = 0;
    for (const char *p = egal + 1; *p != '\0' && o + 1 < taille; ++p) {
        if (*p == '=') continue;
        valeur[o++] = *p;
        valeur[o] = '\0';
    }
    return 1;
}

int reader_return_rvalue_type(const char *valeur) {
    const std::size_t n = std::strlen(valeur);
    if (n > 0 && valeur[0] == '"' && valeur[n - 1] == '"') return 3;
    if (std::strchr(valeur, '.')) return 2;
    return 1;
}

int reader_convert_rvalue_to_int(const char *valeur, int *entier) {
    const char *p = valeur;
    while (Blanc(*p)) ++p;
    bool negatif = false;
    if (*p == '+' || *p == '-') negatif = *p++ == '-';
    long long n = 0;  // stops growing once beyond the int range
    for (; *p >= '0' && *p <= '9'; ++p)
        if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (*p - '0');
    if (negatif) n = -n;
    if (n > INT_MAX) n = INT_MAX;
    if (n < INT_MIN) n = INT_MIN;
    *entier = static_cast<int>(n);
    return 1;
}

int reader_convert_rvalue_to_double(const char *valeur, double *reel) {
    *reel = strtod_l(valeur, nullptr, LocaleC());
    return 1;
}

int reader_convert_rvalue_to_string(const char *valeur, char *texte, std::size_t taille) {
    const std::size_t n = std::strlen(valeur);
    if (n < 3 || taille == 0) return 0;
    std::size_t longueur = n - 2;
    if (longueur > taille - 1) longueur = taille - 1;
    std::memcpy(texte, valeur + 1, longueur);
    texte[longueur] = '\0';
    return 1;
}

int reader_add_string_to_list(const char *texte, char ***liste, int N) {
    char *copie = Copie(texte ? texte : "");
    if (!copie) return 0;
    if (!Agrandir(liste, N)) {
        std::free(copie);
        return 0;
    }
    (*liste)[N - 1] = copie;
    return 1;
}

int reader_add_int_to_list(int entier, int **liste, int N) {
    if (!Agrandir(liste, N)) return 0;
    (*liste)[N - 1] = entier;
    return 1;
}

int reader_add_double_to_list(double reel, double **liste, int N) {
    if (!Agrandir(liste, N)) return 0;
    (*liste)[N - 1] = reel;
    return 1;
}
