#include "ui/VendorLinks.h"

#include <utility>

#include <QUrl>

#ifndef TW_VENDOR_BASE_URL
#error "TW_VENDOR_BASE_URL comes from the build (CMake cache variable TW_VENDOR_BASE_URL)"
#endif

namespace tw {

namespace {

std::string& GuidePath() {
    static std::string path;
    return path;
}

}  // namespace

QString VendorLinkFor(std::string_view base, std::string_view path, const std::string& guide) {
    while (!base.empty() && base.back() == '/') {
        base.remove_suffix(1);
    }
    if (!base.empty()) {
        return QString::fromUtf8(base.data(), qsizetype(base.size())) +
               QString::fromUtf8(path.data(), qsizetype(path.size()));
    }
    if (path == kHelpPage && !guide.empty()) {
        return QUrl::fromLocalFile(QString::fromStdString(guide)).toString();
    }
    return {};
}

QString VendorLink(std::string_view path) {
    return VendorLinkFor(TW_VENDOR_BASE_URL, path, GuidePath());
}

void SetUserGuidePath(std::string path) {
    GuidePath() = std::move(path);
}

const std::string& UserGuidePath() {
    return GuidePath();
}

}  // namespace tw
