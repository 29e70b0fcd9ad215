// A private network namespace for tests of the live interface table: a thread of
// its own in new network and mount namespaces, with that network namespace's sysfs
// mounted at sysRoot(). Whatever the tests do to links there (veth pairs, traffic,
// links brought down) never touches the machine's own interfaces, and everything
// goes with the thread. Programs started from the thread (ip) run in it too.
#pragma once

#include <gtest/gtest.h>

#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrun::test_support {

class NetworkNamespace {
public:
    // Whether this process may make one; reason says why not.
    static bool Available(std::string& reason)
    {
        int error = 0;
        std::thread probe([&] { error = unshare(CLONE_NEWNET | CLONE_NEWNS) == 0 ? 0 : errno; });
        probe.join();
        if (error != 0) reason = std::string("cannot make a network namespace: ") + std::strerror(error);
        return error == 0;
    }

    NetworkNamespace()
    {
        char pattern[] = "/tmp/kestrun-netns-XXXXXX";
        if (mkdtemp(pattern) != nullptr) sysRoot_ = pattern;
        std::promise<std::string> started;
        std::future<std::string> result = started.get_future();
        thread_ = std::thread([this, &started] { Main(started); });
        setupError_ = result.get();
    }
    ~NetworkNamespace()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
        if (!sysRoot_.empty()) rmdir(sysRoot_.c_str());
    }
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    // Empty when the namespace is ready.
    [[nodiscard]] const std::string& setupError() const { return setupError_; }
    [[nodiscard]] const std::string& sysRoot() const { return sysRoot_; }

    // Runs body on the namespace's thread and waits for it.
    void Run(const std::function<void()>& body)
    {
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        {
            std::lock_guard lock(mutex_);
            task_ = [&] {
                body();
                done.set_value();
            };
        }
        wake_.notify_all();
        finished.get();
    }

    // Runs a shell command line (on the namespace's thread only); its standard
    // output, and its exit status in status.
    static std::string Shell(const std::string& command, int& status)
    {
        std::string output;
        FILE* pipe = popen((command + " 2>&1").c_str(), "r");
        if (pipe == nullptr) {
            status = -1;
            return output;
        }
        std::array<char, 4096> chunk{};
        size_t n = 0;
        while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
        status = pclose(pipe);
        return output;
    }

private:
    void Main(std::promise<std::string>& started)
    {
        std::string error = Enter();
        started.set_value(error);
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || task_; });
                if (!task_) break;
                task = std::move(task_);
                task_ = nullptr;
            }
            task();
        }
        if (error.empty()) umount2(sysRoot_.c_str(), MNT_DETACH);
    }

    std::string Enter()
    {
        if (sysRoot_.empty()) return "no scratch folder";
        if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        // Mounts made here stay here.
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("private mounts: ") + std::strerror(errno);
        // A sysfs mounted now shows this namespace's links under class/net.
        if (mount("sysfs", sysRoot_.c_str(), "sysfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
            return std::string("sysfs: ") + std::strerror(errno);
        // No IPv6 autoconfiguration: nothing but the test's own frames moves the counters.
        int status = 0;
        Shell("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1", status);
        return {};
    }

    std::string sysRoot_;
    std::string setupError_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> task_;
    bool stopping_ = false;
};

// Runs a command that must succeed (on the namespace's thread).
inline std::string Must(const std::string& command)
{
    int status = 0;
    std::string output = NetworkNamespace::Shell(command, status);
    EXPECT_EQ(status, 0) << command << ": " << output;
    return output;
}

// Sends count Ethernet frames of frameBytes from one link to the other's hardware
// address (on the namespace's thread).
inline void SendFrames(const char* from, const char* to, int count, size_t frameBytes)
{
    struct Socket {
        int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);  // protocol 0: sends only
        ~Socket()
        {
            if (fd >= 0) close(fd);
        }
    } packet;
    const int fd = packet.fd;
    ASSERT_GE(fd, 0) << std::strerror(errno);
    ifreq request{};
    std::strncpy(request.ifr_name, to, IFNAMSIZ - 1);
    ASSERT_EQ(ioctl(fd, SIOCGIFHWADDR, &request), 0) << std::strerror(errno);
    std::vector<uint8_t> frame(frameBytes, 0);
    std::memcpy(frame.data(), request.ifr_hwaddr.sa_data, ETH_ALEN);  // destination
    frame[12] = 0x88;  // EtherType 0x88B5: local experimental, no protocol here takes it
    frame[13] = 0xB5;
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_ifindex = static_cast<int>(if_nametoindex(from));
    ASSERT_NE(link.sll_ifindex, 0);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&link), sizeof link),
                  static_cast<ssize_t>(frame.size()))
            << std::strerror(errno);
}

}  // namespace kestrun::test_support
