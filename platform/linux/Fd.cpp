#include "platform/linux/Fd.h"

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

}  // namespace kestrun::platform::linux_backend
