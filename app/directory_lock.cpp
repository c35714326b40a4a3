// directory_lock.cpp -- the lock of a model directory during a run.
#include "app/directory_lock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ostra {

DirectoryLock::DirectoryLock(const std::filesystem::path& dir) {
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;  // the run's own checks report a directory it cannot use
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return;
    busy_ = errno == EWOULDBLOCK;
    ::close(fd_);
    fd_ = -1;
}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace ostra
