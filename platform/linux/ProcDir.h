// One process's /proc directory, opened once: every file of the process is read
// relative to this handle, so a PID that is reused meanwhile is never read as
// the old process (the old handle answers ESRCH).
#pragma once

#include "platform/linux/Fd.h"

#include <cstdint>
#include <string>

struct stat;

namespace kestrun::platform::linux_backend {

// The outcome of one read from /proc.
enum class ProcRead {
    kOk,
    kGone,    // ENOENT, ESRCH or nothing to read: the process (or thread) has ended
    kDenied,  // EACCES or EPERM: normal for other users' processes; shown as zeros
    kFailed,  // anything else; errno holds the reason
};

// Classifies an errno value of a failed /proc call.
ProcRead ClassifyErrno(int error);

// Sets the last error for a failed read (ESRCH for kGone, EACCES for kDenied,
// else errno) and returns false.
bool FailRead(ProcRead result);

// A /proc entry name that is a process or thread id: digits only, 1 to INT_MAX.
bool ParsePid(const char* name, uint32_t& pid);

class ProcDir {
public:
    // Opens name (a PID, or "PID/task/TID") below the directory handle root.
    ProcDir(int root, const char* name);

    [[nodiscard]] bool valid() const { return fd_.valid(); }
    // Why opening failed.
    [[nodiscard]] ProcRead openResult() const { return openResult_; }
    [[nodiscard]] int fd() const { return fd_.get(); }

    // Reads the whole file into out (replacing its content). An empty file is
    // kOk here; whether that means "gone" is for the caller to say.
    ProcRead Read(const char* file, std::string& out) const;
    ProcRead ReadLink(const char* file, std::string& out) const;
    // ReadRecordAt below this directory.
    ProcRead ReadRecord(const char* file, std::string& out, struct stat* owner = nullptr) const;
    // Status of the directory itself (its owner is the process's effective user).
    bool Stat(struct stat& out) const;

private:
    Fd fd_;
    ProcRead openResult_ = ProcRead::kOk;
};

// Reads a whole file below a directory handle.
ProcRead ReadFileAt(int dir, const char* file, std::string& out);

// Reads a file the kernel writes in one piece (stat, status, statm), where a
// read that returns less than it asked for has reached the end: one read
// instead of the two that reading until nothing is left takes. owner, when
// given, receives the file's status: a process's files belong to its
// effective user, as its directory does.
ProcRead ReadRecordAt(int dir, const char* file, std::string& out, struct stat* owner = nullptr);

}  // namespace kestrun::platform::linux_backend
