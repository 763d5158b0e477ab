// Generates the two pictures the UI embeds: ui/res/quorvex.ico and
// ui/res/backdrop.bmp.  Usage: make_art [output-root]  (default ".").
//
// Output must be byte-identical on every run and every machine, so nothing
// here reads the clock or a system RNG, and only exactly-rounded arithmetic
// (+ - * / sqrt floor) is used: libm's sin/pow may differ between builds.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    int r, g, b;
};

struct Rgba {
    double r, g, b, a; // straight (not premultiplied) colour, 0..255; a 0..1
};

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// BITMAPINFOHEADER, the same pixels a metre both ways, then the palette as RGBQUADs.
void putInfoHeader(Bytes& out, int width, int height, int bpp, std::uint32_t compression,
                   std::uint32_t imageSize, std::uint32_t pixelsPerMetre, const std::vector<Rgb>& pal) {
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(bpp));
    put32(out, compression);
    put32(out, imageSize);
    put32(out, pixelsPerMetre);
    put32(out, pixelsPerMetre);
    put32(out, static_cast<std::uint32_t>(pal.size()));
    put32(out, 0);
    for (const Rgb& c : pal) {
        out.push_back(static_cast<std::uint8_t>(c.b));
        out.push_back(static_cast<std::uint8_t>(c.g));
        out.push_back(static_cast<std::uint8_t>(c.r));
        out.push_back(0);
    }
}

double clamp01(double v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

int toByte(double v) {
    const int i = static_cast<int>(v + 0.5);
    return i < 0 ? 0 : (i > 255 ? 255 : i);
}

Rgb mix(Rgb a, Rgb b, double t) {
    return {toByte(a.r + (b.r - a.r) * t), toByte(a.g + (b.g - a.g) * t), toByte(a.b + (b.b - a.b) * t)};
}

Rgba shade(Rgb c, double f) {
    return {std::min(255.0, c.r * f), std::min(255.0, c.g * f), std::min(255.0, c.b * f), 1.0};
}

// Smooth periodic bump with period 1, range [-1, 1], peaks at 0.25 / 0.75.
// Piecewise parabola instead of sin() so results do not depend on libm.
double wave(double t) {
    const double p = t - std::floor(t);
    return p < 0.5 ? 16 * p * (0.5 - p) : -16 * (p - 0.5) * (1 - p);
}

// Noise
// Integer hash (a fixed-seed stateless PRNG) giving lattice values in [0,1).
double lattice(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    std::uint32_t h = seed ^ 0x9e3779b9u;
    h ^= static_cast<std::uint32_t>(x) * 0x85ebca6bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<std::uint32_t>(y) * 0xc2b2ae35u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return (h >> 8) * (1.0 / 16777216.0);
}

double smooth(double t) {
    return t * t * (3 - 2 * t);
}

double valueNoise(double x, double y, std::uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
    const double tx = smooth(x - fx), ty = smooth(y - fy);
    const double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    const double top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

// Icon
// Geometry in pixel units, snapped per size so the small icon stays crisp.
struct Layout {
    int size;
    double poleX0, poleX1, poleY0, poleY1;
    double flagX0, flagX1, flagY0, flagY1, amp;
    double knobR, emblemR, outline;
};

Layout layoutFor(int s) {
    auto snap = [s](double f) { return std::floor(s * f + 0.5); };
    Layout l{};
    l.size = s;
    const double poleW = std::max(2.0, snap(0.09));
    l.poleX0 = snap(0.12);
    l.poleX1 = l.poleX0 + poleW;
    l.poleY0 = snap(0.12);
    l.poleY1 = s - snap(0.03);
    l.flagX0 = l.poleX1;
    l.flagX1 = s - snap(0.05);
    l.flagY0 = snap(0.17);
    l.flagY1 = snap(0.72);
    // A wave would only blur a 16 px flag; larger sizes get a gentle one.
    l.amp = s >= 32 ? s * 0.035 : 0.0;
    l.knobR = s >= 32 ? poleW * 0.85 : 1.0; // small: a crisp 2x2 cap
    l.emblemR = s * 0.165;
    l.outline = std::max(1.0, s / 32.0);
    return l;
}

const Rgb kRed{214, 30, 38};
const Rgb kRedEdge{112, 8, 16};
const Rgb kGold{246, 196, 46};
const Rgb kGoldLight{255, 238, 150};
const Rgb kGoldEdge{150, 98, 12};
const Rgb kWood{150, 108, 64};
const Rgb kWoodLight{196, 156, 104};
const Rgb kWoodDark{78, 50, 26};

// The 16-colour images have no brown and no in-between shades, so there the
// pole is drawn as grey metal and cloth and emblem are left unshaded.
const Rgb kMetalLight{192, 192, 192};
const Rgb kMetalDark{128, 128, 128};

// Colour of one point of the picture; painter's order: flag, pole, knob, emblem.
Rgba sampleIcon(const Layout& l, double x, double y, bool flat) {
    Rgba out{0, 0, 0, 0};
    const double t = (x - l.flagX0) / (l.flagX1 - l.flagX0);
    const double dy = l.amp * wave(t);
    const double top = l.flagY0 + dy, bottom = l.flagY1 + dy;
    if (x >= l.flagX0 && x <= l.flagX1 && y >= top && y <= bottom) {
        const double edge = std::min({l.flagX1 - x, y - top, bottom - y});
        if (edge < l.outline) {
            out = shade(kRedEdge, 1.0);
        } else {
            // Folds catch light where the cloth faces up; lower cloth is darker.
            const double fold = l.amp > 0 ? 0.16 * wave(t + 0.25) : 0.0;
            out = flat ? shade(kRed, 1.0) : shade(kRed, 1.0 + fold - 0.18 * (y - top) / (bottom - top));
        }
    }
    if (x >= l.poleX0 && x <= l.poleX1 && y >= l.poleY0 && y <= l.poleY1) {
        const double u = (x - l.poleX0) / (l.poleX1 - l.poleX0);
        if (flat)
            out = shade(u < 0.5 ? kMetalLight : kMetalDark, 1.0);
        else
            out = shade(u < 0.4 ? kWoodLight : (u < 0.75 ? kWood : kWoodDark), 1.0);
    }
    const double kx = (l.poleX0 + l.poleX1) / 2, ky = l.poleY0;
    const double kd2 = (x - kx) * (x - kx) + (y - ky) * (y - ky);
    if (kd2 <= l.knobR * l.knobR) {
        const double hx = x - (kx - l.knobR * 0.35), hy = y - (ky - l.knobR * 0.35);
        out = shade(hx * hx + hy * hy < l.knobR * l.knobR * 0.2 ? kGoldLight : kGold, 1.0);
    }
    const double cx = (l.flagX0 + l.flagX1) / 2;
    const double cy = (l.flagY0 + l.flagY1) / 2 + l.amp * wave(0.5);
    const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
    if (d <= l.emblemR) {
        const double r = l.emblemR;
        const double hx = x - (cx - r * 0.38), hy = y - (cy - r * 0.38);
        if (d > r - l.outline) {
            out = shade(kGoldEdge, 1.0);
        } else if (hx * hx + hy * hy < r * r * 0.12) {
            out = shade(kGoldLight, 1.0);
        } else {
            out = shade(kGold, flat ? 1.0 : 1.0 - 0.22 * (y - (cy - r)) / (2 * r));
        }
    }
    return out;
}

// Supersampled render; colour is averaged over covered samples only so
// edge pixels keep their true hue when alpha is later thresholded.
std::vector<Rgba> renderIcon(int s, bool flat) {
    const Layout l = layoutFor(s);
    constexpr int kSub = 8;
    std::vector<Rgba> px(static_cast<std::size_t>(s) * s);
    for (int y = 0; y < s; ++y) {
        for (int x = 0; x < s; ++x) {
            Rgba acc{0, 0, 0, 0};
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const Rgba c = sampleIcon(l, x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub, flat);
                    acc.r += c.r * c.a;
                    acc.g += c.g * c.a;
                    acc.b += c.b * c.a;
                    acc.a += c.a;
                }
            }
            Rgba& p = px[static_cast<std::size_t>(y) * s + x];
            if (acc.a > 0)
                p = {acc.r / acc.a, acc.g / acc.a, acc.b / acc.a, acc.a / (kSub * kSub)};
        }
    }
    return px;
}

// Alpha below one half counts as transparent wherever only a mask exists.
bool opaque(const Rgba& p) {
    return toByte(p.a * 255) >= 128;
}

std::vector<Rgb> windowsPalette16() {
    return {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
            {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
            {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
}

// The 16 standard colours, a 6x6x6 cube, then ramps for the icon's own
// materials so the 256-colour icon keeps its shading.
std::vector<Rgb> iconPalette256() {
    std::vector<Rgb> pal = windowsPalette16();
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                pal.push_back({r * 51, g * 51, b * 51});
    for (int i = 0; i < 8; ++i)
        pal.push_back(mix(kRedEdge, kRed, i / 7.0));
    for (int i = 0; i < 8; ++i)
        pal.push_back(mix(kGoldEdge, kGoldLight, i / 7.0));
    for (int i = 0; i < 8; ++i)
        pal.push_back(mix(kWoodDark, kWoodLight, i / 7.0));
    return pal;
}

int nearest(const std::vector<Rgb>& pal, const Rgba& c) {
    int best = 0;
    double bestD = 1e30;
    for (std::size_t i = 0; i < pal.size(); ++i) {
        const double dr = c.r - pal[i].r, dg = c.g - pal[i].g, db = c.b - pal[i].b;
        const double d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestD) {
            bestD = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// One icon image in the classic form: BITMAPINFOHEADER with doubled height,
// optional palette, bottom-up XOR bits, then the 1 bpp AND mask.
Bytes iconImage(const std::vector<Rgba>& px, int s, int bpp) {
    const std::vector<Rgb> pal = bpp == 4   ? windowsPalette16()
                                 : bpp == 8 ? iconPalette256()
                                            : std::vector<Rgb>{};
    const int xorStride = (s * bpp + 31) / 32 * 4;
    const int andStride = (s + 31) / 32 * 4;
    Bytes out;
    putInfoHeader(out, s, 2 * s, bpp, 0, static_cast<std::uint32_t>((xorStride + andStride) * s), 0, pal);
    for (int row = s - 1; row >= 0; --row) {
        Bytes line(static_cast<std::size_t>(xorStride), 0);
        for (int x = 0; x < s; ++x) {
            const Rgba& p = px[static_cast<std::size_t>(row) * s + x];
            if (bpp == 32) {
                const int a = toByte(p.a * 255);
                if (a == 0)
                    continue; // fully clear pixels stay 0,0,0,0
                line[x * 4 + 0] = static_cast<std::uint8_t>(toByte(p.b));
                line[x * 4 + 1] = static_cast<std::uint8_t>(toByte(p.g));
                line[x * 4 + 2] = static_cast<std::uint8_t>(toByte(p.r));
                line[x * 4 + 3] = static_cast<std::uint8_t>(a);
                continue;
            }
            // Index 0 is black, so masked pixels leave the screen untouched.
            const int idx = opaque(p) ? nearest(pal, p) : 0;
            if (bpp == 8) {
                line[x] = static_cast<std::uint8_t>(idx);
            } else {
                line[x / 2] |= static_cast<std::uint8_t>(x % 2 ? idx : idx << 4);
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    for (int row = s - 1; row >= 0; --row) {
        Bytes line(static_cast<std::size_t>(andStride), 0);
        for (int x = 0; x < s; ++x) {
            if (!opaque(px[static_cast<std::size_t>(row) * s + x]))
                line[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

Bytes makeIcon() {
    struct Entry {
        int size, bpp;
        Bytes data;
    };
    std::vector<Entry> entries;
    for (int bpp : {32, 8, 4}) {
        for (int s : {48, 32, 16})
            entries.push_back({s, bpp, iconImage(renderIcon(s, bpp == 4), s, bpp)});
    }
    Bytes out;
    put16(out, 0);
    put16(out, 1); // type: icon
    put16(out, static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (const Entry& e : entries) {
        out.push_back(static_cast<std::uint8_t>(e.size));
        out.push_back(static_cast<std::uint8_t>(e.size));
        out.push_back(static_cast<std::uint8_t>(e.bpp == 4 ? 16 : 0));
        out.push_back(0);
        put16(out, 1);
        put16(out, static_cast<std::uint32_t>(e.bpp));
        put32(out, static_cast<std::uint32_t>(e.data.size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(e.data.size());
    }
    for (const Entry& e : entries)
        out.insert(out.end(), e.data.begin(), e.data.end());
    return out;
}

// Backdrop
constexpr int kBackW = 298;
constexpr int kBackH = 161;
constexpr int kShades = 128; // palette entries per hue
constexpr int kLevels = 32;  // brightness steps actually drawn; fewer = longer runs

std::vector<Rgb> backdropPalette() {
    const Rgb blue[3] = {{3, 6, 24}, {26, 62, 160}, {118, 176, 255}};
    const Rgb red[3] = {{20, 2, 4}, {112, 12, 18}, {184, 44, 40}};
    std::vector<Rgb> pal;
    for (const Rgb* ramp : {blue, red}) {
        for (int i = 0; i < kShades; ++i) {
            const double t = i / double(kShades - 1);
            pal.push_back(t < 0.5 ? mix(ramp[0], ramp[1], t * 2) : mix(ramp[1], ramp[2], t * 2 - 1));
        }
    }
    return pal;
}

// Palette index per pixel, top row first.  Blue left, dark red right, with a
// ragged seam; brightness peaks at the seam and falls off to both edges,
// crossed by long, slightly slanted streaks that run along the rows.
std::vector<std::uint8_t> backdropPixels() {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(kBackW) * kBackH);
    const double mid = kBackW / 2.0;
    for (int y = 0; y < kBackH; ++y) {
        const double seam =
            mid + 10 * (valueNoise(0.5, y / 7.0, 11) - 0.5) + 4 * (valueNoise(3.5, y / 2.0, 12) - 0.5);
        for (int x = 0; x < kBackW; ++x) {
            const double xc = x + 0.5;
            const double d = std::min(1.0, (xc > mid ? xc - mid : mid - xc) / mid);
            const double base = 0.92 - 0.42 * d - 0.34 * d * d;
            // Slant mirrors at the centre so the streaks meet in a shallow V.
            const double v = y + 0.09 * (mid - (xc > mid ? xc - mid : mid - xc));
            const double streak = 0.5 * valueNoise(xc / 70, v / 4.0, 21) +
                                  0.3 * valueNoise(xc / 35, v / 1.7, 22) +
                                  0.2 * valueNoise(xc / 110, v / 11.0, 23);
            const double b = clamp01(base * (0.45 + 0.95 * streak));
            const int level = std::min(kLevels - 1, static_cast<int>(b * kLevels));
            const int shadeIdx = level * (kShades - 1) / (kLevels - 1);
            const bool red = xc >= seam;
            px[static_cast<std::size_t>(y) * kBackW + x] =
                static_cast<std::uint8_t>((red ? kShades : 0) + shadeIdx);
        }
    }
    return px;
}

// RLE8 for one row: repeats of 3+ become encoded runs, the rest absolute
// runs (>= 3 bytes, padded to a 16-bit boundary) or single encoded pixels.
void rle8Row(Bytes& out, const std::uint8_t* row, int width) {
    auto runAt = [&](int i) {
        int n = 1;
        while (i + n < width && n < 255 && row[i + n] == row[i])
            ++n;
        return n;
    };
    int i = 0;
    while (i < width) {
        const int run = runAt(i);
        if (run >= 3) {
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        int j = i;
        while (j < width && j - i < 255 && runAt(j) < 3)
            j += runAt(j) == 2 && j - i < 254 ? 2 : 1;
        const int len = j - i;
        if (len < 3) {
            for (int k = i; k < j; ++k) {
                out.push_back(1);
                out.push_back(row[k]);
            }
        } else {
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(len));
            out.insert(out.end(), row + i, row + j);
            if (len % 2)
                out.push_back(0);
        }
        i = j;
    }
    out.push_back(0); // end of line
    out.push_back(0);
}

Bytes makeBackdrop() {
    const std::vector<Rgb> pal = backdropPalette();
    const std::vector<std::uint8_t> px = backdropPixels();
    Bytes rle;
    for (int y = kBackH - 1; y >= 0; --y)
        rle8Row(rle, &px[static_cast<std::size_t>(y) * kBackW], kBackW);
    rle.push_back(0); // end of bitmap
    rle.push_back(1);

    const std::uint32_t dataOffset = 14 + 40 + 4 * static_cast<std::uint32_t>(pal.size());
    Bytes out{'B', 'M'};
    put32(out, dataOffset + static_cast<std::uint32_t>(rle.size()));
    put32(out, 0);
    put32(out, dataOffset);
    // Height positive: bottom-up. 1: BI_RLE8. 2835 pixels a metre: 72 dpi.
    putInfoHeader(out, kBackW, kBackH, 8, 1, static_cast<std::uint32_t>(rle.size()), 2835, pal);
    out.insert(out.end(), rle.begin(), rle.end());
    return out;
}

bool writeFile(const std::filesystem::path& path, const Bytes& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    f.close();
    if (!f) {
        std::fprintf(stderr, "make_art: cannot write %s\n", path.string().c_str());
        return false;
    }
    std::printf("wrote %s (%zu bytes)\n", path.string().c_str(), data.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path root = argc > 1 ? argv[1] : ".";
    const std::filesystem::path dir = root / "ui" / "res";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "make_art: cannot create %s: %s\n", dir.string().c_str(), ec.message().c_str());
        return 1;
    }
    const bool ok =
        writeFile(dir / "quorvex.ico", makeIcon()) && writeFile(dir / "backdrop.bmp", makeBackdrop());
    return ok ? 0 : 1;
}
