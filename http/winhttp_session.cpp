#include "http/winhttp_session.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/codepage.h"
#include "core/text.h"
#include "http/request_text.h"

void LogWinHttpFailure(const char* call) {
    char line[160];
    std::snprintf(line, sizeof line, "lanzifang: %s failed: %lu\n", call,
                  static_cast<unsigned long>(GetLastError()));
    OutputDebugStringA(line);
}

namespace {

// A header of the received response as text; empty when absent.
Text QueryHeaderText(HINTERNET request, DWORD level) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return Text();
    std::u16string value(size / sizeof(char16_t) + 1, u'\0');
    if (!WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return Text();
    value.resize(size / sizeof(char16_t));
    return codepage::FromWide(value, codepage::kGbk);
}

}  // namespace

bool CrackRequestUrl(const Text& url, RequestTarget* target) {
    const std::u16string wide = codepage::ToWide(url, codepage::kGbk);
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (wide.empty() ||
        !WinHttpCrackUrl(reinterpret_cast<const wchar_t*>(wide.c_str()),
                         static_cast<DWORD>(wide.size()), 0, &parts) ||
        parts.dwHostNameLength == 0)
        return false;
    auto piece = [](const wchar_t* start, DWORD length) {
        return std::u16string(reinterpret_cast<const char16_t*>(start), length);
    };
    target->host = piece(parts.lpszHostName, parts.dwHostNameLength);
    target->port = parts.nPort;
    target->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    target->path = parts.dwUrlPathLength < 1 ? std::u16string(u"/")
                                             : piece(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.dwExtraInfoLength > 0) {
        // The fragment stays with the client.
        std::u16string extra = piece(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        target->path += extra.substr(0, extra.find(u'#'));
    }
    return true;
}

int WinHttpStatusCode(HINTERNET request) {
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return static_cast<int>(code);
}

namespace {

constexpr size_t kLargeRead = 1 << 20;

// Makes room for `need` bytes: the next power of two, but never more than `limit`.
template <typename Buffer>
void Grow(Buffer& body, size_t need, size_t limit) {
    if (need <= body.capacity())
        return;
    size_t capacity = 4096;
    while (capacity < need)
        capacity *= 2;
    body.reserve(std::min(capacity, std::max(limit, need)));
}

template <typename Buffer>
BodyRead ReadBody(HINTERNET request, Buffer& body, unsigned long long limit, bool expect_body) {
    body.clear();
    const int status = WinHttpStatusCode(request);
    // Responses that never carry a body, whatever their Content-Length says.
    if (status == 204 || status == 304 || (status >= 100 && status < 200))
        expect_body = false;
    long long announced = -1;
    if (expect_body) {
        const bool chunked =
            FindText(AsciiLower(QueryHeaderText(request, WINHTTP_QUERY_TRANSFER_ENCODING)),
                     "chunked") > 0;
        if (!chunked)
            announced = ParseContentLength(QueryHeaderText(request, WINHTTP_QUERY_CONTENT_LENGTH));
    }
    if (announced > 0 && static_cast<unsigned long long>(announced) > limit)
        return BodyRead::kTooLarge;
    if (announced > 0)
        body.reserve(static_cast<size_t>(announced));

    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            LogWinHttpFailure("WinHttpQueryDataAvailable");
            return BodyRead::kFailed;
        }
        if (available < 1)
            break;
        const size_t have = body.size();
        // With the length announced, the rest is asked for at once (a megabyte at most): the
        // transport then reads from the connection into our buffer in a few large pieces
        // instead of handing on its own small buffer's worth at each call.
        size_t want = available;
        if (announced > 0 && static_cast<unsigned long long>(announced) > have)
            want = std::max(want, std::min(static_cast<size_t>(announced) - have, kLargeRead));
        if (have + want > limit)
            return BodyRead::kTooLarge;
        Grow(body, have + want, static_cast<size_t>(limit));
        body.resize(have + want);
        DWORD read = 0;
        if (!WinHttpReadData(request, &body[have], static_cast<DWORD>(want), &read)) {
            LogWinHttpFailure("WinHttpReadData");
            body.resize(have);
            return BodyRead::kFailed;
        }
        body.resize(have + read);
        if (read == 0)
            break;
    }
    if (announced >= 0 && body.size() != static_cast<unsigned long long>(announced))
        return BodyRead::kFailed;
    return BodyRead::kComplete;
}

}  // namespace

BodyRead ReadWinHttpBody(HINTERNET request,
                         Bytes& body,
                         unsigned long long limit,
                         bool expect_body) {
    return ReadBody(request, body, limit, expect_body);
}

BodyRead ReadWinHttpBody(HINTERNET request,
                         std::string& body,
                         unsigned long long limit,
                         bool expect_body) {
    return ReadBody(request, body, limit, expect_body);
}
