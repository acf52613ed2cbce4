#pragma once

// What the benchmark process itself has done, read from /proc.
#include <cstdint>
#include <fstream>
#include <string>

namespace bench_support {

// Bytes this process has written so far ("wchar" of /proc/self/io).
inline std::int64_t writtenBytes() {
    std::ifstream in("/proc/self/io");
    std::string key;
    std::int64_t value = 0;
    while (in >> key >> value)
        if (key == "wchar:") return value;
    return 0;
}

} // namespace bench_support
