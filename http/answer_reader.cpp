#include "http/answer_reader.h"

#include <algorithm>
#include <new>

#include "core/text.h"

namespace {

constexpr size_t kMaxChunkLine = 4096;
constexpr size_t kMaxTrailerBytes = 64 * 1024;

bool IsTokenChar(char c) {
    if (c <= 0x20 || c >= 0x7F)
        return false;
    return std::string_view("()<>@,;:\\\"/[]?={}").find(c) == std::string_view::npos;
}

std::string_view WithoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// Every line after the status line is "Name: value": nothing folded onto the line before it,
// no line without a colon, no blank line before the first header.
bool StrictHeaderLines(std::string_view head) {
    size_t at = head.find('\n');
    while (at != std::string_view::npos && at + 1 < head.size()) {
        const size_t start = at + 1;
        at = head.find('\n', start);
        const std::string_view line = WithoutCr(
            head.substr(start, (at == std::string_view::npos ? head.size() : at) - start));
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos)
            return false;
        for (size_t i = 0; i < colon; ++i) {
            if (!IsTokenChar(line[i]))
                return false;
        }
    }
    return true;
}

// A chunk size line: hexadecimal digits, then nothing or blanks and extensions after ";".
bool ChunkSize(std::string_view line, unsigned long long* size) {
    line = WithoutCr(line);
    size_t i = 0;
    unsigned long long n = 0;
    for (; i < line.size() && i < 16; ++i) {
        const char c = line[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        n = n * 16 + static_cast<unsigned>(digit);
    }
    if (i == 0 || i >= 16)
        return false;  // no digits, or more than a body could ever be
    const std::string_view rest = line.substr(i);
    const size_t text = rest.find_first_not_of(" \t");
    if (text != std::string_view::npos && rest[text] != ';')
        return false;
    *size = n;
    return true;
}

}  // namespace

AnswerReader::State AnswerReader::Break() {
    state_ = State::kBroken;
    Bytes().swap(body_);
    std::string().swap(buffer_);
    return state_;
}

bool AnswerReader::Append(std::string_view data) {
    if (data.size() > limit_ - received_) {
        Break();
        return false;
    }
    received_ += data.size();
    if (sinking_) {
        if (!data.empty() && !sink_(data)) {
            Break();
            return false;
        }
        return true;
    }
    try {
        const size_t need = body_.size() + data.size();
        if (need > body_.capacity()) {
            // Powers of two as the body arrives, never past the limit nor past the length the
            // answer announced: the last step copies at most half the body, and a body near
            // either bound does not ask for twice as much.
            size_t capacity = 4096;
            while (capacity < need)
                capacity *= 2;
            size_t ceiling = limit_;
            if (stage_ == Stage::kLength)
                ceiling =
                    static_cast<size_t>(std::min<unsigned long long>(ceiling, framing_.length));
            body_.reserve(std::max(need, std::min(capacity, ceiling)));
        }
        body_.insert(body_.end(), data.begin(), data.end());
    } catch (const std::bad_alloc&) {
        Break();
        return false;
    }
    return true;
}

bool AnswerReader::TakeHead(size_t end) {
    const std::string_view head(buffer_.data(), end);
    if (!StrictHeaderLines(head) || !ReadAnswerFraming(head, &framing_))
        return false;
    headerBlock_.assign(head);
    return true;
}

AnswerReader::State AnswerReader::Feed(std::string_view data) {
    std::string carry;  // what followed a header block in the same bytes
    while (state_ == State::kReading && !data.empty()) {
        switch (stage_) {
            case Stage::kHead: {
                const size_t from = buffer_.size() >= 2 ? buffer_.size() - 2 : 0;
                buffer_.append(data);
                data = {};
                const size_t crlf = buffer_.find("\n\r\n", from);
                const size_t lf = buffer_.find("\n\n", from);
                size_t end = std::string::npos, next = 0;
                if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
                    end = crlf + 1;
                    next = crlf + 3;
                } else if (lf != std::string::npos) {
                    end = lf + 1;
                    next = lf + 2;
                }
                if (end == std::string::npos) {
                    if (buffer_.size() > kMaxAnswerHeaderBytes)
                        return Break();
                    break;
                }
                if (end > kMaxAnswerHeaderBytes || !TakeHead(end))
                    return Break();
                carry = buffer_.substr(next);
                buffer_.clear();
                data = carry;
                const int status = framing_.status;
                if (status >= 100 && status < 200) {
                    if (status == 101)
                        return Break();  // nothing here switches protocols
                    headerBlock_.clear();
                    break;  // an interim answer: the real one follows
                }
                sinking_ = sink_ && status >= 200 && status < 300 &&
                           framing_.coding == ContentCoding::kIdentity &&
                           AnswerHasBody(status, head_);
                if (!AnswerHasBody(status, head_)) {
                    state_ = State::kComplete;
                } else if (framing_.chunked) {
                    stage_ = Stage::kChunkSize;
                } else if (framing_.length >= 0) {
                    if (static_cast<unsigned long long>(framing_.length) > limit_)
                        return Break();
                    left_ = static_cast<unsigned long long>(framing_.length);
                    stage_ = Stage::kLength;
                    if (left_ == 0)
                        state_ = State::kComplete;
                } else {
                    stage_ = Stage::kToClose;
                }
                break;
            }
            case Stage::kLength:
            case Stage::kChunkData: {
                const size_t take =
                    static_cast<size_t>(std::min<unsigned long long>(left_, data.size()));
                if (!Append(data.substr(0, take)))
                    return state_;
                data.remove_prefix(take);
                left_ -= take;
                if (left_ == 0) {
                    if (stage_ == Stage::kLength)
                        state_ = State::kComplete;
                    else
                        stage_ = Stage::kChunkEnd;
                }
                break;
            }
            case Stage::kToClose:
                if (!Append(data))
                    return state_;
                data = {};
                break;
            case Stage::kChunkSize:
            case Stage::kChunkEnd:
            case Stage::kTrailers: {
                const size_t nl = data.find('\n');
                const size_t take = nl == std::string_view::npos ? data.size() : nl + 1;
                buffer_.append(data.substr(0, take));
                data.remove_prefix(take);
                const size_t cap = stage_ == Stage::kChunkEnd ? 2 : kMaxChunkLine;
                if (buffer_.size() > cap)
                    return Break();
                if (nl == std::string_view::npos)
                    break;
                const std::string_view line =
                    WithoutCr(std::string_view(buffer_).substr(0, buffer_.size() - 1));
                if (stage_ == Stage::kChunkEnd) {
                    if (!line.empty())
                        return Break();  // the chunk was longer than its size said
                    stage_ = Stage::kChunkSize;
                } else if (stage_ == Stage::kChunkSize) {
                    unsigned long long size = 0;
                    if (!ChunkSize(line, &size) || size > limit_ - received_)
                        return Break();
                    left_ = size;
                    stage_ = size == 0 ? Stage::kTrailers : Stage::kChunkData;
                } else if (line.empty()) {
                    state_ = State::kComplete;  // the blank line after the trailers
                } else {
                    trailerBytes_ += buffer_.size();
                    if (trailerBytes_ > kMaxTrailerBytes)
                        return Break();
                }
                buffer_.clear();
                break;
            }
        }
    }
    if (state_ == State::kComplete && !data.empty())
        overrun_ = true;
    return state_;
}

bool AnswerReader::LeavesConnectionOpen() const {
    if (state_ != State::kComplete || overrun_ || stage_ == Stage::kToClose)
        return false;
    const std::string connection = AnswerHeaderValue(headerBlock_, "Connection");
    if (HeaderListHas(connection, "close"))
        return false;
    return StartsWith(headerBlock_, "HTTP/1.1 ") || HeaderListHas(connection, "keep-alive");
}

AnswerReader::State AnswerReader::Close() {
    if (state_ != State::kReading)
        return state_;
    if (stage_ != Stage::kToClose)
        return Break();
    state_ = State::kComplete;
    return state_;
}
