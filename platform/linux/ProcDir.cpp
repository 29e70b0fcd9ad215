#include "platform/linux/ProcDir.h"

#include "platform/LastError.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

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

bool FailRead(ProcRead result)
{
    return Fail(result == ProcRead::kGone ? ESRCH : (result == ProcRead::kDenied ? EACCES : (errno != 0 ? errno : EIO)));
}

bool ParsePid(const char* name, uint32_t& pid)
{
    if (*name == '\0') return false;
    uint64_t value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > INT_MAX) return false;
    }
    pid = static_cast<uint32_t>(value);
    return pid > 0;
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

ProcRead ReadRecordAt(int dir, const char* file, std::string& out, struct stat* owner)
{
    out.clear();
    Fd fd(::openat(dir, file, O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return ClassifyErrno(errno);
    if (owner != nullptr && ::fstat(fd.get(), owner) != 0) return ClassifyErrno(errno);
    if (out.capacity() < 4096) out.reserve(4096);
    size_t used = 0;
    for (;;) {
        out.resize(out.capacity());
        const ssize_t n = ::read(fd.get(), out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            out.clear();
            errno = error;
            return ClassifyErrno(error);
        }
        used += static_cast<size_t>(n);
        // Short of what was asked: the whole text is in. A full buffer may have more.
        if (n == 0 || used < out.size()) break;
        out.reserve(out.capacity() * 2);
    }
    out.resize(used);
    return ProcRead::kOk;
}

ProcRead ProcDir::ReadRecord(const char* file, std::string& out, struct stat* owner) const
{
    if (!fd_.valid()) {
        out.clear();
        return openResult_;
    }
    return ReadRecordAt(fd_.get(), file, out, owner);
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
