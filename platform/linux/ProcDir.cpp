#include "platform/linux/ProcDir.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int Fd::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::Reset()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

ProcRead ClassifyErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ESRCH:
        return ProcRead::kGone;
    case EACCES:
    case EPERM:
        return ProcRead::kDenied;
    default:
        return ProcRead::kFailed;
    }
}

ProcDir::ProcDir(int root, const char* name)
    : fd_(::openat(root, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (!fd_.valid()) openResult_ = ClassifyErrno(errno);
}

ProcRead ReadFileAt(int dir, const char* file, std::string& out)
{
    out.clear();
    Fd fd(::openat(dir, file, O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return ClassifyErrno(errno);
    // /proc files report size 0: read until end of file.
    size_t used = 0;
    if (out.capacity() < 4096) out.reserve(4096);
    for (;;) {
        if (out.capacity() - used < 1024) out.reserve(out.capacity() * 2);
        out.resize(out.capacity());
        const ssize_t n = ::read(fd.get(), out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            out.clear();
            errno = error;
            return ClassifyErrno(error);
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    out.resize(used);
    return ProcRead::kOk;
}

ProcRead ProcDir::Read(const char* file, std::string& out) const
{
    if (!fd_.valid()) return openResult_;
    return ReadFileAt(fd_.get(), file, out);
}

ProcRead ProcDir::ReadLink(const char* file, std::string& out) const
{
    out.clear();
    if (!fd_.valid()) return openResult_;
    char buffer[4096];
    const ssize_t n = ::readlinkat(fd_.get(), file, buffer, sizeof buffer);
    if (n < 0) return ClassifyErrno(errno);
    out.assign(buffer, static_cast<size_t>(n));
    return ProcRead::kOk;
}

bool ProcDir::Stat(struct stat& out) const { return fd_.valid() && ::fstat(fd_.get(), &out) == 0; }

}  // namespace kestrun::platform::linux_backend
