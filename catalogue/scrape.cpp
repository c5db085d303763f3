#include "catalogue/scrape.h"

#include "core/text.h"
#include "http/encoding.h"
#include "script/regex_object.h"

namespace {

const char kSectionPattern[] = "<td class=#引号control-group#引号>([\\s\\S]*?)字体颜色";
const char kNamePattern[] = "value=#引号\\d+#引号>([\\s\\S]*?)</option>";
const char kIdPattern[] = "<option value=#引号([\\s\\S]*?)#引号>";
const char kPictureBlockPattern[] = "保存图片([\\s\\S]*?)百度分享";
const char kPictureUrlPattern[] = "src=#引号([\\s\\S]*?)#引号 />";

const char kPreviewFormTemplate[] =
    "FontInfoId=字体&FontSize=大小&FontColor=色&ImageWidth=宽&ImageHeight=高"
    "&ImageBgColor=背景&Content=内容&ActionCategory=1";

// The name pattern's match begins with these bytes ("value=" and a quote).
constexpr long kValuePrefixLength = 7;

// Case-insensitive, one line, every match, "#引号" standing for a double quote: how the
// program searches the service's pages.
bool SearchPage(RegexObject& regex, const char* pattern, const Text& subject) {
    return regex.Search(pattern, subject, false, false, true, true);
}

// Group 1 of the last match; empty when the search failed or found nothing.
Text LastGroup(const char* pattern, const Text& subject) {
    RegexObject regex;
    if (!SearchPage(regex, pattern, subject) || regex.MatchCount() == 0)
        return Text();
    return regex.SubMatchText(regex.MatchCount(), 1);
}

// The digits of a name match (value="123">...), which are its option's value.
Text DigitsOfNameMatch(const Text& match) {
    Text rest = match.substr(static_cast<std::size_t>(kValuePrefixLength));
    return rest.substr(0, rest.find('"'));
}

}  // namespace

bool ParseCatalogueSection(const Text& page, Text* section) {
    RegexObject regex;
    if (!SearchPage(regex, kSectionPattern, page) || regex.MatchCount() == 0)
        return false;
    *section = regex.SubMatchText(regex.MatchCount(), 1);
    return true;
}

bool ParseFontRowsInSection(const Text& section, std::vector<FontRow>* rows) {
    rows->clear();
    RegexObject names;
    if (!SearchPage(names, kNamePattern, section))
        return false;
    // The id pattern matches every option, the name pattern only those with a number as
    // value, so the two lists are paired by where their options stand in the section, never by
    // their counts.
    RegexObject ids;
    std::vector<long> idPositions;
    if (SearchPage(ids, kIdPattern, section)) {
        for (int j = 1; j <= ids.MatchCount(); ++j) {
            long position = -1;
            ids.SubMatchText(j, 1, &position);
            idPositions.push_back(position);
        }
    }
    // The select's first option is the service's "choose a font" entry.
    long firstOption = FindText(section, "<option", 1, true);
    long secondOption = firstOption < 0 ? -1 : FindText(section, "<option", firstOption + 1, true);

    for (int k = 1; k <= names.MatchCount(); ++k) {
        long at = -1;
        Text match = names.MatchText(k, &at);
        long bytePosition = at + 1;
        if (firstOption > 0 && bytePosition >= firstOption &&
            (secondOption < 0 || bytePosition < secondOption))
            continue;
        FontRow row;
        row.ordinal = DecimalText(k);
        row.name = names.SubMatchText(k, 1);
        row.id = DigitsOfNameMatch(match);
        for (std::size_t j = 0; j < idPositions.size(); ++j) {
            if (idPositions[j] == at + kValuePrefixLength) {
                row.id = ids.SubMatchText(static_cast<int>(j) + 1, 1);
                break;
            }
        }
        rows->push_back(std::move(row));
    }
    return true;
}

bool ParseFontRows(const Text& page, std::vector<FontRow>* rows) {
    rows->clear();
    Text section;
    if (!ParseCatalogueSection(page, &section))
        return false;
    return ParseFontRowsInSection(section, rows);
}

Text BuildPreviewForm(const Text& id,
                      const Text& size,
                      const Text& colour,
                      const Text& width,
                      const Text& height,
                      const Text& background,
                      const Text& content) {
    // In this order: a placeholder word inside an earlier value is filled by a later step.
    Text form = kPreviewFormTemplate;
    form = ReplaceAll(form, "字体", id);
    form = ReplaceAll(form, "大小", size);
    form = ReplaceAll(form, "色", FormUrlEncode(colour));
    form = ReplaceAll(form, "宽", width);
    form = ReplaceAll(form, "高", height);
    form = ReplaceAll(form, "背景", FormUrlEncode(background));
    form = ReplaceAll(form, "内容", FormUrlEncode(content));
    return form;
}

Text ExtractPreviewImageUrl(const Text& answer) {
    Text block = LastGroup(kPictureBlockPattern, answer);
    if (block.empty())
        return Text();
    return LastGroup(kPictureUrlPattern, block);
}

bool MatchesFontSearch(const Text& name, const Text& search_text) {
    return StartsWith(name, TrimBlanks(search_text));
}

int FindFontRow(const std::vector<Text>& names, int start_row, const Text& search_text) {
    Text wanted = TrimBlanks(search_text);
    for (std::size_t row = start_row < 0 ? 0 : static_cast<std::size_t>(start_row);
         row < names.size(); ++row) {
        if (StartsWith(names[row], wanted))
            return static_cast<int>(row);
    }
    return -1;
}
