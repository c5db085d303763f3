#include "server/request_log.h"

namespace lzf::server {

namespace {
// The log in memory is bounded; the oldest entries go first.
constexpr size_t kMaxLogBytes = 64u << 20;
constexpr size_t kMaxEntryBodyBytes = 8u << 20;
}  // namespace

RequestLog::~RequestLog() {
    if (file_)
        std::fclose(file_);
}

bool RequestLog::OpenFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_)
        std::fclose(file_);
    file_ = std::fopen(path.c_str(), "ab");
    return file_ != nullptr;
}

void RequestLog::Add(long long connection, const std::string& raw, bool tls, int error_status) {
    std::lock_guard lock(mutex_);
    const std::string& kept =
        raw.size() > kMaxEntryBodyBytes ? raw.substr(0, kMaxEntryBodyBytes) : raw;
    std::string entry = "=== lzf-request seq=" + std::to_string(++sequence_) +
                        " conn=" + std::to_string(connection) +
                        " bytes=" + std::to_string(kept.size());
    if (kept.size() != raw.size())
        entry += " truncated=" + std::to_string(raw.size());
    if (tls)
        entry += " tls=1";
    if (error_status)
        entry += " error=" + std::to_string(error_status);
    entry += " ===\n";
    entry += kept;
    entry += '\n';
    if (file_) {
        std::fwrite(entry.data(), 1, entry.size(), file_);
        std::fflush(file_);
    }
    bytes_ += entry.size();
    entries_.push_back(std::move(entry));
    while (bytes_ > kMaxLogBytes && entries_.size() > 1) {
        bytes_ -= entries_.front().size();
        entries_.pop_front();
    }
}

std::string RequestLog::Text() {
    std::lock_guard lock(mutex_);
    std::string out;
    out.reserve(bytes_);
    for (const auto& e : entries_)
        out += e;
    return out;
}

void RequestLog::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    bytes_ = 0;
}

}  // namespace lzf::server
