// The sequencer mode and the time-limited mode, as an operator runs them: instruments in the
// list, a script chosen at the start, the sequencer timer and the sampling timer ticking on a
// fake clock; what the status list shows, what the instruments receive, what lands on disk.
#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Ticks = std::vector<std::vector<std::string>>;

// A status line as the list holds it: 254 characters at most.
std::string Coupe(const std::string &s) { return s.substr(0, 254); }

std::string Envoye(const std::string &commande) { return "Commande de \"Essai\" avec \"" + commande + "\""; }
std::string NonReconnue(const std::string &ligne) { return "Commande non reconnue: " + ligne; }
std::string Modifiee(const std::string &affectation) { return "Variable modifiée ("_w + affectation + ")"; }
const std::string kPlafond = "Plus de 1000 lignes en une seconde: le script reprend à la seconde suivante"_w;
std::string TropLongue(const std::string &ligne) {
    return Coupe("Ligne trop longue (253 caractères au plus), ignorée: "_w + ligne);
}

class Sequenceur : public BancTest {
protected:
    using BancTest::AjouterEssai;

    // "Essai": two measured channels (0.5 and 2.5), one computed channel (1.0), commands, and
    // a status that says ready.
    PInstrument *AjouterEssai() {
        ConfigEssai c;
        c.nom = "Essai";
        c.mesures_1D = true;
        c.noms_1D = {"U", "V"};
        c.valeurs_1D = {0.5, 2.5};
        c.numeros_1D = {1, 2};
        c.calculs_1D = true;
        c.noms_calcul = {"moy"};
        c.valeurs_calcul = {1.0};
        c.avec_init = c.avec_start = c.avec_stop = true;
        c.avec_execute = true;
        c.avec_status = true;
        return AjouterEssai(c);
    }
    // "Muet": one measured channel (-3), neither status nor commands.
    PInstrument *AjouterMuet() {
        ConfigEssai c;
        c.nom = "Muet";
        c.mesures_1D = true;
        c.noms_1D = {"W"};
        c.valeurs_1D = {-3.0};
        c.numeros_1D = {4};
        return AjouterEssai(c);
    }

    // Writes a script into the temporary directory with LF or CR LF line ends; "@" stands for
    // the directory.
    std::string Script(const std::string &nom, std::string texte, bool crlf = false) {
        for (std::size_t p; (p = texte.find('@')) != std::string::npos;) texte.replace(p, 1, Dossier());
        if (crlf)
            for (std::size_t p = 0; (p = texte.find('\n', p)) != std::string::npos; p += 2) texte.insert(p, 1, '\r');
        const std::string chemin = dossier.filePath(QString::fromStdString(nom)).toStdString();
        std::ofstream(chemin, std::ios::binary) << texte;
        return chemin;
    }
    std::string Dossier() const { return dossier.path().toStdString(); }

    void Demarrer(int mode, const std::string &fichier) {
        ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, mode), 0);
        ui_test::Repondre(ui_test::Popup::Fichier, mode == 2 ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED,
                          fichier);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1);
        ViderStatuts();
    }
    void Arreter() {
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 0);
        ViderStatuts();
    }

    // Status lines shown since the last call, without their time.
    std::vector<std::string> NouveauxStatuts() {
        std::vector<std::string> r = Statuts();
        ViderStatuts();
        return r;
    }
    void ViderStatuts() { ClearListCtrl(panel_commande, P_Commande_STATUS); }

    // One second: the clock moves, then the sequencer timer ticks; its status lines.
    std::vector<std::string> TickSeq() {
        horloge::AvancerHorlogeFactice(1.0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
        return NouveauxStatuts();
    }
    Ticks TicksSeq(int n) {
        Ticks r;
        for (int i = 0; i < n; ++i) r.push_back(TickSeq());
        return r;
    }
    // One second with both timers: the sampling tick, then the sequencer tick.
    std::vector<std::string> Seconde() {
        horloge::AvancerHorlogeFactice(1.0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
        return NouveauxStatuts();
    }
};

struct CasScript {
    const char *nom;
    std::string script;           // LF line ends; "@" stands for the temporary directory
    Ticks ticks;                  // status lines of each sequencer tick
    std::vector<std::string> commandes;  // texts that "Essai" received
};

std::vector<CasScript> TableDesScripts() {
    const std::string x238(238, 'x'), y239(239, 'y');
    std::string dollars;
    for (int i = 0; i < 60; ++i) dollars += "$a";

    // Going back out of a loop body into the loop's own start, 40 times: the loop is taken up
    // again each time instead of piling up open loops.
    Ticks reprise{{Modifiee("i = 0.000000")}};
    for (int i = 1; i <= 41; ++i) reprise[0].push_back(Modifiee("i = " + std::to_string(i) + ".000000"));
    reprise[0].push_back(Envoye("fini 41.000000"));

    std::string pile_pleine;
    for (int i = 0; i < 31; ++i) pile_pleine += "boucle 1\n";

    return {
        {"comments, blanks and empty lines",
         "# en-tete\n\n   \t \n\t  tic   # depart\nticket\n",
         {{"[tic]", "[tic]"}, {}},
         {}},
        {"set",
         "set a=2.5\nset A+1\nset a-0.5\nseta*4\nset a/2\nset a= 5\nset b=+5\nset c=5abc\nset d=-.5e1x\n"
         "set 1=2\nset a=abc\nset b=1e999\nset c=inf\nset d=--1\nset a\ncommande Essai:$a $b $c $d\n",
         {{Modifiee("a = 2.500000"), Modifiee("a = 3.500000"), Modifiee("a = 3.000000"), Modifiee("a = 12.000000"),
           Modifiee("a = 12.000000"), Modifiee("a = 0.000000"), Modifiee("b = 5.000000"), Modifiee("c = 5.000000"),
           Modifiee("d = -5.000000"), Modifiee("a = 0.000000"), Modifiee("b = 0.000000"), Modifiee("c = 0.000000"),
           Modifiee("d = 0.000000"), NonReconnue("set a"), Envoye("0.000000 0.000000 0.000000 0.000000")}},
         {"0.000000 0.000000 0.000000 0.000000"}},
        {"tic and toc",
         "tic\nattente 3\nB=toc\n1=toc\ncommande Essai:$b\n",
         {{"[tic]", "Attente de 3 secondes"},
          {},
          {},
          {"[toc] "_w + Modifiee("b = 3.000000")},
          {Envoye("3.000000")}},
         {"3.000000"}},
        {"attente",
         "attente 1\ncommande Essai:un\nattente 0\nattente -2\ncommande Essai:deux\nattente 2\ncommande Essai:trois\n",
         {{"Attente de 1 secondes"},
          {Envoye("un"), "Attente impossible", "Attente impossible", Envoye("deux"), "Attente de 2 secondes"},
          {},
          {Envoye("trois")},
          {}},
         {"un", "deux", "trois"}},
        // A letter that no "label" line of this script has set yet (z lies further on) leads back
        // to the first line.
        {"labels and retour",
         "set i=0\nlabel a\nset i+1\nfaire_si $i<3\nretour A\ncommande Essai:i=$i\nlabel 1\nretour 1\n"
         "commande Essai:fin\nattente 1\nretour z\nlabel z\ncommande Essai:jamais\n",
         {{Modifiee("i = 0.000000"), Modifiee("i = 1.000000"), Modifiee("i = 2.000000"), Modifiee("i = 3.000000"),
           Envoye("i=3.000000"), Envoye("fin"), "Attente de 1 secondes"},
          {Modifiee("i = 0.000000"), Modifiee("i = 1.000000"), Modifiee("i = 2.000000"), Modifiee("i = 3.000000"),
           Envoye("i=3.000000"), Envoye("fin"), "Attente de 1 secondes"}},
         {"i=3.000000", "fin", "i=3.000000", "fin"}},
        {"faire_si guards the next physical line",
         "set x=1\nfaire_si $x>2\n# garde\ncommande Essai:A\nfaire_si $x=1\ncommande Essai:B\nfaire_si $x <2\n"
         "commande Essai:C\nfaire_si $x< 2\ncommande Essai:D\nfaire_si $x!2\ncommande Essai:E\nfaire_si $x>0\n\n"
         "commande Essai:F\nfaire_si $x>5\n\ncommande Essai:G\nfaire_si 1<\ncommande Essai:H\nfaire_si x<2\n"
         "commande Essai:I\nfaire_si 2<1\n",
         {{Modifiee("x = 1.000000"), Envoye("A"), Envoye("B"), NonReconnue("faire_si 1.000000 <2"), Envoye("C"),
           Envoye("D"), Envoye("E"), Envoye("F"), Envoye("G"), NonReconnue("faire_si 1<"), Envoye("H"),
           NonReconnue("faire_si x<2"), Envoye("I")}},
         {"A", "B", "C", "D", "E", "F", "G", "H", "I"}},
        {"counted and nested loops",
         "boucle 3\ncommande Essai:x\nfin_boucle\nboucle 0\ncommande Essai:zero\nfin_boucle\nboucle -5\n"
         "commande Essai:moins\nfin_boucle\nboucle 2\nboucle 2\ncommande Essai:n\nfin_boucle\nfin_boucle\n"
         "fin_boucle\nboucle\ncommande Essai:fin\n",
         {{Envoye("x"), Envoye("x"), Envoye("x"), Envoye("zero"), Envoye("moins"), Envoye("n"), Envoye("n"),
           Envoye("n"), Envoye("n"), "Fin de boucle sans boucle ouverte, ignorée"_w, NonReconnue("boucle"),
           Envoye("fin")}},
         {"x", "x", "x", "zero", "moins", "n", "n", "n", "n", "fin"}},
        {"an endless loop runs one pass per tick",
         "boucle -1\ncommande Essai:p\nfin_boucle\ncommande Essai:jamais\n",
         {{Envoye("p")}, {Envoye("p")}, {Envoye("p")}},
         {"p", "p", "p"}},
        {"leaving a loop by retour and coming back to it", "set i=0\nlabel a\nboucle 2\nset i+1\nfaire_si $i<40\nretour a\nfin_boucle\ncommande Essai:fini $i\n",
         reprise,
         {"fini 41.000000"}},
        {"more than 30 open loops stop the script",
         pile_pleine + "commande Essai:jamais\n",
         {{"Boucle impossible: plus de 30 boucles imbriquées. Séquenceur arrêté"_w}, {}},
         {}},
        {"pour",
         "pour a utiliser_mesure voie 1 de : Essai\npour B utiliser_mesure voie 2 de : ESSAI\n"
         "pour c utiliser_calcul voie 1 de : essai\npour d utiliser_mesure voie 1 de : Muet\n"
         "pour a utiliser_mesure voie 0 de : Essai\npour a utiliser_calcul voie 2 de : Essai\n"
         "pour a utiliser_mesure voie 1 de : Absent\npour A utiliser_mesure voie 1 de\n"
         "pour a utiliser_mesure voie 1 de :\npour 1 utiliser_mesure voie 1 de : Essai\n"
         "pour a utiliser_calcul voie 1 de : Muet\ncommande Essai:$a $b $c $d\n",
         {{"[m]Variable a assignée à : 5.000000e-01"_w, "[m]Variable b assignée à : 2.500000"_w,
           "[c]Variable c assignée à : 1.000000e+00"_w, "[m]Variable d assignée à : -3.000000"_w,
           "Numéro de voie illégal !"_w, "Numéro de voie illégal !"_w,
           "Variable a NON assignée à cause d'une erreur"_w, "Variable A NON assignée à cause d'une erreur"_w,
           "Variable a NON assignée à cause d'une erreur"_w},
          {"Numéro de voie illégal !"_w, Envoye("0.500000 2.500000 1.000000 -3.000000")}},
         {"0.500000 2.500000 1.000000 -3.000000"}},
        {"attendre",
         "attendre essai\ncommande Essai:pret\nattendre Muet\ncommande Essai:muet\nattendre Absent\nATTENDRE Essai\n",
         {{"Attente du pilote: \"Essai\"", "Instru prêt"_w, Envoye("pret"), "Attente du pilote: \"Muet\"",
           Envoye("muet"), "Attente impossible (Absent)", NonReconnue("ATTENDRE Essai")}},
         {"pret", "muet"}},
        {"commande",
         "commande Essai:MES 1\nCOMMANDE essai :  V?\ncommande Absent:X\ncommande sans deux points\n"
         "Commande Muet:X\n",
         {{Envoye("MES 1"), "Commande de \"essai\" avec \"V?\"",
           "Commande impossible \"Absent\" non trouvé, vérifier le nom."_w,
           "Commande impossible \"sans deux points\" non trouvé, vérifier le nom."_w,
           "Commande impossible (Muet) non fonctionnel"}},
         {"MES 1", "V?"}},
        {"marks and samples without a record file",
         "set a=4\nmarquer essai $a\ndemarquer\nechantillon\nfermer\n",
         {{Modifiee("a = 4.000000"), "Marquage: essai 4.000000", "Démarquage"_w,
           "Pas d'échantillons à la demande dans ce mode"_w, "Fermeture du fichier d'enregistrement"}},
         {}},
        {"lines that match no form",
         "bonjour\nset a=2\ntruc $a\ntruc $\nlabel\nmarquer\nattendre\nfermer_tout\n",
         {{NonReconnue("bonjour"), Modifiee("a = 2.000000"), NonReconnue("truc 2.000000"), NonReconnue("truc BADVAR"),
           NonReconnue("label"), NonReconnue("marquer"), NonReconnue("attendre"),
           "Fermeture du fichier d'enregistrement"}},
         {}},
        {"long lines",
         "commande Essai:" + x238 + "\ncommande Essai:" + y239 + "\n# " + std::string(400, 'z') + "\ntic # " +
             std::string(400, 'c') + "\ncommande Essai:" + dollars + "\ncommande Essai:fin\n",
         {{Coupe(Envoye(x238)), TropLongue("commande Essai:" + y239), "[tic]", TropLongue("commande Essai:" + dollars),
           Envoye("fin")}},
         {x238, "fin"}},
        {"a jump back with no wait goes on at the next tick",
         "commande Essai:debut\nlabel a\nretour a\n",
         {{Envoye("debut"), kPlafond}, {kPlafond}},
         {"debut"}},
        {"a long counted loop spans two ticks",
         "boucle 600\nlabel b\nfin_boucle\ncommande Essai:fin\n",
         {{kPlafond}, {Envoye("fin")}, {}},
         {"fin"}},
    };
}

// Every line form and every error, with LF and with CR LF line ends.
TEST_F(Sequenceur, ScriptTable) {
    PInstrument *essai = AjouterEssai();
    AjouterMuet();
    const std::vector<CasScript> table = TableDesScripts();
    for (const bool crlf : {false, true}) {
        for (const CasScript &c : table) {
            SCOPED_TRACE(std::string(c.nom) + (crlf ? " (CR LF)" : " (LF)"));
            Essai(essai).commandes.clear();
            Demarrer(2, Script("script.txt", c.script, crlf));
            EXPECT_EQ(TicksSeq(static_cast<int>(c.ticks.size())), c.ticks);
            EXPECT_EQ(Essai(essai).commandes, c.commandes);
            Arreter();
        }
    }
}

// "ouvrir", "marquer", "demarquer", "fermer" with the sampling timer running: the record file
// holds the rows sampled while it was open, marked as the script said.
TEST_F(Sequenceur, ScriptDrivesTheRecordFile) {
    AjouterEssai();
    const std::string script = Script("fichier.txt",
                                      "ouvrir @/seq.xls   # trailing blanks are no part of the name\n"
                                      "marquer début\nattente 2\ndemarquer\nattente 1\nfermer\nouvrir @/absent/x.xls\n"_w,
                                      true);
    Demarrer(2, script);
    const std::string chemin = Dossier() + "/seq.xls";
    EXPECT_EQ(Seconde(), (std::vector<std::string>{"Ouverture de \"" + chemin + "   \"", "Marquage: début"_w,
                                                   "Attente de 2 secondes"}));  // 12:34:57
    EXPECT_TRUE(Seconde().empty());                                              // 12:34:58
    EXPECT_EQ(Seconde(), (std::vector<std::string>{"Démarquage"_w, "Attente de 1 secondes"}));
    EXPECT_EQ(Seconde(), (std::vector<std::string>{"Fermeture du fichier d'enregistrement",  // 12:35:00
                                                   "Ouverture de \"" + Dossier() + "/absent/x.xls\"",
                                                   "Impossible d'ouvrir 1 fichier(s) d'enregistrement"}));
    EXPECT_TRUE(Seconde().empty());
    Arreter();
    const std::string entete = "Date\tHeure\tMarqueur\tDurée écoulée\tEssai U\tMesure n°\tEssai V\tMesure n°\tEssai moy\r\n"_w;
    const std::string valeurs = "\t5.000000e-01\t1\t2.500000\t2\t1.000000e+00\r\n";
    EXPECT_EQ(LireFichier(chemin), entete + "12-10-2025\t12:34:58\tdébut\t1"_w + valeurs +
                                "12-10-2025\t12:34:59\tdébut\t2"_w + valeurs + "12-10-2025\t12:35:00\t\t3" + valeurs);

    // Samples on request: "echantillon" writes one row into the open file, none before it.
    SetCtrlVal(panel_commande, P_Commande_CHECKBOX, 1);
    Demarrer(2, Script("demande.txt", "echantillon\nouvrir @/demande.xls\nattente 2\nechantillon\nfermer\n"));
    EXPECT_EQ(Seconde(), (std::vector<std::string>{"Echantillon demandé"_w,  // 12:35:02
                                                   "Ouverture de \"" + Dossier() + "/demande.xls\"",
                                                   "Attente de 2 secondes"}));
    EXPECT_TRUE(Seconde().empty());
    EXPECT_EQ(Seconde(), (std::vector<std::string>{"Echantillon demandé"_w, "Fermeture du fichier d'enregistrement"}));
    Arreter();
    EXPECT_EQ(LireFichier(Dossier() + "/demande.xls"), entete + "12-10-2025\t12:35:04\t\t2" + valeurs);
}

// Labels and open loops are positions in their own script: the next script starts without
// them. The variables, a pending wait and the awaited instrument carry over; a tick without an
// acquisition clears the wait.
TEST_F(Sequenceur, WhatCarriesOverToTheNextScript) {
    PInstrument *essai = AjouterEssai();
    Essai(essai).config.resultat_status = 0;  // not ready
    Demarrer(2, Script("un.txt", "set v=7\nlabel a\nboucle 5\nattendre Essai\ncommande Essai:jamais\n"));
    EXPECT_EQ(TicksSeq(2), (Ticks{{Modifiee("v = 7.000000"), "Attente du pilote: \"Essai\""}, {}}));
    Arreter();

    // The new script waits for the instrument first; its "retour a" goes to its own first line
    // and its "fin_boucle" finds no loop open.
    Demarrer(2, Script("deux.txt", "faire_si $v>7\nattente 100\nset v+1\nfin_boucle\nretour a\n"));
    EXPECT_EQ(TicksSeq(1), Ticks{{}});
    Essai(essai).config.resultat_status = 1;
    EXPECT_EQ(TicksSeq(1), (Ticks{{"Instru prêt"_w, Modifiee("v = 8.000000"), "Fin de boucle sans boucle ouverte, ignorée"_w,
                                   "Attente de 100 secondes"}}));
    // Stopped during the wait and started again at once: the wait goes on in the new script.
    Arreter();
    const std::string trois = Script("trois.txt", "commande Essai:trois $v\n");
    Demarrer(2, trois);
    EXPECT_EQ(TicksSeq(2), (Ticks{{}, {}}));
    // Left stopped for a tick: no wait left.
    Arreter();
    EXPECT_TRUE(TickSeq().empty());
    Demarrer(2, trois);
    EXPECT_EQ(TicksSeq(1), Ticks{{Envoye("trois 8.000000")}});
    EXPECT_EQ(Essai(essai).commandes, std::vector<std::string>{"trois 8.000000"});
}

// A write failure of a record file (full disk) is reported when the script closes that file,
// by "fermer" or by opening another one; the stop does not report it again.
TEST_F(Sequenceur, WriteFailuresAreReportedWhenTheScriptClosesTheFile) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
    AjouterEssai();
    const std::string erreur = "Erreur d'écriture : le fichier d'enregistrement est incomplet (/dev/full)"_w;
    Demarrer(2, Script("plein.txt", "ouvrir /dev/full\nattente 1\nfermer\nouvrir /dev/full\nouvrir @/bon.xls\nfermer\n"));
    EXPECT_EQ(Seconde(), (std::vector<std::string>{"Ouverture de \"/dev/full\"", "Attente de 1 secondes"}));
    EXPECT_EQ(Seconde(), (std::vector<std::string>{erreur, "Fermeture du fichier d'enregistrement", "Ouverture de \"/dev/full\"",
                                                   erreur, "Ouverture de \"" + Dossier() + "/bon.xls\"",
                                                   "Fermeture du fichier d'enregistrement"}));
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    const std::vector<std::string> arret = NouveauxStatuts();
    EXPECT_EQ(std::count(arret.begin(), arret.end(), "Erreur d'écriture : le fichier d'enregistrement est incomplet"_w), 0);

    // The time-limited mode reports it when the time limit closes the file.
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_TimeLimit, 1), 0);
    Demarrer(3, "/dev/full");
    for (int k = 1; k < 60; ++k) ASSERT_TRUE(TickSeq().empty()) << k;
    EXPECT_EQ(TickSeq(), (std::vector<std::string>{erreur, "Fermeture du fichier d'enregistrement"}));
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    const std::vector<std::string> arret_limite = NouveauxStatuts();
    EXPECT_EQ(std::count(arret_limite.begin(), arret_limite.end(),
                         "Erreur d'écriture : le fichier d'enregistrement est incomplet"_w),
              0);
}

// A script written by a UTF-8 editor drives the acquisition exactly as its Windows-1252 twin:
// accented markers and instrument names, LF or CR LF. Its characters that Windows-1252 lacks
// are reported when it starts.
TEST_F(Sequenceur, Utf8ScriptsReadAsTheirWindows1252Twins) {
    ConfigEssai c;
    c.nom = "Cellule été"_w;
    c.mesures_1D = true;
    c.noms_1D = {"T"};
    c.valeurs_1D = {2.5};
    c.numeros_1D = {1};
    c.avec_execute = true;
    PInstrument *cellule = AjouterEssai(c);
    // The script as a Linux editor saves it (UTF-8); the first "#" stands for the record name.
    const std::string utf8 =
        "ouvrir @/#.xls\nmarquer début à 20 °C\ncommande Cellule été:mesure élevée\nattente 2\n"
        "pour t utiliser_mesure voie 1 de : CELLULE été\nmarquer fin → stop # flèche en commentaire\nattente 1\n"
        "fermer\n";
    const auto Lancer = [&](const std::string &nom, const std::string &texte, bool crlf) {
        std::string script = texte;
        script.replace(script.find('#'), 1, nom);
        horloge::UtiliserHorlogeFactice(kDebut);
        Essai(cellule).commandes.clear();
        Demarrer(2, Script(nom + ".txt", script, crlf));
        Ticks ticks;
        for (int k = 0; k < 4; ++k) ticks.push_back(Seconde());
        Arreter();
        const std::string fichier = Dossier() + "/" + nom + ".xls";
        for (auto &tick : ticks)
            for (auto &ligne : tick)
                if (const auto p = ligne.find(fichier); p != std::string::npos) ligne.replace(p, fichier.size(), "X");
        return std::make_tuple(ticks, Essai(cellule).commandes, LireFichier(fichier));
    };
    const std::string manque = "Script en UTF-8 : caractère(s) sans équivalent Windows-1252, lu(s) \"?\" : ligne 6 U+2192"_w;
    for (const bool crlf : {false, true}) {
        SCOPED_TRACE(crlf ? "CR LF" : "LF");
        const auto [ticks_cp, commandes_cp, fichier_cp] = Lancer("cp", texte::Utf8VersCp1252(utf8), crlf);
        EXPECT_EQ(commandes_cp, std::vector<std::string>{"mesure élevée"_w});
        EXPECT_EQ(ticks_cp[2], (std::vector<std::string>{"[m]Variable t assignée à : 2.500000"_w, "Marquage: fin ? stop ",
                                                          "Attente de 1 secondes"}));
        EXPECT_NE(fichier_cp.find("\tdébut à 20 °C\t"_w), std::string::npos);
        EXPECT_NE(fichier_cp.find("\tfin ? stop \t"_w), std::string::npos);
        // Also with the mark that some editors put at the start of a UTF-8 file.
        for (const std::string &debut : {std::string(), std::string(texte::kMarqueUtf8)}) {
            auto [ticks_utf8, commandes_utf8, fichier_utf8] = Lancer("utf8", debut + utf8, crlf);
            ASSERT_FALSE(ticks_utf8.empty());
            ASSERT_FALSE(ticks_utf8[0].empty());
            EXPECT_EQ(ticks_utf8[0].front(), manque);
            ticks_utf8[0].erase(ticks_utf8[0].begin());
            EXPECT_EQ(ticks_utf8, ticks_cp);
            EXPECT_EQ(commandes_utf8, commandes_cp);
            EXPECT_EQ(fichier_utf8, fichier_cp);
        }
    }
}

// "=toc" counts in unsigned 32-bit seconds: a clock set back between "tic" and "=toc" gives a
// value near 2^32, as it always has.
TEST_F(Sequenceur, TocAcrossAClockSetBack) {
    AjouterEssai();
    Demarrer(2, Script("toc.txt", "tic\nattente 1\nt=toc\n"));
    EXPECT_EQ(TickSeq(), (std::vector<std::string>{"[tic]", "Attente de 1 secondes"}));
    horloge::UtiliserHorlogeFactice(kDebut - 100);
    EXPECT_EQ(TickSeq(), std::vector<std::string>{"[toc] "_w + Modifiee("t = 4294967296.000000")});
}

// An awaited instrument that leaves the list is no longer polled: the script says so and goes on.
TEST_F(Sequenceur, AwaitedInstrumentRemovedFromTheList) {
    PInstrument *essai = AjouterEssai();
    ConfigEssai lent;
    lent.nom = "Lent";
    lent.avec_status = true;
    lent.resultat_status = 0;
    AjouterEssai(lent);
    Demarrer(2, Script("attente.txt", "attendre Lent\ncommande Essai:apres\n"));
    EXPECT_EQ(TicksSeq(2), (Ticks{{"Attente du pilote: \"Lent\""}, {}}));
    DeleteListItem(panel_instru, P_Instru_LISTBOX_Liste, 1, 1);
    liste_instru = Supprimer_instru(liste_instru, liste_instru->suivant);
    JournalEssai().clear();
    EXPECT_EQ(TicksSeq(1), (Ticks{{"Attente abandonnée: l'instrument attendu n'est plus dans la liste"_w,
                                   Envoye("apres")}}));
    EXPECT_EQ(JournalEssai(), (std::vector<std::string>{"execute Essai"}));
    EXPECT_EQ(Essai(essai).commandes, std::vector<std::string>{"apres"});
}

// A script that cannot be opened stops the start; the sequencer timer then has nothing to run.
TEST_F(Sequenceur, ScriptThatCannotBeOpened) {
    AjouterEssai();
    ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 2), 0);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, Dossier() + "/absent.txt");
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(acquisition_en_cours, 0);
    EXPECT_EQ(fichier_sequenceur, nullptr);
    EXPECT_EQ(NouveauxStatuts().back(), "Impossible d'ouvrir le fichier. Arrêt !"_w);
    EXPECT_EQ(TicksSeq(2), (Ticks{{}, {}}));
}

// The time-limited mode: the record file closes on the 60th tick of a 1-minute limit, and the
// acquisition goes on sampling; a limit of 0 closes nothing.
TEST_F(Sequenceur, TimeLimitedRunClosesItsFileAndGoesOnSampling) {
    AjouterEssai();
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_TimeLimit, 1), 0);
    const std::string chemin = Dossier() + "/limite.xls";
    Demarrer(3, chemin);
    for (int k = 1; k < 60; ++k) ASSERT_TRUE(Seconde().empty()) << k;
    EXPECT_TRUE(Enregistrement_ouvert());
    EXPECT_EQ(Seconde(), std::vector<std::string>{"Fermeture du fichier d'enregistrement"});  // 12:35:56
    EXPECT_FALSE(Enregistrement_ouvert());

    const std::string ecrit = LireFichier(chemin);
    JournalEssai().clear();
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(Seconde().empty());
    EXPECT_EQ(acquisition_en_cours, 1);
    int n = 0;
    for (const std::string &appel : JournalEssai()) n += appel == "mesure_1D Essai 1";
    EXPECT_GE(n, 3);  // still sampled at every tick
    EXPECT_EQ(LireFichier(chemin), ecrit);
    int lignes = 0;
    for (const char c : ecrit) lignes += c == '\n';
    EXPECT_EQ(lignes, 61);  // the header and one row per second up to the limit
    EXPECT_NE(ecrit.find("12-10-2025\t12:35:56\t\t60\t"), std::string::npos);
    Arreter();

    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_TimeLimit, 0), 0);
    Demarrer(3, Dossier() + "/sans_limite.xls");
    for (int k = 0; k < 5; ++k) EXPECT_TRUE(Seconde().empty());
    EXPECT_TRUE(Enregistrement_ouvert());
    Arreter();
    EXPECT_FALSE(Enregistrement_ouvert());

    // Stopped before the limit, the count goes on and reports the closing all the same, once.
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_TimeLimit, 1), 0);
    Demarrer(3, Dossier() + "/arret.xls");
    TicksSeq(10);
    Arreter();
    for (int k = 11; k < 60; ++k) ASSERT_TRUE(TickSeq().empty()) << k;
    EXPECT_EQ(TickSeq(), std::vector<std::string>{"Fermeture du fichier d'enregistrement"});
    EXPECT_TRUE(TickSeq().empty());
}

}  // namespace
