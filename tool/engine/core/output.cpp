#include "output.h"

#include "core/errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace cwtool {

namespace {

// The file being written, for a signal handler to remove.
char partialPath[4096];
volatile std::sig_atomic_t partialSet = 0;

void onSignal(int signal)
{
    if (partialSet)
        unlink(partialPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Creates the temporary file and removes it unless it was renamed into place.
// Only a file this process created is ever removed.
class Partial {
public:
    Partial()
    {
        // Past a file size limit, write fails with EFBIG instead of the
        // process being killed with the file half written.
        previousXfsz_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~Partial()
    {
        if (fd_ >= 0)
            close(fd_);
        if (created_ && !kept_)
            unlink(path_.c_str());
        partialSet = 0;
        for (int i = 0; handlers_ && i < 2; ++i)
            std::signal(kSignals[i], previous_[i]);
        std::signal(SIGXFSZ, previousXfsz_);
    }
    Partial(const Partial&) = delete;
    Partial& operator=(const Partial&) = delete;

    // Creates `path` afresh: never an existing file, never through a symbolic
    // link planted at its name (O_EXCL does not follow one), with the mode the
    // umask gives. False with errno set, EEXIST when the name is taken.
    bool create(const std::string& path)
    {
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return false;
        created_ = true;
        path_ = path;
        if (path.size() < sizeof partialPath) {
            std::memcpy(partialPath, path.c_str(), path.size() + 1);
            partialSet = 1;
            // A signal the caller ignores (a background job's SIGINT) stays ignored.
            for (int i = 0; i < 2; ++i)
                if ((previous_[i] = std::signal(kSignals[i], onSignal)) == SIG_IGN)
                    std::signal(kSignals[i], SIG_IGN);
            handlers_ = true;
        }
        return true;
    }

    int fd_ = -1;
    bool kept_ = false;
    std::string path_;

private:
    bool created_ = false;
    static constexpr int kSignals[2] = {SIGINT, SIGTERM};
    void (*previous_[2])(int) = {SIG_DFL, SIG_DFL};
    bool handlers_ = false;
    void (*previousXfsz_)(int) = SIG_DFL;
};

}  // namespace

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void writeFileWhole(const std::string& path, const std::string& bytes, const std::string& what)
{
    const std::string folder = folderOf(path);
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto fail = [&](const char* step) {
        const int err = errno;
        throw InputError(what + ": " + step + " failed: " + std::strerror(err));
    };

    // Same folder, so that the rename is atomic. The name is this process's,
    // but anything may already be there (a file, a link planted at it): then
    // the next name is tried.
    Partial partial;
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = folder + "/." + name + ".part" + std::to_string(getpid()) +
                    (attempt ? "-" + std::to_string(attempt) : std::string());
        if (partial.create(temporary))
            break;
        if (errno != EEXIST || attempt == 99)
            fail(("creating '" + temporary + "'").c_str());
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(partial.fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            fail("writing");
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(partial.fd_) != 0)
        fail("syncing");
    const int fd = partial.fd_;
    partial.fd_ = -1;
    if (close(fd) != 0)
        fail("closing");
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        fail("moving the file into place");
    partial.kept_ = true;
    // Make the rename itself durable; not every file system can sync a folder.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

}  // namespace cwtool
