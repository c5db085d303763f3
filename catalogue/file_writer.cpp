#include "catalogue/file_writer.h"

#include <windows.h>

#include <algorithm>
#include <utility>

PartialFile::PartialFile(std::wstring path)
    : path_(std::move(path)), partial_(path_ + L".lanzifang-part") {}

PartialFile::~PartialFile() {
    file_.Reset();
    if (made_)
        DeleteFileW(partial_.c_str());
}

bool PartialFile::Open() {
    if (made_)
        return true;
    if (path_.empty())
        return false;
    file_.Reset(CreateFileW(partial_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    made_ = static_cast<bool>(file_);
    return made_;
}

bool PartialFile::Write(const void* data, size_t size) {
    failed_ = failed_ || !Open();
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (!failed_ && done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 24));
        DWORD written = 0;
        failed_ =
            !WriteFile(file_.Get(), bytes + done, chunk, &written, nullptr) || written != chunk;
        done += written;
    }
    size_ += done;
    return !failed_;
}

bool PartialFile::Commit(const std::function<bool()>& mayReplace) {
    bool ok = !failed_ && Open() && FlushFileBuffers(file_.Get());
    ok = file_.Close() && ok;  // the file's last bytes may fail only here
    if (ok && mayReplace)
        ok = mayReplace();
    if (ok)
        ok = MoveFileExW(partial_.c_str(), path_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (ok)
        made_ = false;  // it is the chosen file now
    failed_ = !ok;
    return ok;
}

bool WriteFileWhole(const std::wstring& path,
                    const Bytes& bytes,
                    const std::function<bool()>& mayReplace) {
    PartialFile file(path);
    return file.Write(bytes.data(), bytes.size()) && file.Commit(mayReplace);
}
