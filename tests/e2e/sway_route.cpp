// The sway route against the sway of $SWAYSOCK, for checking by hand:
//   tw_e2e_sway_route focused | windows | close ID | time N
// "time" prints the median of N calls to Focused() in microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/SwayRoute.h"

namespace {

void Print(const tw::CompositorWindow& w) {
    std::printf("%llu\t%u\t%s\t%s\t%s\n", static_cast<unsigned long long>(w.id), w.pid,
                w.appId.c_str(), w.xwayland ? "xwayland" : "wayland", w.title.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const char* socket = std::getenv("SWAYSOCK");
    const std::string command = argc > 1 ? argv[1] : "";
    auto route = tw::SwayRoute::Open(socket ? socket : "");
    if (!route) {
        std::fprintf(stderr, "no sway at $SWAYSOCK\n");
        return 1;
    }
    if (command == "focused") {
        const auto focused = route->Focused();
        if (!focused) {
            std::printf("none\n");
            return 2;
        }
        Print(*focused);
    } else if (command == "windows") {
        for (const tw::CompositorWindow& w : route->Windows())
            Print(w);
    } else if (command == "close" && argc > 2) {
        const bool closed = route->Close(std::strtoull(argv[2], nullptr, 10));
        std::printf("%s\n", closed ? "closed" : "failed");
        return closed ? 0 : 2;
    } else if (command == "time" && argc > 2) {
        std::vector<double> micros;
        for (int i = std::max(1, std::atoi(argv[2])); i > 0; --i) {
            const auto start = std::chrono::steady_clock::now();
            const bool found = route->Focused().has_value();
            micros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count());
            if (!found)
                std::fprintf(stderr, "a call found no window\n");
        }
        std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
        std::printf("median %.0f us of %zu calls\n", micros[micros.size() / 2], micros.size());
    } else {
        std::fprintf(stderr, "usage: tw_e2e_sway_route focused | windows | close ID | time N\n");
        return 64;
    }
    return 0;
}
