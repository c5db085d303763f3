// Writing a downloaded file so that nothing is lost: the bytes go to a new file beside the
// chosen one, which replaces the chosen file only once every byte has been written.
#pragma once

#include <functional>
#include <string>

#include "core/types.h"

// Writes `bytes` to `path` (UTF-16, as the save dialog returned it). Returns false, leaving any
// existing file at `path` as it was and no partial file behind, when the file cannot be written
// completely, or when `mayReplace` (asked once every byte is written, just before the chosen
// file is replaced) says no.
bool WriteFileWhole(const std::wstring& path,
                    const Bytes& bytes,
                    const std::function<bool()>& mayReplace = {});
