#include "platform/inifile.h"

#include "platform/privatefile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

// A value can not hold a line break: the rest of it would become a line of its own.
std::string oneLine(const std::string &s) {
    return s.substr(0, s.find_first_of("\r\n"));
}

constexpr size_t npos = static_cast<size_t>(-1);

} // namespace

bool equalsNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

IniFile::IniFile(std::filesystem::path path) : m_path(std::move(path)) {
    reloadIfChanged();
}

void IniFile::reloadIfChanged() const {
    if (m_pending) return;
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_path, ec);
    if (ec) {
        m_lines.clear();
        m_size = static_cast<std::uintmax_t>(-1);
        return;
    }
    const auto stamp = std::filesystem::last_write_time(m_path, ec);
    if (!ec && stamp == m_stamp && size == m_size) return;
    m_stamp = stamp;
    m_size = size;
    m_lines.clear();
    std::ifstream in(m_path, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        Line line;
        line.text = text;
        const std::string t = trim(text);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.find(']');
            line.isSection = true;
            line.section = trim(t.substr(1, close == std::string::npos ? npos : close - 1));
        } else if (const size_t eq = text.find('=');
                   eq != std::string::npos && !t.empty() && t.front() != ';') {
            line.isKey = true;
            line.key = trim(text.substr(0, eq));
            line.value = text.substr(eq + 1);
        }
        m_lines.push_back(std::move(line));
    }
}

std::pair<size_t, size_t> IniFile::findSection(const std::string &name) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].isSection || !equalsNoCase(m_lines[i].section, name)) continue;
        size_t end = i + 1;
        while (end < m_lines.size() && !m_lines[end].isSection)
            ++end;
        return {i, end};
    }
    return {npos, npos};
}

std::string IniFile::read(const std::string &section, const std::string &key,
                          const std::string &def) const {
    reloadIfChanged();
    const auto [begin, end] = findSection(section);
    if (begin == npos) return def;
    for (size_t i = begin + 1; i < end; ++i)
        if (m_lines[i].isKey && equalsNoCase(m_lines[i].key, key)) return m_lines[i].value;
    return def;
}

bool IniFile::write(const std::string &section, const std::string &key, const std::string &value) {
    reloadIfChanged();
    Line line;
    line.isKey = true;
    line.key = trim(oneLine(key));
    line.value = oneLine(value);
    line.text = line.key + "=" + line.value;
    auto [begin, end] = findSection(section);
    if (begin == npos) {
        Line header;
        header.isSection = true;
        header.section = trim(oneLine(section));
        header.text = "[" + header.section + "]";
        m_lines.push_back(std::move(header));
        m_lines.push_back(std::move(line));
        return changed();
    }
    for (size_t i = begin + 1; i < end; ++i) {
        if (m_lines[i].isKey && equalsNoCase(m_lines[i].key, key)) {
            line.key = m_lines[i].key; // keep the spelling already in the file
            line.text = line.key + "=" + line.value;
            m_lines[i] = std::move(line);
            return changed();
        }
    }
    // New key: after the section's last non-blank line, so that a blank separator stays.
    size_t at = end;
    while (at > begin + 1 && trim(m_lines[at - 1].text).empty())
        --at;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    return changed();
}

std::vector<std::string> IniFile::sections() const {
    reloadIfChanged();
    std::vector<std::string> names;
    for (const Line &l : m_lines) {
        if (!l.isSection) continue;
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string &n) { return equalsNoCase(n, l.section); }))
            names.push_back(l.section);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> IniFile::pairs(const std::string &section) const {
    reloadIfChanged();
    std::vector<std::pair<std::string, std::string>> result;
    const auto [begin, end] = findSection(section);
    if (begin == npos) return result;
    for (size_t i = begin + 1; i < end; ++i)
        if (m_lines[i].isKey) result.emplace_back(m_lines[i].key, m_lines[i].value);
    return result;
}

bool IniFile::eraseSection(const std::string &section) {
    reloadIfChanged();
    bool erased = false;
    for (auto range = findSection(section); range.first != npos; range = findSection(section)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(range.first),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(range.second));
        erased = true;
    }
    return !erased || changed();
}

bool IniFile::changed() {
    if (!m_deferred) return save();
    m_pending = true;
    return true;
}

bool IniFile::flush() {
    if (!m_pending) return true;
    if (!save()) return false;
    m_pending = false;
    return true;
}

bool IniFile::save() {
    std::string data;
    for (const Line &l : m_lines) {
        data += l.text;
        data += "\n";
    }
    std::error_code ec;
    // A file marked read-only keeps its contents, although renaming over it would succeed.
    const auto perms = std::filesystem::status(m_path, ec).permissions();
    if (!ec && perms != std::filesystem::perms::unknown &&
        (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
        return false;
    ec.clear();
    if (m_path.has_parent_path()) std::filesystem::create_directories(m_path.parent_path(), ec);
    // A fresh private file of a random name, renamed over the settings file: a planted
    // file or link beside it is never written through.
    if (!replaceFile(m_path.string(), data)) return false;
    m_size = std::filesystem::file_size(m_path, ec);
    m_stamp = std::filesystem::last_write_time(m_path, ec);
    return true;
}

} // namespace platform
