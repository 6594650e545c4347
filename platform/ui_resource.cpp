// Reading of the user-interface resource files (ui/<Name>.uir, JSON; see ui/FORMAT.md).
#include "platform/text.h"
#include "platform/ui_internal.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdlib>
#include <mutex>

namespace ui_detail {

namespace {

std::mutex verrou_fichiers;
std::map<std::string, std::vector<DefPanneau>> fichiers_lus;
std::string repertoire_choisi;

std::string Cp(const QJsonValue &v) { return texte::Utf8VersCp1252(v.toString().toStdString()); }

DefControle LireControle(const QJsonObject &o) {
    DefControle d;
    d.id = o.value("id").toInt();
    d.constante = o.value("constant").toString().toStdString();
    d.genre = o.value("kind").toString().toStdString();
    d.libelle = Cp(o.value("label"));
    d.callback = o.value("callback").toString().toStdString();
    d.gauche = o.value("left").toInt();
    d.haut = o.value("top").toInt();
    d.largeur = o.value("width").toInt();
    d.hauteur = o.value("height").toInt();
    d.grise = o.value("dimmed").toBool(false);
    d.visible = o.value("visible").toBool(true);
    d.position_libelle = o.value("label_pos").toString().toStdString();
    d.brut = o;
    return d;
}

bool LireFichier(const std::string &chemin, std::vector<DefPanneau> &panneaux) {
    QFile f(QString::fromStdString(chemin));
    if (!f.open(QIODevice::ReadOnly)) return false;
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) return false;
    for (const QJsonValue &vp : doc.object().value("panels").toArray()) {
        const QJsonObject p = vp.toObject();
        DefPanneau d;
        d.id = p.value("id").toInt();
        d.constante = p.value("constant").toString().toStdString();
        d.titre = Cp(p.value("title"));
        d.largeur = p.value("width").toInt(400);
        d.hauteur = p.value("height").toInt(300);
        d.gauche = p.value("left").toInt(-1);
        d.haut = p.value("top").toInt(-1);
        for (const QJsonValue &vc : p.value("controls").toArray())
            d.controles.push_back(LireControle(vc.toObject()));
        panneaux.push_back(std::move(d));
    }
    return true;
}

}  // namespace

std::string RepertoireRessources() {
    std::lock_guard<std::mutex> g(verrou_fichiers);
    if (!repertoire_choisi.empty()) return repertoire_choisi;
    if (const char *env = std::getenv("BANC_UI_DIR"); env && *env) return env;
    return BANC_UI_DIR_DEFAUT;
}

const DefPanneau *TrouverPanneau(const std::string &fichier, int id, int *erreur) {
    // A bare name is looked for in the resource directory; a path is taken as it is.
    const std::string chemin =
        fichier.find('/') == std::string::npos ? RepertoireRessources() + "/" + fichier : fichier;
    std::lock_guard<std::mutex> g(verrou_fichiers);
    auto it = fichiers_lus.find(chemin);
    if (it == fichiers_lus.end()) {
        std::vector<DefPanneau> panneaux;
        if (!LireFichier(chemin, panneaux)) {
            *erreur = UIE_NO_FILE;
            return nullptr;
        }
        it = fichiers_lus.emplace(chemin, std::move(panneaux)).first;
    }
    for (const DefPanneau &p : it->second)
        if (p.id == id) return &p;
    *erreur = UIE_NO_PANEL;
    return nullptr;
}

void OublierFichiersLus() {
    std::lock_guard<std::mutex> g(verrou_fichiers);
    fichiers_lus.clear();
}

}  // namespace ui_detail

void SetResourceDirectory(const char *dir) {
    {
        std::lock_guard<std::mutex> g(ui_detail::verrou_fichiers);
        ui_detail::repertoire_choisi = dir ? dir : "";
    }
    ui_detail::OublierFichiersLus();
}
