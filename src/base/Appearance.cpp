#include "base/Appearance.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#include "base/Paths.h"
#include "base/Strings.h"

namespace tw {

namespace {

constexpr const char* kBackground = "Background";
constexpr const char* kPosition = "Position";
constexpr const char* kCommon = "Common";

// The cached values with their not-yet-read markers: -1 for the colours and
// the transparency, 0 for the docking edges (so a stored 0 is read again on
// every get), empty for the picture path.
struct AppearanceState {
    std::unique_ptr<TIniFile> file;
    int32_t color = -1;
    int32_t textColor = -1;
    int32_t transparency = -1;
    int32_t align = 0;
    int32_t alignVertical = 0;
    std::string image;
    bool pictureLoaded = false;
    std::string picturePath;
};

AppearanceState& State() {
    static AppearanceState state;
    return state;
}

int32_t CachedInteger(int32_t& cache, int32_t marker, const char* section, const char* key,
                      int32_t defaultValue) {
    if (cache == marker)
        cache = GetIniFile().ReadInteger(section, key, defaultValue);
    return cache;
}

void LoadBackgroundPicture(const std::string& path) {
    AppearanceState& state = State();
    state.picturePath = !path.empty() && FileExistsOnVolume(path) ? path : std::string();
    state.pictureLoaded = true;
}

}  // namespace

TIniFile& GetIniFile() {
    AppearanceState& state = State();
    if (!state.file)
        state.file = std::make_unique<TIniFile>(IniFileName());
    return *state.file;
}

void ResetAppearance() {
    State() = AppearanceState{};
}

int32_t GetBackgroundColor() {
    return CachedInteger(State().color, -1, kBackground, "Color", 0);
}

void SetBackgroundColor(int32_t value) {
    State().color = value;
    GetIniFile().WriteInteger(kBackground, "Color", value);
}

std::string GetBackgroundImage() {
    AppearanceState& state = State();
    if (state.image.empty())
        state.image = GetIniFile().ReadString(kBackground, "Image", "");
    return state.image;
}

void SetBackgroundImage(const std::string& path) {
    State().image = path;
    GetIniFile().WriteString(kBackground, "Image", path);
    LoadBackgroundPicture(path);
}

int32_t GetTextColor() {
    return CachedInteger(State().textColor, -1, kBackground, "TextColor", 16777215);
}

void SetTextColor(int32_t value) {
    State().textColor = value;
    GetIniFile().WriteInteger(kBackground, "TextColor", value);
}

int32_t GetTransparency() {
    return CachedInteger(State().transparency, -1, kBackground, "Transparency", 10);
}

void SetTransparency(int32_t value) {
    State().transparency = value;
    GetIniFile().WriteInteger(kBackground, "Transparency", value);
}

// Read on every get: another part of the program may change the file.
bool GetAutohide() {
    return GetIniFile().ReadBool(kPosition, "Autohide", false);
}

void SetAutohide(bool value) {
    GetIniFile().WriteBool(kPosition, "Autohide", value);
}

int32_t GetAlign() {
    return CachedInteger(State().align, 0, kPosition, "Align", 1);
}

// The comparison is with the current value, not the raw cache: with 0 as the
// not-read marker, setting the left edge before any get would otherwise be
// taken for "unchanged" and never reach the file.
void SetAlign(int32_t value) {
    if (value == GetAlign())
        return;
    State().align = value;
    GetIniFile().WriteInteger(kPosition, "Align", value);
}

int32_t GetAlignVertical() {
    return CachedInteger(State().alignVertical, 0, kPosition, "AlignVertical", 0);
}

void SetAlignVertical(int32_t value) {
    if (value == GetAlignVertical())
        return;
    State().alignVertical = value;
    GetIniFile().WriteInteger(kPosition, "AlignVertical", value);
}

bool GetShow5MinButton() {
    return GetIniFile().ReadBool(kCommon, "Show5MinButton", true);
}

std::string GetBackgroundPicturePath() {
    if (!State().pictureLoaded)
        LoadBackgroundPicture(GetBackgroundImage());
    return State().picturePath;
}

void GetSkinList(NameValueList& list) {
    namespace fs = std::filesystem;
    list.clear();

    std::vector<std::string> files;
    std::error_code ec;
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(SkinsFolder(), options, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end(),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });

    // The formats the picture loader reads.
    static constexpr std::array<std::string_view, 6> kMasks = {"*.bmp",  "*.gif", "*.ico",
                                                               "*.jpeg", "*.jpg", "*.png"};
    for (const std::string& file : files) {
        const std::string fileName = file.substr(file.rfind('/') + 1);
        const size_t dot = fileName.rfind('.');
        if (dot == std::string::npos || dot == 0)
            continue;  // no extension, or no name
        // Appended, not "*" + substr: GCC 12 misreads that as an overlapping copy at -O2.
        std::string mask = "*";
        mask.append(fileName, dot);
        if (std::none_of(kMasks.begin(), kMasks.end(),
                         [&](std::string_view m) { return SameText(m, mask); })) {
            continue;
        }
        std::string name = fileName.substr(0, dot);
        auto same = std::find_if(list.begin(), list.end(),
                                 [&](const auto& line) { return SameText(line.first, name); });
        if (same != list.end()) {
            *same = {std::move(name), file};
        } else {
            list.emplace_back(std::move(name), file);
        }
    }
    std::sort(list.begin(), list.end(),
              [](const auto& a, const auto& b) { return CompareText(a.first, b.first) < 0; });
}

}  // namespace tw
