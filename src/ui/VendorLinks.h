#pragma once

#include <string>
#include <string_view>

#include <QString>

// The vendor's web pages. Every link of the program is one base address,
// chosen when the program is built (CMake cache variable TW_VENDOR_BASE_URL),
// followed by a page path, so a distributor points them all at their own
// pages in one place.
namespace tw {

inline constexpr char kLoginPage[] = "/login";  // forgotten or online-stored passwords
inline constexpr char kContactPage[] = "/contact";
inline constexpr char kHelpPage[] = "/help";
inline constexpr char kDownloadPage[] = "/download";

// The address OpenLink opens for a page: the build's base address and the
// path. Without a base address "/help" is the installed user guide (when
// one is known) and every other page is empty: there is nothing to open.
QString VendorLink(std::string_view path);
// The same for a given base address and user guide file.
QString VendorLinkFor(std::string_view base, std::string_view path, const std::string& guide);

// Where the installed user guide is; empty (as long as none is set) means none.
void SetUserGuidePath(std::string path);
const std::string& UserGuidePath();

}  // namespace tw
