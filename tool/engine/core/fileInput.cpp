#include "fileInput.h"

#include "errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

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

namespace {

// An open file descriptor, closed when it goes.
struct OpenFile {
    int fd;
    ~OpenFile() { close(fd); }
};

// Opens the regular file at `path` for reading, refusing another kind or one
// longer than `maxBytes`; returns its size when opened.
int openRegular(const std::string& path, std::size_t maxBytes, const std::string& what, std::size_t& size)
{
    // Non-blocking, so that opening a FIFO returns at once; the kind is then
    // taken from what was opened, not from a second look at the name.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw InputError(what + ": cannot open the file: " + std::strerror(err));
    }
    OpenFile guard{fd};
    struct stat st;
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        throw InputError(what + ": cannot open the file: " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode))
        throw InputError(what + ": is " + fileKind(st.st_mode) + ", not a regular file");
    if (static_cast<unsigned long long>(st.st_size) > maxBytes)
        throw InputError(what + ": the file is larger than the limit of " + std::to_string(maxBytes) + " bytes");
    size = static_cast<std::size_t>(st.st_size);
    guard.fd = -1;
    return fd;
}

// Reads up to `bytes` into `to`; 0 at the end of the file.
std::size_t readSome(int fd, char* to, std::size_t bytes, const std::string& what)
{
    for (;;) {
        const ssize_t n = read(fd, to, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            throw InputError(what + ": reading the file failed: " + std::strerror(err));
        }
        return static_cast<std::size_t>(n);
    }
}

std::string tooLarge(const std::string& what, std::size_t maxBytes)
{
    return what + ": the file is larger than the limit of " + std::to_string(maxBytes) + " bytes";
}

}  // namespace

std::string readRegularFile(const std::string& path, std::size_t maxBytes, const std::string& what)
{
    std::size_t size = 0;
    const OpenFile file{openRegular(path, maxBytes, what, size)};
    std::string text(size, '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == text.size()) {
            // The file may have grown since: read on, within the limit.
            if (text.size() >= maxBytes + 1)
                break;
            text.resize(std::min(maxBytes + 1, text.size() + 65536));
        }
        const std::size_t n = readSome(file.fd, &text[done], text.size() - done, what);
        if (n == 0)
            break;
        done += n;
    }
    if (done > maxBytes)
        throw InputError(tooLarge(what, maxBytes));
    text.resize(done);
    return text;
}

bool readRegularFileLines(const std::string& path, std::size_t maxBytes, const std::string& what,
                          std::size_t pieceBytes, const std::function<bool(const char*, const char*)>& piece,
                          std::size_t* fileSize)
{
    std::size_t size = 0;
    const OpenFile file{openRegular(path, maxBytes, what, size)};
    if (fileSize)
        *fileSize = size;
    pieceBytes = std::max<std::size_t>(pieceBytes, 1);
    // One buffer for every piece: the end of a line not yet handed on, then
    // what is read after it.
    const std::size_t bufferBytes = std::min(pieceBytes, size + 1);
    std::vector<char> buffer(bufferBytes);
    std::size_t held = 0, total = 0;
    for (;;) {
        if (held == buffer.size())  // a line longer than the buffer
            buffer.resize(std::min(2 * buffer.size(), maxBytes + 1));
        const std::size_t n = readSome(file.fd, buffer.data() + held, buffer.size() - held, what);
        total += n;
        if (total > maxBytes)
            throw InputError(tooLarge(what, maxBytes));
        held += n;
        const bool last = n == 0;
        // Whole lines go on; the rest of the last one waits for more.
        std::size_t whole = held;
        if (!last) {
            while (whole > 0 && buffer[whole - 1] != '\n')
                --whole;
            if (whole == 0)
                continue;
        }
        if (whole > 0 && !piece(buffer.data(), buffer.data() + whole))
            return false;
        std::memmove(buffer.data(), buffer.data() + whole, held - whole);
        held -= whole;
        if (held < bufferBytes)  // past a long line, pieces of the size asked for again
            buffer.resize(bufferBytes);
        if (last)
            return true;
    }
}

}  // namespace cwtool
