// Modal pop-ups: messages, yes/no confirmations, file and directory choosers. In tests they
// are answered from a script instead of waiting for an operator.
#include "platform/ui_internal.h"
#include "platform/ui_test.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

struct Reponse {
    ui_test::Popup genre;
    int resultat;
    std::string chemin;
};

std::mutex verrou_script;
bool script_actif = false;
std::function<void(const std::string &)> echec_script;
std::deque<Reponse> reponses;
std::vector<ui_test::PopupVu> vus;

const char *NomGenre(ui_test::Popup g) {
    switch (g) {
    case ui_test::Popup::Message: return "message";
    case ui_test::Popup::Confirmation: return "confirmation";
    case ui_test::Popup::Fichier: return "choix de fichier";
    case ui_test::Popup::Repertoire: return "choix de répertoire";
    }
    return "?";
}

// In script mode, takes the answer for a pop-up of kind `genre`; false when the layer must
// show the real pop-up.
bool Scripte(ui_test::Popup genre, const std::string &titre, const std::string &message,
             int defaut, int *resultat, std::string *chemin) {
    std::function<void(const std::string &)> echec;
    std::string description;
    {
        std::lock_guard<std::mutex> g(verrou_script);
        if (!script_actif) return false;
        vus.push_back({genre, titre, message});
        if (!reponses.empty() && reponses.front().genre == genre) {
            *resultat = reponses.front().resultat;
            if (chemin) *chemin = reponses.front().chemin;
            reponses.pop_front();
            return true;
        }
        description = std::string("pop-up inattendu (") + NomGenre(genre) + ") : \"" +
                      ui_detail::VersEcran(titre).toStdString() + "\" / \"" +
                      ui_detail::VersEcran(message).toStdString() + "\"";
        if (!reponses.empty())
            description += std::string(" ; le script attendait un ") + NomGenre(reponses.front().genre);
        echec = echec_script;
    }
    if (echec) echec(description);
    *resultat = defaut;
    return true;
}

int RemplirChemin(const std::string &cp1252, char *path) {
    if (!path) return -1;
    if (cp1252.size() + 1 > MAX_PATHNAME_LEN) {
        path[0] = '\0';
        return -1;
    }
    std::memcpy(path, cp1252.c_str(), cp1252.size() + 1);
    return 0;
}

// "*.xls" or "*.xls;*.txt" as the chooser's filter.
QString Filtre(const char *types) {
    QString t = ui_detail::VersEcran(types ? types : "");
    t.replace(';', ' ');
    if (t.trimmed().isEmpty()) t = "*";
    return QString("%1 (%1)").arg(t.trimmed());
}

QString RepertoireDepart(const char *dir) {
    const QString d = ui_detail::VersEcran(dir ? dir : "");
    return d.isEmpty() ? QDir::currentPath() : d;
}

}  // namespace

namespace ui_test {

void ActiverScript(std::function<void(const std::string &)> echec) {
    std::lock_guard<std::mutex> g(verrou_script);
    script_actif = true;
    echec_script = std::move(echec);
    reponses.clear();
    vus.clear();
}

void DesactiverScript() {
    std::lock_guard<std::mutex> g(verrou_script);
    script_actif = false;
    reponses.clear();
}

void Repondre(Popup genre, int resultat, const std::string &chemin) {
    std::lock_guard<std::mutex> g(verrou_script);
    reponses.push_back({genre, resultat, chemin});
}

std::size_t ReponsesRestantes() {
    std::lock_guard<std::mutex> g(verrou_script);
    return reponses.size();
}

std::vector<PopupVu> Vus() {
    std::lock_guard<std::mutex> g(verrou_script);
    return vus;
}

void Effacer() {
    std::lock_guard<std::mutex> g(verrou_script);
    vus.clear();
}

}  // namespace ui_test

using ui_detail::SurFilUi;
using ui_detail::VersEcran;

int MessagePopup(const char *title, const char *message) {
    const std::string t = title ? title : "", m = message ? message : "";
    return SurFilUi([&] {
        int r = 0;
        if (Scripte(ui_test::Popup::Message, t, m, 0, &r, nullptr)) return 0;
        QMessageBox boite(QMessageBox::Information, VersEcran(t), VersEcran(m), QMessageBox::Ok);
        boite.button(QMessageBox::Ok)->setText("OK");
        boite.exec();
        return 0;
    });
}

int ConfirmPopup(const char *title, const char *message) {
    const std::string t = title ? title : "", m = message ? message : "";
    return SurFilUi([&] {
        int r = 0;
        if (Scripte(ui_test::Popup::Confirmation, t, m, 0, &r, nullptr)) return r;
        QMessageBox boite(QMessageBox::Question, VersEcran(t), VersEcran(m),
                          QMessageBox::Yes | QMessageBox::No);
        boite.button(QMessageBox::Yes)->setText("Oui");
        boite.button(QMessageBox::No)->setText("Non");
        boite.setDefaultButton(QMessageBox::No);
        return boite.exec() == QMessageBox::Yes ? 1 : 0;
    });
}

int FileSelectPopup(const char *defaultDirectory, const char *defaultFileSpec,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int /*restrictDirectory*/, int /*restrictExtension*/, int /*allowCancel*/,
                    int allowMakeDirectory, char *path) {
    const std::string t = title ? title : "";
    return SurFilUi([&]() -> int {
        int r = 0;
        std::string chemin;
        if (Scripte(ui_test::Popup::Fichier, t, t, VAL_NO_FILE_SELECTED, &r, &chemin)) {
            if (r > 0 && RemplirChemin(chemin, path) < 0) return -1;
            return r;
        }
        QFileDialog d(nullptr, VersEcran(t), RepertoireDepart(defaultDirectory));
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.setNameFilter(Filtre(fileTypeList));
        const bool enregistrer = buttonLabel == VAL_SAVE_BUTTON;
        d.setAcceptMode(enregistrer ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        d.setFileMode(enregistrer ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!allowMakeDirectory) d.setOption(QFileDialog::ReadOnly);
        const QString modele = VersEcran(defaultFileSpec ? defaultFileSpec : "");
        if (!modele.isEmpty() && !modele.contains('*')) d.selectFile(modele);
        d.setLabelText(QFileDialog::Accept, enregistrer ? "Enregistrer"
                                            : buttonLabel == VAL_LOAD_BUTTON ? "Charger"
                                                                             : "OK");
        d.setLabelText(QFileDialog::Reject, "Annuler");
        d.setLabelText(QFileDialog::LookIn, "Dossier :");
        d.setLabelText(QFileDialog::FileName, "Nom du fichier :");
        d.setLabelText(QFileDialog::FileType, "Type :");
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return VAL_NO_FILE_SELECTED;
        const QString choisi = d.selectedFiles().first();
        const bool existe = QFileInfo::exists(choisi);
        if (RemplirChemin(ui_detail::DepuisEcran(QDir::toNativeSeparators(choisi)), path) < 0) return -1;
        return existe ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    });
}

int DirSelectPopup(const char *defaultDirectory, const char *title, int /*allowCancel*/,
                   int allowMakeDirectory, char *path) {
    const std::string t = title ? title : "";
    return SurFilUi([&]() -> int {
        int r = 0;
        std::string chemin;
        if (Scripte(ui_test::Popup::Repertoire, t, t, VAL_NO_DIRECTORY_SELECTED, &r, &chemin)) {
            if (r > 0 && RemplirChemin(chemin, path) < 0) return -1;
            return r;
        }
        QFileDialog d(nullptr, VersEcran(t), RepertoireDepart(defaultDirectory));
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.setFileMode(QFileDialog::Directory);
        d.setOption(QFileDialog::ShowDirsOnly);
        if (!allowMakeDirectory) d.setOption(QFileDialog::ReadOnly);
        d.setLabelText(QFileDialog::Accept, "Choisir");
        d.setLabelText(QFileDialog::Reject, "Annuler");
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return VAL_NO_DIRECTORY_SELECTED;
        QString choisi = d.selectedFiles().first();
        while (choisi.size() > 1 && choisi.endsWith('/')) choisi.chop(1);
        if (RemplirChemin(ui_detail::DepuisEcran(choisi), path) < 0) return -1;
        return VAL_DIRECTORY_SELECTED;
    });
}
