#include <errno.h>
#include <iconv.h>

#include "core/codepage.h"

namespace codepage {
namespace {

// Windows code page numbers and the glibc converter with the same table.
const char* IconvName(unsigned code_page) {
    switch (code_page) {
        case 936:
            return "CP936";
        case 65001:
            return "UTF-8";
        case 54936:
            return "GB18030";
        case 950:
            return "CP950";
        case 932:
            return "CP932";
        case 949:
            return "CP949";
        case 1200:
            return "UTF-16LE";
        case 1250:
            return "CP1250";
        case 1251:
            return "CP1251";
        case 1252:
            return "CP1252";
        case 1253:
            return "CP1253";
        case 1254:
            return "CP1254";
        case 1255:
            return "CP1255";
        case 1256:
            return "CP1256";
        case 1257:
            return "CP1257";
        case 1258:
            return "CP1258";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 20932:
            return "EUC-JP";
        case 51932:
            return "EUC-JP";
        case 51949:
            return "EUC-KR";
        case 28591:
            return "ISO-8859-1";
        case 28592:
            return "ISO-8859-2";
        case 28593:
            return "ISO-8859-3";
        case 28594:
            return "ISO-8859-4";
        case 28595:
            return "ISO-8859-5";
        case 28596:
            return "ISO-8859-6";
        case 28597:
            return "ISO-8859-7";
        case 28598:
            return "ISO-8859-8";
        case 28599:
            return "ISO-8859-9";
        case 28600:
            return "ISO-8859-10";
        case 28601:
            return "ISO-8859-11";
        case 28603:
            return "ISO-8859-13";
        case 28604:
            return "ISO-8859-14";
        case 28605:
            return "ISO-8859-15";
        default:
            return nullptr;
    }
}

// Converts with iconv, replacing what cannot be converted by `replacement` (in the target
// encoding) and skipping one input unit of `unit` bytes. With `double_byte` (the East Asian
// code pages) an unconvertible lead byte takes its trail byte with it, as Windows does: the
// pair is one character, and its second byte (often "\" or "@") must not reappear alone.
std::string Convert(const char* from,
                    const char* to,
                    const char* in,
                    size_t in_len,
                    std::string_view replacement,
                    size_t unit,
                    bool double_byte = false) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.resize(in_len * 4 + 16);
    char* src = const_cast<char*>(in);
    size_t src_left = in_len;
    char* dst = out.data();
    size_t dst_left = out.size();
    while (src_left > 0) {
        if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dst_left = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
        size_t used = static_cast<size_t>(dst - out.data());
        if (dst_left < replacement.size() + 8) {
            out.resize(out.size() * 2 + replacement.size());
            dst = out.data() + used;
            dst_left = out.size() - used;
        }
        for (char c : replacement) {
            *dst++ = c;
            --dst_left;
        }
        size_t skip = src_left < unit ? src_left : unit;
        if (double_byte && src_left >= 2) {
            auto lead = static_cast<unsigned char>(src[0]);
            auto trail = static_cast<unsigned char>(src[1]);
            if (lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F)
                skip = 2;
        }
        src += skip;
        src_left -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

bool IsDoubleByte(unsigned code_page) {
    return code_page == 936 || code_page == 950 || code_page == 932 || code_page == 949 ||
           code_page == 54936;
}

}  // namespace

std::u16string ToWide(std::string_view bytes, unsigned code_page) {
    const char* name = IconvName(code_page);
    if (bytes.empty() || !name)
        return {};
    static const char kReplacement[] = {'\xFD', '\xFF'};  // U+FFFD as UTF-16LE
    std::string raw = Convert(name, "UTF-16LE", bytes.data(), bytes.size(),
                              std::string_view(kReplacement, 2), 1, IsDoubleByte(code_page));
    std::u16string out(raw.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                       (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    return out;
}

std::string FromWide(std::u16string_view wide, unsigned code_page) {
    const char* name = IconvName(code_page);
    if (wide.empty() || !name)
        return {};
    std::string raw(wide.size() * 2, '\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        raw[2 * i] = static_cast<char>(wide[i] & 0xFF);
        raw[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    return Convert("UTF-16LE", name, raw.data(), raw.size(), "?", 2);
}

bool IsSupported(unsigned code_page) {
    return IconvName(code_page) != nullptr;
}

}  // namespace codepage
