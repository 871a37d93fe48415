#!/usr/bin/env python3
"""Writes the picture corpus of the imaging tests and fuzz seeds.

Every file is built here byte by byte (no image library), so the corpus is
our own and reproducible: valid/ decodes, broken/ must be refused,
mismatch/ holds valid pictures under a wrong extension.
Usage: tests/imaging/make_corpus.py [output folder]
"""
import os
import struct
import sys
import zlib

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")


def write(folder, name, data):
    os.makedirs(os.path.join(OUT, folder), exist_ok=True)
    with open(os.path.join(OUT, folder, name), "wb") as f:
        f.write(data)


# ---- PNG ----------------------------------------------------------------
def chunk(kind, body, crc=None):
    if crc is None:
        crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


PNG_SIG = b"\x89PNG\r\n\x1a\n"


def png(width, height, colour_type, rows, bit_depth=8, extra=b"", ihdr_crc=None):
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, 0)
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    return (PNG_SIG + chunk(b"IHDR", ihdr, ihdr_crc) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


RGB_4x4 = [[(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)],
           [(0, 0, 0), (1, 2, 3), (250, 128, 7), (64, 64, 64)]] * 2
rgb_png = png(4, 4, 2, [sum((list(p) for p in row), []) for row in RGB_4x4])
# Alpha 0, 128, 255 and a soft edge.
RGBA_4x4 = [[(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0), (10, 20, 30, 1)]] * 4
rgba_png = png(4, 4, 6, [sum((list(p) for p in row), []) for row in RGBA_4x4])
write("valid", "rgb_4x4.png", rgb_png)
write("valid", "rgba_4x4.png", rgba_png)
write("valid", "gray_1x1.png", png(1, 1, 0, [[77]]))
# Palette with a transparent first entry: transparency without an alpha channel.
palette = chunk(b"PLTE", bytes([0, 0, 0, 255, 0, 255, 9, 8, 7])) + chunk(b"tRNS", bytes([0]))
write("valid", "palette_trns_2x2.png", png(2, 2, 3, [[0, 1], [2, 1]], extra=palette))

# 16 bits a channel without gAMA: sRGB like every other picture, 0x8080 is 128.
write("valid", "rgba16_1x1.png", png(1, 1, 6, [[0xFF, 0xFF, 0, 0, 0x80, 0x80, 0xFF, 0xFF]],
                                     bit_depth=16))
# Grey with alpha, and a 1-bit grey row (pixels 1, 0, 1, 1, 0, 0, 0, 1).
write("valid", "grey_alpha_1x1.png", png(1, 1, 4, [[200, 100]]))
write("valid", "grey1bit_8x1.png", png(8, 1, 0, [[0b10110001]], bit_depth=1))
# Adam7: a 1 x 1 picture is pass 1 alone, so the raw data is the same.
interlaced = bytearray(png(1, 1, 2, [[1, 2, 3]]))
interlaced[8 + 8 + 12] = 1
interlaced[8 + 8 + 13:8 + 8 + 17] = struct.pack(">I", zlib.crc32(bytes(interlaced[12:29])))
write("valid", "interlaced_1x1.png", bytes(interlaced))

write("broken", "truncated.png", rgb_png[: len(rgb_png) - 30])
write("broken", "signature_only.png", PNG_SIG)
write("broken", "bad_ihdr_crc.png", png(4, 4, 2, [[0] * 12] * 4, ihdr_crc=0x12345678))
write("broken", "huge_100000x100000.png", png(100000, 100000, 0, [[0]]))
write("broken", "zero_width.png", png(0, 4, 0, [[]] * 4))
write("broken", "bad_depth.png", png(1, 1, 2, [[0, 0, 0]], bit_depth=7))
write("broken", "short_image_data.png", png(4, 4, 2, [[0] * 12] * 2))


# ---- JPEG (baseline, one flat colour per 8x8 block: DC terms only) -------
def huffman_codes(bits, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALUES = list(range(12))
AC_BITS = [1] + [0] * 15  # the end-of-block symbol alone
AC_VALUES = [0]
DC_CODES = huffman_codes(DC_BITS, DC_VALUES)
AC_CODES = huffman_codes(AC_BITS, AC_VALUES)


class BitWriter:
    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc, self.n = 0, 0

    def flush(self):
        while self.n:
            self.put(1, 1)
        return bytes(self.out)


def segment(marker, body):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body


def levels_of(colour, grey):
    if grey:
        return [colour]
    r, g, b = colour
    return [0.299 * r + 0.587 * g + 0.114 * b,
            -0.168736 * r - 0.331264 * g + 0.5 * b + 128,
            0.5 * r - 0.418688 * g - 0.081312 * b + 128]


def jpeg(width, height, mcus, grey=False, sof_size=None, subsampled=False, restart=0,
         progressive=False):
    """mcus[my][mx] is the flat (r, g, b) colour, or grey level, of one MCU:
    8 x 8 pixels, or 16 x 16 with 4:2:0 subsampling."""
    comps = 1 if grey else 3
    w, h = sof_size or (width, height)
    out = b"\xff\xd8" + segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += segment(0xDB, b"\x00" + bytes([1] * 64))
    sof = struct.pack(">BHHB", 8, h, w, comps)
    for c in range(comps):
        sof += bytes([c + 1, 0x22 if subsampled and c == 0 else 0x11, 0])
    out += segment(0xC2 if progressive else 0xC0, sof)
    out += segment(0xC4, b"\x00" + bytes(DC_BITS) + bytes(DC_VALUES))
    out += segment(0xC4, b"\x10" + bytes(AC_BITS) + bytes(AC_VALUES))
    if restart:
        out += segment(0xDD, struct.pack(">H", restart))
    blocks_per_mcu = [4 if subsampled and c == 0 else 1 for c in range(comps)]

    def dc_scan(with_ac):
        bw, previous, data, count = BitWriter(), [0] * comps, b"", 0
        flat = [colour for row in mcus for colour in row]
        for i, colour in enumerate(flat):
            for c, level in enumerate(levels_of(colour, grey)):
                dc = int(round(8 * (min(255, max(0, level)) - 128)))
                for _ in range(blocks_per_mcu[c]):
                    diff, previous[c] = dc - previous[c], dc
                    size = abs(diff).bit_length()
                    bw.put(*DC_CODES[size])
                    if size:
                        bw.put(diff if diff > 0 else diff + (1 << size) - 1, size)
                    if with_ac:
                        bw.put(*AC_CODES[0])
            if restart and (i + 1) % restart == 0 and i + 1 < len(flat):
                data += bw.flush() + bytes([0xFF, 0xD0 + count % 8])
                bw, previous, count = BitWriter(), [0] * comps, count + 1
        return data + bw.flush()

    if not progressive:
        sos = bytes([comps]) + b"".join(bytes([c + 1, 0x00]) for c in range(comps))
        return out + segment(0xDA, sos + b"\x00\x3f\x00") + dc_scan(True) + b"\xff\xd9"
    sos = bytes([comps]) + b"".join(bytes([c + 1, 0x00]) for c in range(comps))
    out += segment(0xDA, sos + b"\x00\x00\x00") + dc_scan(False)
    for c in range(comps):
        # Every block of the component ends at once: an end-of-block code each.
        step = 16 if subsampled and c > 0 else 8
        blocks_x, blocks_y = -(-w // step), -(-h // step)
        bw = BitWriter()
        for _ in range(blocks_x * blocks_y):
            bw.put(*AC_CODES[0])
        out += segment(0xDA, bytes([1, c + 1, 0x00, 1, 63, 0])) + bw.flush()
    return out + b"\xff\xd9"


red_jpeg = jpeg(8, 8, [[(255, 0, 0)]])
write("valid", "red_8x8.jpg", red_jpeg)
write("valid", "gray_8x8.jpg", jpeg(8, 8, [[100]], grey=True))
write("valid", "white_black_16x8.jpg", jpeg(16, 8, [[(255, 255, 255), (0, 0, 0)]]))
pattern = [[((x * 37) % 256, (y * 53) % 256, ((x + y) * 91) % 256) for x in range(8)]
           for y in range(8)]
big_jpeg = jpeg(64, 64, pattern)
write("valid", "pattern_64x64.jpg", big_jpeg)
ORANGE = (255, 128, 0)
write("valid", "orange_420_32x16.jpg", jpeg(32, 16, [[ORANGE, ORANGE]], subsampled=True))
write("valid", "orange_progressive_16x16.jpg", jpeg(16, 16, [[ORANGE] * 2] * 2, progressive=True))
write("valid", "orange_restart_16x16.jpg", jpeg(16, 16, [[ORANGE] * 2] * 2, restart=1))

write("broken", "truncated.jpg", big_jpeg[: len(big_jpeg) * 2 // 3])
write("broken", "soi_only.jpg", b"\xff\xd8\xff")
write("broken", "huge_65500x65500.jpg", jpeg(8, 8, [[(1, 2, 3)]], sof_size=(65500, 65500)))
write("broken", "garbage_after_soi.jpg", b"\xff\xd8\xff" + bytes(range(256)) * 2)
write("broken", "zero_height.jpg", jpeg(8, 8, [[(1, 2, 3)]], sof_size=(8, 0)))
write("broken", "no_eoi.jpg", big_jpeg[:-2])


# ---- GIF ----------------------------------------------------------------
def lzw_literal(indices, min_code_size=8):
    """LZW data that never builds on the table: a clear code every 100 codes
    keeps the code width at min_code_size + 1."""
    clear, end, width = 1 << min_code_size, (1 << min_code_size) + 1, min_code_size + 1
    acc, n, out = 0, 0, bytearray()

    def put(code):
        nonlocal acc, n
        acc |= code << n
        n += width
        while n >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            n -= 8

    for i, index in enumerate(indices):
        if i % 100 == 0:
            put(clear)
        put(index)
    put(end)
    if n:
        out.append(acc & 0xFF)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + bytes(out[i:i + 255])
                      for i in range(0, len(out), 255))
    return bytes([min_code_size]) + blocks + b"\x00"


def gif(screen, frame, indices, colours, transparent=None, interlace=False, version=b"89a",
        global_table=True):
    sw, sh = screen
    left, top, fw, fh = frame
    table_bits = max(1, (len(colours) - 1).bit_length())
    table = b"".join(bytes(c) for c in colours) + b"\x00\x00\x00" * ((1 << table_bits) - len(colours))
    flags = (0x80 | (table_bits - 1)) if global_table else 0
    out = b"GIF" + version + struct.pack("<HHBBB", sw, sh, flags, 0, 0)
    if global_table:
        out += table
    if transparent is not None:
        out += b"\x21\xf9\x04" + bytes([0x01]) + struct.pack("<H", 0) + bytes([transparent]) + b"\x00"
    out += b"\x2c" + struct.pack("<HHHHB", left, top, fw, fh, 0x40 if interlace else 0)
    return out + lzw_literal(indices) + b"\x3b"


COLOURS = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
transparent_gif = gif((4, 4), (0, 0, 4, 4), [(x + y) % 4 for y in range(4) for x in range(4)],
                      COLOURS, transparent=3)
write("valid", "transparent_4x4.gif", transparent_gif)
write("valid", "plain_2x2.gif", gif((2, 2), (0, 0, 2, 2), [0, 1, 2, 3], COLOURS, version=b"87a"))
write("valid", "offset_frame_4x4.gif", gif((4, 4), (1, 1, 2, 2), [2, 2, 2, 2], COLOURS))
# Interlaced rows are stored in the order 0, 4, 2, 6, 1, 3, 5, 7; row y holds y % 4.
write("valid", "interlaced_1x8.gif",
      gif((1, 8), (0, 0, 1, 8), [y % 4 for y in (0, 4, 2, 6, 1, 3, 5, 7)], COLOURS,
          interlace=True))
big_gif = gif((40, 40), (0, 0, 40, 40), [(i * 7) % 4 for i in range(1600)], COLOURS)
write("broken", "truncated.gif", big_gif[: len(big_gif) // 2])
write("broken", "header_only.gif", big_gif[:13])
write("broken", "huge_screen_65535x65535.gif",
      gif((65535, 65535), (0, 0, 1, 1), [0], COLOURS))
write("broken", "huge_frame.gif", gif((0, 0), (0, 0, 65535, 65535), [0], COLOURS))
write("broken", "no_image.gif", big_gif[:13 + 12] + b"\x3b")
write("broken", "no_colour_table.gif",
      gif((2, 2), (0, 0, 2, 2), [0, 0, 0, 0], COLOURS, global_table=False))
write("broken", "short_image_data.gif", gif((4, 4), (0, 0, 4, 4), [0] * 8, COLOURS))


# ---- BMP ----------------------------------------------------------------
def bmp24(width, height, pixels, claimed=None):
    """pixels[y][x] = (r, g, b), top row first; stored bottom-up."""
    stride = (width * 3 + 3) // 4 * 4
    data = b""
    for row in reversed(pixels):
        line = b"".join(bytes([b, g, r]) for r, g, b in row)
        data += line + b"\x00" * (stride - len(line))
    w, h = claimed or (width, height)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 14 + 40)
    return header + info + data


def bmp32_alpha(width, height, pixels):
    """pixels[y][x] = (r, g, b, a), in a version-4 header with an alpha mask."""
    data = b"".join(bytes([b, g, r, a]) for row in reversed(pixels) for r, g, b, a in row)
    info = struct.pack("<IiiHHIIiiII", 108, width, height, 1, 32, 3, len(data), 2835, 2835, 0, 0)
    info += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    info += struct.pack("<I", 0x73524742) + b"\x00" * 36 + b"\x00" * 12
    header = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


BMP_2x2 = [[(255, 0, 0), (0, 255, 0)], [(0, 0, 255), (1, 2, 3)]]
bmp = bmp24(2, 2, BMP_2x2)
write("valid", "rgb_2x2.bmp", bmp)
write("valid", "alpha_2x2.bmp",
      bmp32_alpha(2, 2, [[(255, 0, 0, 255), (0, 255, 0, 128)], [(0, 0, 255, 0), (9, 9, 9, 255)]]))
write("broken", "truncated.bmp", bmp[:-4])
write("broken", "huge_100000x100000.bmp", bmp24(2, 2, BMP_2x2, claimed=(100000, 100000)))
write("broken", "bad_header_size.bmp", bmp[:14] + struct.pack("<I", 7) + bmp[18:])
write("broken", "magic_only.bmp", b"BM")
write("broken", "negative_width.bmp", bmp24(2, 2, BMP_2x2, claimed=(-2, 2)))


# ---- ICO ----------------------------------------------------------------
def ico(images):
    """images: list of (width, height, payload)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, payload in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(payload), offset)
        offset += len(payload)
    return out + b"".join(p for _, _, p in images)


def ico_dib(width, height, pixels, claimed=None):
    """32-bit icon image: BGRA rows bottom-up, then an all-clear mask."""
    w, h = claimed or (width, height)
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    data = b"".join(bytes([b, g, r, a]) for row in reversed(pixels) for r, g, b, a in row)
    mask = b"\x00" * (((width + 31) // 32 * 4) * height)
    return info + data + mask


ICO_2x2 = [[(255, 0, 0, 255), (0, 255, 0, 0)], [(0, 0, 255, 200), (7, 8, 9, 255)]]
icon = ico([(2, 2, ico_dib(2, 2, ICO_2x2))])
write("valid", "argb_2x2.ico", icon)
write("valid", "png_inside_4x4.ico", ico([(4, 4, rgba_png)]))
write("broken", "truncated.ico", icon[:-12])
write("broken", "no_images.ico", struct.pack("<HHH", 0, 1, 0))
write("broken", "huge_dib.ico", ico([(0, 0, ico_dib(2, 2, ICO_2x2, claimed=(100000, 100000)))]))
write("broken", "huge_png_inside.ico", ico([(0, 0, png(100000, 100000, 0, [[0]]))]))
write("broken", "entry_outside.ico", icon[:6] + icon[6:18] + struct.pack("<I", 99999) + icon[22:])

# ---- no picture at all ----------------------------------------------------
write("broken", "empty.png", b"")
write("broken", "text.jpg", b"This is a text file, not a picture.\n")
write("broken", "random.gif", bytes((i * 131 + 17) % 256 for i in range(200)))
write("broken", "metafile.wmf", b"\xd7\xcd\xc6\x9a" + b"\x00" * 40)

# ---- valid content, lying name ----------------------------------------------
write("mismatch", "png_named.jpg", rgb_png)
write("mismatch", "jpeg_named.png", red_jpeg)
write("mismatch", "gif_named.bmp", transparent_gif)
write("mismatch", "bmp_named.ico", bmp)
write("mismatch", "ico_named.gif", icon)
