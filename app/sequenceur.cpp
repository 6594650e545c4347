// The sequencer and the time-limited countdown, run by the one-second timer TIMER_SEQ.
#include "app/sequenceur.h"

#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/Interface.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

bool LireLigneScript(std::FILE *script, std::string &ligne, bool &entiere, std::size_t taille_max) {
    ligne.clear();
    entiere = true;
    int c = std::getc(script);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::getc(script)) {
        if (c == '\r') {
            // CR LF (and a CR that ends the file) is one end of line, as on the system where
            // the scripts are written; the position stays the byte offset in the file.
            const int suivant = std::getc(script);
            if (suivant == '\n' || suivant == EOF) break;
            std::ungetc(suivant, script);
        }
        if (ligne.size() < taille_max)
            ligne += static_cast<char>(c);
        else
            entiere = false;
    }
    return true;
}

namespace {

constexpr int kNombreLabels = 26;
constexpr int kProfondeurBoucles = 30;

// ---- interpreter state (lives from program start to exit) ---------------------------------

// The variables a to z: kept for the whole run of the program, from one script to the next.
float variables_seq[kNombreVariables] = {};

// Per script file (set afresh when a new script starts, since they are positions in that file):
// where each label letter leads (the first line until a "label" line of this script sets it)
// and the open loops.
long labels_seq[kNombreLabels] = {};
struct boucle {
    long position;    // the line after the "boucle" line
    int occurences;   // passes still to run; -1: endless
};
boucle pile_boucles[kProfondeurBoucles];
int niveau_boucle = -1;  // top entry of pile_boucles; -1: empty
// Ticks still to wait; cleared by a tick that finds no acquisition running.
int attente_restante = 0;
// The awaited instrument, kept from one script to the next like the wait. It is looked up again
// in the list by its tatoo before every use: an instrument deleted meanwhile is never reached.
PInstrument *pilote_attendu = nullptr;
int tatoo_attendu = -1;

std::uint32_t temps_tic = 0;  // calendar seconds of the last "tic"

// How the current script is written: Windows-1252 (read byte for byte), or UTF-8 from a Linux
// editor (each line converted to the program's Windows-1252 as it is read). Decided once per
// script, at its first tick, from the whole file.
std::FILE *script_examine = nullptr;
bool script_utf8 = false;


// ---- small helpers ------------------------------------------------------------------------

// Shows `message` on the status list, cut to the 254 characters of a status line.
void Rapport(std::string message) {
    if (message.size() > kLongueurLigne - 1) message.resize(kLongueurLigne - 1);
    afficher_status(panel_commande, message.c_str());
}

std::string EnF(double v) {
    char t[400];
    std::snprintf(t, sizeof t, "%f", v);
    return t;
}

std::string EnE(double v) {
    char t[64];
    std::snprintf(t, sizeof t, "%e", v);
    return t;
}

bool Lettre(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Minuscule(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
int Index(char lettre) { return Minuscule(lettre) - 'a'; }

bool MemeTexteSansCasse(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Minuscule(a[i]) != Minuscule(b[i])) return false;
    return true;
}

bool Commence(std::string_view ligne, std::string_view prefixe) { return ligne.substr(0, prefixe.size()) == prefixe; }

std::string NomInstrument(PInstrument *instrument) {
    char nom[kLongueurLigne] = "";
    instrument->get_nom_instru(instrument, nom);
    nom[kLongueurLigne - 1] = '\0';
    return nom;
}

void NonReconnue(const std::string &ligne) { Rapport("Commande non reconnue: " + ligne); }

// Reads the fields of a line form, left to right, as the forms are written: a blank of the
// form matches any run of spaces and tabs (none included), numbers skip blanks before them.
class Champs {
public:
    explicit Champs(std::string_view ligne) : ligne_(ligne) {}

    bool Texte(std::string_view texte) {
        for (const char c : texte) {
            if (c == ' ') {
                Blancs();
            } else {
                if (i_ >= ligne_.size() || ligne_[i_] != c) return false;
                ++i_;
            }
        }
        return true;
    }
    bool Caractere(char &c) {
        if (i_ >= ligne_.size()) return false;
        c = ligne_[i_++];
        return true;
    }
    bool Entier(int &n) {
        Blancs();
        return Lire(n);
    }
    bool Nombre(double &x) {
        Blancs();
        return Lire(x);
    }
    // One word: blanks skipped, then everything up to the next blank.
    bool Mot(std::string_view &mot) {
        Blancs();
        const std::size_t debut = i_;
        while (i_ < ligne_.size() && ligne_[i_] != ' ' && ligne_[i_] != '\t') ++i_;
        mot = ligne_.substr(debut, i_ - debut);
        return !mot.empty();
    }

private:
    void Blancs() {
        while (i_ < ligne_.size() && (ligne_[i_] == ' ' || ligne_[i_] == '\t')) ++i_;
    }
    template <typename T>
    bool Lire(T &valeur) {
        std::size_t i = i_;
        // A "+" sign is allowed, as the C library's conversions allow it.
        if (i < ligne_.size() && ligne_[i] == '+' && i + 1 < ligne_.size() && ligne_[i + 1] != '-') ++i;
        const char *debut = ligne_.data() + i;
        const auto [fin, erreur] = std::from_chars(debut, ligne_.data() + ligne_.size(), valeur);
        if (erreur != std::errc()) return false;
        i_ = static_cast<std::size_t>(fin - ligne_.data());
        return true;
    }

    std::string_view ligne_;
    std::size_t i_ = 0;
};

// The decimal number at the start of `texte` (an optional sign, digits with an optional point,
// an optional exponent; what follows is not looked at): 0 when there is none, and 0 when it is
// beyond the range of a double.
double NombreDecimal(std::string_view texte) {
    bool negatif = false;
    if (!texte.empty() && (texte.front() == '+' || texte.front() == '-')) {
        negatif = texte.front() == '-';
        texte.remove_prefix(1);
    }
    const auto chiffre = [&](std::size_t i) { return i < texte.size() && texte[i] >= '0' && texte[i] <= '9'; };
    if (!chiffre(0) && !(texte.size() > 1 && texte[0] == '.' && chiffre(1))) return 0.0;
    double x = 0.0;
    if (std::from_chars(texte.data(), texte.data() + texte.size(), x).ec != std::errc()) return 0.0;
    return negatif ? -x : x;
}

// ---- reading a line -----------------------------------------------------------------------

enum class Lecture { Fin, Ligne, TropLongue };

// The next line to execute: comment dropped, leading blanks skipped, empty lines passed over,
// variables written in. A line that does not fit (before or after the variables are written
// in) comes back as it was written, for the report.
Lecture LireLigne(std::string &ligne) {
    for (;;) {
        bool entiere = true;
        const bool premiere = std::ftell(fichier_sequenceur) == 0;
        if (!LireLigneScript(fichier_sequenceur, ligne, entiere)) return Lecture::Fin;
        if (script_utf8) {
            if (premiere && ligne.starts_with(texte::kMarqueUtf8)) ligne.erase(0, texte::kMarqueUtf8.size());
            ligne = texte::Utf8VersCp1252(ligne);
        }
        if (const auto nul = ligne.find('\0'); nul != std::string::npos) ligne.resize(nul);
        if (const auto diese = ligne.find('#'); diese != std::string::npos)
            ligne.resize(diese);
        else if (!entiere)
            return Lecture::TropLongue;
        const auto debut = ligne.find_first_not_of(" \t");
        if (debut == std::string::npos) continue;
        ligne.erase(0, debut);
        if (ligne.size() > kLongueurLigneScript) return Lecture::TropLongue;

        // A line feed after the line tells whether the written-in values still left room for
        // the whole line: it is the first thing cut when they do not.
        char tampon[kLongueurLigne];
        std::memcpy(tampon, ligne.data(), ligne.size());
        tampon[ligne.size()] = '\n';
        tampon[ligne.size() + 1] = '\0';
        interpreter_variables(tampon, variables_seq, sizeof tampon);
        const std::size_t n = std::strlen(tampon);
        if (n == 0 || tampon[n - 1] != '\n') return Lecture::TropLongue;
        ligne.assign(tampon, n - 1);
        return Lecture::Ligne;
    }
}

// ---- the commands -------------------------------------------------------------------------

enum class Suite { LigneSuivante, FinTick };

std::string Assignation(char v, float valeur) { return std::string(1, Minuscule(v)) + " = " + EnF(valeur) + ")"; }

Suite Tic() {
    temps_tic = static_cast<std::uint32_t>(horloge::Calendrier());
    Rapport("[tic]");
    return Suite::LigneSuivante;
}

// "x=toc": a character that is no letter ends the tick, without a report.
Suite Toc(const std::string &ligne) {
    const char v = ligne[0];
    if (!Lettre(v)) return Suite::FinTick;
    const std::uint32_t maintenant = static_cast<std::uint32_t>(horloge::Calendrier());
    float &variable = variables_seq[Index(v)];
    variable = static_cast<float>(maintenant - temps_tic);
    Rapport("[toc] Variable modifiée ("_w + Assignation(v, variable));
    return Suite::LigneSuivante;
}

// "label x" and "retour x": a character that is no letter makes the line do nothing.
Suite Label(char x) {
    if (Lettre(x)) labels_seq[Index(x)] = std::ftell(fichier_sequenceur);
    return Suite::LigneSuivante;
}

// A letter that no "label" line of this script has set leads back to the first line.
Suite Retour(char x) {
    if (Lettre(x)) std::fseek(fichier_sequenceur, labels_seq[Index(x)], SEEK_SET);
    return Suite::LigneSuivante;
}

// "faire_si a<b": guards the next line of the file, which a false condition reads off unseen.
// An operator other than < = > tests nothing. A line whose numbers do not read is no
// condition at all: reported as an unknown command, and the next line runs.
Suite FaireSi(const std::string &ligne) {
    Champs champs(ligne);
    double a = 0, b = 0;
    char op = 0;
    if (!(champs.Texte("faire_si ") && champs.Nombre(a) && champs.Caractere(op) && champs.Nombre(b))) {
        NonReconnue(ligne);
        return Suite::LigneSuivante;
    }
    if (op != '<' && op != '=' && op != '>') return Suite::LigneSuivante;
    // Compared in single precision; a not-a-number operand makes every condition false.
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    const bool vraie = op == '<' ? fa < fb : op == '=' ? fa == fb : fa > fb;
    if (!vraie) {
        std::string sautee;
        bool entiere = true;
        LireLigneScript(fichier_sequenceur, sautee, entiere);
    }
    return Suite::LigneSuivante;
}

Suite Boucle(int n) {
    const long position = std::ftell(fichier_sequenceur);
    // Coming back to a loop that is still open (a "retour" left its body): that loop and the
    // ones opened inside it are over; it starts again with its new count.
    for (int k = niveau_boucle; k >= 0; --k) {
        if (pile_boucles[k].position == position) {
            niveau_boucle = k - 1;
            break;
        }
    }
    if (niveau_boucle + 1 >= kProfondeurBoucles) {
        Rapport("Boucle impossible: plus de 30 boucles imbriquées. Séquenceur arrêté"_w);
        std::fseek(fichier_sequenceur, 0, SEEK_END);
        return Suite::FinTick;
    }
    pile_boucles[++niveau_boucle] = {position, n};
    return Suite::LigneSuivante;
}

Suite FinBoucle() {
    if (niveau_boucle < 0) {
        Rapport("Fin de boucle sans boucle ouverte, ignorée"_w);
        return Suite::LigneSuivante;
    }
    boucle &haut = pile_boucles[niveau_boucle];
    if (haut.occurences == -1) {
        std::fseek(fichier_sequenceur, haut.position, SEEK_SET);
        return Suite::FinTick;
    }
    --haut.occurences;
    if (haut.occurences > 0)
        std::fseek(fichier_sequenceur, haut.position, SEEK_SET);
    else
        --niveau_boucle;
    return Suite::LigneSuivante;
}

Suite Attente(int n) {
    if (n < 1) {
        attente_restante = 0;
        Rapport("Attente impossible");
        return Suite::LigneSuivante;
    }
    Rapport("Attente de " + std::to_string(n) + " secondes");
    attente_restante = n - 1;  // this tick is the first of the wait
    return Suite::FinTick;
}

// "set v<op><number>": the number is read from the rest of the word after the operator (0 when
// it holds none); the operator one of = + - *, any other leaves the variable as it is. A
// character that is no letter in place of the variable makes the line do nothing.
Suite Set(char v, std::string_view mot) {
    if (!Lettre(v)) return Suite::LigneSuivante;
    float &variable = variables_seq[Index(v)];
    const float x = static_cast<float>(NombreDecimal(mot.substr(1)));
    switch (mot[0]) {
    case '=': variable = x; break;
    case '+': variable = variable + x; break;
    case '-': variable = variable - x; break;
    case '*': variable = variable * x; break;
    default: break;
    }
    Rapport("Variable modifiée ("_w + Assignation(v, variable));
    return Suite::LigneSuivante;
}

Suite Ouvrir(const std::string &chemin_ecrit) {
    // Trailing blanks of the line are no part of the file name (the system the scripts come
    // from drops them from file names).
    std::string chemin = chemin_ecrit;
    while (!chemin.empty() && (chemin.back() == ' ' || chemin.back() == '\t')) chemin.pop_back();
    // The set still open is closed here rather than by the opening, so that its write failures
    // are reported.
    Fermer_enregistrement_signale(liste_instru, panel_commande);
    const int resultat = Ouvrir_enregistrement(chemin.c_str(), liste_instru);
    Rapport("Ouverture de \"" + chemin_ecrit + "\"");
    if (resultat < 0)
        Rapport("Impossible d'ouvrir " + std::to_string(-resultat) + " fichier(s) d'enregistrement");
    return Suite::LigneSuivante;
}

// "pour v utiliser_mesure|utiliser_calcul voie n de : <instrument>": the channel's value now.
// A character that is no letter in place of the variable ends the tick, without a report.
Suite Pour(const std::string &ligne, char v, char genre, int voie) {
    if (!Lettre(v)) return Suite::FinTick;
    std::string rapport = "Variable " + std::string(1, v) + " NON assignée à cause d'une erreur"_w;
    // The instrument name starts two characters after the first ":" that follows "utiliser_"
    // (after ": ") and runs to the end of the line; no ":" names no instrument.
    const std::size_t deux_points = ligne.find(':', ligne.find('_'));
    if (deux_points != std::string::npos) {
        const std::string nom = ligne.substr(std::min(deux_points + 2, ligne.size()));
        for (fichei *n = liste_instru; n; n = n->suivant) {
            PInstrument *p = n->plugin;
            if (!p || !p->get_nom_instru || !MemeTexteSansCasse(NomInstrument(p), nom)) continue;
            int nombre = 0;
            if (genre == 'm' && p->nb_voie_1D) nombre = p->nb_voie_1D(p);
            if (genre == 'c' && p->nb_voie_calcul) nombre = p->nb_voie_calcul(p);
            if (voie < 1 || voie > nombre) {
                rapport = "Numéro de voie illégal !"_w;
                break;
            }
            double valeur = 0.0;
            if (genre == 'm' && p->mesure_1D) valeur = p->mesure_1D(p, voie);
            if (genre == 'c' && p->mesure_calcul) valeur = p->mesure_calcul(p, voie);
            float &variable = variables_seq[Index(v)];
            variable = static_cast<float>(valeur);
            const double lue = variable;
            rapport = "[" + std::string(1, genre) + "]Variable " + std::string(1, Minuscule(v)) + " assignée à : "_w +
                      (lue > 1.0 || lue < -1.0 ? EnF(lue) : EnE(lue));
        }
    }
    Rapport(rapport);
    return Suite::LigneSuivante;
}

Suite Attendre(const std::string &nom) {
    for (fichei *n = liste_instru; n; n = n->suivant) {
        PInstrument *p = n->plugin;
        if (!p || !p->get_nom_instru) continue;
        const std::string son_nom = NomInstrument(p);
        if (!MemeTexteSansCasse(son_nom, nom)) continue;
        pilote_attendu = p;
        tatoo_attendu = n->tatoo;
        Rapport("Attente du pilote: \"" + son_nom + "\"");
        return Suite::LigneSuivante;
    }
    Rapport("Attente impossible (" + nom + ")");
    return Suite::LigneSuivante;
}

Suite Commande(const std::string &texte) {
    char commande[kLongueurLigne] = "";
    std::memcpy(commande, texte.data(), std::min(texte.size(), sizeof commande - 1));
    char message[kLongueurLigne] = "";
    commander_appareil(commande, message, liste_instru, sizeof message);
    Rapport(message);
    return Suite::LigneSuivante;
}

Suite Echantillon() {
    if (echantillons_demande == 1) {
        Ecriture_donnees(liste_instru);
        Rapport("Echantillon demandé"_w);
    } else {
        Rapport("Pas d'échantillons à la demande dans ce mode"_w);
    }
    return Suite::LigneSuivante;
}

// Recognises a line by its first matching form, in this order, and executes it.
Suite Executer(const std::string &ligne) {
    char c = 0;
    int n = 0;
    std::string_view mot;
    if (Champs f(ligne); f.Texte("label ") && f.Caractere(c)) return Label(c);
    if (Commence(ligne, "tic")) return Tic();
    if (ligne.size() >= 5 && ligne.compare(1, 4, "=toc") == 0) return Toc(ligne);
    if (Champs f(ligne); f.Texte("retour ") && f.Caractere(c)) return Retour(c);
    if (Commence(ligne, "faire_si")) return FaireSi(ligne);
    if (Champs f(ligne); f.Texte("boucle ") && f.Entier(n)) return Boucle(n);
    if (Commence(ligne, "fin_boucle")) return FinBoucle();
    if (Champs f(ligne); f.Texte("attente ") && f.Entier(n)) return Attente(n);
    if (Champs f(ligne); f.Texte("set ") && f.Caractere(c) && f.Mot(mot)) return Set(c, mot);
    if (Commence(ligne, "fermer")) {
        Fermer_enregistrement_signale(liste_instru, panel_commande);
        Rapport("Fermeture du fichier d'enregistrement");
        return Suite::LigneSuivante;
    }
    if (Commence(ligne, "ouvrir ")) return Ouvrir(ligne.substr(7));
    if (Commence(ligne, "demarquer")) {
        Marquer_donnees("", panel_commande, P_Commande_DeMarquage);
        Rapport("Démarquage"_w);
        return Suite::LigneSuivante;
    }
    if (Commence(ligne, "marquer ")) {
        const std::string texte = ligne.substr(8);
        Marquer_donnees(texte.c_str(), panel_commande, P_Commande_DeMarquage);
        Rapport("Marquage: " + texte);
        return Suite::LigneSuivante;
    }
    if (Champs f(ligne); f.Texte("pour ") && f.Caractere(c) && f.Texte(" utiliser_mesure voie ") && f.Entier(n))
        return Pour(ligne, c, 'm', n);
    if (Champs f(ligne); f.Texte("pour ") && f.Caractere(c) && f.Texte(" utiliser_calcul voie ") && f.Entier(n))
        return Pour(ligne, c, 'c', n);
    if (Commence(ligne, "attendre ")) return Attendre(ligne.substr(9));
    if (ligne.size() >= 9 && MemeTexteSansCasse(std::string_view(ligne).substr(0, 9), "commande "))
        return Commande(ligne.substr(9));
    if (Commence(ligne, "echantillon")) return Echantillon();
    NonReconnue(ligne);
    return Suite::LigneSuivante;
}

// ---- the tick -----------------------------------------------------------------------------

// The awaited-instrument test that comes before every line: false while the instrument is not
// ready (the tick ends).
bool PiloteAttenduPret() {
    if (!pilote_attendu) return true;
    fichei *noeud = liste_instru;
    while (noeud && !(noeud->plugin == pilote_attendu && noeud->tatoo == tatoo_attendu)) noeud = noeud->suivant;
    PInstrument *p = pilote_attendu;
    if (!noeud) {
        pilote_attendu = nullptr;
        Rapport("Attente abandonnée: l'instrument attendu n'est plus dans la liste"_w);
        return true;
    }
    if (p->status) {
        if (p->status(p) != 1) return false;
        Rapport("Instru prêt"_w);
    }
    pilote_attendu = nullptr;
    return true;
}

// Most of a script that is looked at to tell how it is written.
constexpr std::size_t kTailleScriptExaminee = 16u << 20;

// Tells how the script now open is written, from its content, and reports the characters of a
// UTF-8 script (outside its comments) that the program's text cannot hold: they read as "?".
void ExaminerScript() {
    script_examine = fichier_sequenceur;
    script_utf8 = false;
    const long position = std::ftell(fichier_sequenceur);
    std::rewind(fichier_sequenceur);
    std::string contenu;
    char tampon[65536];
    for (std::size_t n; contenu.size() < kTailleScriptExaminee &&
                        (n = std::fread(tampon, 1, sizeof tampon, fichier_sequenceur)) > 0;)
        contenu.append(tampon, n);
    std::fseek(fichier_sequenceur, position < 0 ? 0 : position, SEEK_SET);
    if (!texte::EstUtf8(contenu)) return;
    script_utf8 = true;
    if (contenu.starts_with(texte::kMarqueUtf8)) contenu.erase(0, texte::kMarqueUtf8.size());

    std::string manquants;
    int numero = 0;
    for (std::size_t debut = 0; debut < contenu.size();) {
        const std::size_t fin = std::min(contenu.find('\n', debut), contenu.size());
        const std::string_view ligne = std::string_view(contenu).substr(debut, fin - debut);
        ++numero;
        debut = fin + 1;
        std::vector<char32_t> sans_equivalent;
        texte::Utf8VersCp1252(ligne.substr(0, ligne.find('#')), sans_equivalent);
        for (const char32_t c : sans_equivalent)
            manquants += (manquants.empty() ? "" : ", ") + std::string("ligne ") + std::to_string(numero) + " " +
                         texte::NomCaractere(c);
    }
    if (!manquants.empty())
        Rapport("Script en UTF-8 : caractère(s) sans équivalent Windows-1252, lu(s) \"?\" : "_w + manquants);
}

bool FinDuScript() {
    const int c = std::getc(fichier_sequenceur);
    if (c == EOF) return true;
    std::ungetc(c, fichier_sequenceur);
    return false;
}

void ExecuterScript() {
    for (int lignes = 0;; ++lignes) {
        if (lignes == kLignesParTick) {
            if (!FinDuScript())
                Rapport("Plus de " + std::to_string(kLignesParTick) +
                        " lignes en une seconde: le script reprend à la seconde suivante"_w);
            return;
        }
        if (!PiloteAttenduPret()) return;
        std::string ligne;
        switch (LireLigne(ligne)) {
        case Lecture::Fin:
            return;
        case Lecture::TropLongue:
            Rapport("Ligne trop longue (" + std::to_string(kLongueurLigneScript) + " caractères au plus), ignorée: "_w +
                    ligne);
            break;
        case Lecture::Ligne:
            if (Executer(ligne) == Suite::FinTick) return;
            break;
        }
    }
}

void Decompte() {
    if (duree_limite < 0) return;
    --duree_limite;
    if (duree_limite == 0) {
        Fermer_enregistrement_signale(liste_instru, panel_commande);
        Rapport("Fermeture du fichier d'enregistrement");
    }
}

}  // namespace

void Nouveau_script_sequenceur() {
    for (long &l : labels_seq) l = 0;
    niveau_boucle = -1;
    script_examine = nullptr;
}

int CB_T_Seq(int, int, int event, void *, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    Decompte();
    if (acquisition_en_cours == 0) {
        attente_restante = 0;
        return 0;
    }
    if (!fichier_sequenceur) return 0;
    if (fichier_sequenceur != script_examine) ExaminerScript();
    if (attente_restante > 0)
        --attente_restante;
    else
        ExecuterScript();
    return 0;
}
UI_CALLBACK(CB_T_Seq);
