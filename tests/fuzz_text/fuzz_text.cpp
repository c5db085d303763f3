// A mutation fuzzer for everything the program reads from the network before it becomes a list
// row, a picture address, a download permission, a cookie or a file name: the service's home
// page, preview answer and description answer, response header blocks and their framing,
// compressed bodies, charsets and encodings.
// It starts from pages the local service serves, mutates them deterministically (bit flips,
// byte writes, the markers the parsers look for, cuts, splices) and runs each result through
// the parsers. Beyond "no crash and no sanitizer report" it checks what the program relies on:
// a font row's id is a decimal number, and a file name made from any text names one file.
// Usage: fuzz_text <seed folder> [iterations] [seconds]
// On a failed check or under the sanitizers the input is written to fuzz_text_failure.bin.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/scrape.h"
#include "http/answer.h"
#include "http/answer_reader.h"
#include "http/charset.h"
#include "http/encoding.h"
#include "http/headers.h"
#include "http/inet_wire.h"
#include "http/request_text.h"
#include "script/json_object.h"
#include "tests/support/fuzz_support.h"

namespace {

using fuzz::Random;

const std::string* g_current = nullptr;

void SaveCurrentInput() {
    if (!g_current)
        return;
    fuzz::KeepInput("fuzz_text_failure.bin", g_current->data(), g_current->size());
}

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz_text: %s: \"%s\"\n", what, detail.c_str());
    SaveCurrentInput();
    std::abort();
}

// What the parsers look for, so that mutations reach past their first test ("" stands for a
// zero byte). The Chinese markers are written as GBK bytes: 字体颜色, 保存图片, 百度分享.
const char* const kTokens[] = {"<option value=\"",
                               "</option>",
                               "\">",
                               "<select",
                               "</select>",
                               "control-group",
                               "\xD7\xD6\xCC\xE5\xD1\xD5\xC9\xAB",
                               "\xB1\xA3\xB4\xE6\xCD\xBC\xC6\xAC",
                               "\xB0\xD9\xB6\xC8\xB7\xD6\xCF\xED",
                               "src=\"",
                               "\" />",
                               "\r\n",
                               "Set-Cookie: ",
                               "Location: ",
                               "Connection: keep-alive",
                               "Content-Length: ",
                               "99999999999999999999",
                               ";",
                               "=",
                               "%",
                               "%E4",
                               "%ZZ",
                               "\\u00",
                               "\"",
                               "{",
                               "}",
                               "[",
                               "]",
                               ":",
                               ",",
                               "<meta charset=",
                               "\xFF",
                               "\x81\x5C",
                               "\x80",
                               "",
                               "CON",
                               "LPT1.",
                               "..",
                               "\\",
                               "/",
                               "\t",
                               " ",
                               "\xA1\xA1"};

std::string Mutate(const std::vector<std::string>& seeds, Random& random) {
    std::string s = seeds[random.Below(seeds.size())];
    const std::size_t edits = 1 + random.Below(8);
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t at = random.Below(s.size() + 1);
        switch (random.Below(7)) {
            case 0:
                if (!s.empty())
                    s[random.Below(s.size())] ^= static_cast<char>(1 << random.Below(8));
                break;
            case 1:
                if (!s.empty())
                    s[random.Below(s.size())] = static_cast<char>(random.Next());
                break;
            case 2: {
                const char* token = kTokens[random.Below(std::size(kTokens))];
                s.insert(at, token[0] ? std::string(token) : std::string(1, '\0'));
                break;
            }
            case 3:
                s.erase(at, random.Below(64));
                break;
            case 4: {
                const std::string& other = seeds[random.Below(seeds.size())];
                if (!other.empty())
                    s.insert(at, other.substr(random.Below(other.size()), random.Below(200)));
                break;
            }
            case 5:
                s.resize(at);
                break;
            default:
                if (!s.empty())
                    s.insert(at, s.substr(random.Below(s.size()), random.Below(100)));
                break;
        }
    }
    return s;
}

bool IsDecimal(const Text& s) {
    if (s.empty())
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The name as Windows will see it (UTF-16) must name one file in the chosen folder.
void CheckFileName(const Text& name) {
    const Bytes wide = ToUtf16(name, true);
    if (wide.empty())
        Fail("empty file name", name);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < wide.size(); i += 2)
        units += static_cast<char16_t>(wide[i] | wide[i + 1] << 8);
    for (char16_t u : units) {
        if (u < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(u) != std::u16string_view::npos)
            Fail("file name with a character Windows refuses or reads as a path", name);
    }
    if (units.back() == u'.' || units.back() == u' ')
        Fail("file name ending in a dot or a blank", name);
    std::u16string base = units.substr(0, units.find(u'.'));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    for (char16_t& u : base) {
        if (u >= u'a' && u <= u'z')
            u = static_cast<char16_t>(u - 32);
    }
    const bool device =
        base == u"CON" || base == u"PRN" || base == u"AUX" || base == u"NUL" ||
        (base.size() == 4 && (base.rfind(u"COM", 0) == 0 || base.rfind(u"LPT", 0) == 0) &&
         base[3] >= u'1' && base[3] <= u'9');
    if (device)
        Fail("file name that opens a device", name);
}

void RunOne(const std::string& in, std::uint64_t iteration) {
    std::vector<FontRow> rows;
    ParseFontRows(in, &rows);
    for (const FontRow& row : rows) {
        if (!IsDecimal(row.id) || !IsDecimal(row.ordinal))
            Fail("font row whose id or number is not decimal", row.id + " / " + row.ordinal);
    }
    ExtractPreviewImageUrl(in);
    // The script engine behind the JSON lookup costs far more than the rest: every eighth.
    if (iteration % 8 == 0)
        DescriptionAllowsDownload(in);

    Text cookies, location;
    ScanResponseHeaders(in, cookies, &location, nullptr);
    Text jar = "x=1; y=2";
    MergeCookies(jar, in);
    Text ownJar = in;
    MergeCookies(ownJar, "x=1; a=9");
    ParseContentLength(in);
    ResponseStatusCode(in);
    AnswerFraming framing;
    if (ReadAnswerFraming(in, &framing) && framing.chunked && framing.length >= 0)
        Fail("answer framed by both a length and chunks", in.substr(0, 200));
    // Any input as the bytes of a connection, in pieces: the body never passes its bound.
    AnswerReader reader(4096, false);
    for (size_t at = 0; at < in.size(); at += 1 + iteration % 97)
        reader.Feed(std::string_view(in).substr(at, 1 + iteration % 97));
    reader.Close();
    if (reader.Body().size() > 4096 ||
        (reader.state() != AnswerReader::State::kComplete && !reader.Body().empty()))
        Fail("connection bytes read past their bound or kept after a failure", in.substr(0, 200));
    // Any block as the header block of an answer, and as the caller's lines of a request: the
    // request head ends at its one blank line, whatever the lines hold.
    const std::string block = InetAnswerBlock(in);
    if (block.size() < 4 || block.compare(block.size() - 4, 4, "\r\n\r\n") != 0)
        Fail("answer block without its blank line", in.substr(0, 200));
    for (const std::string& cookie : InetStoredCookies(in)) {
        if (cookie.find('=') == std::string::npos)
            Fail("a stored cookie without a value", in.substr(0, 200));
    }
    InetWireRequest request;
    request.verb = u"POST";
    request.path = u"/";
    request.host = u"h";
    request.headers.assign(in.begin(), in.end());
    request.cookies = request.headers;
    const std::u16string head = InetWireHead(request);
    if (head.find(u"\r\n\r\n") != head.size() - 4)
        Fail("caller's lines ended the request head early", in.substr(0, 200));
    // Any body as a compressed one: never more out than the bound, never a crash.
    std::string inflated;
    const size_t bound = 4096;
    for (ContentCoding coding : {ContentCoding::kGzip, ContentCoding::kDeflate}) {
        if (DecodeContent(in, coding, bound, inflated) ? inflated.size() > bound
                                                       : !inflated.empty())
            Fail("decoded body past its bound or left after a failure", in.substr(0, 200));
    }
    NormalizeHeaderNames(in);
    HeaderValue(in, "Connection");
    BuildWebRequestHeaders(in, 1, "c=1", true, true);
    EscapePathForWire(in);

    Text charset, decoded;
    FindDeclaredCharset(in, &charset);
    DecodeCharset(in, "utf-8", decoded);
    PercentDecode(in, true);
    FormUrlEncode(in);
    Utf8ToGbk(in);

    CheckFileName(SafeFileName(in));
    FindFontRow({in, "abc", in.substr(0, in.size() / 2)}, 0, in.substr(0, 3));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <seed folder> [iterations] [seconds]\n", argv[0]);
        return 2;
    }
    const std::uint64_t iterations = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 100000;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 20;
    fuzz::OnSanitizerReport(SaveCurrentInput);
    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream file(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "fuzz_text: no seeds in %s\n", argv[1]);
        return 2;
    }
    // The seeds themselves first, then their mutations.
    std::uint64_t done = 0;
    for (const std::string& seed : seeds) {
        g_current = &seed;
        RunOne(seed, done++);
    }
    Random random(0x6C7A66);
    const auto start = std::chrono::steady_clock::now();
    while (done < iterations) {
        if (done % 256 == 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
                seconds)
            break;
        const std::string input = Mutate(seeds, random);
        g_current = &input;
        RunOne(input, done++);
    }
    g_current = nullptr;
    std::printf("fuzz_text: %llu inputs from %zu seeds, no failure\n",
                static_cast<unsigned long long>(done), seeds.size());
    return 0;
}
