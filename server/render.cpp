#include "server/render.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>
#include <png.h>

#include <algorithm>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

namespace lzf::server {

namespace {

// FreeType's library and faces are not shared between threads: one render at a time, with a
// few recently used faces kept open.
std::mutex g_render_mutex;
FT_Library g_library = nullptr;

struct CachedFace {
    std::string path;
    FT_Face face;
};
std::list<CachedFace> g_faces;
constexpr size_t kCachedFaces = 8;

FT_Face OpenFace(const std::string& path) {
    for (auto it = g_faces.begin(); it != g_faces.end(); ++it) {
        if (it->path == path) {
            g_faces.splice(g_faces.begin(), g_faces, it);
            return it->face;
        }
    }
    FT_Face face = nullptr;
    if (FT_New_Face(g_library, path.c_str(), 0, &face) != 0)
        return nullptr;
    g_faces.push_front({path, face});
    if (g_faces.size() > kCachedFaces) {
        FT_Done_Face(g_faces.back().face);
        g_faces.pop_back();
    }
    return face;
}

struct Glyph {
    unsigned index;
    unsigned cluster;
    int x_advance, x_offset, y_offset;  // 26.6
};

struct Line {
    std::vector<Glyph> glyphs;
    int width = 0;  // 26.6
};

// Splits one shaped paragraph into lines no wider than max_width, breaking after blanks when
// possible and otherwise between clusters (CJK text has no blanks).
void WrapParagraph(const std::string& text,
                   const std::vector<Glyph>& glyphs,
                   int max_width,
                   std::vector<Line>* lines) {
    auto is_blank = [&](const Glyph& g) {
        return g.cluster < text.size() && text[g.cluster] == ' ';
    };
    size_t start = 0;
    while (start < glyphs.size() || (start == 0 && glyphs.empty())) {
        Line line;
        int width = 0;
        size_t end = start;
        size_t last_blank = std::string::npos;
        while (end < glyphs.size()) {
            // Glyphs of one cluster stay together.
            size_t cluster_end = end + 1;
            int cluster_width = glyphs[end].x_advance;
            while (cluster_end < glyphs.size() &&
                   glyphs[cluster_end].cluster == glyphs[end].cluster)
                cluster_width += glyphs[cluster_end++].x_advance;
            if (width + cluster_width > max_width && end > start) {
                if (last_blank != std::string::npos && !is_blank(glyphs[end]))
                    end = last_blank + 1;
                break;
            }
            if (is_blank(glyphs[end]))
                last_blank = end;
            width += cluster_width;
            end = cluster_end;
        }
        line.glyphs.assign(glyphs.begin() + static_cast<long>(start),
                           glyphs.begin() + static_cast<long>(end));
        while (!line.glyphs.empty() && is_blank(line.glyphs.back()))
            line.glyphs.pop_back();
        for (const auto& g : line.glyphs)
            line.width += g.x_advance;
        lines->push_back(std::move(line));
        if (glyphs.empty())
            break;
        start = end;
        while (start < glyphs.size() && is_blank(glyphs[start]))
            ++start;
    }
}

void PngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), size);
}

void PngFlush(png_structp) {}

}  // namespace

void ClampRenderRequest(RenderRequest* r) {
    r->font_size = std::clamp(r->font_size, 1, kMaxFontSize);
    r->width = std::clamp(r->width, 1, kMaxPictureSide);
    r->height = std::clamp(r->height, 1, kMaxPictureSide);
    if (static_cast<std::int64_t>(r->width) * r->height > kMaxPictureArea)
        r->height = static_cast<int>(kMaxPictureArea / r->width);
}

std::string EncodePng(const std::uint8_t* rgba, int width, int height) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string RenderPreview(const RenderRequest& request, std::string* error) {
    RenderRequest r = request;
    ClampRenderRequest(&r);
    std::vector<std::uint8_t> coverage(static_cast<size_t>(r.width) * r.height, 0);
    {
        std::lock_guard lock(g_render_mutex);
        if (!g_library && FT_Init_FreeType(&g_library) != 0) {
            *error = "FreeType cannot start";
            return "";
        }
        FT_Face face = OpenFace(r.font_path);
        if (!face) {
            *error = "cannot open the font " + r.font_path;
            return "";
        }
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(r.font_size)) != 0) {
            // Bitmap-only fonts have fixed sizes; take the first.
            if (face->num_fixed_sizes < 1 || FT_Select_Size(face, 0) != 0) {
                *error = "the font cannot be scaled";
                return "";
            }
        }
        hb_font_t* font = hb_ft_font_create_referenced(face);
        hb_ft_font_set_load_flags(font, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING);

        const int margin = std::min(r.width / 20, r.font_size / 2);
        const int max_width = std::max(1, r.width - 2 * margin) * 64;
        std::vector<Line> lines;
        size_t pos = 0;
        while (pos <= r.text.size()) {
            size_t nl = r.text.find('\n', pos);
            std::string para =
                r.text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
            if (!para.empty() && para.back() == '\r')
                para.pop_back();
            hb_buffer_t* buf = hb_buffer_create();
            hb_buffer_add_utf8(buf, para.c_str(), static_cast<int>(para.size()), 0,
                               static_cast<int>(para.size()));
            hb_buffer_guess_segment_properties(buf);
            hb_shape(font, buf, nullptr, 0);
            unsigned n = 0;
            hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &n);
            hb_glyph_position_t* place = hb_buffer_get_glyph_positions(buf, &n);
            std::vector<Glyph> glyphs;
            for (unsigned i = 0; i < n; ++i)
                glyphs.push_back({info[i].codepoint, info[i].cluster, place[i].x_advance,
                                  place[i].x_offset, place[i].y_offset});
            hb_buffer_destroy(buf);
            WrapParagraph(para, glyphs, max_width, &lines);
            if (nl == std::string::npos)
                break;
            pos = nl + 1;
        }

        const int ascender = static_cast<int>(face->size->metrics.ascender);
        const int descender = static_cast<int>(face->size->metrics.descender);
        int line_height = static_cast<int>(face->size->metrics.height);
        if (line_height <= 0)
            line_height = ascender - descender;
        const long block =
            static_cast<long>(lines.size() - 1) * line_height + (ascender - descender);
        long baseline = (static_cast<long>(r.height) * 64 - block) / 2 + ascender;
        for (const auto& line : lines) {
            long pen = (static_cast<long>(r.width) * 64 - line.width) / 2;
            for (const auto& g : line.glyphs) {
                if (FT_Load_Glyph(face, g.index, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) == 0 &&
                    FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
                    const FT_Bitmap& bm = face->glyph->bitmap;
                    long x0 = (pen + g.x_offset) / 64 + face->glyph->bitmap_left;
                    long y0 = (baseline - g.y_offset) / 64 - face->glyph->bitmap_top;
                    for (unsigned by = 0; by < bm.rows; ++by) {
                        long y = y0 + by;
                        if (y < 0 || y >= r.height)
                            continue;
                        const unsigned char* row = bm.buffer + static_cast<long>(by) * bm.pitch;
                        for (unsigned bx = 0; bx < bm.width; ++bx) {
                            long x = x0 + bx;
                            if (x < 0 || x >= r.width)
                                continue;
                            std::uint8_t v = bm.pixel_mode == FT_PIXEL_MODE_MONO
                                                 ? ((row[bx >> 3] >> (7 - (bx & 7))) & 1) * 255
                                                 : row[bx];
                            std::uint8_t& c = coverage[static_cast<size_t>(y) * r.width + x];
                            c = static_cast<std::uint8_t>(std::min(255, c + v));
                        }
                    }
                }
                pen += g.x_advance;
            }
            baseline += line_height;
        }
        hb_font_destroy(font);
    }

    const std::uint8_t fr = (r.colour >> 16) & 255, fg = (r.colour >> 8) & 255, fb = r.colour & 255;
    const std::uint8_t br = (r.background >> 16) & 255, bg = (r.background >> 8) & 255,
                       bb = r.background & 255;
    const bool transparent = (r.background & 0xFFFFFF) == 0xFFFFFF;
    std::vector<std::uint8_t> rgba(coverage.size() * 4);
    for (size_t i = 0; i < coverage.size(); ++i) {
        const unsigned a = coverage[i];
        std::uint8_t* p = &rgba[i * 4];
        if (transparent) {
            p[0] = fr;
            p[1] = fg;
            p[2] = fb;
            p[3] = static_cast<std::uint8_t>(a);
        } else {
            p[0] = static_cast<std::uint8_t>((fr * a + br * (255 - a) + 127) / 255);
            p[1] = static_cast<std::uint8_t>((fg * a + bg * (255 - a) + 127) / 255);
            p[2] = static_cast<std::uint8_t>((fb * a + bb * (255 - a) + 127) / 255);
            p[3] = 255;
        }
    }
    std::string png = EncodePng(rgba.data(), r.width, r.height);
    if (png.empty())
        *error = "cannot encode the picture";
    return png;
}

}  // namespace lzf::server
