#include "server/service.h"

#include <zlib.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <random>

#include "server/render.h"
#include "server/text_util.h"

namespace lzf::server {

namespace {

constexpr size_t kMaxPictures = 64;
constexpr size_t kMaxPictureBytes = 256u << 20;
constexpr std::uint64_t kMaxGzipInput = 64u << 20;

// Compresses with deflate in a gzip wrapper (window_bits 15 + 16), a zlib wrapper (15) or none
// (-15).
std::string Compress(const std::string& in, int window_bits) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return in;
    std::string out(deflateBound(&z, in.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Gzip(const std::string& in) {
    return Compress(in, 15 + 16);
}

// The gzip stream of `size` zero bytes, made piece by piece (a bomb: tiny on the wire, huge
// once inflated).
std::string GzipOfZeros(std::uint64_t size) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string();
    static const std::string zeros(1 << 20, '\0');
    std::string out;
    char buffer[1 << 16];
    std::uint64_t left = size;
    int flush = Z_NO_FLUSH;
    do {
        const size_t take = static_cast<size_t>(std::min<std::uint64_t>(left, zeros.size()));
        left -= take;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = static_cast<uInt>(take);
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return out;
}

// Made once per size: a gibibyte takes a few seconds to compress.
const std::string& CachedGzipOfZeros(std::uint64_t size) {
    static std::mutex mutex;
    static std::map<std::uint64_t, std::string> made;
    std::lock_guard lock(mutex);
    auto it = made.find(size);
    if (it == made.end())
        it = made.emplace(size, GzipOfZeros(size)).first;
    return it->second;
}

std::string ReadAll(BodySource& body) {
    std::string out(body.Size(), '\0');
    size_t done = 0;
    while (done < out.size()) {
        size_t n = body.Read(done, out.data() + done, out.size() - done);
        if (n == 0)
            break;
        done += n;
    }
    out.resize(done);
    return out;
}

// The decimal id at the end of a path such as /FontDesc/104; 0 when it is not one.
int IdFromText(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return 0;
    for (char c : text)
        if (c < '0' || c > '9')
            return 0;
    return std::stoi(text);
}

std::string ErrorPage(const std::string& message) {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gbk\">\n<title>错误</title>\n"
           "</head>\n<body>\n<p class=\"error\">" +
           HtmlEscape(message) + "</p>\n</body>\n</html>\n";
}

}  // namespace

struct Service::Page {
    int status = 200;
    std::string content_type;  // empty: text/html in the page's charset
    bool is_html = false;
    std::string html;  // UTF-8
    std::string charset = "GBK";
    std::shared_ptr<BodySource> body;
    std::vector<std::string> headers;

    static Page Html(int status, std::string html, std::string charset = "GBK") {
        Page p;
        p.status = status;
        p.is_html = true;
        p.html = std::move(html);
        p.charset = std::move(charset);
        return p;
    }
    static Page Bytes(int status, std::string content_type, std::shared_ptr<BodySource> body) {
        Page p;
        p.status = status;
        p.content_type = std::move(content_type);
        p.body = std::move(body);
        return p;
    }
    static Page Text(int status, const std::string& text) {
        return Bytes(status, "text/plain; charset=utf-8", StringBody(text));
    }
};

Service::Service(Catalogue* catalogue, RequestLog* log)
    : catalogue_(catalogue), log_(log), skin_(DefaultSkinAnnouncement()) {}

HttpResponse Service::Handle(const HttpRequest& request) {
    if (request.path.compare(0, 3, "/__") == 0)
        return HandleControlRoute(request);
    Fault fault = faults_.Take(request.path).value_or(Fault{});
    bool redirects = !fault.redirect.empty() || fault.redirect_loop;
    // A file rule replaces the route's answer whole, so the route's page (the home page of a
    // large catalogue takes tens of milliseconds to make) is not made at all.
    Page page = redirects             ? Page::Html(302, "")
                : !fault.file.empty() ? Page::Bytes(200, "application/octet-stream", nullptr)
                                      : Route(request, fault);
    return Finish(std::move(page), request, fault);
}

Service::Page Service::Route(const HttpRequest& request, const Fault& fault) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (path == "/" || path == "/index.html") {
        if (get)
            return HomeRoute(request, fault);
        if (request.method == "POST")
            return PreviewPost(request);
        return Page::Text(405, "method not allowed\n");
    }
    if (path.compare(0, 10, "/FontDesc/") == 0)
        return FontDescRoute(path.substr(10));
    if (path.compare(0, 10, "/Download/") == 0)
        return DownloadRoute(request, path.substr(10));
    if (path.compare(0, 9, "/preview/") == 0) {
        std::string key = path.substr(9);
        if (key.size() > 4 && key.compare(key.size() - 4, 4, ".png") == 0)
            key.resize(key.size() - 4);
        if (auto png = FindPicture(key))
            return Page::Bytes(200, "image/png", StringBody(*png));
        return Page::Text(404, "no such picture\n");
    }
    if (path == "/skin/update.html") {
        SkinAnnouncement skin;
        {
            std::lock_guard lock(mutex_);
            skin = skin_;
        }
        return Page::Html(
            200, SkinUpdatePage(skin, "http://" + request.local_address + "/skin/download.html"),
            "UTF-8");
    }
    if (path == "/skin/download.html") {
        return Page::Html(200,
                          "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                          "<title>青岚皮肤模块下载</title>\n</head>\n<body>\n"
                          "<p>青岚皮肤模块下载页</p>\n</body>\n</html>\n",
                          "UTF-8");
    }
    if (path == "/favicon.ico")
        return Page::Text(404, "not found\n");
    return Page::Html(404, ErrorPage("页面不存在"));
}

Service::Page Service::HomeRoute(const HttpRequest&, const Fault& fault) {
    HomePageOptions options;
    options.no_digit_options = fault.no_digit_options;
    options.mixed_options = fault.mixed_options;
    return Page::Html(200, HomePage(catalogue_->Entries(), options));
}

Service::Page Service::PreviewPost(const HttpRequest& request) {
    auto form = ParseForm(request.body);
    auto field = [&](const char* name) -> const std::string* {
        for (const auto& [k, v] : form)
            if (k == name)
                return &v;
        return nullptr;
    };
    auto number = [&](const char* name, long long fallback, bool* bad) -> long long {
        const std::string* v = field(name);
        if (!v)
            return fallback;
        auto n = ParseInteger(*v);
        if (!n) {
            *bad = true;
            return fallback;
        }
        return *n;
    };
    bool bad = false;
    const std::string* id_text = field("FontInfoId");
    auto id = id_text ? ParseInteger(*id_text) : std::nullopt;
    if (!id)
        return Page::Html(400, ErrorPage("请选择字体"));
    RenderRequest r;
    auto clamp_int = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, -1000000, 1000000));
    };
    r.font_size = clamp_int(number("FontSize", 50, &bad));
    r.width = clamp_int(number("ImageWidth", 600, &bad));
    r.height = clamp_int(number("ImageHeight", 200, &bad));
    auto colour = ParseColour(field("FontColor") ? *field("FontColor") : "#000000");
    auto background = ParseColour(field("ImageBgColor") ? *field("ImageBgColor") : "#FFFFFF");
    if (bad || !colour || !background)
        return Page::Html(400, ErrorPage("参数错误"));
    r.colour = *colour;
    r.background = *background;
    r.text = field("Content") ? *field("Content") : "";
    if (r.text.size() > 64 * 1024)
        return Page::Html(400, ErrorPage("内容过长"));
    auto font = catalogue_->Find(static_cast<int>(*id));
    if (!font)
        return Page::Html(404, ErrorPage("字体不存在"));
    if (font->path.empty())
        return Page::Html(500, ErrorPage("字体文件缺失"));
    r.font_path = font->path;
    std::string error;
    std::string png = RenderPreview(r, &error);
    if (png.empty())
        return Page::Html(500, ErrorPage("字体图生成失败：" + error));
    std::string key = StorePicture(std::move(png));
    std::string base;
    {
        std::lock_guard lock(mutex_);
        base = preview_base_;
    }
    if (base.empty())
        base = "http://" + request.local_address + "/";
    const std::string name = font->name_is_html ? font->name : HtmlEscape(font->name);
    return Page::Html(200, PreviewPage(base + "preview/" + key + ".png", name));
}

Service::Page Service::FontDescRoute(const std::string& id_text) {
    auto font = catalogue_->Find(IdFromText(id_text));
    if (!font)
        return Page::Bytes(404, "application/json; charset=utf-8",
                           StringBody("{\"canDownload\":false}"));
    std::string json = std::string("{\"canDownload\":") + (font->can_download ? "true" : "false") +
                       ",\"id\":" + std::to_string(font->id) + ",\"name\":\"" +
                       JsonEscape(font->name) + "\"}";
    return Page::Bytes(200, "application/json; charset=utf-8", StringBody(json));
}

Service::Page Service::DownloadRoute(const HttpRequest& request, const std::string& id_text) {
    if (request.method != "POST")
        return Page::Text(405, "the download is a POST\n");
    auto font = catalogue_->Find(IdFromText(id_text));
    if (!font)
        return Page::Text(404, "no such font\n");
    auto body = font->path.empty() ? nullptr : FileBody(font->path);
    if (!body)
        return Page::Text(500, "the font file cannot be read\n");
    Page p = Page::Bytes(200, "application/octet-stream", body);
    p.headers.push_back("Content-Disposition: attachment; filename=\"" +
                        std::filesystem::path(font->path).filename().string() + "\"");
    return p;
}

HttpResponse Service::Finish(Page page, const HttpRequest& request, const Fault& fault) {
    HttpResponse r;
    r.status = page.status;
    r.headers = page.headers;
    if (!fault.redirect.empty() || fault.redirect_loop) {
        r.status = fault.status >= 300 && fault.status < 400 ? fault.status : 302;
        std::string location = fault.redirect_loop ? request.target : fault.redirect;
        r.headers.push_back("Location: " + location);
        r.content_type = "text/html; charset=utf-8";
        r.body = StringBody("<html><body><a href=\"" + HtmlEscape(location) +
                            "\">moved</a></body></html>\n");
    } else {
        if (page.is_html) {
            std::string html = page.html;
            std::string charset = page.charset;
            if (!fault.meta_charset.empty()) {
                html = DeclareCharset(html, fault.meta_charset, fault.meta_offset);
                if (fault.encode)
                    charset = fault.meta_charset;
            }
            auto bytes = ConvertCharset(html, "UTF-8", charset, true);
            if (!bytes) {
                charset = "GBK";
                bytes = ConvertCharset(html, "UTF-8", charset, true);
            }
            r.body = StringBody(bytes.value_or(html));
            r.content_type =
                page.content_type.empty()
                    ? (fault.meta_charset.empty() ? "text/html; charset=" + Lower(charset)
                                                  : "text/html")
                    : page.content_type;
        } else {
            r.body = page.body;
            r.content_type = page.content_type;
        }
        const bool replaces = fault.body || fault.huge_bytes >= 0 || !fault.file.empty();
        if (replaces) {
            if (r.status < 200 || r.status >= 300) {
                r.status = 200;
                r.content_type = fault.body ? "text/html" : "application/octet-stream";
            }
            if (fault.body) {
                r.body = StringBody(*fault.body);
            } else if (fault.huge_bytes >= 0) {
                r.body = PatternBody(static_cast<std::uint64_t>(fault.huge_bytes));
            } else if (auto file = FileBody(fault.file)) {
                r.body = file;
            } else {
                r.status = 404;
                r.content_type = "text/plain; charset=utf-8";
                r.body = StringBody("cannot read " + fault.file + "\n");
            }
        }
        if (fault.status)
            r.status = fault.status;
    }
    if (!fault.content_type.empty())
        r.content_type = fault.content_type;
    if (!fault.reason.empty())
        r.reason = fault.reason;
    if (fault.gzip && r.body && r.body->Size() <= kMaxGzipInput) {
        r.body = StringBody(Gzip(ReadAll(*r.body)));
        r.headers.push_back("Content-Encoding: gzip");
    } else if (!fault.deflate.empty() && r.body && r.body->Size() <= kMaxGzipInput) {
        r.body = StringBody(Compress(ReadAll(*r.body), fault.deflate == "raw" ? -15 : 15));
        r.headers.push_back("Content-Encoding: deflate");
    } else if (fault.gzip_zeros >= 0) {
        r.status = fault.status ? fault.status : 200;
        r.content_type = "application/octet-stream";
        r.body = StringBody(CachedGzipOfZeros(static_cast<std::uint64_t>(fault.gzip_zeros)));
        r.headers.push_back("Content-Encoding: gzip");
    }
    for (int i = 0; i < fault.header_lines; ++i)
        r.headers.push_back("X-Filler-" + std::to_string(i) + ": lzf");
    if (fault.header_line_bytes > 0)
        r.headers.push_back("X-Filler: " +
                            std::string(static_cast<size_t>(fault.header_line_bytes), 'a'));
    for (const auto& h : fault.headers)
        r.headers.push_back(h);
    r.delay_ms = fault.delay_ms;
    r.drip_bytes = fault.drip_bytes;
    r.drip_ms = fault.drip_ms;
    r.close_after = fault.close_after;
    r.content_length = fault.content_length;
    r.no_content_length = fault.no_content_length;
    r.chunked = fault.chunked;
    r.keep_alive = fault.keep_alive;
    r.reset_after = fault.reset_after;
    r.raw = fault.raw;
    return r;
}

HttpResponse Service::HandleControlRoute(const HttpRequest& request) {
    HttpResponse r;
    if (!request.from_loopback) {
        // The control routes can serve any file and reveal every request: this machine only.
        r.status = 403;
        r.body = StringBody("control routes answer only on this machine\n");
        return r;
    }
    auto items = ParseForm(request.query);
    auto has = [&](const char* key) {
        for (const auto& [k, v] : items)
            if (k == key && v != "0")
                return true;
        return false;
    };
    if (request.path == "/__log") {
        if (has("clear")) {
            log_->Clear();
            r.body = StringBody("ok\n");
        } else {
            r.content_type = "application/octet-stream";
            r.body = StringBody(log_->Text());
        }
        return r;
    }
    if (request.path == "/__control") {
        std::string error;
        if (Control(request.query, &error)) {
            r.body = StringBody("ok\n");
        } else {
            r.status = 400;
            r.body = StringBody(error + "\n");
        }
        return r;
    }
    if (request.path == "/__tls/authority.der") {
        if (tls_authority_.empty()) {
            r.status = 404;
            r.body = StringBody("the service has no trusted TLS port\n");
        } else {
            r.content_type = "application/pkix-cert";
            r.body = StringBody(tls_authority_);
        }
        return r;
    }
    if (request.path == "/__fonts") {
        std::string text;
        for (const auto& f : catalogue_->Entries())
            text += std::to_string(f.id) + "\t" + f.name + "\t" + f.path + "\t" +
                    (f.can_download ? "1" : "0") + "\n";
        r.body = StringBody(text);
        return r;
    }
    r.status = 404;
    r.body = StringBody("unknown control route\n");
    return r;
}

bool Service::Control(const std::string& query, std::string* error) {
    Fault fault;
    std::vector<std::pair<std::string, std::string>> rest;
    bool any_fault = false;
    auto items = ParseForm(query);
    if (!ParseFault(items, &fault, &rest, &any_fault, error))
        return false;
    // Check every key before changing anything.
    int font_id = 0;
    for (const auto& [k, v] : rest) {
        static const char* const kKeys[] = {
            "reset",     "font",      "name",     "can_download", "skin_version",
            "skin_time", "skin_size", "skin_url", "skin_items",   "preview_base"};
        bool known = false;
        for (const char* key : kKeys)
            known = known || k == key;
        if (!known) {
            *error = "unknown key: " + k;
            return false;
        }
        if (k == "font") {
            auto id = ParseInteger(v);
            if (!id || !catalogue_->Find(static_cast<int>(*id))) {
                *error = "no such font: " + v;
                return false;
            }
            font_id = static_cast<int>(*id);
        }
        if ((k == "name" || k == "can_download") && font_id == 0) {
            bool later = false;
            for (const auto& [k2, v2] : rest)
                later = later || k2 == "font";
            if (!later) {
                *error = k + " needs font=ID";
                return false;
            }
        }
    }
    for (const auto& [k, v] : rest) {
        if (k == "reset" && v != "0")
            ResetState();
    }
    if (any_fault)
        faults_.Add(fault);
    for (const auto& [k, v] : rest) {
        std::lock_guard lock(mutex_);
        if (k == "name") {
            catalogue_->SetName(font_id, v);
        } else if (k == "can_download") {
            std::string b = Lower(v);
            catalogue_->SetCanDownload(font_id, !(b == "0" || b == "false" || b == "no"));
        } else if (k == "skin_version") {
            skin_.version = v;
        } else if (k == "skin_time") {
            skin_.time = v;
        } else if (k == "skin_size") {
            skin_.size = v;
        } else if (k == "skin_url") {
            skin_.address = v;
        } else if (k == "skin_items") {
            skin_.items.clear();
            size_t pos = 0;
            while (pos <= v.size() && !v.empty()) {
                size_t bar = v.find('|', pos);
                skin_.items.push_back(v.substr(pos, bar == std::string::npos ? bar : bar - pos));
                if (bar == std::string::npos)
                    break;
                pos = bar + 1;
            }
        } else if (k == "preview_base") {
            preview_base_ = v;
            if (!preview_base_.empty() && preview_base_.back() != '/')
                preview_base_ += '/';
        }
    }
    return true;
}

bool Service::AddStartupControl(const std::string& query, std::string* error) {
    for (const auto& [k, v] : ParseForm(query)) {
        if (k == "reset") {
            *error = "reset cannot be a start-up setting";
            return false;
        }
    }
    if (!Control(query, error))
        return false;
    std::lock_guard lock(mutex_);
    startup_controls_.push_back(query);
    return true;
}

void Service::ResetState() {
    faults_.Clear();
    catalogue_->Reset();
    std::vector<std::string> startup;
    {
        std::lock_guard lock(mutex_);
        skin_ = DefaultSkinAnnouncement();
        preview_base_.clear();
        startup = startup_controls_;
    }
    std::string ignored;
    for (const auto& q : startup)
        Control(q, &ignored);
}

std::string Service::StorePicture(std::string png) {
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard lock(pictures_mutex_);
    char key[48];
    std::snprintf(key, sizeof key, "%06llx%08llx", ++picture_counter_,
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFull));
    auto shared = std::make_shared<const std::string>(std::move(png));
    picture_bytes_ += shared->size();
    pictures_.emplace_back(key, shared);
    while (pictures_.size() > 1 &&
           (pictures_.size() > kMaxPictures || picture_bytes_ > kMaxPictureBytes)) {
        picture_bytes_ -= pictures_.front().second->size();
        pictures_.pop_front();
    }
    return key;
}

std::shared_ptr<const std::string> Service::FindPicture(const std::string& key) {
    std::lock_guard lock(pictures_mutex_);
    for (const auto& [k, png] : pictures_)
        if (k == key)
            return png;
    return nullptr;
}

}  // namespace lzf::server
