#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// A private-profile INI file: "[Section]" lines open sections, "Key=Value" lines hold values.
// Section and key names match without regard to ASCII letter case; values are kept exactly
// as written (up to the end of the line). Every write reaches the file at once (unless
// deferred, see setDeferred): the whole file is written beside the old one and renamed over
// it, created readable by the owner only because it holds passwords. Reads follow changes
// that another process made to the file since it was last read or written here.
class IniFile {
public:
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path &path() const { return m_path; }

    // The value of Key in Section, or def when the section or key is missing.
    std::string read(const std::string &section, const std::string &key,
                     const std::string &def = {}) const;
    // Sets Key in Section, adding the section at the end of the file and the key at the end
    // of the section when missing. Returns false when the file could not be written, also
    // when it is marked read-only.
    bool write(const std::string &section, const std::string &key, const std::string &value);
    // Section names in file order (a name repeated later in the file is listed once).
    std::vector<std::string> sections() const;
    // The key/value pairs of one section in file order.
    std::vector<std::pair<std::string, std::string>> pairs(const std::string &section) const;
    // Removes every section of that name with all its keys.
    bool eraseSection(const std::string &section);

    // Deferred: writes change the values at once but reach the file only at flush(), so that
    // a burst of writes costs one file write. While changes wait, reads do not follow the
    // file (a reload would drop them).
    void setDeferred(bool on) { m_deferred = on; }
    bool pending() const { return m_pending; }
    // Writes waiting changes; false when the file could not be written (they keep waiting).
    bool flush();

private:
    struct Line {
        std::string text;    // the line as stored (without line end)
        std::string section; // for a section header: its name; else empty
        std::string key;     // for a key line: its trimmed name; else empty
        std::string value;   // for a key line: everything after the '='
        bool isSection = false;
        bool isKey = false;
    };

    void reloadIfChanged() const;
    // The file now, or at the next flush when deferred.
    bool changed();
    bool save();
    // Index range [begin, end) of the first section named name (begin = its header line),
    // or {npos, npos}.
    std::pair<size_t, size_t> findSection(const std::string &name) const;

    std::filesystem::path m_path;
    mutable std::vector<Line> m_lines;
    mutable std::filesystem::file_time_type m_stamp{};
    mutable std::uintmax_t m_size = static_cast<std::uintmax_t>(-1);
    bool m_deferred = false;
    bool m_pending = false;
};

// ASCII case-insensitive comparison used for section and key names.
bool equalsNoCase(const std::string &a, const std::string &b);

} // namespace platform
