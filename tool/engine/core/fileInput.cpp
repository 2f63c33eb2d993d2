#include "fileInput.h"

#include "errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace cwtool {

const char* fileKind(unsigned mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    default: return "not a regular file";
    }
}

std::string readRegularFile(const std::string& path, std::size_t maxBytes, const std::string& what)
{
    // Non-blocking, so that opening a FIFO returns at once; the kind is then
    // taken from what was opened, not from a second look at the name.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw InputError(what + ": cannot open the file: " + std::strerror(err));
    }
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat st;
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        throw InputError(what + ": cannot open the file: " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode))
        throw InputError(what + ": is " + fileKind(st.st_mode) + ", not a regular file");
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        throw InputError(what + ": the file is larger than the limit of " + std::to_string(maxBytes) + " bytes");
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == text.size()) {
            // The file may have grown since: read on, within the limit.
            if (text.size() >= maxBytes + 1)
                break;
            text.resize(std::min(maxBytes + 1, text.size() + 65536));
        }
        const ssize_t n = read(fd, &text[done], text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            throw InputError(what + ": reading the file failed: " + std::strerror(err));
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (done > maxBytes)
        throw InputError(what + ": the file is larger than the limit of " + std::to_string(maxBytes) + " bytes");
    text.resize(done);
    return text;
}

}  // namespace cwtool
