#include "catalogue/file_writer.h"

#include <windows.h>

#include <algorithm>

#include "ui/handles.h"

bool WriteFileWhole(const std::wstring& path,
                    const Bytes& bytes,
                    const std::function<bool()>& mayReplace) {
    if (path.empty())
        return false;
    std::wstring partial = path + L".lanzifang-part";
    ui::OwnedFile file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        ok = WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) &&
             written == chunk;
        done += written;
    }
    ok = ok && FlushFileBuffers(file.Get());
    ok = file.Close() && ok;  // the file's last bytes may fail only here
    if (ok && mayReplace)
        ok = mayReplace();
    if (ok)
        ok = MoveFileExW(partial.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        DeleteFileW(partial.c_str());
    return ok;
}
