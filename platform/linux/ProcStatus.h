// The memory lines of /proc/PID/status.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrun::platform::linux_backend {

// The private anonymous memory a process uses, in bytes: its resident
// anonymous pages (RssAnon) plus its swapped-out pages (VmSwap). Reserved
// address space that was never touched counts nothing. A process without a
// user address space (a kernel thread, a zombie) has neither line: 0. A line
// whose value is no number counts 0.
uint64_t AnonymousInUse(std::string_view status);

}  // namespace kestrun::platform::linux_backend
