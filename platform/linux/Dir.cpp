#include "platform/linux/Dir.h"

#include "platform/linux/Fd.h"

#include <cerrno>
#include <fcntl.h>

namespace kestrun::platform::linux_backend {

Dir::Dir(int at, const char* name)
{
    Fd fd(::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return;
    dir_ = ::fdopendir(fd.get());
    if (dir_ != nullptr) {
        fd.Release();  // the stream owns the descriptor now
        return;
    }
    const int error = errno;  // closing the descriptor must not hide why the stream failed
    fd.Reset();
    errno = error;
}

Dir::~Dir()
{
    if (dir_ != nullptr) ::closedir(dir_);
}

}  // namespace kestrun::platform::linux_backend
