#include "imaging/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "base/Exceptions.h"

namespace tw {

namespace {

// A progressive file may hold any number of scans, each a pass over the whole
// picture; real pictures use about ten.
constexpr int kMaxScans = 1000;

// Everything libjpeg touches, in one plain struct: the functions that call
// setjmp hold no object with a destructor, so the longjmp out of libjpeg
// skips nothing that needs cleaning up. The error manager comes first: libjpeg
// hands it to every callback, even before the decompressor exists.
struct JpegState {
    jpeg_error_mgr errorManager;
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};
static_assert(std::is_standard_layout_v<JpegState>);

JpegState* StateOf(j_common_ptr cinfo) {
    return reinterpret_cast<JpegState*>(cinfo->err);
}

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    std::longjmp(StateOf(cinfo)->jump, 1);
}

// libjpeg's default ends the process; ours leaves through the jump.
[[noreturn]] void OnError(j_common_ptr cinfo) {
    (*cinfo->err->format_message)(cinfo, StateOf(cinfo)->message);
    JumpOut(cinfo);
}

// Warnings (level -1) are corrupt data: bad Huffman codes, a premature end of
// the file. Stray bytes between markers are common and harmless.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0 || cinfo->err->msg_code == JWRN_EXTRANEOUS_DATA) {
        return;
    }
    (*cinfo->err->format_message)(cinfo, StateOf(cinfo)->message);
    JumpOut(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        std::snprintf(StateOf(cinfo)->message, sizeof StateOf(cinfo)->message, "more than %d scans",
                      kMaxScans);
        JumpOut(cinfo);
    }
}

bool ReadHeader(JpegState& s, const uint8_t* data, size_t size) {
    if (setjmp(s.jump)) {
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.progress = &s.progress;
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.cinfo, TRUE);
    return true;
}

void ConvertRow(const JpegState& s, const uint8_t* in, uint32_t* out) {
    const JDIMENSION width = s.cinfo.output_width;
    if (s.cinfo.out_color_space == JCS_CMYK) {
        // Adobe's writers store the inks inverted.
        const bool inverted = s.cinfo.saw_Adobe_marker;
        for (JDIMENSION x = 0; x < width; ++x, in += 4) {
            uint32_t c = in[0], m = in[1], y = in[2], k = in[3];
            if (!inverted) {
                c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            }
            out[x] = MakeArgb(255, c * k / 255, m * k / 255, y * k / 255);
        }
    } else {
        for (JDIMENSION x = 0; x < width; ++x, in += 3) {
            out[x] = MakeArgb(255, in[0], in[1], in[2]);
        }
    }
}

bool ReadPixels(JpegState& s, uint8_t* row, uint32_t* pixels) {
    if (setjmp(s.jump)) {
        return false;
    }
    jpeg_start_decompress(&s.cinfo);
    if (s.cinfo.output_width != s.cinfo.image_width ||
        s.cinfo.output_height != s.cinfo.image_height) {
        std::snprintf(s.message, sizeof s.message, "unexpected output size");
        return false;
    }
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        JSAMPROW rows[1] = {row};
        uint32_t* out = pixels + size_t(s.cinfo.output_scanline) * s.cinfo.output_width;
        if (jpeg_read_scanlines(&s.cinfo, rows, 1) != 1) {
            std::snprintf(s.message, sizeof s.message, "no progress reading the image data");
            return false;
        }
        ConvertRow(s, row, out);
    }
    jpeg_finish_decompress(&s.cinfo);
    return true;
}

struct DestroyJpeg {
    void operator()(JpegState* s) const noexcept {
        jpeg_destroy_decompress(&s->cinfo);
        delete s;
    }
};

[[noreturn]] void RaiseCorrupt(const JpegState& s) {
    throw EInvalidGraphic(std::string("Corrupt JPEG picture: ") +
                          (s.message[0] ? s.message : "unknown error"));
}

}  // namespace

TBitmap32 DecodeJpeg(std::span<const uint8_t> data, uint64_t maxPixels) {
    if (data.empty()) {
        throw EInvalidGraphic("Corrupt JPEG picture: the data is empty");
    }
    // Value-initialised: a failed create leaves a state destroy accepts.
    std::unique_ptr<JpegState, DestroyJpeg> state(new JpegState{});
    JpegState& s = *state;
    s.cinfo.err = jpeg_std_error(&s.errorManager);
    s.errorManager.error_exit = OnError;
    s.errorManager.emit_message = OnMessage;
    s.progress.progress_monitor = OnProgress;
    if (!ReadHeader(s, data.data(), data.size())) {
        RaiseCorrupt(s);
    }

    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    TBitmap32 bitmap =
        AllocateBitmap(s.cinfo.image_width, s.cinfo.image_height, maxPixels, TImageFormat::Jpeg);
    std::vector<uint8_t> row(size_t(s.cinfo.image_width) * 4);
    if (!ReadPixels(s, row.data(), bitmap.pixels.data())) {
        RaiseCorrupt(s);
    }
    return bitmap;
}

}  // namespace tw
