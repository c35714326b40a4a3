// directory_lock.h -- one run at a time in a model directory.
//
// Exports: DirectoryLock.
//
// A run deletes the ".dng" files of its directory and rewrites its result
// files, so a second run started there while one is going would destroy the
// first one's diagnostics and interleave with its results. A run therefore
// holds an exclusive lock on the directory itself (flock on a descriptor of
// the directory, opened close-on-exec so that companion programs do not
// inherit it). Nothing is written to take it, and the operating system
// releases it when the process ends in any way, so a killed run never
// leaves the directory locked. Where the file system cannot lock (some
// network file systems), the run goes on unguarded.
#pragma once

#include <filesystem>

namespace ostra {

class DirectoryLock {
public:
    // Tries to lock `dir`; Busy() tells whether another run holds it.
    explicit DirectoryLock(const std::filesystem::path& dir);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    // True when another process holds the lock of the directory.
    bool Busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

}  // namespace ostra
