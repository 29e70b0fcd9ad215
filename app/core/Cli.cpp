#include "app/core/Cli.h"

#include <charconv>
#include <cstdlib>

namespace kestrun {

namespace {
bool ParseInt(const std::string& text, int minimum, int& value)
{
    int parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc() || end != text.data() + text.size() || parsed < minimum) return false;
    value = parsed;
    return true;
}

CommandLine Error(std::string message)
{
    CommandLine line;
    line.mode = CommandLine::Mode::Error;
    line.error = std::move(message);
    return line;
}
}  // namespace

const std::vector<std::string>& BatchPageNames()
{
    static const std::vector<std::string> kNames = {"applications", "processes", "services",
                                                    "devices",      "system",    "network"};
    return kNames;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    bool batch = false;
    bool batchOnlyOption = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&](std::string& out) {
            if (hasValue) { out = value; return true; }
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        if (arg == "--help" && !hasValue) {
            line.mode = CommandLine::Mode::Help;
            return line;
        }
        if (arg == "--version" && !hasValue) {
            line.mode = CommandLine::Mode::Version;
            return line;
        }
        if (arg == "--batch" && !hasValue) {
            batch = true;
        } else if (arg == "--descending" && !hasValue) {
            batchOnlyOption = true;
            line.descending = true;
        } else if (arg == "--sort") {
            if (!takeValue(line.sortColumn)) return Error("option '--sort' requires an argument");
            if (line.sortColumn.empty()) return Error("option '--sort' needs a column title");
            batchOnlyOption = true;
        } else if (arg == "--page" || arg == "--ticks" || arg == "--interval") {
            std::string text;
            if (!takeValue(text)) return Error("option '" + arg + "' requires an argument");
            batchOnlyOption = true;
            if (arg == "--page") {
                bool known = false;
                for (const auto& name : BatchPageNames()) known = known || name == text;
                if (!known) return Error("unknown page '" + text + "' (applications, processes, services, devices, system, network)");
                line.page = text;
            } else if (arg == "--ticks") {
                if (!ParseInt(text, 1, line.ticks)) return Error("invalid tick count '" + text + "'");
            } else if (!ParseInt(text, 0, line.intervalMs)) {
                return Error("invalid interval '" + text + "' (milliseconds)");
            }
        } else {
            return Error(arg.rfind("-", 0) == 0 ? "unrecognized option '" + args[i] + "'"
                                                 : "extra operand '" + args[i] + "'");
        }
    }
    if (batchOnlyOption && !batch) return Error("--page, --ticks, --interval, --sort and --descending need --batch");
    if (line.descending && line.sortColumn.empty()) return Error("--descending needs --sort");
    if (batch) line.mode = CommandLine::Mode::Batch;
    return line;
}

void PrintHelp(std::FILE* out)
{
    std::fputs(
        "Usage: kestrun [OPTION]...\n"
        "Show the programs, processes, services, devices, performance and network\n"
        "traffic of this machine, and act on them, in one window.\n"
        "\n"
        "      --batch          print pages as text instead of opening the window\n"
        "      --page=NAME      the page to print: applications, processes, services,\n"
        "                         devices, system or network (default: processes)\n"
        "      --ticks=N        number of refresh ticks to print (default: 1)\n"
        "      --interval=MS    milliseconds between ticks (default: 2000)\n"
        "      --sort=COLUMN    sort the rows by the column of this title, as a click on\n"
        "                         its header does (case is ignored), ascending\n"
        "      --descending     with --sort: descending, as a second click does\n"
        "      --help           display this help and exit\n"
        "      --version        output version information and exit\n"
        "\n"
        "Batch mode prints, after each tick, a header line and one line per row, cells\n"
        "separated by tabs, exactly as the window shows them.\n"
        "\n"
        "Environment:\n"
        "  KESTRUN_PLATFORM     linux (the live machine, default), sim (a simulated\n"
        "                       device), or sim:PROFILE.json (a device profile)\n"
        "  XDG_CONFIG_HOME      the options are kept in $XDG_CONFIG_HOME/kestrun/\n",
        out);
}

void PrintVersion(std::FILE* out)
{
    std::fputs("kestrun " KESTRUN_VERSION "\n"
               "This is free software: you are free to change and redistribute it.\n",
               out);
}

}  // namespace kestrun
