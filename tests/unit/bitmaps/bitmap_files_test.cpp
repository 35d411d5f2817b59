// Checks of the committed skin bitmaps and icons as files: the headers the
// resource compiler and GDI rely on, the colours of every frame, and the
// resource scripts that pull them into the program.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kResDir = VELO_RES_DIR;

constexpr int kStripWidth = 320;
constexpr int kHeight = 24;
constexpr int kFrameWidth = 80;
constexpr int kFrames = 4;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
    bool operator<(const Rgb& o) const {
        return std::tie(r, g, b) < std::tie(o.r, o.g, o.b);
    }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "RGB(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Rgb kGrey{200, 200, 200};
const Rgb kWhite{255, 255, 255};
const Rgb kKeyBlue{0, 0, 255};

// Upper and lower colours of the normal, hover and pressed frames.
const Rgb kUpper[3] = {{112, 124, 152}, {112, 132, 167}, {61, 89, 129}};
const Rgb kLower[3] = {{96, 96, 96}, {66, 108, 163}, {66, 108, 167}};

const int kStripIds[] = {149, 151, 153, 156, 157, 158, 159, 160, 161,
                         162, 163, 164, 165, 167, 168, 169, 170, 171};

// Strips with Chinese captions in the common design (regular lettering).
const int kChineseIds[] = {153, 157, 158, 160, 161, 163, 164, 167, 168, 170, 171};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint32_t U16(const std::vector<uint8_t>& d, size_t at) {
    return d.at(at) | (d.at(at + 1) << 8);
}

uint32_t U32(const std::vector<uint8_t>& d, size_t at) {
    return U16(d, at) | (U16(d, at + 2) << 16);
}

int32_t S32(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<int32_t>(U32(d, at));
}

std::string StripPath(int id) {
    return kResDir + "/bitmaps/skin_" + std::to_string(id) + ".bmp";
}

// A decoded strip: pixel (x, y) with y = 0 the top row.
struct Strip {
    std::vector<Rgb> px;
    const Rgb& At(int x, int y) const { return px.at(y * kStripWidth + x); }
    const Rgb& InFrame(int frame, int x, int y) const {
        return At(frame * kFrameWidth + x, y);
    }
};

// Reads a strip whose header has already been checked; rows are bottom-up.
Strip Decode(const std::vector<uint8_t>& d) {
    Strip s;
    const size_t stride = kStripWidth * 3;
    const size_t bits = U32(d, 10);
    for (int y = 0; y < kHeight; ++y) {
        size_t row = bits + (kHeight - 1 - y) * stride;
        for (int x = 0; x < kStripWidth; ++x) {
            size_t p = row + x * 3;
            s.px.push_back(Rgb{d.at(p + 2), d.at(p + 1), d.at(p)});
        }
    }
    return s;
}

Strip LoadStrip(int id) { return Decode(ReadFile(StripPath(id))); }

std::set<Rgb> FrameColours(const Strip& s, int frame) {
    std::set<Rgb> out;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x) out.insert(s.InFrame(frame, x, y));
    return out;
}

std::vector<Rgb> Corners(const Strip& s, int frame) {
    return {s.InFrame(frame, 0, 0), s.InFrame(frame, kFrameWidth - 1, 0),
            s.InFrame(frame, 0, kHeight - 1),
            s.InFrame(frame, kFrameWidth - 1, kHeight - 1)};
}

std::set<std::pair<int, int>> WhitePixels(const Strip& s, int frame) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x)
            if (s.InFrame(frame, x, y) == kWhite) out.insert({x, y});
    return out;
}

// Lines "<id> <TYPE> "<path>"" of a resource-script fragment.
std::map<int, std::string> ScriptEntries(const std::string& text, const std::string& type) {
    std::map<int, std::string> out;
    std::regex line("^\\s*(\\d+)\\s+" + type + "\\s+\"([^\"]+)\"\\s*$");
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        std::smatch m;
        if (std::regex_match(l, m, line)) out[std::stoi(m[1])] = m[2];
    }
    return out;
}

// ---------------------------------------------------------------- bitmaps

TEST(SkinBitmapFiles, ExactlyTheEighteenStripsExistAndAreListedInTheScript) {
    std::set<std::string> expected;
    for (int id : kStripIds) expected.insert("skin_" + std::to_string(id) + ".bmp");
    std::set<std::string> found;
    for (const auto& e : fs::directory_iterator(kResDir + "/bitmaps"))
        found.insert(e.path().filename().string());
    EXPECT_EQ(found, expected);

    const std::string script = ReadText(kResDir + "/bitmaps.rc");
    EXPECT_NE(script.find("LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED"),
              std::string::npos);
    std::map<int, std::string> want;
    for (int id : kStripIds) want[id] = "bitmaps/skin_" + std::to_string(id) + ".bmp";
    EXPECT_EQ(ScriptEntries(script, "BITMAP"), want);
    for (int gap : {150, 152, 154, 155, 166})
        EXPECT_FALSE(fs::exists(StripPath(gap))) << gap;
}

TEST(SkinBitmapFiles, HeadersDescribeUncompressedBottomUp24BitStrips) {
    for (int id : kStripIds) {
        SCOPED_TRACE(id);
        const auto d = ReadFile(StripPath(id));
        const size_t image = kStripWidth * 3 * kHeight;  // rows need no padding
        ASSERT_EQ(d.size(), 14u + 40u + image);
        EXPECT_EQ(d[0], 'B');
        EXPECT_EQ(d[1], 'M');
        EXPECT_EQ(U32(d, 2), d.size());   // bfSize
        EXPECT_EQ(U32(d, 6), 0u);         // reserved
        EXPECT_EQ(U32(d, 10), 54u);       // bfOffBits
        EXPECT_EQ(U32(d, 14), 40u);       // biSize: BITMAPINFOHEADER
        EXPECT_EQ(S32(d, 18), kStripWidth);
        EXPECT_EQ(S32(d, 22), kHeight);   // positive: bottom-up
        EXPECT_EQ(U16(d, 26), 1u);        // planes
        EXPECT_EQ(U16(d, 28), 24u);       // bits per pixel
        EXPECT_EQ(U32(d, 30), 0u);        // BI_RGB
        const uint32_t size_image = U32(d, 34);
        EXPECT_TRUE(size_image == 0 || size_image == image) << size_image;
        EXPECT_EQ(U32(d, 46), 0u);        // no colour table
        EXPECT_EQ(U32(d, 50), 0u);
    }
}

TEST(SkinBitmapFiles, NoPixelHasTheKeyColour) {
    for (int id : kStripIds) {
        const Strip s = LoadStrip(id);
        EXPECT_EQ(std::count(s.px.begin(), s.px.end(), kKeyBlue), 0) << id;
    }
}

TEST(SkinBitmapFiles, CommonDesignUsesExactlyTheFrameColours) {
    for (int id : kStripIds) {
        if (id == 149) continue;
        SCOPED_TRACE(id);
        const Strip s = LoadStrip(id);
        for (int f = 0; f < 3; ++f) {
            SCOPED_TRACE(f);
            EXPECT_EQ(FrameColours(s, f),
                      (std::set<Rgb>{kGrey, kUpper[f], kLower[f], kWhite}));
            // A two-tone bar: the upper colour fills the top rows and the
            // lower colour the bottom rows, meeting on one line.
            int last_upper = -1, first_lower = kHeight;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kFrameWidth; ++x) {
                    if (s.InFrame(f, x, y) == kUpper[f]) last_upper = std::max(last_upper, y);
                    if (s.InFrame(f, x, y) == kLower[f]) first_lower = std::min(first_lower, y);
                }
            EXPECT_EQ(last_upper + 1, first_lower);
            EXPECT_GE(first_lower, kHeight / 3);
            EXPECT_LE(first_lower, kHeight * 2 / 3);
            for (const Rgb& c : Corners(s, f)) EXPECT_EQ(c, kGrey);
        }
        EXPECT_EQ(FrameColours(s, 3), std::set<Rgb>{kGrey});
    }
}

TEST(SkinBitmapFiles, BarsHaveRoundedCornersAndNothingElseGrey) {
    for (int id : kStripIds) {
        SCOPED_TRACE(id);
        const Strip s = LoadStrip(id);
        const Rgb bg = s.InFrame(0, 0, 0);
        for (int f = 0; f < 3; ++f) {
            SCOPED_TRACE(f);
            int count = 0;
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kFrameWidth; ++x) {
                    const bool grey = s.InFrame(f, x, y) == bg;
                    // Mirror-symmetric in both directions: four equal corners.
                    EXPECT_EQ(grey, s.InFrame(f, kFrameWidth - 1 - x, y) == bg);
                    EXPECT_EQ(grey, s.InFrame(f, x, kHeight - 1 - y) == bg);
                    if (!grey) continue;
                    ++count;
                    // Only the corners show the background...
                    EXPECT_TRUE((x < 8 || x >= kFrameWidth - 8) && (y < 8 || y >= kHeight - 8))
                        << x << "," << y;
                }
            // ...and each corner is a curve, not a single notch.
            EXPECT_GE(count, 4 * 3);
            // The bar touches every edge between its corners.
            EXPECT_NE(s.InFrame(f, kFrameWidth / 2, 0), bg);
            EXPECT_NE(s.InFrame(f, 0, kHeight / 2), bg);
        }
    }
}

TEST(SkinBitmapFiles, CaptionIsTheSameInEveryFrameCentredAndInsideTheBar) {
    for (int id : kStripIds) {
        SCOPED_TRACE(id);
        const Strip s = LoadStrip(id);
        const auto text = WhitePixels(s, 0);
        ASSERT_GE(text.size(), 20u);
        EXPECT_EQ(WhitePixels(s, 1), text);
        EXPECT_EQ(WhitePixels(s, 2), text);
        EXPECT_TRUE(WhitePixels(s, 3).empty());
        int left = kFrameWidth, right = -1, top = kHeight, bottom = -1;
        for (const auto& p : text) {
            left = std::min(left, p.first);
            right = std::max(right, p.first);
            top = std::min(top, p.second);
            bottom = std::max(bottom, p.second);
        }
        const int margin_left = left, margin_right = kFrameWidth - 1 - right;
        EXPECT_LE(std::abs(margin_left - margin_right), 1) << left << ".." << right;
        EXPECT_GE(std::min(margin_left, margin_right), 4);
        EXPECT_GE(top, 2);
        EXPECT_LE(bottom, kHeight - 3);
        // Legible size: Latin capitals of 9 rows, Chinese characters of 12.
        const bool chinese = id == 149 || std::count(std::begin(kChineseIds),
                                                     std::end(kChineseIds), id);
        EXPECT_GE(bottom - top + 1, chinese ? 12 : 9);
    }
}

TEST(SkinBitmapFiles, SetupSimplifiedHasItsOwnTonesAndHeavierLettering) {
    const Strip s = LoadStrip(149);
    const Rgb bg = s.InFrame(0, 0, 0);
    EXPECT_NE(bg, kGrey);
    for (int c : {bg.r, bg.g, bg.b}) EXPECT_LE(std::abs(c - 200), 8);
    for (int f = 0; f < kFrames; ++f)
        for (const Rgb& c : Corners(s, f)) EXPECT_EQ(c, bg) << f;
    EXPECT_EQ(FrameColours(s, 3), std::set<Rgb>{bg});

    auto distance = [](const Rgb& a, const Rgb& b) {
        return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    };
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        // Near the common design's tones, but none of them.
        const Rgb upper = s.InFrame(f, kFrameWidth / 2, 0);
        const Rgb lower = s.InFrame(f, kFrameWidth / 2, kHeight - 1);
        EXPECT_EQ(FrameColours(s, f), (std::set<Rgb>{bg, upper, lower, kWhite}));
        EXPECT_NE(upper, kUpper[f]);
        EXPECT_NE(lower, kLower[f]);
        EXPECT_LE(distance(upper, kUpper[f]), 15) << upper;
        EXPECT_LE(distance(lower, kLower[f]), 15) << lower;
    }

    // Heavier lettering: every stroke of 149 is at least two pixels wide,
    // while the regular captions have one-pixel stems.
    auto lone_pixels = [](const Strip& strip) {
        const auto text = WhitePixels(strip, 0);
        int lone = 0;
        for (const auto& p : text)
            if (!text.count({p.first - 1, p.second}) && !text.count({p.first + 1, p.second}))
                ++lone;
        return lone;
    };
    EXPECT_EQ(lone_pixels(s), 0);
    for (int id : kChineseIds) EXPECT_GT(lone_pixels(LoadStrip(id)), 5) << id;
}

// ------------------------------------------------------------------ icons

struct IconImage {
    int width, height, colours, planes, bits;
    uint32_t bytes, offset;
};

TEST(IconFiles, ScriptListsTheThreeIcons) {
    const std::string script = ReadText(kResDir + "/icons.rc");
    EXPECT_NE(script.find("LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED"),
              std::string::npos);
    EXPECT_EQ(ScriptEntries(script, "ICON"),
              (std::map<int, std::string>{{128, "icons/icon_128.ico"},
                                          {132, "icons/icon_132.ico"},
                                          {133, "icons/icon_133.ico"}}));
}

TEST(IconFiles, ImagesHaveTheTabledSizesDepthsAndMasks) {
    // (width, bits per pixel) of each image, in directory order.
    const std::map<int, std::vector<std::pair<int, int>>> tabled = {
        {128, {{32, 4}, {16, 4}}},
        {132, {{32, 4}, {16, 4}}},
        {133, {{32, 4}, {48, 8}}},
    };
    for (const auto& [id, want] : tabled) {
        SCOPED_TRACE(id);
        const auto d = ReadFile(kResDir + "/icons/icon_" + std::to_string(id) + ".ico");
        ASSERT_GE(d.size(), 6u);
        EXPECT_EQ(U16(d, 0), 0u);
        EXPECT_EQ(U16(d, 2), 1u);  // icon, not cursor
        ASSERT_EQ(U16(d, 4), want.size());
        uint32_t expected_offset = 6 + 16 * static_cast<uint32_t>(want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            const size_t e = 6 + 16 * i;
            const IconImage img{d.at(e), d.at(e + 1), d.at(e + 2), static_cast<int>(U16(d, e + 4)),
                                static_cast<int>(U16(d, e + 6)), U32(d, e + 8), U32(d, e + 12)};
            const int size = want[i].first, bits = want[i].second;
            EXPECT_EQ(img.width, size);
            EXPECT_EQ(img.height, size);
            EXPECT_EQ(img.colours, bits == 4 ? 16 : 0);
            EXPECT_EQ(d.at(e + 3), 0);
            EXPECT_EQ(img.planes, 1);
            EXPECT_EQ(img.bits, bits);
            EXPECT_EQ(img.offset, expected_offset);
            expected_offset += img.bytes;
            ASSERT_LE(static_cast<size_t>(img.offset) + img.bytes, d.size());

            // The image itself: header, palette, colour bits, mask.
            const size_t h = img.offset;
            EXPECT_EQ(U32(d, h), 40u);
            EXPECT_EQ(S32(d, h + 4), size);
            EXPECT_EQ(S32(d, h + 8), 2 * size);  // colour bitmap and mask
            EXPECT_EQ(U16(d, h + 12), 1u);
            EXPECT_EQ(U16(d, h + 14), static_cast<uint32_t>(bits));
            EXPECT_EQ(U32(d, h + 16), 0u);       // BI_RGB
            const uint32_t used = U32(d, h + 32);
            EXPECT_TRUE(used == 0 || used == (1u << bits)) << used;
            const size_t palette = 4u << bits;
            const size_t xor_stride = ((size * bits + 31) / 32) * 4;
            const size_t and_stride = ((size + 31) / 32) * 4;
            ASSERT_EQ(img.bytes, 40 + palette + (xor_stride + and_stride) * size);

            // Some pixels opaque, some transparent, and transparent ones black
            // in the colour bitmap so the screen shows through unchanged.
            const size_t xor_bits = h + 40 + palette;
            const size_t and_bits = xor_bits + xor_stride * size;
            int opaque = 0, clear = 0;
            std::set<int> used_colours;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const bool transparent =
                        (d.at(and_bits + y * and_stride + x / 8) >> (7 - x % 8)) & 1;
                    int index;
                    if (bits == 4) {
                        const uint8_t byte = d.at(xor_bits + y * xor_stride + x / 2);
                        index = x % 2 ? byte & 15 : byte >> 4;
                    } else {
                        index = d.at(xor_bits + y * xor_stride + x);
                    }
                    if (transparent) {
                        ++clear;
                        EXPECT_EQ(index, 0) << x << "," << y;
                    } else {
                        ++opaque;
                        used_colours.insert(index);
                    }
                }
            EXPECT_GT(opaque, size * size / 4);
            EXPECT_GT(clear, 0);
            EXPECT_GE(used_colours.size(), 4u);
            if (bits == 8) {
                EXPECT_GT(used_colours.size(), 16u);  // really uses 256 colours
            }
        }
        EXPECT_EQ(expected_offset, d.size());
    }
}

}  // namespace
