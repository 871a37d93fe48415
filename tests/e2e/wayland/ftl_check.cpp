// Shows what the wlroots window-list route sees, for a script to compare
// with the compositor's own view. One route for the whole run, so its ids
// stay valid between commands and its updates between calls are exercised.
// Reads one command per line from standard input:
//   list        "window ID\tAPP_ID\tTITLE" per window, then "end"
//   focused     "focused ID\tAPP_ID\tTITLE" or "focused none"
//   close ID    "closed yes" or "closed no"
//   bench N     "median-us M": the median time of N Focused() calls
// Starts with "open yes", or "open no" and exit status 1.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/ForeignToplevelRoute.h"

namespace {

void Print(const char* tag, const tw::CompositorWindow& w) {
    std::cout << tag << ' ' << w.id << '\t' << w.appId << '\t' << w.title << '\n';
}

}  // namespace

int main() {
    auto route = tw::ForeignToplevelRoute::Open();
    std::cout << "open " << (route ? "yes" : "no") << std::endl;
    if (!route) {
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "list") {
            for (const auto& w : route->Windows()) {
                Print("window", w);
            }
            std::cout << "end\n";
        } else if (command == "focused") {
            if (auto w = route->Focused()) {
                Print("focused", *w);
            } else {
                std::cout << "focused none\n";
            }
        } else if (command == "close") {
            uint64_t id = 0;
            in >> id;
            std::cout << "closed " << (route->Close(id) ? "yes" : "no") << '\n';
        } else if (command == "bench") {
            int n = 0;
            in >> n;
            std::vector<double> us;
            for (int i = 0; i < n; ++i) {
                const auto start = std::chrono::steady_clock::now();
                (void)route->Focused();
                us.push_back(std::chrono::duration<double, std::micro>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
            }
            std::sort(us.begin(), us.end());
            std::cout << "median-us " << (us.empty() ? 0.0 : us[us.size() / 2]) << '\n';
        } else {
            std::cout << "unknown " << command << '\n';
        }
        std::cout.flush();
    }
    return 0;
}
