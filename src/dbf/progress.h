#pragma once

// Progress window shown while an in-memory table is copied from or to its DBF file.
//
// The engine has no window code of its own: the GUI installs a factory that builds the
// real window (a borderless stay-on-top box with a row of 100 "|" marks, one removed per
// Advance). Without a factory no progress is shown.

#include <functional>
#include <memory>
#include <string>

namespace dbf {

class TTzProgress100 {
public:
    virtual ~TTzProgress100() = default;
    // Removes one of the 100 marks.
    virtual void Advance() = 0;
};

// Builds a progress window captioned `caption` ("Reading from disk..." or
// "Writing to disk..."); the window is removed when the returned object is destroyed.
using TTzProgressFactory = std::function<std::unique_ptr<TTzProgress100>(const std::string &)>;

// Installs the factory for the whole process (an empty function removes it) and returns
// the previous one.
TTzProgressFactory SetProgressFactory(TTzProgressFactory factory);

// Opens a progress window through the installed factory; null when none is installed.
std::unique_ptr<TTzProgress100> OpenProgress(const std::string &caption);

} // namespace dbf
