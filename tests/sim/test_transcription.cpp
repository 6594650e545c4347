// The transcripts of the simulated devices: noted only while a sim::Transcription is alive, and
// read only then; a serial line counts the bytes it receives either way.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sim/appareil.h"
#include "sim/enregistreur.h"
#include "sim/port_parallele.h"
#include "sim/serie/ligne.h"
#include "sim/serie/peripheriques.h"
#include "sim/transcription.h"

namespace {

using Messages = std::vector<std::pair<std::string, bool>>;

TEST(Transcription, DevicesNoteOnlyWhileOneIsAlive) {
    sim::Enregistreur appareil;
    sim::RegistreParallele registre;
    const sim::Liaison liaison;
    const auto Echanger = [&](const std::string &octets, std::uint8_t valeur) {
        appareil.Ecrire(octets.data(), static_cast<long>(octets.size()), liaison);
        registre.Ecrire(valeur);
    };
    Echanger("AVANT", 1);
    EXPECT_THROW(appareil.Journal(), std::logic_error) << "read with the switch off";
    EXPECT_THROW(appareil.Messages(), std::logic_error);
    EXPECT_THROW(registre.Journal(), std::logic_error);
    {
        const sim::Transcription une;
        {
            const sim::Transcription deux;  // several at once: on until the last one goes
        }
        Echanger("PENDANT", 2);
        EXPECT_EQ(appareil.Messages(), (Messages{{"PENDANT", true}}));
        ASSERT_EQ(registre.Journal().size(), 1u);
        EXPECT_EQ(registre.Journal().front().valeur, 2);
    }
    Echanger("APRES", 3);
    EXPECT_FALSE(sim::Transcription::Active());
    const sim::Transcription relue;
    EXPECT_EQ(appareil.Messages(), (Messages{{"PENDANT", true}})) << "what was noted stays, nothing more";
    EXPECT_EQ(registre.Journal().size(), 1u);
}

TEST(Transcription, ALineCountsWhatItReceivesWithoutNotingIt) {
    sim::serie::Ligne ligne(sim::serie::CreerModele("boucle"));
    ASSERT_TRUE(ligne.Ouverte());
    const int fd = open(ligne.Chemin().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "ab", 2), 2);
    EXPECT_TRUE(ligne.AttendreRecu(2));
    EXPECT_TRUE(ligne.AttendreEmis());  // echoed while off
    EXPECT_THROW(ligne.Recu(), std::logic_error);
    EXPECT_THROW(ligne.Emis(), std::logic_error);
    {
        const sim::Transcription transcription;
        EXPECT_EQ(ligne.Recu(), "");
        ASSERT_EQ(write(fd, "c", 1), 1);
        EXPECT_TRUE(ligne.AttendreRecu(3));
        EXPECT_EQ(ligne.Recu(), "c");
        EXPECT_TRUE(ligne.AttendreEmis());
        EXPECT_EQ(ligne.Emis(), "c");
        ligne.EffacerJournal();
        EXPECT_EQ(ligne.Recu(), "");
    }
    ASSERT_EQ(write(fd, "de", 2), 2);
    EXPECT_TRUE(ligne.AttendreRecu(2)) << "counted again from the emptying";
    EXPECT_FALSE(ligne.AttendreRecu(3, 0.2));
    close(fd);
}

}  // namespace
