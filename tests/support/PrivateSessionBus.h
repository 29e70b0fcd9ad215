// A private session bus for tests: its own dbus-daemon in a temporary folder,
// a stand-in StatusNotifierWatcher (python3-dbusmock with the template in
// tests/fixtures/dbus) that can leave and come back, and a client connection
// of the test whose calls never block, so the code under test can answer them
// on the same thread.
#pragma once

#include "tests/support/Fixtures.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestrun::testing {

inline pid_t SpawnProcess(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {})
{
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
}

inline void StopProcess(pid_t pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// Polls until done() or about ten seconds have gone.
inline bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 200; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// A reply to a call of the test's client.
struct BusReply {
    bool done = false;
    std::string error;  // the D-Bus error name, empty on success
    sd_bus_message* message = nullptr;
    sd_bus_slot* slot = nullptr;
    ~BusReply()
    {
        sd_bus_slot_unref(slot);
        sd_bus_message_unref(message);
    }
};

class BusClient {
public:
    explicit BusClient(const std::string& address)
    {
        if (sd_bus_new(&m_bus) < 0) return;
        if (sd_bus_set_address(m_bus, address.c_str()) < 0 || sd_bus_set_bus_client(m_bus, 1) < 0 ||
            sd_bus_start(m_bus) < 0) {
            sd_bus_close_unref(m_bus);
            m_bus = nullptr;
        }
    }
    ~BusClient()
    {
        for (sd_bus_slot* slot : m_matches) sd_bus_slot_unref(slot);
        sd_bus_close_unref(m_bus);
    }
    BusClient(const BusClient&) = delete;
    BusClient& operator=(const BusClient&) = delete;

    [[nodiscard]] bool ok() const { return m_bus != nullptr; }
    sd_bus* bus() const { return m_bus; }

    // Starts a method call; the reply arrives while the test pumps.
    template <typename... Args>
    std::shared_ptr<BusReply> Call(const std::string& destination, const std::string& path, const char* interface,
                                   const char* member, const char* types, Args... args)
    {
        auto reply = std::make_shared<BusReply>();
        const int r = sd_bus_call_method_async(m_bus, &reply->slot, destination.c_str(), path.c_str(), interface,
                                               member, &BusClient::OnReply, reply.get(), types, args...);
        if (r < 0) {
            reply->done = true;
            reply->error = "call could not be sent";
        }
        return reply;
    }

    std::shared_ptr<BusReply> GetProperty(const std::string& destination, const std::string& path,
                                          const char* interface, const char* property)
    {
        return Call(destination, path, "org.freedesktop.DBus.Properties", "Get", "ss", interface, property);
    }

    // Counts the signals member of interface from now on (any sender and path).
    bool CountSignals(const char* interface, const char* member)
    {
        sd_bus_slot* slot = nullptr;
        const std::string key = std::string(interface) + "." + member;
        m_counts[key] = 0;
        auto* counter = &m_counts[key];
        const int r = sd_bus_match_signal(m_bus, &slot, nullptr, nullptr, interface, member, &BusClient::OnSignal,
                                          counter);
        if (r < 0) return false;
        m_matches.push_back(slot);
        return true;
    }
    int Signals(const char* interface, const char* member)
    {
        return m_counts[std::string(interface) + "." + member];
    }

    void Process()
    {
        while (sd_bus_process(m_bus, nullptr) > 0) {}
    }
    pollfd PollFd() const { return {sd_bus_get_fd(m_bus), static_cast<short>(sd_bus_get_events(m_bus)), 0}; }

private:
    static int OnReply(sd_bus_message* message, void* userdata, sd_bus_error*)
    {
        auto* reply = static_cast<BusReply*>(userdata);
        reply->done = true;
        if (const sd_bus_error* error = sd_bus_message_get_error(message)) reply->error = error->name;
        reply->message = sd_bus_message_ref(message);
        return 0;
    }
    static int OnSignal(sd_bus_message*, void* userdata, sd_bus_error*)
    {
        ++*static_cast<int*>(userdata);
        return 0;
    }

    sd_bus* m_bus = nullptr;
    std::vector<sd_bus_slot*> m_matches;
    std::map<std::string, int> m_counts;
};

inline bool NameHasOwner(const std::string& address, const char* name)
{
    BusClient client(address);
    if (!client.ok()) return false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int has = 0;
    if (sd_bus_call_method(client.bus(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", &error, &reply, "s", name) < 0 ||
        sd_bus_message_read(reply, "b", &has) < 0)
        has = 0;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return has != 0;
}

inline constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
inline constexpr const char* kWatcherPath = "/StatusNotifierWatcher";

class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        char pattern[] = "/tmp/kestrun-bus-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        m_dir = pattern;
        m_address = "unix:path=" + m_dir + "/bus";
        m_daemon = SpawnProcess({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                                 "--address=" + m_address});
        // The socket's file is there from its bind, a moment before the daemon
        // listens on it: ready means a client got through its Hello.
        m_ok = m_daemon > 0 && WaitFor([this] { return std::filesystem::exists(m_dir + "/bus") && BusClient(m_address).ok(); });
    }
    ~PrivateSessionBus()
    {
        StopWatcher();
        StopDaemon();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    [[nodiscard]] bool ok() const { return m_ok; }
    [[nodiscard]] const std::string& address() const { return m_address; }

    // The stand-in watcher, with or without a panel (host); true once it owns its name.
    bool StartWatcher(bool host = true)
    {
        const std::string templatePath = FixturePath("dbus/status_notifier_watcher.py");
        m_watcher = SpawnProcess({"/usr/bin/python3", "-m", "dbusmock", "--session", "-t", templatePath, "-l",
                                  m_dir + "/watcher.log", "-p", host ? "{\"host\": true}" : "{\"host\": false}"},
                                 {"DBUS_SESSION_BUS_ADDRESS=" + m_address});
        return m_watcher > 0 && WaitFor([this] { return NameHasOwner(m_address, kWatcherName); });
    }
    void StopWatcher()
    {
        StopProcess(m_watcher);
        m_watcher = -1;
    }
    void StopDaemon()
    {
        StopProcess(m_daemon);
        m_daemon = -1;
    }

private:
    std::string m_dir;
    std::string m_address;
    pid_t m_daemon = -1;
    pid_t m_watcher = -1;
    bool m_ok = false;
};

}  // namespace kestrun::testing
