#include "http/inet_wire.h"

#include <string>
#include <utility>

#include "core/text.h"

namespace {

using View = std::u16string_view;

// Only blanks: a tab around a value stays part of it.
template <typename Char>
std::basic_string_view<Char> StripSpaces(std::basic_string_view<Char> s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// The request's header lines in order, as the transport keeps them.
class HeaderList {
  public:
    enum class Mode {
        kAddIfNew,  // a line whose name is there already is refused
        kReplace,   // a line whose name is there already takes its place, at the end
    };

    bool Process(View name, View value, Mode mode) {
        size_t at = 0;
        while (at < lines_.size() && !SameAsciiName(View(lines_[at].first), name))
            ++at;
        if (at < lines_.size()) {
            if (mode == Mode::kAddIfNew)
                return false;
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
            if (value.empty())
                return true;
        }
        lines_.emplace_back(name, value);
        return true;
    }

    // The lines of a block, split at CR or LF. Processing stops at the first line refused,
    // and (since nothing has succeeded yet) at a first line without a colon.
    void AddLines(View block, Mode mode) {
        block = block.substr(0, block.find(u'\0'));
        bool going = false;
        size_t at = 0;
        do {
            if (at >= block.size())
                break;
            size_t end = block.find_first_of(u"\r\n", at);
            if (end == View::npos)
                end = block.size();
            const View line = block.substr(at, end - at);
            at = end < block.size() ? end + 1 : end;
            if (line.empty()) {
                going = true;
                continue;
            }
            const size_t colon = line.find(u':');
            if (colon != View::npos)
                going = Process(StripSpaces(line.substr(0, colon)),
                                StripSpaces(line.substr(colon + 1)), mode);
        } while (going);
    }

    std::u16string Write(View request_line) const {
        std::u16string out(request_line);
        out += u"\r\n";
        for (const auto& [name, value] : lines_) {
            out += name;
            out += u": ";
            out += value;
            out += u"\r\n";
        }
        out += u"\r\n";
        return out;
    }

  private:
    std::vector<std::pair<std::u16string, std::u16string>> lines_;
};

std::u16string Decimal(size_t n) {
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n);
    return out;
}

// Calls `take(name, value)` for every "Name: value" line after the status line of a raw
// header block, blanks around both removed; lines without a colon are passed over.
template <typename Take>
void EachHeaderLine(std::string_view block, Take take) {
    size_t at = block.find('\n');
    while (at != std::string_view::npos && at + 1 < block.size()) {
        const size_t start = at + 1;
        at = block.find('\n', start);
        std::string_view line =
            block.substr(start, (at == std::string_view::npos ? block.size() : at) - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos)
            take(StripSpaces(line.substr(0, colon)), StripSpaces(line.substr(colon + 1)));
    }
}

}  // namespace

std::u16string InetWireHead(const InetWireRequest& request) {
    using Mode = HeaderList::Mode;
    HeaderList list;
    list.Process(u"Host", request.host, Mode::kAddIfNew);
    const bool get = request.verb == u"GET";
    if (request.body_length > 0 || !get)
        list.AddLines(u"Content-Length: " + Decimal(request.body_length) + u"\r\n",
                      Mode::kAddIfNew);
    list.AddLines(u"User-Agent: " + request.agent + u"\r\n", Mode::kAddIfNew);
    if (!get)
        list.AddLines(u"Cache-Control: no-cache\r\n", Mode::kAddIfNew);
    list.AddLines(request.headers, Mode::kReplace);
    if (!request.cookies.empty())
        list.AddLines(u"Cookie: " + request.cookies + u"\r\n", Mode::kReplace);
    return list.Write(request.verb + u" " + request.path + u" HTTP/1.1");
}

std::u16string InetWirePath(std::u16string_view canonical) {
    while (!canonical.empty() && (canonical.back() == u'\r' || canonical.back() == u'\n'))
        canonical.remove_suffix(1);
    std::u16string path(canonical);
    for (char16_t& c : path) {
        if (c == u'\\')
            c = u'/';
    }
    const bool absolute =
        path.size() >= 7 && SameAsciiName(View(path).substr(0, 7), View(u"http://"));
    if (!absolute && (path.empty() || path[0] != u'/'))
        path.insert(path.begin(), u'/');
    return path;
}

std::string InetAnswerBlock(std::string_view raw_block) {
    // The status line as the transport rebuilds it from its parts: "HTTP/1.1 200" gets a blank
    // for its missing reason.
    const std::string_view first = raw_block.substr(0, raw_block.find('\n'));
    std::string_view line = first;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const size_t codeAt = line.find(' ');
    std::string out(line.substr(0, codeAt));
    if (codeAt != std::string_view::npos) {
        const std::string_view rest = line.substr(codeAt + 1);
        const size_t reasonAt = rest.find(' ');
        // The reader lets only three digits through; more are not read past a number's range.
        long code = 0;
        for (size_t i = 0;
             i < rest.size() && i < reasonAt && i < 9 && rest[i] >= '0' && rest[i] <= '9'; ++i)
            code = code * 10 + (rest[i] - '0');
        out += ' ';
        out += std::to_string(code);
        out += ' ';
        if (reasonAt != std::string_view::npos)
            out += rest.substr(reasonAt + 1);
    }
    out += "\r\n";
    EachHeaderLine(raw_block, [&out](std::string_view name, std::string_view value) {
        if (name == "Status")
            return;  // the transport keeps the status code under this name
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    });
    out += "\r\n";
    return out;
}

std::vector<std::string> InetStoredCookies(std::string_view raw_block) {
    std::vector<std::string> cookies;
    EachHeaderLine(raw_block, [&cookies](std::string_view name, std::string_view value) {
        if (SameAsciiName(name, std::string_view("Set-Cookie")) &&
            value.find('=') != std::string_view::npos)
            cookies.emplace_back(value);
    });
    return cookies;
}
