// The parallel port's data register: ppdev or simulated.
#include "platform/parport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/bench_config.h"

namespace {

struct Port {
    std::mutex m;
    bool choisi = false;
    std::shared_ptr<RegistreDonnees> simule;
    std::string chemin;
    int fd = -1;        // the claimed ppdev device
    bool signale = false;  // the failure to open `chemin` was reported
};

Port &LePort() {
    static Port *p = new Port;  // never destroyed: the device stays claimed until exit
    return *p;
}

void Fermer(Port &p) {
    if (p.fd >= 0) {
        ioctl(p.fd, PPRELEASE);
        close(p.fd);
    }
    p.fd = -1;
}

// Caller holds p.m.
void Choisir(Port &p) {
    if (p.choisi) return;
    p.choisi = true;
    const ConfigBanc &c = ConfigurationBanc();
    if (c.PortParalleleSimule()) {
        if (p.simule == nullptr && Simulation().port_parallele != nullptr)
            p.simule = Simulation().port_parallele();
        if (p.simule == nullptr && !p.signale) {
            std::fprintf(stderr, "no simulated parallel port in this program; its writes are dropped\n");
            p.signale = true;
        }
        return;
    }
    p.simule = nullptr;
    p.chemin = c.PortParallele();
    const int fd = open(p.chemin.c_str(), O_RDWR);
    if (fd >= 0 && ioctl(fd, PPCLAIM) == 0) {
        p.fd = fd;
        return;
    }
    const int erreur = errno;
    if (fd >= 0) close(fd);
    if (!p.signale) {
        std::fprintf(stderr, "parallel port %s not available (%s); its writes are dropped\n",
                     p.chemin.c_str(), std::strerror(erreur));
        p.signale = true;
    }
}

}  // namespace

int CVI_inp(int port) {
    if (port != kPortParallele) return -1;
    Port &p = LePort();
    std::lock_guard g(p.m);
    Choisir(p);
    if (p.simule != nullptr) return p.simule->Lire();
    unsigned char octet = 0;
    if (p.fd >= 0 && ioctl(p.fd, PPRDATA, &octet) != 0) octet = 0;
    return octet;
}

int CVI_outp(int port, int valeur) {
    if (port != kPortParallele) return -1;
    const auto octet = static_cast<unsigned char>(valeur & 0xFF);
    Port &p = LePort();
    std::lock_guard g(p.m);
    Choisir(p);
    if (p.simule != nullptr) p.simule->Ecrire(octet);
    else if (p.fd >= 0) {
        unsigned char o = octet;
        ioctl(p.fd, PPWDATA, &o);
    }
    return octet;
}

void ReinitialiserPortParallele() {
    Port &p = LePort();
    std::lock_guard g(p.m);
    Fermer(p);
    p.simule = nullptr;
    p.choisi = false;
    p.signale = false;
}

std::shared_ptr<RegistreDonnees> RegistreParalleleSimule() {
    Port &p = LePort();
    std::lock_guard g(p.m);
    Choisir(p);
    return p.simule;
}
