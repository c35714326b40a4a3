// file_snapshot.cpp -- stat, and a byte comparison where a stat cannot tell.
#include "textio/file_snapshot.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>

#include "textio/errors.h"
#include "textio/file_names.h"

namespace textio {
namespace {

// A file modified this close to the moment it is looked at may change again
// without its stamp showing it (coarse file-system clocks).
constexpr std::int64_t RACY_NANOSECONDS = 1'000'000'000;

std::int64_t Nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool StatRegular(const std::filesystem::path& p, struct stat& st) {
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool FileSnapshot::Refresh(const std::filesystem::path& dir, const std::string& name,
                           long companionRuns) {
    // The exact spelling first (one stat), as FindFile prefers it.
    struct stat st {};
    std::filesystem::path path = dir / name;
    if (!StatRegular(path, st)) {
        path = FindFile(dir, name);
        if (!StatRegular(path, st))
            throw DataError("cannot open input file \"" + name + "\" in " + dir.string());
    }
    Stamp now;
    now.dev = static_cast<std::uint64_t>(st.st_dev);
    now.ino = static_cast<std::uint64_t>(st.st_ino);
    now.size = static_cast<std::int64_t>(st.st_size);
    now.mtime = Nanoseconds(st.st_mtim);
    now.ctime = Nanoseconds(st.st_ctim);
    if (valid_ && !racy_ && path == path_ && now == stamp_ && companionRuns == companionRuns_)
        return false;

    std::ifstream in(path, std::ios::binary);
    if (!in) throw DataError("cannot open input file \"" + name + "\" in " + dir.string());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool changed = !valid_ || bytes != bytes_;
    if (changed) bytes_ = std::move(bytes);

    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    racy_ = Nanoseconds(clock) - std::max(now.mtime, now.ctime) < RACY_NANOSECONDS;
    valid_ = true;
    stamp_ = now;
    path_ = path;
    companionRuns_ = companionRuns;
    return changed;
}

}  // namespace textio
