// Scraping a 10,000-font catalogue home page: the three font-list patterns through
// RegexObject, exactly as the font-list load uses them, against raw PCRE2 (JIT) over the same
// page already in UTF-16. Prints both times and their ratio.
#include <pcre2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/codepage.h"
#include "script/monotonic_clock.h"
#include "script/regex_object.h"

namespace {

const char kSectionPattern[] = "<td class=#引号control-group#引号>([\\s\\S]*?)字体颜色";
const char kNamePattern[] = "value=#引号\\d+#引号>([\\s\\S]*?)</option>";
const char kIdPattern[] = "<option value=#引号([\\s\\S]*?)#引号>";

Text CataloguePage(int fonts) {
    static const char* const kFamilies[] = {"方正兰亭黑",  "汉仪旗黑", "思源宋体",
                                            "站酷快乐体",  "华康少女", "文泉驿微米黑",
                                            "造字工房悦黑"};
    static const char* const kStyles[] = {"简体", "繁体", "Bold", "粗体 &amp; 斜体", "W5"};
    Text page =
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"gbk\"><title>字体预览</title>\r\n"
        "<link rel=\"stylesheet\" href=\"/Content/site.css\"></head><body>\r\n"
        "<form method=\"post\" action=\"/\"><table class=\"form\">\r\n"
        "<tr><td class=\"control-label\">字体</td>\r\n"
        "<td class=\"control-group\"><select name=\"FontInfoId\" id=\"FontInfoId\">\r\n"
        "<option value=\"0\">请选择字体</option>\r\n";
    char line[256];
    for (int i = 1; i <= fonts; ++i) {
        std::snprintf(line, sizeof line, "<option value=\"%d\">%s%s%d</option>\r\n", 100 + i * 7,
                      kFamilies[i % 7], kStyles[i % 5], i);
        page += line;
    }
    page +=
        "</select></td></tr>\r\n<tr><td class=\"control-label\">字体大小</td>"
        "<td class=\"control-group\"><input name=\"FontSize\" value=\"50\"></td></tr>\r\n"
        "<tr><td class=\"control-label\">字体颜色</td>"
        "<td class=\"control-group\"><input name=\"FontColor\" value=\"#000000\"></td></tr>\r\n";
    for (int i = 0; i < 60; ++i)
        page += "<div class=\"footer-link\"><a href=\"/help\">帮助中心</a> | 关于我们</div>\r\n";
    page += "</table></form></body></html>\r\n";
    return page;
}

Text ReplaceQuotes(const Text& pattern) {
    Text out;
    const Text placeholder = "#引号";
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, placeholder.size(), placeholder) == 0) {
            out += '"';
            i += placeholder.size();
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

struct Outcome {
    std::size_t names = 0;
    std::size_t ids = 0;
    std::size_t bytes = 0;  // total length of everything read, so no work is optimised away
};

// The font-list load's reading of the page.
Outcome ThroughRegexObject(const Text& page) {
    Outcome o;
    RegexObject re;
    Text section;
    if (!re.Search(kSectionPattern, page, false, false, true, true))
        return o;
    for (int k = 1, n = re.MatchCount(); k <= n; ++k)
        section = re.SubMatchText(k, 1);
    re.Search(kNamePattern, section, false, false, true, true);
    o.names = static_cast<std::size_t>(re.MatchCount());
    for (int k = 1; k <= static_cast<int>(o.names); ++k)
        o.bytes += re.SubMatchText(k, 1).size();
    re.Search(kIdPattern, section, false, false, true, true);
    o.ids = static_cast<std::size_t>(re.MatchCount());
    for (int k = 1; k <= static_cast<int>(o.ids); ++k)
        o.bytes += re.SubMatchText(k, 1).size();
    return o;
}

// Every group 1 of `pattern` in `subject`, with plain PCRE2 calls.
std::vector<std::u16string> RawGroups(const Text& gbkPattern, const std::u16string& subject) {
    std::vector<std::u16string> out;
    std::u16string pattern = codepage::ToWide(ReplaceQuotes(gbkPattern));
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_CASELESS, &error, &errorOffset, nullptr);
    if (!code)
        return out;
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    auto text = reinterpret_cast<PCRE2_SPTR>(subject.data());
    std::size_t start = 0;
    while (pcre2_match(code, text, subject.size(), start, 0, md, nullptr) > 0) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
        out.emplace_back(subject, ov[2], ov[3] - ov[2]);
        start = ov[1] > ov[0] ? ov[1] : ov[1] + 1;
    }
    pcre2_match_data_free(md);
    pcre2_code_free(code);
    return out;
}

Outcome ThroughRawPcre2(const std::u16string& page) {
    Outcome o;
    std::vector<std::u16string> sections = RawGroups(kSectionPattern, page);
    if (sections.empty())
        return o;
    const std::u16string& section = sections.back();
    for (const auto& name : RawGroups(kNamePattern, section)) {
        ++o.names;
        o.bytes += name.size();
    }
    for (const auto& id : RawGroups(kIdPattern, section)) {
        ++o.ids;
        o.bytes += id.size();
    }
    return o;
}

double Milliseconds(std::int64_t from, std::int64_t to) {
    return static_cast<double>(to - from) / 1e6;
}

}  // namespace

int main() {
#ifdef _WIN32
    std::printf("build: %s (under Wine)\n", sizeof(void*) == 8 ? "x86-64" : "i686");
#else
    std::printf("build: native (this machine's own code)\n");
#endif
    const Text page = CataloguePage(10000);
    const std::u16string wide = codepage::ToWide(page);
    std::printf("page: %zu bytes, %zu characters\n", page.size(), wide.size());

    Outcome a = ThroughRegexObject(page);
    Outcome b = ThroughRawPcre2(wide);
    std::printf("RegexObject: %zu names, %zu ids; raw PCRE2: %zu names, %zu ids\n", a.names, a.ids,
                b.names, b.ids);
    if (a.names != b.names || a.ids != b.ids || a.names != 10001) {
        std::printf("the two readings disagree\n");
        return 1;
    }

    // Alternating runs, best of each: both see the same machine load.
    const int kRuns = 25;
    double raw = 1e30, object = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        std::int64_t t0 = MonotonicNanoseconds();
        b = ThroughRawPcre2(wide);
        std::int64_t t1 = MonotonicNanoseconds();
        a = ThroughRegexObject(page);
        std::int64_t t2 = MonotonicNanoseconds();
        raw = std::min(raw, Milliseconds(t0, t1));
        object = std::min(object, Milliseconds(t1, t2));
    }
    std::printf("raw PCRE2 (UTF-16 page):   %8.3f ms\n", raw);
    std::printf("RegexObject (GBK page):    %8.3f ms\n", object);
    std::printf("ratio RegexObject / raw:   %8.2f\n", object / raw);
    return 0;
}
