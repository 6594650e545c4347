// Bench synchronisation: the directory watch, the set-point files and the measurements they
// start (see synchro.h).
#include "app/synchro.h"

#include "app/Interface.h"
#include "app/affichage.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/Interface.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// ---- set-point content --------------------------------------------------------------------

namespace {

constexpr std::string_view kBlancs = " \t\n\v\f\r";

// Characters that no file name of the bench's side or ours may hold.
constexpr std::string_view kInterditsNom = "/\\:*?\"<>|";

// The next line of `reste` (without its LF, nor the CR of a CR LF), cut to the longest line
// read; false when no line is left.
bool LigneSuivante(std::string_view &reste, std::string_view &ligne) {
    if (reste.empty()) return false;
    const std::size_t fin = reste.find('\n');
    ligne = reste.substr(0, fin);
    reste.remove_prefix(fin == std::string_view::npos ? reste.size() : fin + 1);
    if (!ligne.empty() && ligne.back() == '\r') ligne.remove_suffix(1);
    if (ligne.size() > kLongueurLigneConsigne) ligne = ligne.substr(0, kLongueurLigneConsigne);
    return true;
}

// The value of a line: everything after its first ';'. False for a line without ';'.
bool Valeur(std::string_view ligne, std::string_view &valeur) {
    const std::size_t p = ligne.find(';');
    if (p == std::string_view::npos) return false;
    valeur = ligne.substr(p + 1);
    return true;
}

std::string_view SansBlancs(std::string_view v) {
    const std::size_t debut = v.find_first_not_of(kBlancs);
    return debut == std::string_view::npos ? std::string_view{} : v.substr(debut);
}

// A decimal integer after optional blanks and sign; what follows the digits is ignored. False
// without digits, or when the value does not fit an int.
bool Entier(std::string_view v, int &resultat) {
    v = SansBlancs(v);
    bool negatif = false;
    if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
        negatif = v.front() == '-';
        v.remove_prefix(1);
    }
    long long n = 0;
    std::size_t chiffres = 0;
    for (; chiffres < v.size() && v[chiffres] >= '0' && v[chiffres] <= '9'; ++chiffres) {
        n = n * 10 + (v[chiffres] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (chiffres == 0) return false;
    if (negatif) n = -n;
    if (n > INT_MAX || n < INT_MIN) return false;
    resultat = static_cast<int>(n);
    return true;
}

}  // namespace

bool Nom_mesure_valide(std::string_view nom) {
    if (nom.empty() || nom.find("..") != std::string_view::npos || nom == ".") return false;
    for (const char c : nom) {
        const auto o = static_cast<unsigned char>(c);
        if (o < 0x20 || o == 0x7F || kInterditsNom.find(c) != std::string_view::npos) return false;
    }
    return true;
}

bool Lire_consigne(std::string_view texte, ConsigneBanc &consigne) {
    std::string_view valeurs[3];
    for (std::string_view &valeur : valeurs) {
        std::string_view ligne;
        if (!LigneSuivante(texte, ligne) || !Valeur(ligne, valeur)) return false;
    }

    // The name: the first word, at most kLongueurNomMesure characters of it.
    const std::string_view mot = SansBlancs(valeurs[0]);
    const std::string_view nom = mot.substr(0, std::min(mot.find_first_of(kBlancs), kLongueurNomMesure));
    if (!Nom_mesure_valide(nom)) return false;
    nom.copy(consigne.nom, nom.size());
    consigne.nom[nom.size()] = '\0';

    if (!Entier(valeurs[1], consigne.duree) || !Entier(valeurs[2], consigne.periode)) return false;
    return consigne.duree >= 1 && consigne.duree <= kDureeMaxConsigne && consigne.periode >= 1 &&
           consigne.periode <= consigne.duree;
}

// ---- the watch ----------------------------------------------------------------------------

namespace {

// What the watch saw of the set-point file at the previous tick: the bench may still be writing
// it, and on this system a file being written can be opened and read half-way.
struct Apercu {
    std::string chemin;
    dev_t peripherique = 0;
    ino_t inode = 0;
    off_t taille = -1;
    long long modifie_s = 0;
    long long modifie_ns = 0;

    bool operator==(const Apercu &) const = default;
    // The same file (not one put in its place), whatever its size.
    bool MemeFichier(const Apercu &a) const {
        return chemin == a.chemin && peripherique == a.peripherique && inode == a.inode;
    }
};

Apercu ApercuDe(const std::string &chemin, const struct stat &st) {
    return {chemin, st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec),
            static_cast<long long>(st.st_mtim.tv_nsec)};
}

Apercu vu;                          // the set-point file as the last tick saw it (chemin "" none)
bool renommage_signale = false;     // this file's failed rename is already in the status list
bool caracteres_signales = false;   // this file's characters without Windows-1252 form, too
bool invalide_signale = false;      // this file's invalid content, too

void OublierConsigne() {
    vu = {};
    renommage_signale = false;
    caracteres_signales = false;
    invalide_signale = false;
}

// The watch sees the file as `maintenant`: it starts over when this is another file or another
// content than the previous tick saw.
void Voir(const Apercu &maintenant) {
    if (maintenant == vu) return;
    OublierConsigne();
    vu = maintenant;
}

void Statut(const std::string &message) {
    afficher_status(panel_commande, message.substr(0, kLongueurLigne - 1).c_str());
}

void Message(const char *texte) { SetCtrlVal(panel_synchro, P_Synchro_TEXTMSG_synchromes, texte); }

void Timer(int timer, int actif) { SetCtrlAttribute(panel_timer, timer, ATTR_ENABLED, actif); }

// Most bytes of a line that are read: a line of kLongueurLigneConsigne characters of UTF-8
// text, and its line end.
constexpr std::size_t kOctetsLigneConsigne = 4 * kLongueurLigneConsigne + 2;

// Reads the set-point file at `chemin`, unless the bench is still writing it: true and its first
// three lines (each cut as the reader cuts them) in `texte`, as the program's text; false when
// there is nothing to take at this tick. A file whose last line is ended is taken at the first
// tick that finds it, unless that tick finds it grown since the previous one (the same file,
// longer); a file whose last line is not ended yet waits for a tick that finds it as the
// previous tick left it. A file that changes while it is read waits too.
bool LireConsigne(const std::string &chemin, const char *nom_fichier, std::string &texte) {
    struct stat st;
    if (::stat(CheminSysteme(chemin.c_str()).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        OublierConsigne();
        return false;
    }
    const Apercu avant = ApercuDe(chemin, st);
    const bool inchange = avant == vu;
    const bool grandit = avant.MemeFichier(vu) && avant.taille > vu.taille;
    std::FILE *f = OuvrirFichier(chemin.c_str(), "rb");
    if (!f) return false;
    std::string octets;
    int lignes = 0;
    std::size_t longueur = 0;
    for (int c; lignes < 3 && (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            octets += '\n';
            ++lignes;
            longueur = 0;
        } else if (longueur++ < kOctetsLigneConsigne) {
            octets += static_cast<char>(c);
        }
    }
    const bool complet = std::fseek(f, -1, SEEK_END) == 0 && std::fgetc(f) == '\n';
    struct stat apres;
    const bool lu = ::fstat(fileno(f), &apres) == 0 && !std::ferror(f);
    std::fclose(f);
    Voir(ApercuDe(chemin, apres));
    if (!lu || !(vu == avant) || grandit || (!complet && !inchange)) return false;

    if (!texte::EstUtf8(octets)) {
        texte = octets;
        return true;
    }
    if (octets.starts_with(texte::kMarqueUtf8)) octets.erase(0, texte::kMarqueUtf8.size());
    std::vector<char32_t> sans_equivalent;
    texte = texte::Utf8VersCp1252(octets, sans_equivalent);
    if (!sans_equivalent.empty() && !caracteres_signales) {
        std::string liste;
        for (const char32_t c : sans_equivalent) liste += (liste.empty() ? "" : ", ") + texte::NomCaractere(c);
        Statut(std::string("Fichier ") + nom_fichier + " en UTF-8 : caractère(s) sans équivalent Windows-1252, lu(s) \"?\" : "_w +
               liste);
        caracteres_signales = true;
    }
    return true;
}

// Gives the set-point file at `chemin` its receipt name `recu`; an older receipt of that name
// is replaced. 0 when done.
int Renommer(const std::string &chemin, const std::string &recu) {
    // A watched name that is already the receipt name cannot be renamed to it (deleting the
    // "older receipt" would delete the set-point itself).
    struct stat st;
    if (::stat(CheminSysteme(recu.c_str()).c_str(), &st) == 0 && st.st_dev == vu.peripherique && st.st_ino == vu.inode)
        return UTE_FILE_EXISTS;
    int r = RenameFile(chemin.c_str(), recu.c_str());
    if (r == UTE_FILE_EXISTS) {
        CVI_DeleteFile(recu.c_str());
        r = RenameFile(chemin.c_str(), recu.c_str());
    }
    return r;
}

void ActiverSurveillance() {
    // The panel belongs to a running synchronised acquisition: without one there is nothing
    // to synchronise, and a watch would sample channel buffers that the stop released.
    if (acquisition_en_cours != 1) {
        SetCtrlVal(panel_synchro, P_Synchro_TBN_Synchobanc, 0);
        HidePanel(panel_synchro);
        return;
    }
    char choisi[MAX_PATHNAME_LEN] = "";
    const int r = DirSelectPopup(repertoire_defaut, "Choisissez le répertoire dans lequel surveiller"_w, 1, 1, choisi);
    const std::size_t n = r > 0 ? std::strlen(choisi) : 0;
    const bool separateur = n > 0 && choisi[n - 1] == '/';
    // The directory and its separator must fit the watched-directory buffer.
    if (n == 0 || n + (separateur ? 0 : 1) >= sizeof repertoire_surveille) {
        MessagePopup("Attention", "Aucun répertoire n'a été sélectionné.\n Surveillance INACTIVE"_w);
        return;
    }
    std::memcpy(repertoire_surveille, choisi, n);
    if (!separateur) repertoire_surveille[n] = '/';
    repertoire_surveille[separateur ? n : n + 1] = '\0';
    OublierConsigne();
    Mode_boutons_acq(panel_commande, panel_instru, panel_graphs);
    Timer(PANEL_Time_T_synchrobanc, 1);
    Message("Surveillance");
}

void DesactiverSurveillance() {
    HidePanel(panel_synchro);
    Statut("Synchro suspendue");
    SetCtrlAttribute(panel_commande, P_Commande_COMMANDBUTTON_Acq, ATTR_DIMMED, 0);
    Timer(PANEL_Time_T_synchrobanc, 0);
    Timer(PANEL_Time_T_Attente, 0);
    Message("");
    Fermer_enregistrement_signale(liste_instru, panel_commande);
    OublierConsigne();
}

}  // namespace

int CB_synchrobanc(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int actif = 0;
    GetCtrlVal(panel, control, &actif);
    if (actif == 1)
        ActiverSurveillance();
    else
        DesactiverSurveillance();
    return 0;
}
UI_CALLBACK(CB_synchrobanc);

int CB_T_Synchroban(int, int, int event, void *, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    // A watch outliving its acquisition takes nothing: the measurement would sample released
    // channel buffers.
    if (acquisition_en_cours != 1) {
        Timer(PANEL_Time_T_synchrobanc, 0);
        return 0;
    }
    char nom_fichier[256] = "";
    GetCtrlVal(panel_synchro, P_Synchro_S_nomfichier, nom_fichier);
    const std::string chemin = std::string(repertoire_surveille) + nom_fichier;
    std::string texte;
    if (!LireConsigne(chemin, nom_fichier, texte)) return 0;

    ConsigneBanc consigne;
    if (!Lire_consigne(texte, consigne)) {
        // Left in place: the bench replaces it, and every tick reads it again. The panel says
        // so at every tick; the status list, where the operator looks back, once per content.
        Message("Fichier invalide !");
        if (!invalide_signale) Statut("Fichier de consigne invalide : " + std::string(nom_fichier));
        invalide_signale = true;
        return 0;
    }

    const std::string base = std::string(repertoire_surveille) + consigne.nom;
    if (Renommer(chemin, base + ".ent") != 0) {
        // Taking it anyway would take it again after the measurement, recording over the same
        // record for ever: the set-point stays where it is, unanswered, until it can be renamed.
        if (!renommage_signale)
            Statut("Impossible de renommer le fichier " + std::string(nom_fichier) + " : mesure " + consigne.nom +
                   " non lancée"_w);
        renommage_signale = true;
        return 0;
    }
    OublierConsigne();

    const std::string enregistrement = base + ".xls";
    if (Ouvrir_enregistrement(enregistrement.c_str(), liste_instru) < 0) {
        // The measurement runs all the same (timers, sampling, display).
        if (!Enregistrement_ouvert())
            Statut("Impossible d'ouvrir le fichier " + enregistrement);
        else
            Statut("Impossible d'ouvrir tous les fichiers d'enregistrement de " + enregistrement);
    }
    char message[64];
    std::snprintf(message, sizeof message, "Mesures dans le fichier %s", consigne.nom);
    Message(message);
    SetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_INTERVAL, static_cast<double>(consigne.periode));
    Timer(PANEL_Time_T_synchrobanc, 0);
    SetCtrlAttribute(panel_timer, PANEL_Time_T_Attente, ATTR_INTERVAL, static_cast<double>(consigne.duree));
    Timer(PANEL_Time_T_Attente, 1);
    // The first sample at once, stamped near 0 in the new record.
    CB_T_echantillon(panel_timer, PANEL_Time_TIMER_echantillon, EVENT_TIMER_TICK, nullptr, 0, 0);
    return 0;
}
UI_CALLBACK(CB_T_Synchroban);

int CB_T_Attente(int, int, int event, void *, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    Timer(PANEL_Time_T_Attente, 0);
    // After the stop of the acquisition there is no watch to resume (its files are closed).
    if (acquisition_en_cours != 1) return 0;
    Timer(PANEL_Time_T_synchrobanc, 1);
    Message("Surveillance");
    Fermer_enregistrement_signale(liste_instru, panel_commande);
    return 0;
}
UI_CALLBACK(CB_T_Attente);
