#include "http/winhttp_wire.h"

#include <utility>
#include <vector>

#include "core/codepage.h"
#include "core/text.h"

namespace {

using View = std::u16string_view;

bool IsNameChar(char16_t c) {
    if (c < 0x20 || c == 0x7F)
        return false;
    return View(u"()<>@,;\\\"/[]?={} \t").find(c) == View::npos;
}

// "Name: value" with a sound name; false for anything else (an empty line included).
bool ParseLine(View line, View* name, View* value) {
    const size_t colon = line.find(u':');
    if (colon == 0 || colon == View::npos)
        return false;
    *name = line.substr(0, colon);
    for (char16_t c : *name) {
        if (!IsNameChar(c))
            return false;
    }
    View rest = line.substr(colon + 1);
    while (!rest.empty() && rest.front() == u' ')
        rest.remove_prefix(1);
    *value = rest;
    return true;
}

}  // namespace

bool WinHttpWireHead(const WinHttpWireRequest& request, std::string* head) {
    std::vector<std::pair<View, View>> lines;
    const View block(request.headers);
    bool any = false;
    size_t at = 0;
    while (at < block.size()) {
        size_t end = block.find_first_of(u"\r\n", at);
        if (end == View::npos)
            end = block.size();
        const View line = block.substr(at, end - at);
        // A CR LF (or LF CR) pair ends one line; any other CR or LF ends a line of its own.
        at = end + 1;
        if (end + 1 < block.size() && block[end] != block[end + 1] &&
            (block[end + 1] == u'\r' || block[end + 1] == u'\n'))
            ++at;
        View name, value;
        if (ParseLine(line, &name, &value)) {
            lines.emplace_back(name, value);
            any = true;
        } else if (!any) {
            return false;
        }
    }
    auto given = [&lines](View name) {
        for (const auto& line : lines) {
            if (SameAsciiName(line.first, name))
                return true;
        }
        return false;
    };

    std::string out = request.verb + " " + request.path + " HTTP/1.1\r\n";
    for (const auto& [name, value] : lines) {
        out += codepage::FromWide(name, codepage::kUtf8);
        out += ": ";
        out += codepage::FromWide(value, codepage::kUtf8);
        out += "\r\n";
    }
    if (!given(u"Host"))
        out += "Host: " + request.host + "\r\n";
    const bool sized = request.verb == "POST" || request.verb == "PUT";
    if ((request.body_length > 0 || sized) && !given(u"Content-Length"))
        out += "Content-Length: " + std::to_string(request.body_length) + "\r\n";
    out += "\r\n";
    *head = std::move(out);
    return true;
}

std::string WinHttpWirePath(std::u16string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    const std::string bytes = codepage::FromWide(path, codepage::kUtf8);
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F ||
            std::string_view("\"<>[\\]^`{|}").find(ch) != std::string_view::npos) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string WinHttpAnswerBlock(std::string_view raw_block) {
    std::string out;
    out.reserve(raw_block.size() + 16);
    size_t at = 0;
    while (at < raw_block.size()) {
        size_t end = raw_block.find('\n', at);
        if (end == std::string_view::npos)
            end = raw_block.size();
        std::string_view line = raw_block.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        at = end + 1;
        if (line.empty())
            break;
        out += line;
        out += "\r\n";
    }
    out += "\r\n";
    return out;
}
