#include "http/answer.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "core/text.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// "HTTP/d.d NNN" at the start of the line, the code then followed by nothing or a blank.
int StatusOfLine(std::string_view line) {
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || !IsDigit(line[5]) || line[6] != '.' ||
        !IsDigit(line[7]) || line[8] != ' ' || !IsDigit(line[9]) || !IsDigit(line[10]) ||
        !IsDigit(line[11]))
        return 0;
    if (line.size() > 12 && line[12] != ' ')
        return 0;
    return (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
}

// A Content-Length value: decimal digits only, at most 18 of them.
long long LengthOf(std::string_view value) {
    if (value.empty() || value.size() > 18)
        return -1;
    long long n = 0;
    for (char c : value) {
        if (!IsDigit(c))
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool CodingOf(std::string_view value, ContentCoding* coding) {
    if (value.empty() || SameAsciiName(value, "identity"))
        return true;
    if (*coding != ContentCoding::kIdentity)
        return false;  // two codings on top of each other: we undo at most one
    if (SameAsciiName(value, "gzip") || SameAsciiName(value, "x-gzip"))
        *coding = ContentCoding::kGzip;
    else if (SameAsciiName(value, "deflate"))
        *coding = ContentCoding::kDeflate;
    else
        return false;
    return true;
}

}  // namespace

bool ReadAnswerFraming(std::string_view block, AnswerFraming* framing) {
    *framing = AnswerFraming();
    if (block.size() > kMaxAnswerHeaderBytes)
        return false;
    size_t at = 0;
    bool first = true;
    bool transferEncoding = false;
    while (at < block.size()) {
        size_t end = block.find('\n', at);
        if (end == std::string_view::npos)
            end = block.size();
        std::string_view line = block.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            first = false;
            framing->status = StatusOfLine(line);
            if (framing->status == 0)
                return false;
            continue;
        }
        if (line.empty())
            break;  // the end of the block
        if (++framing->lines > kMaxAnswerHeaderLines)
            return false;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;  // the transport skipped it too; it says nothing about the framing
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (SameAsciiName(name, "Transfer-Encoding")) {
            // Exactly one "chunked": a list ("chunked, chunked", "gzip, chunked") or any other
            // coding is framing the transport does not undo as it should.
            if (transferEncoding || !SameAsciiName(value, "chunked"))
                return false;
            transferEncoding = true;
            framing->chunked = true;
        } else if (SameAsciiName(name, "Content-Length")) {
            const long long length = LengthOf(value);
            if (length < 0 || (framing->length >= 0 && framing->length != length))
                return false;
            framing->length = length;
        } else if (SameAsciiName(name, "Content-Encoding")) {
            // A list names codings applied in turn; each is read on its own.
            size_t from = 0;
            for (;;) {
                const size_t comma = value.find(',', from);
                if (!CodingOf(Trim(value.substr(from, comma - from)), &framing->coding))
                    return false;
                if (comma == std::string_view::npos)
                    break;
                from = comma + 1;
            }
        }
    }
    if (first)
        return false;  // no status line at all
    // Both at once is how requests are smuggled past a proxy; no server needs it.
    return !(framing->chunked && framing->length >= 0);
}

bool AnswerHasBody(int status, bool head_request) {
    return !head_request && status >= 200 && status != 204 && status != 304;
}

std::string AnswerHeaderValue(std::string_view block, std::string_view name) {
    size_t at = block.find('\n');
    while (at != std::string_view::npos) {
        const size_t start = at + 1;
        at = block.find('\n', start);
        std::string_view line =
            block.substr(start, (at == std::string_view::npos ? block.size() : at) - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && SameAsciiName(line.substr(0, colon), name))
            return std::string(Trim(line.substr(colon + 1)));
    }
    return std::string();
}

bool HeaderListHas(std::string_view value, std::string_view token) {
    for (size_t at = 0; at <= value.size();) {
        size_t end = value.find(',', at);
        if (end == std::string_view::npos)
            end = value.size();
        if (SameAsciiName(Trim(value.substr(at, end - at)), token))
            return true;
        at = end + 1;
    }
    return false;
}

namespace {

// A zlib header: compression method 8 and a check value that divides by 31.
bool StartsLikeZlib(std::string_view body) {
    if (body.size() < 2)
        return false;
    const unsigned cmf = static_cast<unsigned char>(body[0]);
    const unsigned flg = static_cast<unsigned char>(body[1]);
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
}

// Inflates with the wrapper that window_bits names (15 + 16 gzip, 15 zlib, -15 none).
template <typename Buffer>
bool Inflate(std::string_view body, int windowBits, size_t limit, Buffer& out) {
    out.clear();
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK)
        return false;
    auto fail = [&]() {
        inflateEnd(&z);
        Buffer().swap(out);
        return false;
    };
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    constexpr size_t kStep = 64 * 1024;
    for (;;) {
        const size_t have = out.size();
        const size_t step = std::min(kStep, limit - have);
        if (step == 0) {
            // At the bound: only an end of stream may follow, no further output.
            unsigned char probe;
            z.next_out = &probe;
            z.avail_out = 1;
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (z.avail_out == 0)
                return fail();  // one byte more than the bound: a bomb
            if (rc == Z_OK)
                continue;  // input consumed without output (a trailer, a block header)
            if (rc != Z_STREAM_END)
                return fail();
        } else {
            try {
                out.resize(have + step);
            } catch (const std::bad_alloc&) {
                return fail();
            }
            z.next_out = reinterpret_cast<Bytef*>(&out[have]);
            z.avail_out = static_cast<uInt>(step);
            const int rc = inflate(&z, Z_NO_FLUSH);
            out.resize(have + (step - z.avail_out));
            if (rc == Z_OK)
                continue;
            if (rc != Z_STREAM_END)
                return fail();  // corrupt, or cut short (Z_BUF_ERROR: no more input)
        }
        // One stream ended. Gzip allows further members; anything else after it is garbage.
        if (z.avail_in == 0)
            break;
        if (windowBits != 15 + 16 || inflateReset(&z) != Z_OK)
            return fail();
    }
    inflateEnd(&z);
    return true;
}

template <typename Buffer>
bool Decode(std::string_view body, ContentCoding coding, size_t limit, Buffer& out) {
    switch (coding) {
        case ContentCoding::kIdentity:
            if (body.size() > limit) {
                Buffer().swap(out);
                return false;
            }
            out.assign(body.begin(), body.end());
            return true;
        case ContentCoding::kGzip:
            return Inflate(body, 15 + 16, limit, out);
        case ContentCoding::kDeflate:
            // "deflate" means a zlib stream, but servers also send bare deflate data.
            return (StartsLikeZlib(body) && Inflate(body, 15, limit, out)) ||
                   Inflate(body, -15, limit, out);
    }
    return false;
}

}  // namespace

bool DecodeContent(std::string_view body, ContentCoding coding, size_t limit, Bytes& out) {
    return Decode(body, coding, limit, out);
}

bool DecodeContent(std::string_view body, ContentCoding coding, size_t limit, std::string& out) {
    return Decode(body, coding, limit, out);
}
