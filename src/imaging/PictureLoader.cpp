#include "imaging/PictureLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "imaging/BmpIcoDecoder.h"
#include "imaging/GifDecoder.h"
#include "imaging/JpegDecoder.h"
#include "imaging/PngDecoder.h"

namespace tw {

namespace {

// A compressed picture under the pixel limit is far smaller; an uncompressed
// bitmap at the limit takes 256 MB.
constexpr off_t kMaxFileBytes = off_t(320) * 1024 * 1024;

bool StartsWithBytes(std::span<const uint8_t> data, std::initializer_list<uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::string Extension(std::string_view fileName) {
    const size_t slash = fileName.find_last_of('/');
    const std::string_view base =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(base.substr(dot));
}

[[noreturn]] void RaiseCannotOpen(const std::string& fileName, int error) {
    throw EInOutError("Cannot open file \"" + fileName + "\". " + SysErrorMessage(error));
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        RaiseCannotOpen(fileName, errno);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        RaiseCannotOpen(fileName, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        throw EInvalidGraphic("\"" + fileName + "\" is not a picture file");
    }
    if (info.st_size > kMaxFileBytes) {
        throw EInvalidGraphic("The picture file \"" + fileName + "\" is too large");
    }
    std::vector<uint8_t> data(size_t(info.st_size));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            RaiseCannotOpen(fileName, errno);
        }
        if (n == 0) {
            data.resize(done);  // shrank while we read
            break;
        }
        done += size_t(n);
    }
    return data;
}

}  // namespace

TImageFormat DetectImageFormat(std::span<const uint8_t> data) noexcept {
    if (StartsWithBytes(data, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
        return TImageFormat::Png;
    }
    if (StartsWithBytes(data, {0xFF, 0xD8, 0xFF})) {
        return TImageFormat::Jpeg;
    }
    if (StartsWithBytes(data, {'G', 'I', 'F', '8', '7', 'a'}) ||
        StartsWithBytes(data, {'G', 'I', 'F', '8', '9', 'a'})) {
        return TImageFormat::Gif;
    }
    if (StartsWithBytes(data, {'B', 'M'})) {
        return TImageFormat::Bmp;
    }
    if (StartsWithBytes(data, {0, 0, 1, 0})) {
        return TImageFormat::Ico;
    }
    return TImageFormat::Unknown;
}

TImageFormat ImageFormatFromExtension(std::string_view fileName) {
    static const std::array<std::pair<const char*, TImageFormat>, 9> kExtensions = {{
        {".png", TImageFormat::Png},
        {".jpg", TImageFormat::Jpeg},
        {".jpeg", TImageFormat::Jpeg},
        {".jpe", TImageFormat::Jpeg},
        {".jfif", TImageFormat::Jpeg},
        {".gif", TImageFormat::Gif},
        {".bmp", TImageFormat::Bmp},
        {".dib", TImageFormat::Bmp},
        {".ico", TImageFormat::Ico},
    }};
    const std::string extension = Extension(fileName);
    for (const auto& [name, format] : kExtensions) {
        if (SameText(extension, name)) {
            return format;
        }
    }
    return TImageFormat::Unknown;
}

TBitmap32 DecodeImage(std::span<const uint8_t> data, uint64_t maxPixels) {
    switch (DetectImageFormat(data)) {
        case TImageFormat::Png:
            return DecodePng(data, maxPixels);
        case TImageFormat::Jpeg:
            return DecodeJpeg(data, maxPixels);
        case TImageFormat::Gif:
            return DecodeGif(data, maxPixels);
        case TImageFormat::Bmp:
            return DecodeBmp(data, maxPixels);
        case TImageFormat::Ico:
            return DecodeIco(data, maxPixels);
        case TImageFormat::Unknown:
            break;
    }
    throw EInvalidGraphic(data.empty()
                              ? "The picture data is empty"
                              : "Unsupported picture format: the data is no PNG, JPEG, GIF, BMP "
                                "or ICO picture");
}

TBitmap32 LoadPicture(const std::string& fileName, uint64_t maxPixels) {
    const TImageFormat promised = ImageFormatFromExtension(fileName);
    if (promised == TImageFormat::Unknown) {
        const std::string extension = Extension(fileName);
        throw EInvalidGraphic(extension.empty()
                                  ? "The picture file \"" + fileName + "\" has no extension"
                                  : "Unknown picture file extension (" + extension + ")");
    }
    const std::vector<uint8_t> data = ReadWholeFile(fileName);
    const TImageFormat actual = DetectImageFormat(data);
    if (actual != promised) {
        const std::string holds = actual == TImageFormat::Unknown
                                      ? std::string("no picture in a known format")
                                      : std::string("a ") + ImageFormatName(actual) + " picture";
        throw EInvalidGraphic("The file \"" + fileName + "\" is named as a " +
                              ImageFormatName(promised) + " picture but holds " + holds);
    }
    try {
        return DecodeImage(data, maxPixels);
    } catch (const EInvalidGraphic& e) {
        throw EInvalidGraphic(e.Message() + " (\"" + fileName + "\")");
    }
}

}  // namespace tw
