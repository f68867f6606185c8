#pragma once
// Base of every file system that carries the copy-out and stream-opening code for files found
// by their content. Besides the progress server it keeps the damage tally of the last copy.
#include <cstdint>

#include "base/IProgress.h"

class KRawSupport : public IProgress_Server
{
public:
    ~KRawSupport() override = default;

    /// Bytes of the file being copied out that could not be read and were written as zeros:
    /// unreadable sectors, data its runs or chain do not reach, compressed units that cannot
    /// be read. The saver clears the tally before each file and reads it after the copy; a
    /// file with a non-zero tally is saved but damaged.
    uint64_t GetUnreadBytes() const { return m_u64UnreadBytes; }
    void ClearUnreadBytes() { m_u64UnreadBytes = 0; }
    void AddUnreadBytes(uint64_t bytes) { m_u64UnreadBytes += bytes; }

private:
    uint64_t m_u64UnreadBytes = 0;
};
