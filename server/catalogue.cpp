#include "server/catalogue.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "server/text_util.h"

namespace lzf::server {

namespace {

bool IsFontFile(const std::filesystem::path& p) {
    std::string ext = Lower(p.extension().string());
    return ext == ".ttf" || ext == ".otf" || ext == ".ttc";
}

std::string Utf16BeToUtf8(const unsigned char* s, size_t n) {
    std::string in(reinterpret_cast<const char*>(s), n);
    return ConvertCharset(in, "UTF-16BE", "UTF-8", true).value_or("");
}

std::string AsciiOnly(const std::string& s) {
    std::string out;
    for (unsigned char c : s)
        if (c >= 32 && c < 127)
            out += static_cast<char>(c);
    size_t a = out.find_first_not_of(' ');
    size_t b = out.find_last_not_of(' ');
    return a == std::string::npos ? "" : out.substr(a, b - a + 1);
}

bool IsChineseLanguage(FT_UShort platform, FT_UShort language) {
    if (platform != TT_PLATFORM_MICROSOFT)
        return false;
    // zh-CN, zh-SG first in the caller's order; zh-TW, zh-HK, zh-MO also count.
    return language == 0x0804 || language == 0x1004 || language == 0x0404 || language == 0x0C04 ||
           language == 0x1404;
}

int ChineseRank(FT_UShort language) {
    switch (language) {
        case 0x0804:
            return 0;
        case 0x1004:
            return 1;
        case 0x0404:
            return 2;
        case 0x0C04:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

std::string ReadFontName(const std::string& path) {
    FT_Library lib;
    if (FT_Init_FreeType(&lib) != 0)
        return "";
    FT_Face face;
    std::string result;
    if (FT_New_Face(lib, path.c_str(), 0, &face) == 0) {
        std::string chinese, english_full, english_family;
        int chinese_rank = 99;
        FT_UInt count = FT_Get_Sfnt_Name_Count(face);
        for (FT_UInt i = 0; i < count; ++i) {
            FT_SfntName n;
            if (FT_Get_Sfnt_Name(face, i, &n) != 0)
                continue;
            std::string text;
            bool unicode =
                (n.platform_id == TT_PLATFORM_MICROSOFT &&
                 (n.encoding_id == TT_MS_ID_UNICODE_CS || n.encoding_id == TT_MS_ID_UCS_4)) ||
                n.platform_id == TT_PLATFORM_APPLE_UNICODE;
            if (unicode)
                text = Utf16BeToUtf8(n.string, n.string_len);
            else if (n.platform_id == TT_PLATFORM_MACINTOSH && n.encoding_id == TT_MAC_ID_ROMAN &&
                     n.language_id == TT_MAC_LANGID_ENGLISH)
                text =
                    AsciiOnly(std::string(reinterpret_cast<const char*>(n.string), n.string_len));
            if (text.empty())
                continue;
            if (n.name_id == TT_NAME_ID_FONT_FAMILY && unicode &&
                IsChineseLanguage(n.platform_id, n.language_id) &&
                ChineseRank(n.language_id) < chinese_rank && FitsGbk(text)) {
                chinese = text;
                chinese_rank = ChineseRank(n.language_id);
            }
            bool english = (n.platform_id == TT_PLATFORM_MICROSOFT && n.language_id == 0x0409) ||
                           n.platform_id == TT_PLATFORM_MACINTOSH;
            if (english && n.name_id == TT_NAME_ID_FULL_NAME && english_full.empty())
                english_full = text;
            if (english && n.name_id == TT_NAME_ID_FONT_FAMILY && english_family.empty())
                english_family = text;
        }
        if (!chinese.empty()) {
            result = chinese;
        } else {
            result = !english_full.empty() ? english_full : english_family;
            if (result.empty() && face->family_name) {
                result = face->family_name;
                if (face->style_name && std::string(face->style_name) != "Regular")
                    result += std::string(" ") + face->style_name;
            }
            if (!FitsGbk(result))
                result = AsciiOnly(result);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(lib);
    return result;
}

void Catalogue::Scan(const std::vector<std::string>& folders) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const auto& folder : folders) {
        std::error_code ec;
        if (fs::is_regular_file(folder, ec)) {
            files.push_back(folder);
            continue;
        }
        fs::recursive_directory_iterator it(folder,
                                            fs::directory_options::follow_directory_symlink |
                                                fs::directory_options::skip_permission_denied,
                                            ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_regular_file(ec) && IsFontFile(it->path()))
                files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    std::lock_guard lock(mutex_);
    entries_.clear();
    for (const auto& f : files) {
        FontEntry e;
        e.id = kFirstId + static_cast<int>(entries_.size());
        e.path = f;
        entries_.push_back(std::move(e));
    }
    real_count_ = entries_.size();
}

void Catalogue::AddSynthetic(int count) {
    std::lock_guard lock(mutex_);
    for (int k = 1; k <= count; ++k) {
        FontEntry e;
        e.id = kFirstId + static_cast<int>(entries_.size());
        e.synthetic = true;
        if (real_count_ > 0)
            e.path = entries_[static_cast<size_t>(k - 1) % real_count_].path;
        char name[64];
        std::snprintf(name, sizeof name, "合成字体%05d", k);
        e.name = name;
        entries_.push_back(std::move(e));
    }
}

bool Catalogue::LoadNames(const std::string& file, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = "cannot read " + file;
        return false;
    }
    std::string line;
    int number = 0;
    std::lock_guard lock(mutex_);
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        size_t tab = line.find('\t');
        auto id = ParseInteger(line.substr(0, tab));
        if (tab == std::string::npos || !id) {
            *error = file + ":" + std::to_string(number) + ": expected id<TAB>name";
            return false;
        }
        file_names_[static_cast<int>(*id)] = line.substr(tab + 1);
    }
    return true;
}

void Catalogue::ReadNames() {
    std::vector<std::pair<size_t, std::string>> paths;
    {
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i < real_count_; ++i)
            paths.emplace_back(i, entries_[i].path);
    }
    std::vector<std::string> names;
    for (const auto& [i, p] : paths) {
        std::string name = ReadFontName(p);
        if (name.empty())
            name = AsciiOnly(std::filesystem::path(p).stem().string());
        if (name.empty())
            name = "Font " + std::to_string(kFirstId + i);
        names.push_back(name);
    }
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < names.size() && i < entries_.size(); ++i)
        entries_[i].name = names[i];
    names_done_ = true;
    names_ready_.notify_all();
}

void Catalogue::WaitForNames(std::unique_lock<std::mutex>& lock) {
    names_ready_.wait(lock, [this] { return names_done_; });
}

namespace {
void ApplyOverrides(FontEntry& e,
                    const std::map<int, std::string>& file_names,
                    const std::map<int, std::string>& runtime_names,
                    const std::map<int, bool>& downloads) {
    if (auto it = file_names.find(e.id); it != file_names.end()) {
        e.name = it->second;
        e.name_is_html = true;
    }
    if (auto it = runtime_names.find(e.id); it != runtime_names.end()) {
        e.name = it->second;
        e.name_is_html = true;
    }
    if (auto it = downloads.find(e.id); it != downloads.end())
        e.can_download = it->second;
}
}  // namespace

std::vector<FontEntry> Catalogue::Entries() {
    std::unique_lock lock(mutex_);
    WaitForNames(lock);
    std::vector<FontEntry> out = entries_;
    for (auto& e : out)
        ApplyOverrides(e, file_names_, runtime_names_, runtime_download_);
    return out;
}

std::optional<FontEntry> Catalogue::Find(int id) {
    std::unique_lock lock(mutex_);
    if (id < kFirstId || static_cast<size_t>(id - kFirstId) >= entries_.size())
        return std::nullopt;
    WaitForNames(lock);
    FontEntry e = entries_[static_cast<size_t>(id - kFirstId)];
    ApplyOverrides(e, file_names_, runtime_names_, runtime_download_);
    return e;
}

void Catalogue::SetName(int id, const std::string& html_name) {
    std::lock_guard lock(mutex_);
    runtime_names_[id] = html_name;
}

void Catalogue::SetCanDownload(int id, bool can) {
    std::lock_guard lock(mutex_);
    runtime_download_[id] = can;
}

void Catalogue::Reset() {
    std::lock_guard lock(mutex_);
    runtime_names_.clear();
    runtime_download_.clear();
}

}  // namespace lzf::server
