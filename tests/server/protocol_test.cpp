// The catalogue service over the wire, as the program and the other tests use it: page shape,
// previews, descriptions, downloads, the skin page, the request log, every misbehaviour rule
// and garbage requests. Runs against a private service (see CMakeLists.txt for its switches).

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include <zlib.h>

#include "server/text_util.h"
#include "tests/server/png_decode.h"
#include "tests/support/service_client.h"

namespace {

using lzf::server::ConvertCharset;

struct Answer {
    int status = 0;
    std::string headers;
    std::string body;
    std::string raw;
};

Answer Fetch(const std::string& raw_request, int timeout_ms = 10000) {
    Answer a;
    a.raw = ServiceRaw(raw_request, timeout_ms);
    SplitResponse(a.raw, &a.status, &a.headers, &a.body);
    return a;
}

Answer Get(const std::string& path) {
    return Fetch("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
}

Answer Post(const std::string& path, const std::string& body) {
    return Fetch("POST " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                 std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::string HeaderOf(const Answer& a, const std::string& name) {
    std::istringstream in(a.headers);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lzf::server::Lower(line.substr(0, name.size() + 1)) == lzf::server::Lower(name) + ":")
            return line.substr(line.find_first_not_of(' ', name.size() + 1));
    }
    return "";
}

std::string Gbk(const std::string& utf8) {
    return ConvertCharset(utf8, "UTF-8", "GBK").value();
}

std::string FromGbk(const std::string& gbk) {
    return ConvertCharset(gbk, "GBK", "UTF-8").value_or("(not GBK)");
}

// Group 1 of every match of a pattern (ECMAScript, case-insensitive, like the program's).
std::vector<std::string> Groups(const std::string& pattern, const std::string& subject) {
    std::regex re(pattern, std::regex::ECMAScript | std::regex::icase);
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(subject.begin(), subject.end(), re);
         it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1].str());
    return out;
}

const char kSectionPattern[] = "<td class=\"control-group\">([\\s\\S]*?)字体颜色";
const char kNamePattern[] = "value=\"\\d+\">([\\s\\S]*?)</option>";
const char kIdPattern[] = "<option value=\"([\\s\\S]*?)\">";

std::string Section(const std::string& page_utf8) {
    auto sections = Groups(kSectionPattern, page_utf8);
    return sections.empty() ? "" : sections.back();
}

struct Font {
    int id;
    std::string name;
    std::string path;
    bool can_download;
};

std::vector<Font> Fonts() {
    std::vector<Font> out;
    std::istringstream in(ServiceGet("/__fonts"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t'))
            f.push_back(cell);
        if (f.size() == 4)
            out.push_back({std::stoi(f[0]), f[1], f[2], f[3] == "1"});
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string PreviewForm(int id,
                        const std::string& colour,
                        const std::string& background,
                        int width,
                        int height,
                        const std::string& content = "%E4%BD%A0%E5%A5%BD") {
    return "FontInfoId=" + std::to_string(id) + "&FontSize=60&FontColor=" + ServiceEscape(colour) +
           "&ImageWidth=" + std::to_string(width) + "&ImageHeight=" + std::to_string(height) +
           "&ImageBgColor=" + ServiceEscape(background) + "&Content=" + content +
           "&ActionCategory=1";
}

// The picture address of a preview answer, cut out as the program does.
std::string PictureUrl(const std::string& page_gbk) {
    auto blocks = Groups("保存图片([\\s\\S]*?)百度分享", FromGbk(page_gbk));
    if (blocks.empty())
        return "";
    auto urls = Groups("src=\"([\\s\\S]*?)\" />", blocks.back());
    return urls.empty() ? "" : urls.back();
}

std::string PathOf(const std::string& url) {
    size_t slash = url.find('/', url.find("//") + 2);
    return slash == std::string::npos ? "/" : url.substr(slash);
}

int ChineseFont() {
    for (const auto& f : Fonts())
        if (f.path.find("wqy") != std::string::npos || f.path.find("Droid") != std::string::npos)
            return f.id;
    return 0;
}

class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(ServiceUrl().empty()) << "run through with-service.sh";
        ASSERT_TRUE(ServiceControl("reset=1"));
        ServiceClearLog();
    }
    void TearDown() override { ServiceControl("reset=1"); }
};

TEST_F(ServiceTest, HomePageCarriesEveryFontForTheThreePatterns) {
    Answer a = Get("/");
    ASSERT_EQ(a.status, 200);
    const std::string page = FromGbk(a.body);
    ASSERT_NE(page, "(not GBK)");
    EXPECT_NE(page.find("<form action=\"/\" method=\"post\""), std::string::npos);
    for (const char* field : {"FontColor", "FontSize", "ImageWidth", "ImageHeight", "ImageBgColor",
                              "Content", "ActionCategory"})
        EXPECT_NE(page.find(std::string("name=\"") + field + "\""), std::string::npos) << field;

    ASSERT_EQ(Groups(kSectionPattern, page).size(), 1u);
    const std::string section = Section(page);
    auto names = Groups(kNamePattern, section);
    auto ids = Groups(kIdPattern, section);
    const auto fonts = Fonts();
    ASSERT_GE(fonts.size(), 4u + 5u);  // real fonts, then the five generated ones
    ASSERT_EQ(names.size(), fonts.size() + 1);
    ASSERT_EQ(ids.size(), fonts.size() + 1);
    EXPECT_EQ(ids[0], "0");
    EXPECT_EQ(names[0], "请选择字体");
    for (size_t i = 0; i < fonts.size(); ++i) {
        EXPECT_EQ(ids[i + 1], std::to_string(101 + i));
        EXPECT_EQ(fonts[i].id, static_cast<int>(101 + i));
        std::string expected = fonts[i].id <= 104 ? fonts[i].name  // raw names from names.txt
                                                  : lzf::server::HtmlEscape(fonts[i].name);
        EXPECT_EQ(names[i + 1], expected) << fonts[i].id;
    }
    // The names file puts raw HTML and path-like texts into the list.
    EXPECT_EQ(names[1], "A &amp; B &lt;tag&gt;");
    EXPECT_EQ(names[2], "..\\fonts\\evil");
    EXPECT_EQ(names[3], "C:\\Windows:name");
    EXPECT_EQ(names[4], "测试字体 一号");
    EXPECT_EQ(names.back(), "合成字体00005");
    // The page travels in GBK.
    EXPECT_NE(a.body.find(Gbk("请选择字体")), std::string::npos);
    EXPECT_NE(a.body.find(Gbk("测试字体 一号")), std::string::npos);
}

TEST_F(ServiceTest, SystemFontNamesPreferChineseFamilyNames) {
    bool found_chinese = false;
    for (const auto& f : Fonts()) {
        if (f.path.find("wqy-microhei") != std::string::npos) {
            EXPECT_EQ(f.name, "文泉驿微米黑");
            found_chinese = true;
        }
        if (f.path.find("DejaVuSans.ttf") != std::string::npos) {
            EXPECT_EQ(f.name, "DejaVu Sans");
        }
        EXPECT_TRUE(lzf::server::FitsGbk(f.name)) << f.name;
    }
    if (!found_chinese)
        GTEST_SKIP() << "fonts-wqy-microhei is not installed";
}

TEST_F(ServiceTest, PreviewDrawsThePostedColourOnThePostedBackground) {
    const int id = ChineseFont();
    if (!id)
        GTEST_SKIP() << "no CJK font installed";
    Answer a = Post("/", PreviewForm(id, "#FF0000", "#003300", 320, 120));
    ASSERT_EQ(a.status, 200) << a.body;
    const std::string page = FromGbk(a.body);
    size_t save = page.find("保存图片"), img = page.find("<img src=\""),
           share = page.find("百度分享");
    ASSERT_TRUE(save < img && img < share) << page;
    const std::string url = PictureUrl(a.body);
    ASSERT_EQ(url.rfind(ServiceUrl() + "preview/", 0), 0u) << url;
    ASSERT_NE(page.find("src=\"" + url + "\" />"), std::string::npos);

    Answer picture = Get(PathOf(url));
    ASSERT_EQ(picture.status, 200);
    EXPECT_EQ(HeaderOf(picture, "Content-Type"), "image/png");
    DecodedPicture p = DecodePng(picture.body);
    ASSERT_EQ(p.width, 320);
    ASSERT_EQ(p.height, 120);
    const int text = p.Count(255, 0, 0, 255);
    const int background = p.Count(0, 0x33, 0, 255);
    EXPECT_GT(text, 200);                  // solid strokes of the glyphs
    EXPECT_GT(background, 320 * 120 / 2);  // mostly background
    EXPECT_EQ(p.Count(0, 0, 0, 0), 0);     // nothing transparent on a coloured background
}

TEST_F(ServiceTest, WhiteBackgroundIsTransparent) {
    const int id = ChineseFont();
    if (!id)
        GTEST_SKIP() << "no CJK font installed";
    Answer a = Post("/", PreviewForm(id, "#0000FF", "#FFFFFF", 200, 100));
    ASSERT_EQ(a.status, 200);
    DecodedPicture p = DecodePng(Get(PathOf(PictureUrl(a.body))).body);
    ASSERT_EQ(p.width, 200);
    EXPECT_EQ(p.At(0, 0)[3], 0);
    EXPECT_EQ(p.At(199, 99)[3], 0);
    EXPECT_GT(p.Count(0, 0, 255, 255), 100);
    EXPECT_EQ(p.Count(255, 255, 255, 255), 0);
}

TEST_F(ServiceTest, PreviewRefusesGarbageAndClampsSizes) {
    const std::string ok = PreviewForm(101, "#000000", "#FFFFFF", 100, 50);
    struct Case {
        const char* what;
        std::string form;
        int status;
    } cases[] = {
        {"width not a number", "FontInfoId=101&ImageWidth=abc", 400},
        {"height with letters", "FontInfoId=101&ImageHeight=20px", 400},
        {"bad colour", "FontInfoId=101&FontColor=%23GGGGGG", 400},
        {"bad background", "FontInfoId=101&ImageBgColor=red", 400},
        {"no id", "FontSize=50", 400},
        {"placeholder id", "FontInfoId=0", 404},
        {"unknown id", "FontInfoId=99999", 404},
        {"not a form at all", std::string("\x01\x02\xff=&&==", 8), 400},
        {"complete form", ok, 200},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Post("/", c.form).status, c.status) << c.what;

    // Out-of-range sizes are clamped, not refused.
    Answer a = Post("/", "FontInfoId=101&FontSize=-5&ImageWidth=99999&ImageHeight=0");
    ASSERT_EQ(a.status, 200);
    DecodedPicture p = DecodePng(Get(PathOf(PictureUrl(a.body))).body);
    EXPECT_EQ(p.width, 4000);
    EXPECT_EQ(p.height, 1);
}

TEST_F(ServiceTest, FontDescriptionSaysWhetherTheFontMayBeDownloaded) {
    Answer a = Get("/FontDesc/104");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body.rfind("{\"canDownload\":true,", 0), 0u) << a.body;
    EXPECT_EQ(HeaderOf(a, "Content-Type"), "application/json; charset=utf-8");

    ASSERT_TRUE(ServiceControl("font=104&can_download=false"));
    EXPECT_EQ(Get("/FontDesc/104").body.rfind("{\"canDownload\":false,", 0), 0u);
    EXPECT_EQ(Get("/FontDesc/105").body.rfind("{\"canDownload\":true,", 0), 0u);

    for (const char* unknown : {"/FontDesc/99999", "/FontDesc/abc", "/FontDesc/", "/FontDesc/0"}) {
        Answer u = Get(unknown);
        EXPECT_EQ(u.status, 404) << unknown;
        EXPECT_EQ(u.body, "{\"canDownload\":false}") << unknown;
    }
    EXPECT_FALSE(ServiceControl("font=99999&can_download=false"));
}

TEST_F(ServiceTest, DownloadReturnsTheFontFileBytes) {
    const auto fonts = Fonts();
    ASSERT_FALSE(fonts.empty());
    const Font& first = fonts.front();
    Answer a = Post("/Download/" + std::to_string(first.id), "id=" + std::to_string(first.id));
    ASSERT_EQ(a.status, 200);
    const std::string file = ReadFile(first.path);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(a.body.size(), file.size());
    EXPECT_TRUE(a.body == file);
    EXPECT_EQ(HeaderOf(a, "Content-Length"), std::to_string(file.size()));
    EXPECT_EQ(HeaderOf(a, "Content-Type"), "application/octet-stream");

    // The generated fonts borrow the real files, the first one the first file.
    const Font& synthetic = fonts[fonts.size() - 5];
    EXPECT_EQ(synthetic.name, "合成字体00001");
    EXPECT_TRUE(Post("/Download/" + std::to_string(synthetic.id), "id=1").body == file);

    EXPECT_EQ(Post("/Download/99999", "id=99999").status, 404);
    EXPECT_EQ(Get("/Download/" + std::to_string(first.id)).status, 405);
}

TEST_F(ServiceTest, SkinUpdatePageAnnouncesTheConfiguredVersion) {
    Answer a = Get("/skin/update.html");
    ASSERT_EQ(a.status, 200);
    const std::string& page = a.body;  // UTF-8
    EXPECT_NE(page.find("皮肤模块版本：3.4<"), std::string::npos);
    EXPECT_NE(page.find("更新时间："), std::string::npos);
    EXPECT_NE(page.find("更新大小："), std::string::npos);
    for (int i = 1; i <= 10; ++i)
        EXPECT_NE(page.find(std::to_string(i) + "、"), std::string::npos) << i;
    EXPECT_NE(page.find("下载地址：" + ServiceUrl() + "skin/download.html<"), std::string::npos);

    ASSERT_TRUE(
        ServiceControl("skin_version=V3.5&skin_url=" + ServiceEscape("file:///C:/skin.zip") +
                       "&skin_items=" + ServiceEscape("第一项|第二项")));
    const std::string changed = Get("/skin/update.html").body;
    EXPECT_NE(changed.find("皮肤模块版本：V3.5<"), std::string::npos);
    EXPECT_NE(changed.find("下载地址：file:///C:/skin.zip<"), std::string::npos);
    EXPECT_NE(changed.find("1、第一项<"), std::string::npos);
    EXPECT_NE(changed.find("2、第二项<"), std::string::npos);
    EXPECT_EQ(changed.find("3、"), std::string::npos);
}

TEST_F(ServiceTest, LogKeepsRequestsByteForByte) {
    const std::string first =
        "POST /Download/104 HTTP/1.1\r\nhOsT: example\r\nX-Odd-CASE:   three blanks \r\n"
        "Accept: */*\r\nContent-Length: 6\r\n\r\nid=104";
    const std::string second =
        "GET /FontDesc/104?x=%E4%BD%A0 HTTP/1.1\r\nHost: example\r\n"
        "Cookie: a=1; b=2\r\nConnection: close\r\n\r\n";
    Answer a = Fetch(first + second);  // one connection, two requests
    ASSERT_EQ(a.status, 200);
    ServiceGet("/__fonts");  // control routes are not logged

    auto log = ParseServiceLog(ServiceLog());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].raw, first);
    EXPECT_EQ(log[1].raw, second);
    EXPECT_EQ(log[0].connection, log[1].connection);
    EXPECT_EQ(log[1].sequence, log[0].sequence + 1);
    EXPECT_EQ(log[0].request_line, "POST /Download/104 HTTP/1.1");
    ASSERT_EQ(log[0].headers.size(), 4u);
    EXPECT_EQ(log[0].headers[0], (std::pair<std::string, std::string>{"hOsT", "example"}));
    EXPECT_EQ(log[0].headers[1].first, "X-Odd-CASE");
    EXPECT_EQ(log[0].headers[1].second, "three blanks ");
    EXPECT_EQ(log[0].headers[3].second, "6");
    EXPECT_EQ(log[0].body, "id=104");
    EXPECT_EQ(log[1].request_line, "GET /FontDesc/104?x=%E4%BD%A0 HTTP/1.1");
    EXPECT_EQ(log[1].body, "");

    ServiceClearLog();
    EXPECT_TRUE(ParseServiceLog(ServiceLog()).empty());
}

TEST_F(ServiceTest, LogFileGetsTheSameEntries) {
    const char* file = std::getenv("LZF_TEST_LOG_FILE");
    ASSERT_NE(file, nullptr);
    const std::string token = "token-" + std::to_string(std::random_device{}());
    Get("/FontDesc/101?" + token);
    const std::string entry = ServiceLog();
    ASSERT_NE(entry.find(token), std::string::npos);
    // The file is appended to across runs; this run's entry is in it verbatim.
    EXPECT_NE(ReadFile(file).find(entry), std::string::npos);
}

TEST_F(ServiceTest, LogKeepsBinaryBodiesAndChunkedFraming) {
    static const char kBody[] = "a\0b\r\n\r\n=== lzf-request seq=9 conn=9 bytes=1 ===\n\xff";
    const std::string body(kBody, sizeof kBody - 1);
    const std::string req =
        "POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    Fetch(req);
    const std::string chunked =
        "POST /y HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
        "Connection: close\r\n\r\n3\r\nabc\r\n0\r\n\r\n";
    Fetch(chunked);
    auto log = ParseServiceLog(ServiceLog());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].raw, req);
    EXPECT_EQ(log[0].body, body);
    EXPECT_EQ(log[1].raw, chunked);
}

TEST_F(ServiceTest, StatusBodyAndHeaderRules) {
    ASSERT_TRUE(ServiceControl(
        "path=/FontDesc/*&status=500&body=oops&header=" + ServiceEscape("set-cookie: a=1") +
        "&header=" + ServiceEscape("Set-Cookie: sid=abc; path=/")));
    Answer a = Get("/FontDesc/101");
    EXPECT_EQ(a.status, 500);
    EXPECT_EQ(a.body, "oops");
    size_t lower = a.headers.find("\r\nset-cookie: a=1\r\n");
    size_t upper = a.headers.find("\r\nSet-Cookie: sid=abc; path=/");
    EXPECT_NE(lower, std::string::npos) << a.headers;
    EXPECT_LT(lower, upper);
    EXPECT_EQ(Get("/").status, 200);  // other paths untouched

    // A JSON text for one font only.
    ASSERT_TRUE(
        ServiceControl("path=/FontDesc/102&body=" + ServiceEscape("{\"canDownload\":\"True\"}")));
    EXPECT_EQ(Get("/FontDesc/102").body, "{\"canDownload\":\"True\"}");
    EXPECT_EQ(Get("/FontDesc/102").status, 200);

    // A status alone keeps the body; times=1 applies once.
    ASSERT_TRUE(ServiceControl("path=/&status=503&times=1"));
    Answer once = Get("/");
    EXPECT_EQ(once.status, 503);
    EXPECT_NE(FromGbk(once.body).find("请选择字体"), std::string::npos);
    EXPECT_EQ(Get("/").status, 200);

    // A replaced home page, in GBK bytes as sent.
    ASSERT_TRUE(ServiceControl("path=/&body=" + ServiceEscape(Gbk("<p>改版了</p>"))));
    EXPECT_EQ(Get("/").body, Gbk("<p>改版了</p>"));

    ASSERT_TRUE(ServiceControl("reset=1"));
    EXPECT_EQ(Get("/FontDesc/101").status, 200);
    EXPECT_EQ(HeaderOf(Get("/FontDesc/101"), "Set-Cookie"), "");
}

TEST_F(ServiceTest, RedirectRules) {
    ASSERT_TRUE(ServiceControl("path=/old&redirect=" + ServiceEscape("/FontDesc/101")));
    Answer a = Get("/old");
    EXPECT_EQ(a.status, 302);
    EXPECT_EQ(HeaderOf(a, "Location"), "/FontDesc/101");
    ASSERT_TRUE(ServiceControl("path=/old&redirect=/x&status=301"));
    EXPECT_EQ(Get("/old").status, 301);
    ASSERT_TRUE(ServiceControl("path=/loop*&redirect_loop=1"));
    Answer loop = Get("/loop?n=1");
    EXPECT_EQ(loop.status, 302);
    EXPECT_EQ(HeaderOf(loop, "Location"), "/loop?n=1");
}

TEST_F(ServiceTest, WireRulesBreakTheFramingAsAsked) {
    // Early close: the full length is declared, fewer bytes arrive.
    ASSERT_TRUE(ServiceControl("path=/big&huge_bytes=1000&close_after=100"));
    Answer cut = Get("/big");
    EXPECT_EQ(HeaderOf(cut, "Content-Length"), "1000");
    EXPECT_EQ(cut.body.size(), 100u);

    // A wrong length: the whole body is sent anyway, then the connection closes.
    ASSERT_TRUE(ServiceControl("path=/big&huge_bytes=1000&content_length=5"));
    Answer wrong = Fetch("GET /big HTTP/1.1\r\nHost: x\r\n\r\n");  // keep-alive asked
    EXPECT_EQ(HeaderOf(wrong, "Content-Length"), "5");
    EXPECT_EQ(HeaderOf(wrong, "Connection"), "close");
    EXPECT_EQ(wrong.body.size(), 1000u);

    ASSERT_TRUE(ServiceControl("path=/big&huge_bytes=1000&content_length=none"));
    Answer none = Get("/big");
    EXPECT_EQ(HeaderOf(none, "Content-Length"), "");
    EXPECT_EQ(none.body.size(), 1000u);

    ASSERT_TRUE(ServiceControl("path=/big&body=hello&chunked=1"));
    Answer chunked = Get("/big");
    EXPECT_EQ(HeaderOf(chunked, "Transfer-Encoding"), "chunked");
    EXPECT_EQ(chunked.body, "5\r\nhello\r\n0\r\n\r\n");

    ASSERT_TRUE(ServiceControl("path=/big&body=hello&gzip=1"));
    Answer gz = Get("/big");
    EXPECT_EQ(HeaderOf(gz, "Content-Encoding"), "gzip");
    ASSERT_GE(gz.body.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(gz.body[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(gz.body[1]), 0x8b);

    ASSERT_TRUE(ServiceControl("path=/FontDesc/101&keep_alive=0"));
    Answer closed = Fetch("GET /FontDesc/101 HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(closed.status, 200);  // answered and closed although keep-alive was asked
    EXPECT_EQ(HeaderOf(closed, "Connection"), "close");
}

// The rules behind the engines' hostile-answer tables: what they put on the wire.
TEST_F(ServiceTest, HostileAnswerRules) {
    // A raw answer goes out byte for byte, whatever the request was, and the connection ends.
    const std::string raw = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 7\r\n\r\nab";
    ASSERT_TRUE(ServiceControl("path=/raw&raw=" + ServiceEscape(raw)));
    EXPECT_EQ(Fetch("GET /raw HTTP/1.1\r\nHost: x\r\n\r\n").raw, raw);

    // Deflate with and without the zlib wrapper, and a gzip bomb: inflated, each gives its size.
    auto inflated = [](const std::string& data, int window_bits) {
        z_stream z{};
        EXPECT_EQ(inflateInit2(&z, window_bits), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        std::string out;
        char buffer[1 << 16];
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            rc = inflate(&z, Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - z.avail_out);
        }
        inflateEnd(&z);
        return rc == Z_STREAM_END ? out : std::string("<corrupt>");
    };
    for (const auto& [mode, bits] : {std::pair{"zlib", 15}, std::pair{"raw", -15}}) {
        ASSERT_TRUE(ServiceControl(std::string("path=/big&body=hello%20hello&deflate=") + mode));
        Answer a = Get("/big");
        EXPECT_EQ(HeaderOf(a, "Content-Encoding"), "deflate");
        EXPECT_EQ(inflated(a.body, bits), "hello hello") << mode;
    }
    ASSERT_TRUE(ServiceControl("path=/big&gzip_zeros_mib=4"));
    Answer bomb = Get("/big");
    EXPECT_EQ(HeaderOf(bomb, "Content-Encoding"), "gzip");
    EXPECT_LT(bomb.body.size(), 64u * 1024);
    EXPECT_EQ(inflated(bomb.body, 15 + 16), std::string(4u << 20, '\0'));

    // Header bombs.
    ASSERT_TRUE(ServiceControl("path=/big&body=x&header_lines=300&header_line_bytes=5000"));
    Answer heavy = Get("/big");
    EXPECT_EQ(HeaderOf(heavy, "X-Filler-299"), "lzf");
    EXPECT_EQ(HeaderOf(heavy, "X-Filler"), std::string(5000, 'a'));
    EXPECT_EQ(heavy.body, "x");

    // A reset in the middle of the body: the declared length, then part of the body at most.
    ASSERT_TRUE(ServiceControl("path=/big&huge_bytes=100000&reset_after=1000"));
    Answer reset = Get("/big");
    EXPECT_EQ(HeaderOf(reset, "Content-Length"), "100000");
    EXPECT_LE(reset.body.size(), 1000u);
}

TEST_F(ServiceTest, DelayAndDripHoldTheAnswerBack) {
    ASSERT_TRUE(ServiceControl("path=/FontDesc/101&delay_ms=1500"));
    // Nothing arrives during a short wait; the answer comes later.
    EXPECT_EQ(Fetch("GET /FontDesc/101 HTTP/1.0\r\n\r\n", 200).raw, "");
    EXPECT_EQ(Fetch("GET /FontDesc/101 HTTP/1.0\r\n\r\n").status, 200);

    ASSERT_TRUE(ServiceControl("path=/drip&huge_bytes=200&drip_bytes=50&drip_ms=300"));
    Answer partial = Fetch("GET /drip HTTP/1.0\r\n\r\n", 150);
    EXPECT_LT(partial.body.size(), 200u);
    Answer full = Fetch("GET /drip HTTP/1.0\r\n\r\n");
    EXPECT_EQ(full.body.size(), 200u);
}

TEST_F(ServiceTest, HugeAndFileBodies) {
    ASSERT_TRUE(ServiceControl("path=/Download/*&huge_mib=3"));
    Answer a = Post("/Download/101", "id=101");
    ASSERT_EQ(a.body.size(), 3u << 20);
    EXPECT_EQ(HeaderOf(a, "Content-Type"), "application/octet-stream");
    for (size_t line : {0u, 1u, 4095u, 49151u}) {
        char expected[21];
        std::snprintf(expected, sizeof expected, "lzf %016zx", line * 64);
        EXPECT_EQ(a.body.substr(line * 64, 20), expected);
        EXPECT_EQ(a.body[line * 64 + 63], '\n');
    }

    const std::string path = Fonts().front().path;
    ASSERT_TRUE(ServiceControl("path=/bench.bin&file=" + ServiceEscape(path)));
    Answer file = Get("/bench.bin");
    EXPECT_EQ(file.status, 200);
    EXPECT_TRUE(file.body == ReadFile(path));
    ASSERT_TRUE(ServiceControl("path=/missing.bin&file=/nonexistent/file"));
    EXPECT_EQ(Get("/missing.bin").status, 404);
}

TEST_F(ServiceTest, CharsetDeclarationsAndOptionShapes) {
    ASSERT_TRUE(ServiceControl("path=/&meta_charset=utf-8&meta_offset=1024"));
    Answer utf8 = Get("/");
    EXPECT_EQ(utf8.body.find("<meta"), 1024u);
    EXPECT_EQ(utf8.body.substr(1024, 22), "<meta charset=\"utf-8\">");
    EXPECT_NE(utf8.body.find("请选择字体"), std::string::npos);  // UTF-8 bytes now
    EXPECT_EQ(utf8.body.find("charset=\"gbk\""), std::string::npos);

    ASSERT_TRUE(ServiceControl("path=/&meta_charset=big5"));
    Answer big5 = Get("/");
    EXPECT_LT(big5.body.find("<meta charset=\"big5\">"), 200u);
    EXPECT_TRUE(ConvertCharset(big5.body, "BIG5", "UTF-8").has_value());
    EXPECT_NE(big5.body.find(ConvertCharset("字", "UTF-8", "BIG5").value()), std::string::npos);
    EXPECT_EQ(big5.body.find(Gbk("字")), std::string::npos);

    ASSERT_TRUE(ServiceControl("path=/&meta_charset=utf-8&encode=0"));
    Answer declared = Get("/");
    EXPECT_NE(declared.body.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(declared.body.find(Gbk("请选择字体")), std::string::npos);

    ASSERT_TRUE(ServiceControl("path=/&no_digit_options=1"));
    std::string section = Section(FromGbk(Get("/").body));
    EXPECT_FALSE(section.empty());
    EXPECT_TRUE(Groups(kNamePattern, section).empty());
    EXPECT_EQ(Groups(kIdPattern, section).size(), Fonts().size() + 1);

    ASSERT_TRUE(ServiceControl("path=/&mixed_options=1"));
    section = Section(FromGbk(Get("/").body));
    auto names = Groups(kNamePattern, section);
    auto ids = Groups(kIdPattern, section);
    EXPECT_EQ(names.size(), Fonts().size() + 1);
    EXPECT_GT(ids.size(), names.size());
    EXPECT_EQ(ids[1].rfind("group-", 0), 0u);
}

TEST_F(ServiceTest, ControlRefusesWhatItDoesNotKnow) {
    for (const char* bad : {"bogus=1", "delay_ms=abc", "status=42", "drip_bytes=0", "name=x",
                            "font=abc&name=x", "huge_mib=-1"})
        EXPECT_FALSE(ServiceControl(bad)) << bad;
    // A refused query changes nothing.
    EXPECT_FALSE(ServiceControl("path=/&status=500&bogus=1"));
    EXPECT_EQ(Get("/").status, 200);
    int status = 0;
    ServiceGet("/__nothing", &status);
    EXPECT_EQ(status, 404);
}

TEST_F(ServiceTest, GarbageRequestsDoNotHurtTheService) {
    const std::string garbage[] = {
        "\r\n\r\n",
        "GARBAGE\r\n\r\n",
        "GET /\r\n\r\n",
        "GET / HTTP/9.9\r\n\r\n",
        "GET / HTTP/1.1 extra\r\n\r\n",
        "GET / HTTP/1.1\r\nNo colon here\r\n\r\n",
        "GET / HTTP/1.1\r\n: empty name\r\n\r\n",
        "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
        "POST / HTTP/1.1\r\nContent-Length: 12abc\r\n\r\n",
        "POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd",
        "POST / HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n",
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
        "POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nshort",            // ends early
        std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11),  // a TLS hello
        std::string(70000, 'A'),
        "GET /" + std::string(5000, '%') + " HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET /FontDesc/" + std::string(100, '9') + " HTTP/1.0\r\n\r\n",
        "POST / HTTP/1.0\r\nContent-Length: 19\r\n\r\nFontInfoId=%%%&&&==",
    };
    for (const auto& g : garbage) {
        Answer a = Fetch(g, 2000);
        if (a.status) {
            EXPECT_GE(a.status, 400) << g.substr(0, 60);
        }
    }
    EXPECT_EQ(Get("/").status, 200);
    // What could not be parsed is logged with an error mark.
    bool marked = false;
    for (const auto& r : ParseServiceLog(ServiceLog()))
        marked = marked || r.request_line == "GARBAGE";
    EXPECT_TRUE(marked);
    EXPECT_NE(ServiceLog().find("error=400"), std::string::npos);
}

// A connection to the loopback port of an address "https://HOST:PORT/"; -1 when refused.
int ConnectToPortOf(const char* url) {
    const int port = std::atoi(std::strrchr(url, ':') + 1);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<unsigned short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends the request over the TLS session and reads the answer until the service closes.
std::string TlsExchange(SSL* ssl, const std::string& request) {
    SSL_write(ssl, request.data(), static_cast<int>(request.size()));
    std::string response;
    char buffer[4096];
    int n;
    while ((n = SSL_read(ssl, buffer, sizeof buffer)) > 0)
        response.append(buffer, static_cast<size_t>(n));
    return response;
}

TEST_F(ServiceTest, TlsPortShowsACertificateForAnotherHost) {
    const char* url = std::getenv("LZF_SERVICE_TLS_URL");
    ASSERT_NE(url, nullptr) << "the service was started without --tls-port";
    const int fd = ConnectToPortOf(url);
    ASSERT_GE(fd, 0);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    ASSERT_EQ(SSL_connect(ssl), 1);
    X509* cert = SSL_get1_peer_certificate(ssl);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(X509_check_host(cert, "127.0.0.1", 0, 0, nullptr), 0);
    EXPECT_EQ(X509_check_ip_asc(cert, "127.0.0.1", 0), 0);
    EXPECT_EQ(X509_check_host(cert, "wrong-host.invalid", 0, 0, nullptr), 1);
    X509_free(cert);
    const std::string request =
        "GET /FontDesc/104 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    const std::string response = TlsExchange(ssl, request);
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    close(fd);
    int status = 0;
    std::string headers, body;
    ASSERT_TRUE(SplitResponse(response, &status, &headers, &body));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body.rfind("{\"canDownload\":true", 0), 0u);
    auto log = ParseServiceLog(ServiceLog());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].raw, request);
    EXPECT_NE(ServiceLog().find(" tls=1 "), std::string::npos);
}

TEST_F(ServiceTest, TrustedTlsPortVerifiesAgainstTheServedAuthority) {
    const char* url = std::getenv("LZF_SERVICE_TRUSTED_TLS_URL");
    ASSERT_NE(url, nullptr) << "the service was started without --trusted-tls-port";
    const Answer authority = Get("/__tls/authority.der");
    ASSERT_EQ(authority.status, 200);
    EXPECT_EQ(HeaderOf(authority, "Content-Type"), "application/pkix-cert");
    const unsigned char* der = reinterpret_cast<const unsigned char*>(authority.body.data());
    X509* root = d2i_X509(nullptr, &der, static_cast<long>(authority.body.size()));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(X509_check_ca(root), 1);

    const int fd = ConnectToPortOf(url);
    ASSERT_GE(fd, 0);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx), root);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), "127.0.0.1");
    ASSERT_EQ(SSL_connect(ssl), 1);
    EXPECT_EQ(SSL_get_verify_result(ssl), X509_V_OK);
    X509* cert = SSL_get1_peer_certificate(ssl);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(X509_check_host(cert, "localhost", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_host(cert, "127.0.0.1", 0, 0, nullptr), 1);  // also as a DNS name
    EXPECT_EQ(X509_check_host(cert, "wrong-host.invalid", 0, 0, nullptr), 0);
    EXPECT_EQ(X509_check_issued(root, cert), X509_V_OK);
    X509_free(cert);
    const std::string request =
        "GET /FontDesc/104 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    const std::string response = TlsExchange(ssl, request);
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    X509_free(root);
    close(fd);
    int status = 0;
    std::string headers, body;
    ASSERT_TRUE(SplitResponse(response, &status, &headers, &body));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body.rfind("{\"canDownload\":true", 0), 0u);
}

}  // namespace
