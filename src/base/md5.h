#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The MD5 message digest (RFC 1321), which the administrator password is
// stored as: 32 upper-case hexadecimal digits, first digest byte first.
namespace tw {

using TMD5Digest = std::array<uint8_t, 16>;

// Digest of the bytes of `data`, taken as they are (no trimming, no salt).
TMD5Digest MD5Digest(std::string_view data) noexcept;
// Upper-case hexadecimal text of a digest.
std::string MD5Print(const TMD5Digest& digest);
// MD5Print(MD5Digest(data)).
std::string MD5DigestText(std::string_view data);

}  // namespace tw
