#include "http/winhttp_session.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "core/codepage.h"
#include "core/log.h"
#include "core/text.h"
#include "http/answer.h"
#include "http/transfer.h"

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

namespace {

int StatusCode(HINTERNET request) {
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return static_cast<int>(code);
}

// The raw response header block; false when it cannot be read or is too large to be an answer.
bool RawHeaders(HINTERNET request, std::u16string& block) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0 || size / sizeof(char16_t) > kMaxAnswerHeaderBytes)
        return false;
    block.assign(size / sizeof(char16_t) + 1, u'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             block.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
        LogLastError("WinHttpQueryHeaders");
        return false;
    }
    block.resize(size / sizeof(char16_t));
    return true;
}

constexpr size_t kLargeRead = 1 << 20;

// Everything one exchange uses, shared by the caller and the thread of the transfer, so that
// a caller that stops waiting leaves nothing behind that the transfer still needs.
template <typename Buffer>
struct ExchangeState {
    WinHttpHandle session;  // declared first: closed last
    WinHttpHandle connection;
    WinHttpHandle request;
    std::string sendBody;
    bool head = false;
    size_t limit = 0;
    std::atomic<bool> givenUp{false};
    std::atomic<bool> answered{false};
    Exchange result = Exchange::kNoAnswer;
    WinHttpAnswer answer;
    Buffer body;
};

template <typename Buffer>
Exchange ReadBody(ExchangeState<Buffer>& x, const AnswerFraming& framing) {
    HINTERNET request = x.request.Get();
    Buffer& body = x.body;
    const long long announced = framing.chunked ? -1 : framing.length;
    for (;;) {
        if (x.givenUp)
            return Exchange::kTimedOutReading;
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            LogLastError("WinHttpQueryDataAvailable");
            return Exchange::kReadFailed;
        }
        if (available < 1)
            break;
        const size_t have = body.size();
        // With the length announced, more than what is buffered is asked for at once (a
        // megabyte at most): the transport then reads from the connection into our buffer in a
        // few large pieces. The buffer itself grows only with what arrives.
        size_t want = available;
        if (announced > 0 && static_cast<unsigned long long>(announced) > have)
            want = std::max(want, std::min(static_cast<size_t>(announced) - have, kLargeRead));
        if (have + want > x.limit) {
            want = x.limit - have + 1;  // one byte past the limit tells a body that is too large
        }
        if (have + want > body.capacity()) {
            // Powers of two: at most half of the body is copied once more.
            size_t capacity = 4096;
            while (capacity < have + want)
                capacity *= 2;
            body.reserve(std::min(capacity, x.limit + 1));
        }
        body.resize(have + want);
        DWORD read = 0;
        if (!WinHttpReadData(request, &body[have], static_cast<DWORD>(want), &read)) {
            LogLastError("WinHttpReadData");
            body.resize(have);
            return Exchange::kReadFailed;
        }
        body.resize(have + read);
        if (body.size() > x.limit)
            return Exchange::kTooLarge;
        if (read == 0)
            break;
    }
    if (announced >= 0 && body.size() != static_cast<unsigned long long>(announced))
        return Exchange::kReadFailed;
    if (framing.coding != ContentCoding::kIdentity) {
        Buffer decoded;
        const bool ok =
            DecodeContent(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()),
                          framing.coding, x.limit, decoded);
        Buffer().swap(body);
        if (!ok)
            return Exchange::kBadAnswer;
        body.swap(decoded);
    }
    return Exchange::kComplete;
}

template <typename Buffer>
void RunExchange(ExchangeState<Buffer>& x) {
    HINTERNET request = x.request.Get();
    const DWORD length = static_cast<DWORD>(x.sendBody.size());
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            length ? x.sendBody.data() : WINHTTP_NO_REQUEST_DATA, length, length,
                            0)) {
        LogLastError("WinHttpSendRequest");
        x.result = Exchange::kSendFailed;
        return;
    }
    if (!WinHttpReceiveResponse(request, nullptr)) {
        LogLastError("WinHttpReceiveResponse");
        x.result = Exchange::kNoAnswer;
        return;
    }
    x.answered = true;
    x.answer.status = StatusCode(request);
    AnswerFraming framing;
    if (!RawHeaders(request, x.answer.rawHeaders) ||
        !ReadAnswerFraming(codepage::FromWide(x.answer.rawHeaders, codepage::kGbk), &framing)) {
        x.result = Exchange::kBadAnswer;
        return;
    }
    if (!AnswerHasBody(framing.status, x.head)) {
        x.result = Exchange::kComplete;
        return;
    }
    x.result = ReadBody(x, framing);
}

template <typename Buffer>
Exchange Run(WinHttpHandle session,
             WinHttpHandle connection,
             WinHttpHandle request,
             std::string body,
             bool head,
             unsigned long long limit,
             DWORD deadline_ms,
             WinHttpAnswer* answer,
             Buffer& out) {
    std::shared_ptr<ExchangeState<Buffer>> x;
    try {
        x = std::make_shared<ExchangeState<Buffer>>();
    } catch (const std::bad_alloc&) {
        return Exchange::kTooLarge;
    }
    x->session = std::move(session);
    x->connection = std::move(connection);
    x->request = std::move(request);
    x->sendBody = std::move(body);
    x->head = head;
    x->limit = static_cast<size_t>(limit);
    const bool ended = RunTransfer(
        [x]() {
            try {
                RunExchange(*x);
            } catch (const std::bad_alloc&) {
                // No allocation on data from the network may end the program.
                Buffer().swap(x->body);
                x->result = Exchange::kTooLarge;
            }
        },
        deadline_ms, nullptr);
    if (!ended) {
        x->givenUp = true;
        return x->answered ? Exchange::kTimedOutReading : Exchange::kTimedOut;
    }
    if (answer)
        *answer = std::move(x->answer);
    if (x->result == Exchange::kComplete)
        out.swap(x->body);
    return x->result;
}

}  // namespace

Exchange ExchangeWinHttp(WinHttpHandle session,
                         WinHttpHandle connection,
                         WinHttpHandle request,
                         std::string body,
                         bool head,
                         unsigned long long limit,
                         DWORD deadline_ms,
                         WinHttpAnswer* answer,
                         Bytes& out) {
    return Run(std::move(session), std::move(connection), std::move(request), std::move(body), head,
               limit, deadline_ms, answer, out);
}

Exchange ExchangeWinHttp(WinHttpHandle session,
                         WinHttpHandle connection,
                         WinHttpHandle request,
                         std::string body,
                         bool head,
                         unsigned long long limit,
                         DWORD deadline_ms,
                         WinHttpAnswer* answer,
                         std::string& out) {
    return Run(std::move(session), std::move(connection), std::move(request), std::move(body), head,
               limit, deadline_ms, answer, out);
}
