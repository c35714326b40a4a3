// file_snapshot.cpp -- stat, and a byte comparison where a stat cannot tell.
#include "textio/file_snapshot.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>

#include "textio/errors.h"
#include "textio/file_names.h"

namespace textio {
namespace {

constexpr std::int64_t NS_PER_SECOND = 1'000'000'000;
// The granularity assumed where it is not known: FAT's two seconds, the
// coarsest of common file systems (and room for network file systems whose
// times come from another machine's clock).
constexpr std::int64_t COARSE_GRANULARITY = 2 * NS_PER_SECOND;

std::int64_t Nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * NS_PER_SECOND + t.tv_nsec;
}

bool StatRegular(const std::filesystem::path& p, struct stat& st) {
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Local file systems that stamp files with the kernel's clock to the
// nanosecond: ext4 (also ext2/3, which share its number), XFS, Btrfs, tmpfs,
// overlay, F2FS, ZFS.
bool KeepsNanoseconds(const std::filesystem::path& p) {
    struct statfs fs {};
    if (::statfs(p.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53: case 0x58465342: case 0x9123683E: case 0x01021994:
    case 0x794C7630: case 0xF2F52010: case 0x2FC12FC1:
        return true;
    default:
        return false;
    }
}

// The granularity of the times of the file `p`, whose times `st` holds. An
// ext2/3/4 file system made with small inodes keeps whole seconds only; its
// times then have no nanoseconds, which a time of nanoseconds leaves only
// once in a billion looks.
std::int64_t Granularity(const std::filesystem::path& p, const struct stat& st) {
    if (!KeepsNanoseconds(p)) return COARSE_GRANULARITY;
    if (st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0) return COARSE_GRANULARITY;
    return 1;
}

// The clock the kernel stamps files with: a write after this moment gets
// times no earlier than it.
std::int64_t FileClock() {
    timespec t{};
#ifdef CLOCK_REALTIME_COARSE
    clock_gettime(CLOCK_REALTIME_COARSE, &t);
#else
    clock_gettime(CLOCK_REALTIME, &t);
#endif
    return Nanoseconds(t);
}

}  // namespace

bool FileSnapshot::Refresh(const std::filesystem::path& dir, const std::string& name,
                           long companionRuns) {
    // The clock before the stat: a write that the stat does not show came
    // after this moment.
    const std::int64_t clock = FileClock();
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
    ++reads_;
    const bool changed = !valid_ || bytes != bytes_;
    if (changed) bytes_ = std::move(bytes);

    if (granularity_ < 0 || path != path_ || now.dev != stamp_.dev) granularity_ = Granularity(path, st);
    // A write after `clock` is stamped no earlier than `clock`, truncated to
    // the granularity: it shows in the stamp unless the stamp is that late.
    racy_ = std::max(now.mtime, now.ctime) + granularity_ > clock;
    valid_ = true;
    stamp_ = now;
    path_ = path;
    companionRuns_ = companionRuns;
    return changed;
}

}  // namespace textio
