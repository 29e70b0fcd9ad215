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

// A process id: decimal, or hexadecimal with 0x as the PID column shows it.
bool ParsePid(const std::string& text, uint32_t& pid)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    uint32_t value = 0;
    const auto [stop, ec] = std::from_chars(begin, end, value, hex ? 16 : 10);
    if (ec != std::errc() || stop != end || begin == end) return false;
    pid = value;
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
    static const std::vector<std::string> kNames = {"applications", "processes", "services", "devices",  "system",
                                                    "network",      "threads",   "heap",     "modules",  "module-usage"};
    return kNames;
}

bool IsDetailPage(const std::string& name) { return name == "threads" || name == "heap" || name == "modules"; }

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    bool batch = false;
    bool batchOnlyOption = false;
    bool pidGiven = false;
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
        } else if (arg == "--stats" && !hasValue) {
            batchOnlyOption = true;
            line.stats = true;
        } else if (arg == "--descending" && !hasValue) {
            batchOnlyOption = true;
            line.descending = true;
        } else if (arg == "--sort") {
            if (!takeValue(line.sortColumn)) return Error("option '--sort' requires an argument");
            if (line.sortColumn.empty()) return Error("option '--sort' needs a column title");
            batchOnlyOption = true;
        } else if (arg == "--pid") {
            std::string text;
            if (!takeValue(text)) return Error("option '--pid' requires an argument");
            batchOnlyOption = true;
            if (!ParsePid(text, line.pid)) return Error("invalid process id '" + text + "'");
            pidGiven = true;
        } else if (arg == "--module" || arg == "--file") {
            std::string& target = arg == "--module" ? line.module : line.file;
            if (!takeValue(target)) return Error("option '" + arg + "' requires an argument");
            if (target.empty()) return Error("option '" + arg + "' needs a path");
            batchOnlyOption = true;
        } else if (arg == "--page" || arg == "--ticks" || arg == "--interval") {
            std::string text;
            if (!takeValue(text)) return Error("option '" + arg + "' requires an argument");
            batchOnlyOption = true;
            if (arg == "--page") {
                bool known = false;
                for (const auto& name : BatchPageNames()) known = known || name == text;
                if (!known)
                    return Error("unknown page '" + text +
                                 "' (applications, processes, services, devices, system, network, threads, heap, "
                                 "modules, module-usage)");
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
    if (batchOnlyOption && !batch)
        return Error("--page, --ticks, --interval, --sort, --descending, --pid, --module, --file and --stats need --batch");
    if (pidGiven && !IsDetailPage(line.page)) return Error("--pid needs --page threads, heap or modules");
    if ((line.page == "module-usage") != !line.module.empty()) return Error("--page module-usage needs --module PATH, and only it");
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
        "                         devices, system, network, or the detail dialogs\n"
        "                         threads, heap, modules or module-usage\n"
        "                         (default: processes)\n"
        "      --ticks=N        number of refresh ticks to print (default: 1)\n"
        "      --interval=MS    milliseconds between ticks (default: 2000; 0: at once)\n"
        "      --sort=COLUMN    sort the rows by the column of this title, as a click on\n"
        "                         its header does (case is ignored), ascending\n"
        "      --descending     with --sort: descending, as a second click does\n"
        "      --pid=PID        with --page threads, heap or modules: the process whose\n"
        "                         threads, heap entries or modules to print (decimal, or\n"
        "                         0x... hexadecimal; default 0: none, for modules every\n"
        "                         process), after a line with the dialog's title\n"
        "      --module=PATH    with --page module-usage: the module whose users to print\n"
        "      --file=PATH      print the file's properties, as its dialog shows them\n"
        "      --stats          after each tick, a line with the cells written, rows\n"
        "                         inserted, rows removed and sorts done on the list\n"
        "      --help           display this help and exit\n"
        "      --version        output version information and exit\n"
        "\n"
        "Batch mode prints, after each tick, a header line and one line per row, cells\n"
        "separated by tabs, exactly as the window shows them; a tab, a line break or a\n"
        "backslash in a cell prints as \\t, \\n or \\\\, another control character as \\xHH.\n"
        "A box the window would show prints on stderr as 'kestrun: TITLE: TEXT' and the\n"
        "run goes on. On a simulated device with a manual clock the ticks do not wait:\n"
        "the device's clock moves by the interval, so a run prints the same every time.\n"
        "\n"
        "Environment:\n"
        "  KESTRUN_PLATFORM     linux (the live machine, default), sim (a simulated\n"
        "                       device), or sim:PROFILE.json (a device profile)\n"
        "  XDG_CONFIG_HOME      the options are kept in $XDG_CONFIG_HOME/kestrun/\n"
        "\n"
        "The CPU load shows as an icon in the desktop's panel (a StatusNotifierItem, as\n"
        "KDE, GNOME with AppIndicator, XFCE, Cinnamon, MATE and LXQt show them) or in an\n"
        "X11 notification area; clicking it hides or shows the window. Without either,\n"
        "standard error says so once, and Hide When Minimized only minimizes.\n"
        "\n"
        "Full documentation: man kestrun, or Help > Contents in the window.\n"
        "Report bugs to: " KESTRUN_BUG_ADDRESS "\n",
        out);
}

void PrintVersion(std::FILE* out)
{
    std::fputs("kestrun " KESTRUN_VERSION "\n"
               "Copyright (C) " KESTRUN_COPYRIGHT_YEAR " Kestrun developers\n"
               "This is free software: you are free to change and redistribute it.\n"
               "There is NO WARRANTY, to the extent permitted by law.\n",
               out);
}

}  // namespace kestrun
