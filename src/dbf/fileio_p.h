// Plain file writes shared by the table writer and the journal's recovery.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dbf {

// Writes all `size` bytes at `offset` of the open file `fd`, retrying short writes and
// interruptions. Returns 0, or an errno value (ENOSPC when the file takes no more).
int WriteAllAt(int fd, const void *data, std::size_t size, std::uint64_t offset);

} // namespace dbf
