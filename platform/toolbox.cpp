// Toolbox services.
//
// Delayed calls: each posted call gets an entry in a table of pending calls; the closure that
// reaches the user-interface thread only carries the entry's number and runs the call only if
// the entry is still there. Cancelling removes the entries, so a call whose data was freed is
// dropped when its time comes.
#include "platform/toolbox.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ui.h"
#include "platform/utility.h"

double NotANumber() { return std::copysign(std::numeric_limits<double>::quiet_NaN(), 1.0); }

bool IsNotANumber(double value) { return std::isnan(value); }

namespace {

struct AppelDiffere {
    DeferredCallbackPtr fn;
    void *data;
};

struct AppelEnCours {
    void *data;
    std::thread::id fil;
};

struct Appels {
    std::mutex mutex;
    std::condition_variable fini;
    std::unordered_map<std::uint64_t, AppelDiffere> enAttente;
    std::vector<AppelEnCours> enCours;
    std::uint64_t prochain = 1;
};

Appels &LesAppels() {
    static Appels a;
    return a;
}

std::atomic<DelayedCallPoster> posteur{nullptr};

void Executer(std::uint64_t numero) {
    Appels &a = LesAppels();
    AppelDiffere appel{};
    {
        std::lock_guard g(a.mutex);
        const auto it = a.enAttente.find(numero);
        if (it == a.enAttente.end()) return;  // cancelled
        appel = it->second;
        a.enAttente.erase(it);
        a.enCours.push_back({appel.data, std::this_thread::get_id()});
    }
    appel.fn(appel.data);
    {
        std::lock_guard g(a.mutex);
        const auto it = std::find_if(a.enCours.begin(), a.enCours.end(), [&](const AppelEnCours &c) {
            return c.data == appel.data && c.fil == std::this_thread::get_id();
        });
        if (it != a.enCours.end()) a.enCours.erase(it);
    }
    a.fini.notify_all();
}

}  // namespace

int PostDelayedCall(DeferredCallbackPtr fn, void *data, double delaySeconds) {
    if (fn == nullptr) return UTE_BAD_ARGUMENT;
    if (!(delaySeconds > 0.0) || !std::isfinite(delaySeconds)) delaySeconds = 0.0;
    Appels &a = LesAppels();
    std::uint64_t numero;
    {
        std::lock_guard g(a.mutex);
        numero = a.prochain++;
        a.enAttente.emplace(numero, AppelDiffere{fn, data});
    }
    std::function<void()> f = [numero] { Executer(numero); };
    if (const DelayedCallPoster p = posteur.load(); p != nullptr)
        p(std::move(f), delaySeconds);
    else
        PostToUiThread(std::move(f), delaySeconds);
    return 0;
}

void CancelDelayedCalls(void *data) {
    Appels &a = LesAppels();
    std::unique_lock g(a.mutex);
    std::erase_if(a.enAttente, [data](const auto &e) { return e.second.data == data; });
    const auto ici = std::this_thread::get_id();
    a.fini.wait(g, [&] {
        return std::none_of(a.enCours.begin(), a.enCours.end(), [&](const AppelEnCours &c) {
            return c.data == data && c.fil != ici;
        });
    });
}

void SetDelayedCallPoster(DelayedCallPoster poster) { posteur.store(poster); }
