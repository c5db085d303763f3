// Writing a downloaded file so that nothing is lost: the bytes go to a new file beside the
// chosen one, which replaces the chosen file only once every byte has been written.
#pragma once

#include <functional>
#include <string>

#include "core/types.h"
#include "ui/handles.h"

// A file written beside the chosen one (`<path>.lanzifang-part`), made with the first bytes
// written to it. It replaces the chosen file only through Commit; in every other case (a
// failure, a cancel, an answer cut short) it is removed when its owner goes, and the chosen
// file stays as it was.
class PartialFile {
  public:
    // `path` is the chosen file (UTF-16, as the save dialog returned it).
    explicit PartialFile(std::wstring path);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Appends `size` bytes. False when the file cannot be made or written (a full disk); after
    // a failure every later call fails too.
    bool Write(const void* data, size_t size);
    size_t Size() const { return size_; }
    // Flushes and closes the file, asks `mayReplace` (when given) and replaces the chosen file
    // with it, writing through. False, with the partial file removed, when any step fails.
    bool Commit(const std::function<bool()>& mayReplace = {});

  private:
    bool Open();

    std::wstring path_;
    std::wstring partial_;
    ui::OwnedFile file_;
    bool made_ = false;  // the partial file exists and is ours to remove
    bool failed_ = false;
    size_t size_ = 0;
};

// Writes `bytes` to `path` (UTF-16, as the save dialog returned it). Returns false, leaving any
// existing file at `path` as it was and no partial file behind, when the file cannot be written
// completely, or when `mayReplace` (asked once every byte is written, just before the chosen
// file is replaced) says no.
bool WriteFileWhole(const std::wstring& path,
                    const Bytes& bytes,
                    const std::function<bool()>& mayReplace = {});
