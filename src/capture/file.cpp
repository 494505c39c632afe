#include "capture/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "capture/limits.h"

namespace nuvra {

namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

}  // namespace

int checkWritable(const std::string& path) {
    if (path.empty()) return ENOENT;
    struct stat st{};
    const bool exists = stat(path.c_str(), &st) == 0;  // through a link, to what it names
    if (path.back() == '/' || (exists && S_ISDIR(st.st_mode))) return EISDIR;
    if (exists && !S_ISREG(st.st_mode)) return kNotRegularFile;
    // The effective ids, as the write itself will use them.
    if (faccessat(AT_FDCWD, folderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) return errno;
    return 0;
}

int writeWhole(const std::string& path, std::string_view bytes) {
    if (int refused = checkWritable(path)) return refused;
    // A hidden name beside the file: the rename stays within one file system.
    const std::string folder = folderOf(path);
    const std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%d.%llx.tmp", static_cast<int>(getpid()),
                      seed + static_cast<unsigned long long>(attempt));
        const std::string temporary = folder + "/." + base + suffix;
        // Created new, so nothing of anybody else's is written through; the
        // mode is what the umask leaves of 0666, as for any new file.
        int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return errno;
        int failed = writeAll(fd, bytes);
        if (close(fd) != 0 && failed == 0) failed = errno;
        if (failed == 0 && rename(temporary.c_str(), path.c_str()) != 0) failed = errno;
        if (failed != 0) unlink(temporary.c_str());
        return failed;
    }
    return EEXIST;
}

}  // namespace nuvra
