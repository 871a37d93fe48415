// The ini reader on arbitrary file content: every read, and a write, delete
// and erase on a section and key taken from the content, each checked
// against the reads that follow it.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "base/IniFile.h"
#include "base/Strings.h"

namespace {

// A file on tmpfs when there is one: every write of the ini file syncs.
const std::string& FuzzFileName() {
    static const std::string name = [] {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/tw_ini_fuzz_" + std::to_string(getpid()) + ".ini";
    }();
    return name;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The first "[name]" and the first "key=" of the text, as the reader would
// see them; empty when there is none.
void PickNames(std::string_view text, std::string& section, std::string& key) {
    size_t start = 0;
    while (start <= text.size() && (section.empty() || key.empty())) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string line = tw::Trim(text.substr(start, end - start));
        if (section.empty() && line.size() > 2 && line.front() == '[') {
            const size_t close = line.rfind(']');
            if (close != std::string::npos && close > 0) {
                section = tw::Trim(std::string_view(line).substr(1, close - 1));
            }
        } else if (key.empty() && line.find('=') != std::string::npos) {
            key = tw::Trim(std::string_view(line).substr(0, line.find('=')));
        }
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)tw::TIniFile::ParseInteger(text);

    const std::string& fileName = FuzzFileName();
    {
        std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
        out.write(text.data(), std::streamsize(text.size()));
    }
    tw::TIniFile ini(fileName);
    std::string section;
    std::string key;
    PickNames(text, section, key);
    if (section.empty()) {
        section = "Fuzz";
    }
    if (key.empty()) {
        key = "Key";
    }

    for (const std::string& name : ini.ReadSection(section)) {
        Check(ini.ValueExists(section, name));
        const std::string value = ini.ReadString(section, name, "");
        const auto parsed = tw::TIniFile::ParseInteger(value);
        Check(!parsed || ini.ReadInteger(section, name, 0) == *parsed);
        (void)ini.ReadBool(section, name, false);
    }
    (void)ini.SectionExists(section);

    const std::string value = "v" + std::to_string(size);
    if (ini.WriteString(section, key, value)) {
        Check(ini.ReadString(section, key, "") == value);
        Check(ini.SectionExists(section));
        bool listed = false;
        for (const std::string& name : ini.ReadSection(section)) {
            listed = listed || tw::SameText(name, key);
        }
        Check(listed);
        Check(ini.DeleteKey(section, key));
        Check(!ini.ValueExists(section, key));
        Check(ini.EraseSection(section));
        Check(!ini.SectionExists(section));
    }
    unlink(fileName.c_str());
    return 0;
}
