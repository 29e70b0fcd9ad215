// The threads of a process as /proc shows them: the task/ folder of the
// process's directory, and each thread's own stat line below it.
#pragma once

#include "platform/ToolHelp.h"
#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcStat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

// Appends every thread of process pid (its directory dir) to out, with the
// process's access key. A thread that ends meanwhile is left out; a task/ folder
// that cannot be read adds nothing. buffer is reused for the reads.
void ReadTaskThreads(const ProcDir& dir, uint32_t pid, uint32_t accessKey, std::string& buffer,
                     std::vector<ThreadEntry>& out);

// Reads thread tid's own stat line (not the whole process's) below the /proc
// handle root; kGone for an id no thread can have or a line that is malformed.
ProcRead ReadThreadStat(int root, uint32_t tid, std::string& buffer, ProcStat& stat);

// A thread's creation, kernel and user times from its stat line; ended threads
// are gone from /proc, so the exit time is always zero.
ThreadTimes ThreadTimesOf(const ProcStat& stat);

}  // namespace kestrun::platform::linux_backend
