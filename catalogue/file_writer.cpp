#include "catalogue/file_writer.h"

#include <windows.h>

#include "core/codepage.h"

namespace {

using codepage::Wide;

}  // namespace

bool WriteFileWhole(const Text& path, const Bytes& bytes) {
    if (path.empty())
        return false;
    std::wstring target = Wide(path);
    std::wstring partial = target + L".lanzifang-part";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (ok)
        ok = MoveFileExW(partial.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        DeleteFileW(partial.c_str());
    return ok;
}
