#include "base/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace tw {
namespace {

// RFC 1321 appendix A.5, then lengths around the padding boundaries and bytes
// above 0x7F (digests from coreutils md5sum), in the program's upper-case form.
TEST(Md5, MatchesReferenceDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
        {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
        {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
        {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
        {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
        {std::string("\xC3\xA9t\xC3\xA9\xFF\x00x", 8), "28376C774D8486DDEF250B056C35E2ED"},
    };
    for (const auto& [input, digest] : cases)
        EXPECT_EQ(MD5DigestText(input), digest) << input.size() << " bytes";
    // No trimming: surrounding spaces are part of the password.
    EXPECT_NE(MD5DigestText("secret"), MD5DigestText(" secret"));
}

}  // namespace
}  // namespace tw
