#include "base/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

struct Vector {
    std::string input;
    const char* digest;
};

class Md5Vectors : public ::testing::TestWithParam<Vector> {};

// The test suite of RFC 1321, appendix A.5, in the program's upper-case form.
INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5Vectors,
    ::testing::Values(
        Vector{"", "D41D8CD98F00B204E9800998ECF8427E"},
        Vector{"a", "0CC175B9C0F1B6A831C399E269772661"},
        Vector{"abc", "900150983CD24FB0D6963F7D28E17F72"},
        Vector{"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        Vector{"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        Vector{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
               "D174AB98D277D9F5A5611C2C9F419D9F"},
        Vector{"1234567890123456789012345678901234567890123456789012345678901234567890123456"
               "7890",
               "57EDF4A22BE3C955AC49DA2E2107B67A"}));

TEST_P(Md5Vectors, MatchesReferenceDigest) {
    EXPECT_EQ(MD5DigestText(GetParam().input), GetParam().digest);
}

// Lengths around the padding boundaries (55, 56, 63, 64 bytes) and bytes
// above 0x7F, checked against digests computed by coreutils md5sum.
TEST(Md5, PaddingBoundariesAndHighBytes) {
    EXPECT_EQ(MD5DigestText(std::string(55, 'a')), "EF1772B6DFF9A122358552954AD0DF65");
    EXPECT_EQ(MD5DigestText(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
    EXPECT_EQ(MD5DigestText(std::string(63, 'a')), "B06521F39153D618550606BE297466D5");
    EXPECT_EQ(MD5DigestText(std::string(64, 'a')), "014842D480B571495A4A0363793F7367");
    EXPECT_EQ(MD5DigestText(std::string("\xC3\xA9t\xC3\xA9\xFF\x00x", 8)),
              "28376C774D8486DDEF250B056C35E2ED");
}

TEST(Md5, TextIsThirtyTwoUpperCaseHexDigits) {
    for (const std::string password : {"", " ", "Pass word ", "\t\xE4\xF6"}) {
        const std::string text = MD5DigestText(password);
        ASSERT_EQ(text.size(), 32u);
        EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos) << text;
    }
    // No trimming: surrounding spaces are part of the password.
    EXPECT_NE(MD5DigestText("secret"), MD5DigestText(" secret"));
}

}  // namespace
}  // namespace tw
