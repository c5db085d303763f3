// Reading the skin update page: its values, the version number and the address check. Portable.
#include <cstdlib>

#include "core/text.h"
#include "decor/update_check.h"
#include "http/headers.h"

namespace {

// Full-width digits, point, signs and blank (GBK A3B0..A3B9, A3AE, A3AB, A3AD, A1A1) as ASCII.
Text FoldFullWidthNumber(const Text& text) {
    Text out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = CharLengthAt(text, i);
        auto lead = static_cast<unsigned char>(text[i]);
        auto trail = n == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (n == 2 && lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9)
            out += static_cast<char>('0' + (trail - 0xB0));
        else if (n == 2 && lead == 0xA3 && trail == 0xAE)
            out += '.';
        else if (n == 2 && lead == 0xA3 && trail == 0xAB)
            out += '+';
        else if (n == 2 && lead == 0xA3 && trail == 0xAD)
            out += '-';
        else if (n == 2 && lead == 0xA1 && trail == 0xA1)
            out += ' ';
        else
            out.append(text, i, n);
        i += n;
    }
    return out;
}

}  // namespace

float ReadVersionNumber(const Text& text) {
    Text folded = FoldFullWidthNumber(text);
    // strtof reads a leading number like atof, and gives 0 when there is none.
    return std::strtof(folded.c_str(), nullptr);
}

SkinUpdateInfo ReadSkinUpdatePage(const Text& page) {
    SkinUpdateInfo info;
    const Text kEnd = "<";
    info.version = ReadVersionNumber(TextBetween(page, "皮肤模块版本：", kEnd));
    info.updateTime = TextBetween(page, "更新时间：", kEnd);
    info.updateSize = TextBetween(page, "更新大小：", kEnd);
    info.versionText = TextBetween(page, "皮肤模块版本：", kEnd);
    for (int i = 0; i < kSkinUpdateItemCount; ++i)
        info.items[i] = TextBetween(page, DecimalText(i + 1) + "、", kEnd);
    info.downloadAddress = TextBetween(page, "下载地址：", kEnd);
    return info;
}

Text BuildSkinUpdateMessage(const SkinUpdateInfo& info) {
    Text message = "〔青岚皮肤模块〕\r\n更新时间：" + info.updateTime + "\r\n更新大小：" +
                   info.updateSize + "\r\n皮肤版本：" + info.versionText;
    for (const Text& item : info.items)
        message += "\r\n※  " + item;
    return message;
}

bool IsWebAddress(const Text& address) {
    Text lower = AsciiLower(address);
    std::size_t schemeEnd;
    if (StartsWith(lower, "http://"))
        schemeEnd = 7;
    else if (StartsWith(lower, "https://"))
        schemeEnd = 8;
    else
        return false;
    for (unsigned char c : address) {
        if (c < 0x21 || c == 0x7F)
            return false;  // blanks and control characters do not belong in an address
    }
    std::size_t authorityEnd = address.find_first_of("/?#\\", schemeEnd);
    Text authority = address.substr(
        schemeEnd, authorityEnd == Text::npos ? Text::npos : authorityEnd - schemeEnd);
    std::size_t at = authority.rfind('@');
    Text host = at == Text::npos ? authority : authority.substr(at + 1);
    if (!host.empty() && host[0] == '[')
        return host.find(']') > 1 && host.find(']') != Text::npos;
    host = host.substr(0, host.find(':'));
    return !host.empty();
}
