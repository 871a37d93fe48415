#include "platform/AltTapRecognizer.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

namespace tw {
namespace {

// Steps: +KEY press, -KEY release. The answer marks each step that
// completed a tap with T, the others with ".".
std::string Taps(const std::string& steps) {
    static const std::map<std::string, uint32_t> keysyms = {
        {"AltL", AltTapRecognizer::kAltL},
        {"AltR", AltTapRecognizer::kAltR},
        {"Tab", 0xff09},
        {"a", 0x61},
        {"Shift", 0xffe1},
        {"AltGr", 0xfe03},  // ISO_Level3_Shift
        {"Meta", 0xffe7},
    };
    AltTapRecognizer recognizer;
    std::istringstream in(steps);
    std::string step, taps;
    while (in >> step) {
        const auto key = keysyms.find(step.substr(1));
        if (key == keysyms.end()) {
            ADD_FAILURE() << step;
            continue;
        }
        taps += (taps.empty() ? "" : " ") +
                std::string(recognizer.Key(key->second, step[0] == '+') ? "T" : ".");
    }
    return taps;
}

TEST(AltTapRecognizerTest, OnlyAltOnItsOwnIsATap) {
    const struct {
        const char* steps;
        const char* taps;
    } cases[] = {
        {"+AltL -AltL", ". T"},
        {"+AltR -AltR", ". T"},
        // Auto-repeat while held.
        {"+AltL +AltL +AltL -AltL", ". . . T"},
        // Alt+Tab, twice, toggles nothing; a clean tap afterwards counts.
        {"+AltL +Tab -Tab +Tab -Tab -AltL +AltL -AltL", ". . . . . . . T"},
        {"+AltL +a -AltL -a", ". . . ."},
        {"+Tab +AltL -Tab -AltL", ". . . ."},
        {"+AltL +Shift -Shift -AltL", ". . . ."},
        // AltGr is not Alt, alone or with it.
        {"+AltGr -AltGr", ". ."},
        {"+AltL +AltGr -AltGr -AltL", ". . . ."},
        {"+Meta -Meta", ". ."},
        // Both Alt keys, released in either order.
        {"+AltL +AltR -AltR -AltL", ". . . ."},
        {"+AltL +AltR -AltL -AltR", ". . . ."},
        {"+AltR +AltL -AltL -AltR +AltR -AltR", ". . . . . T"},
        // A release without its press: held when listening began.
        {"-AltL", "."},
        {"-AltR +AltL -AltL", ". . T"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Taps(c.steps), c.taps) << c.steps;
}

}  // namespace
}  // namespace tw
