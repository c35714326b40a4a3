// file_snapshot.h -- whether an input file may have changed since it was last read.
//
// Exports: FileSnapshot.
//
// Some tables are read at every assembly of the equations, although they
// change only when a companion program or the user rewrites them. A snapshot
// keeps the bytes of a file as last read and the file's identity, size and
// times (one stat), so that a caller parses the file again only when its
// content may have changed:
//   - when a companion program has run since the last look, the file is read
//     and its bytes compared with the ones kept (a program may rewrite a file
//     within one tick of the file-system clock, leaving size and times alike);
//   - otherwise a change of identity, size, modification or status-change
//     time means the file is read and compared;
//   - a file whose times are not yet older than the clock the kernel stamps
//     files with, less one tick of the file system's time granularity, may be
//     rewritten within that same tick without its times changing; while that
//     holds at the last read, its bytes are compared on every look. On local
//     file systems that keep nanoseconds this lasts at most one tick of the
//     kernel's coarse clock (a few milliseconds) after the file's last write;
//     elsewhere (FAT, network and user-space file systems) two seconds.
// A file whose bytes are unchanged is not parsed again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace textio {

class FileSnapshot {
public:
    // Looks at `name` in `dir` (letter case ignored, as every input file).
    // `companionRuns` counts the companion programs started so far in the
    // run. Returns true when the bytes differ from the ones kept (always on
    // the first look); Bytes() then holds the new ones. Throws DataError
    // naming the file when it cannot be opened, as TextReader does.
    bool Refresh(const std::filesystem::path& dir, const std::string& name, long companionRuns);

    const std::string& Bytes() const { return bytes_; }
    // Forgets what was read: the next Refresh reports a change.
    void Forget() { valid_ = false; }
    // How often the file's bytes have been read (for tests and benchmarks).
    long Reads() const { return reads_; }

private:
    struct Stamp {
        std::uint64_t dev = 0, ino = 0;
        std::int64_t size = -1;
        std::int64_t mtime = 0, ctime = 0;  // nanoseconds
        bool operator==(const Stamp&) const = default;
    };
    bool valid_ = false;
    bool racy_ = false;  // modified too recently for the stamp to be trusted
    Stamp stamp_;
    long companionRuns_ = 0;
    long reads_ = 0;
    std::int64_t granularity_ = -1;  // of the file system's times, ns; -1 before the first look
    std::filesystem::path path_;
    std::string bytes_;
};

}  // namespace textio
