// The fonts the service offers: files found in font folders, numbered from 101 in the order of
// their paths, plus optional generated entries that borrow those files.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lzf::server {

struct FontEntry {
    int id = 0;
    std::string path;  // the file served and rendered
    std::string name;  // display name, UTF-8; raw HTML when it came from --names
    bool name_is_html = false;
    bool can_download = true;
    bool synthetic = false;
};

class Catalogue {
  public:
    static constexpr int kFirstId = 101;

    // Lists font files (.ttf, .otf, .ttc) below the folders, or takes file paths as they are.
    void Scan(const std::vector<std::string>& folders);
    void AddSynthetic(int count);
    // "id<TAB>name" lines (UTF-8); the names are used as raw HTML.
    bool LoadNames(const std::string& file, std::string* error);

    // Reads the display names from the fonts' name tables (call once, may run in a thread).
    void ReadNames();

    // Every entry with its name (waits for ReadNames to finish).
    std::vector<FontEntry> Entries();
    std::optional<FontEntry> Find(int id);
    size_t RealCount() const { return real_count_; }

    // Changes made at run time (control endpoint); Reset() undoes them.
    void SetName(int id, const std::string& html_name);
    void SetCanDownload(int id, bool can);
    void Reset();

  private:
    void WaitForNames(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable names_ready_;
    bool names_done_ = false;
    std::vector<FontEntry> entries_;
    size_t real_count_ = 0;
    std::map<int, std::string> file_names_;     // from --names
    std::map<int, std::string> runtime_names_;  // from the control endpoint
    std::map<int, bool> runtime_download_;
};

// The display name of a font file: a Chinese family name when the font has one that GBK can
// hold, else the full English name; only ASCII when neither fits GBK. Empty when unreadable.
std::string ReadFontName(const std::string& path);

}  // namespace lzf::server
