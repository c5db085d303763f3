#include "server/faults.h"

#include "server/text_util.h"

namespace lzf::server {

bool Fault::Matches(const std::string& request_path) const {
    if (path == "*" || path.empty())
        return true;
    if (path.back() == '*')
        return request_path.compare(0, path.size() - 1, path, 0, path.size() - 1) == 0;
    return request_path == path;
}

namespace {

bool ReadInt(const std::string& key,
             const std::string& value,
             long long min,
             long long max,
             long long* out,
             std::string* error) {
    auto v = ParseInteger(value);
    if (!v || *v < min || *v > max) {
        *error = "bad value for " + key + ": " + value;
        return false;
    }
    *out = *v;
    return true;
}

bool ReadBool(const std::string& key, const std::string& value, bool* out, std::string* error) {
    std::string v = Lower(value);
    if (v == "1" || v == "true" || v == "yes" || v.empty()) {
        *out = true;
    } else if (v == "0" || v == "false" || v == "no") {
        *out = false;
    } else {
        *error = "bad value for " + key + ": " + value;
        return false;
    }
    return true;
}

}  // namespace

bool ParseFault(const std::vector<std::pair<std::string, std::string>>& items,
                Fault* f,
                std::vector<std::pair<std::string, std::string>>* rest,
                bool* any_fault_key,
                std::string* error) {
    *any_fault_key = false;
    for (const auto& [key, value] : items) {
        long long n = 0;
        bool known = true;
        bool ok = true;
        if (key == "path") {
            f->path = value.empty() ? "*" : value;
        } else if (key == "times") {
            ok = ReadInt(key, value, 1, 1 << 30, &n, error);
            f->times = static_cast<int>(n);
        } else if (key == "delay_ms") {
            ok = ReadInt(key, value, 0, 600000, &n, error);
            f->delay_ms = static_cast<int>(n);
        } else if (key == "status") {
            ok = ReadInt(key, value, 100, 999, &n, error);
            f->status = static_cast<int>(n);
        } else if (key == "reason") {
            f->reason = value;
        } else if (key == "body") {
            f->body = value;
        } else if (key == "content_type") {
            f->content_type = value;
        } else if (key == "header") {
            if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos) {
                // A header line may not smuggle further lines; use several header= keys.
                *error = "header values may not contain line breaks";
                ok = false;
            }
            f->headers.push_back(value);
        } else if (key == "redirect") {
            f->redirect = value;
        } else if (key == "redirect_loop") {
            ok = ReadBool(key, value, &f->redirect_loop, error);
        } else if (key == "huge_mib") {
            ok = ReadInt(key, value, 0, 1 << 20, &n, error);
            f->huge_bytes = n * 1024 * 1024;
        } else if (key == "huge_bytes") {
            ok = ReadInt(key, value, 0, 1LL << 40, &n, error);
            f->huge_bytes = n;
        } else if (key == "file") {
            f->file = value;
        } else if (key == "gzip") {
            ok = ReadBool(key, value, &f->gzip, error);
        } else if (key == "deflate") {
            f->deflate = Lower(value);
            if (f->deflate != "zlib" && f->deflate != "raw") {
                *error = "deflate is zlib or raw";
                ok = false;
            }
        } else if (key == "gzip_zeros_mib") {
            ok = ReadInt(key, value, 0, 4096, &n, error);
            f->gzip_zeros = n * 1024 * 1024;
        } else if (key == "header_lines") {
            ok = ReadInt(key, value, 1, 1 << 20, &n, error);
            f->header_lines = static_cast<int>(n);
        } else if (key == "header_line_bytes") {
            ok = ReadInt(key, value, 1, 64 << 20, &n, error);
            f->header_line_bytes = n;
        } else if (key == "raw") {
            f->raw = value;
        } else if (key == "reset_after") {
            ok = ReadInt(key, value, 0, 1LL << 40, &n, error);
            f->reset_after = n;
        } else if (key == "meta_charset") {
            f->meta_charset = value;
        } else if (key == "meta_offset") {
            ok = ReadInt(key, value, 0, 1 << 24, &n, error);
            f->meta_offset = static_cast<int>(n);
        } else if (key == "encode") {
            ok = ReadBool(key, value, &f->encode, error);
        } else if (key == "no_digit_options") {
            ok = ReadBool(key, value, &f->no_digit_options, error);
        } else if (key == "mixed_options") {
            ok = ReadBool(key, value, &f->mixed_options, error);
        } else if (key == "drip_bytes") {
            ok = ReadInt(key, value, 1, 1 << 24, &n, error);
            f->drip_bytes = static_cast<int>(n);
        } else if (key == "drip_ms") {
            ok = ReadInt(key, value, 0, 60000, &n, error);
            f->drip_ms = static_cast<int>(n);
        } else if (key == "close_after") {
            ok = ReadInt(key, value, 0, 1LL << 40, &n, error);
            f->close_after = n;
        } else if (key == "content_length") {
            if (Lower(value) == "none") {
                f->no_content_length = true;
            } else {
                ok = ReadInt(key, value, 0, 1LL << 40, &n, error);
                f->content_length = n;
            }
        } else if (key == "chunked") {
            ok = ReadBool(key, value, &f->chunked, error);
        } else if (key == "keep_alive") {
            ok = ReadBool(key, value, &f->keep_alive, error);
        } else {
            known = false;
            rest->emplace_back(key, value);
        }
        if (!ok)
            return false;
        if (known && key != "path")
            *any_fault_key = true;
    }
    if (f->drip_ms > 0 && f->drip_bytes == 0)
        f->drip_bytes = 1;
    return true;
}

void FaultTable::Add(const Fault& fault) {
    std::lock_guard lock(mutex_);
    std::erase_if(rules_, [&](const Fault& r) { return r.path == fault.path; });
    rules_.push_back(fault);
}

void FaultTable::Clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

std::optional<Fault> FaultTable::Take(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (size_t i = rules_.size(); i-- > 0;) {
        if (!rules_[i].Matches(path))
            continue;
        Fault f = rules_[i];
        if (rules_[i].times > 0 && --rules_[i].times == 0)
            rules_.erase(rules_.begin() + static_cast<long>(i));
        return f;
    }
    return std::nullopt;
}

}  // namespace lzf::server
