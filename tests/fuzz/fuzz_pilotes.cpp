// The two instrument drivers over VISA (gpib/HP5313XA, gpib/hp34401a) with any reply to their
// questions: every query ends (a silent device times out at once on the fake clock), and writes
// only within its outputs, texts within the size they are given. The first byte of the input
// picks the question, the rest is the reply.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "gpib/HP5313XA.h"
#include "gpib/hp34401a.h"
#include "tests/fuzz/bus_fuzz.h"

namespace {

std::shared_ptr<sim::Enregistreur> appareil;
ViSession compteur = VI_NULL;
ViSession multimetre = VI_NULL;
int ud = -1;  // the device clear between inputs

void Preparer() {
    appareil = fuzz::AppareilSurLeBus(5);
    // The error queue is empty, whatever was asked before.
    appareil->Programmer(":SYST:ERR?", "+0,\"No error\"");
    appareil->Programmer("*ESR?", "+0");
    // A reply is always waiting (MAV): the counter's questions that wait for it read at once.
    appareil->FixerOctetEtat(0x10);
    if (hp5313xa_init("GPIB::5", VI_FALSE, VI_FALSE, 1, &compteur) != VI_SUCCESS) __builtin_trap();
    if (hp34401a_init("GPIB::5", VI_FALSE, VI_FALSE, &multimetre) != VI_SUCCESS) __builtin_trap();
    ud = ibdev(0, 5, 0, T10s, 1, 0);
}

// A driver text of `taille` bytes (the size the caller gives), with a guard.
template <class F>
void Texte(std::size_t taille, F &&question) {
    fuzz::Tampon t(taille);
    question(t.data());
    t.Verifier();
}

constexpr int kQuestions = 16;
constexpr ViInt32 kLectures = 8;

void Questionner(int choix) {
    ViInt16 a = 0, b = 0, c = 0, d = 0, e = 0;
    ViInt32 n = 0;
    ViReal64 x = 0, y = 0, z = 0;
    ViUInt16 octet = 0;
    switch (choix) {
    case 0: Texte(40, [&](char *t) { hp5313xa_errorQuery(compteur, &a, t, 40); }); break;
    case 1: Texte(24, [&](char *t) { Texte(24, [&](char *u) { hp5313xa_revisionQuery(compteur, t, u, 24); }); }); break;
    case 2: Texte(32, [&](char *t) { hp5313xa_selfTest(compteur, &a, t, 32); }); break;
    case 3: Texte(20, [&](char *t) { hp5313xa_readInstrData(compteur, 20, t, &n); }); break;
    case 4: hp5313xa_queryMeas(compteur, 3, 1, &x); break;
    case 5: hp5313xa_dataRes(compteur, &x); break;
    case 6: hp5313xa_limitRes(compteur, &a, &b, &c, &d, &e); break;
    case 7: hp5313xa_statisticsRes(compteur, &x, &y, &z, &x); break;
    case 8: hp5313xa_queryChan3(compteur, &octet, &octet); break;
    case 9: Texte(40, [&](char *t) { hp34401a_errorQuery(multimetre, &n, t, 40); }); break;
    case 10: Texte(24, [&](char *t) { Texte(24, [&](char *u) { hp34401a_revisionQuery(multimetre, t, u, 24); }); }); break;
    case 11: Texte(32, [&](char *t) { hp34401a_selfTest(multimetre, &a, t, 32); }); break;
    case 12: hp34401a_singleMeas(multimetre, &x); break;
    case 13: {
        ViReal64 lectures[kLectures + 2];
        lectures[kLectures] = lectures[kLectures + 1] = 1234.5;
        hp34401a_fetchMeas(multimetre, &a, lectures, 1000, kLectures);
        if (lectures[kLectures] != 1234.5 || lectures[kLectures + 1] != 1234.5) __builtin_trap();
        break;
    }
    case 14: hp34401a_checkTerminals(multimetre, &a); break;
    default: hp34401a_checkScpiVersion(multimetre, &a, &b); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool pret = (Preparer(), true);
    (void)pret;
    if (taille == 0) return 0;
    appareil->AjouterSortie(std::string(reinterpret_cast<const char *>(donnees + 1), taille - 1), true);
    Questionner(donnees[0] % kQuestions);
    // What the question left unread goes: the next input starts on a silent device.
    ibclr(ud);
    return 0;
}
