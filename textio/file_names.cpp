// file_names.cpp -- case-insensitive lookup, creation and deletion of files.
#include "textio/file_names.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace textio {

std::string LowerCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return s;
}

namespace {

// Wildcard match of a lower-cased name against a lower-cased pattern.
bool Matches(const char* name, const char* pattern) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') {
        for (const char* n = name;; ++n) {
            if (Matches(n, pattern + 1)) return true;
            if (*n == '\0') return false;
        }
    }
    if (*name == '\0') return false;
    if (*pattern == '?' || *pattern == *name) return Matches(name + 1, pattern + 1);
    return false;
}

}  // namespace

fs::path FindFile(const fs::path& dir, const std::string& name) {
    const fs::path exact = dir / name;
    std::error_code ec;
    if (fs::is_regular_file(exact, ec)) return exact;
    const std::string wanted = LowerCase(name);
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.is_regular_file(ec) && LowerCase(entry.path().filename().string()) == wanted)
            return entry.path();
    }
    return exact;
}

fs::path OutputPath(const fs::path& dir, const std::string& name) {
    const std::string wanted = LowerCase(name);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string other = entry.path().filename().string();
        if (other != name && LowerCase(other) == wanted && entry.is_regular_file(ec))
            fs::remove(entry.path(), ec);
    }
    return dir / name;
}

int DeleteMatching(const fs::path& dir, const std::string& pattern) {
    const std::string pat = LowerCase(pattern);
    int deleted = 0;
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.is_regular_file(ec) &&
            Matches(LowerCase(entry.path().filename().string()).c_str(), pat.c_str()))
            doomed.push_back(entry.path());
    }
    for (const auto& p : doomed)
        if (fs::remove(p, ec)) ++deleted;
    return deleted;
}

}  // namespace textio
