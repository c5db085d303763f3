// The HTML pages of the service, built in UTF-8.
#pragma once

#include <string>
#include <vector>

#include "server/catalogue.h"

namespace lzf::server {

struct HomePageOptions {
    bool no_digit_options = false;  // every option value has letters in it
    bool mixed_options = false;     // group options with non-digit values between the fonts
};

// The home page with the preview form and the font <select>: a placeholder option with the
// value 0, then one option per font. Names that did not come as raw HTML are escaped.
std::string HomePage(const std::vector<FontEntry>& fonts, const HomePageOptions& options);

// The answer to a preview post: the picture between the save link and the share buttons.
std::string PreviewPage(const std::string& image_url, const std::string& font_name_html);

struct SkinAnnouncement {
    std::string version = "3.4";
    std::string time = "2021-06-18";
    std::string size = "1.26MB";
    std::vector<std::string> items;  // up to ten
    std::string address;             // empty: the service's own download page
};

SkinAnnouncement DefaultSkinAnnouncement();

// The skin module's update article (UTF-8).
std::string SkinUpdatePage(const SkinAnnouncement& a, const std::string& default_address);

// Puts <meta charset="..."> into a page so that it starts at byte `offset` (padding with an
// HTML comment; -1 puts it at the start of the head), replacing a declaration already there.
std::string DeclareCharset(const std::string& page, const std::string& charset, int offset);

}  // namespace lzf::server
