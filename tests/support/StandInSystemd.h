// A private system bus (a dbus-daemon of its own, configured as a system bus
// that lets everyone talk) with a stand-in for systemd's service manager on it:
// the dbusmock template tests/fixtures/dbus/systemd_manager.py. Used by the
// tests of the systemd client and by the Services benchmark.
#pragma once

#include "tests/support/Fixtures.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <fcntl.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestrun::testing {

class StandInSystemd {
public:
    StandInSystemd() = default;
    StandInSystemd(const StandInSystemd&) = delete;
    StandInSystemd& operator=(const StandInSystemd&) = delete;
    ~StandInSystemd() { Stop(); }

    // parameters: the template's JSON parameters; withManager false: the bus
    // alone, with nobody owning systemd's name. False with a reason in why.
    bool Start(const std::string& parameters, std::string& why, bool withManager = true)
    {
        if (access("/usr/bin/python3", X_OK) != 0 || access("/usr/bin/dbus-daemon", X_OK) != 0) {
            why = "no /usr/bin/python3 or /usr/bin/dbus-daemon";
            return false;
        }
        char pattern[] = "/tmp/kestrun-systemd-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            why = "no temporary folder";
            return false;
        }
        dir_ = pattern;
        address_ = "unix:path=" + dir_ + "/system_bus_socket";
        WriteConfig();
        daemon_ = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork"}, {});
        // The socket's file is there from its bind, a moment before the daemon listens on it.
        if (daemon_ <= 0 || !WaitFor([&] { return std::filesystem::exists(dir_ + "/system_bus_socket") && Connect(); })) {
            why = "dbus-daemon did not start";
            return false;
        }
        if (!withManager) return true;
        mock_ = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "-t", TemplatePath(), "-p", parameters, "-l",
                       dir_ + "/calls.log"},
                      {"DBUS_SYSTEM_BUS_ADDRESS=" + address_});
        if (mock_ <= 0 || !WaitFor([&] { return Connect() && NameHasOwner("org.freedesktop.systemd1"); })) {
            why = "the stand-in service manager did not come up";
            return false;
        }
        return true;
    }

    void Stop()
    {
        sd_bus_flush_close_unref(control_);
        control_ = nullptr;
        Resume();
        End(mock_);
        End(daemon_);
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
        dir_.clear();
    }

    [[nodiscard]] const std::string& address() const { return address_; }

    // The service manager stops answering, and answers again.
    void Freeze() { if (mock_ > 0) kill(mock_, SIGSTOP); }
    void Resume() { if (mock_ > 0) kill(mock_, SIGCONT); }

    // The template's own methods (org.freedesktop.DBus.Mock).
    bool AddService(const std::string& name, const std::string& description, const std::string& program,
                    const std::string& active, const std::string& behaviour = "ok")
    {
        return Mock("AddService", "sssss", name.c_str(), description.c_str(), program.c_str(), active.c_str(), behaviour.c_str());
    }
    bool AddUnitFile(const std::string& path, const std::string& state) { return Mock("AddUnitFile", "ss", path.c_str(), state.c_str()); }
    bool RemoveService(const std::string& name) { return Mock("RemoveService", "s", name.c_str()); }
    bool StartElsewhere(const std::string& name, uint32_t ms) { return Mock("StartElsewhere", "su", name.c_str(), ms); }

    uint32_t Subscribers()
    {
        uint32_t count = 0;
        if (!Connect()) return 0;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(control_, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                               "org.freedesktop.DBus.Mock", "Subscribers", &error, &reply, "") >= 0)
            sd_bus_message_read(reply, "u", &count);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return count;
    }

    // Reads of a unit's ExecStart, from the stand-in's log of the calls it answered.
    uint32_t PropertyReads() const
    {
        std::ifstream log(dir_ + "/calls.log");
        uint32_t reads = 0;
        for (std::string line; std::getline(log, line);)
            if (line.find(" Get ") != std::string::npos && line.find("ExecStart") != std::string::npos) ++reads;
        return reads;
    }

    static std::string FixturePath(const std::string& relative) { return testing::FixturePath(relative); }

private:
    static std::string TemplatePath() { return FixturePath("dbus/systemd_manager.py"); }

    void WriteConfig() const
    {
        std::ofstream conf(dir_ + "/bus.conf");
        conf << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig>\n"
                "  <type>system</type>\n"
                "  <listen>unix:path=" << dir_ << "/system_bus_socket</listen>\n"
                "  <auth>EXTERNAL</auth>\n"
                "  <policy context=\"default\">\n"
                "    <allow user=\"*\"/>\n"
                "    <allow own=\"*\"/>\n"
                "    <allow send_type=\"method_call\"/>\n"
                "    <allow send_type=\"signal\"/>\n"
                "    <allow send_type=\"method_return\"/>\n"
                "    <allow send_type=\"error\"/>\n"
                "    <allow receive_type=\"method_call\"/>\n"
                "    <allow receive_type=\"signal\"/>\n"
                "    <allow receive_type=\"method_return\"/>\n"
                "    <allow receive_type=\"error\"/>\n"
                "  </policy>\n"
                "</busconfig>\n";
    }

    static pid_t Spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv)
    {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);  // the mock logs every call
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }

    static void End(pid_t& pid)
    {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    // Polls for about fifteen seconds: the stand-in takes a moment on a busy machine.
    template <typename Done>
    static bool WaitFor(Done done)
    {
        for (int i = 0; i < 300; ++i) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }

    bool Connect()
    {
        if (control_ != nullptr) return true;
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0) return false;
        if (sd_bus_set_address(bus, address_.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
            sd_bus_unref(bus);
            return false;
        }
        control_ = bus;
        return true;
    }

    bool NameHasOwner(const char* name)
    {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int has = 0;
        const bool asked = sd_bus_call_method(control_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", name) >= 0 &&
                           sd_bus_message_read(reply, "b", &has) >= 0;
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return asked && has != 0;
    }

    template <typename... Args>
    bool Mock(const char* method, const char* signature, Args... args)
    {
        if (!Connect()) return false;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int r = sd_bus_call_method(control_, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                         "org.freedesktop.DBus.Mock", method, &error, nullptr, signature, args...);
        sd_bus_error_free(&error);
        return r >= 0;
    }

    std::string dir_, address_;
    pid_t daemon_ = -1, mock_ = -1;
    sd_bus* control_ = nullptr;
};

}  // namespace kestrun::testing
