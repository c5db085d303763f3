// Writing a downloaded file so that nothing is lost: the bytes go to a new file beside the
// chosen one, which replaces the chosen file only once every byte has been written.
#pragma once

#include "core/types.h"

// Writes `bytes` to `path` (GBK). Returns false, leaving any existing file at `path` as it
// was and no partial file behind, when the file cannot be written completely.
bool WriteFileWhole(const Text& path, const Bytes& bytes);
