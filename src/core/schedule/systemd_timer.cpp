#include "core/schedule/systemd_timer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "core/schedule/update_schedule.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"

extern char** environ;

namespace quarlink {

namespace fs = std::filesystem;

namespace {

// A word of an ExecStart= line: quoted, with systemd's specifiers escaped.
std::string execWord(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string sourceText(const ScheduleSettings& s) { return sourceKindName(s.source); }

const char* kByHandIntro = "Run in your desktop session (where systemd --user runs):\n  ";

// A word for a POSIX shell.
std::string shellWord(const std::string& word) {
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-") ==
                             std::string::npos)
        return word;
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A file as it was before a change, with the folders the change may create.
struct FileBefore {
    fs::path path;
    std::optional<std::string> bytes;  // none: it did not exist
    std::vector<fs::path> missingFolders;  // deepest first
};

// Only what can be put back as it was is changed: a file, or nothing.
bool recordFile(const fs::path& path, FileBefore& was, std::string& error) {
    was.path = path;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::exists(st)) {
        std::string bytes;
        if (!fs::is_regular_file(st)) {
            error = path.string() + ": not a regular file";
            return false;
        }
        if (!readWholeFile(path, bytes, &error)) return false;
        was.bytes = std::move(bytes);
        return true;
    }
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        error = path.string() + ": a symlink to nothing";
        return false;
    }
    for (fs::path folder = path.parent_path();
         !folder.empty() && !fs::exists(folder, ec) && folder != folder.parent_path(); folder = folder.parent_path())
        was.missingFolders.push_back(folder);
    return true;
}

void putBack(const FileBefore& was, std::string& err) {
    std::string error;
    std::error_code ec;
    if (was.bytes) {
        // A step that failed left its file as it was.
        if (std::string now; readWholeFile(was.path, now) && now == *was.bytes) return;
        if (!replaceFileAtomically(was.path, *was.bytes, &error)) err += "cannot put back " + error + "\n";
        return;
    }
    fs::remove(was.path, ec);
    if (ec) err += "cannot remove " + was.path.string() + ": " + ec.message() + "\n";
    for (const fs::path& folder : was.missingFolders) fs::remove(folder, ec);  // only when empty
}

}  // namespace

SystemctlRunner runSystemctl() {
    return [](const std::vector<std::string>& args, std::string& output) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 127;
        std::vector<std::string> words{"systemctl", "--user"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        pid_t pid = 0;
        const int spawned = ::posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        if (spawned != 0) {
            ::close(pipeFds[0]);
            return 127;
        }
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            output.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(pipeFds[0]);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
    };
}

fs::path userUnitFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return fs::path(config) / "systemd" / "user";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / ".config" / "systemd" / "user";
}

std::string timerDropIn(const ScheduleSettings& settings) {
    // The empty OnCalendar= drops the installed unit's time instead of adding a second one.
    return "# Written by quarlink-cli schedule enable; quarlink-cli schedule disable removes it.\n"
           "[Timer]\n"
           "OnCalendar=\n"
           "OnCalendar=Mon..Fri " +
           formatTimeOfDay(settings.hour, settings.minute) + ":00\n";
}

std::string serviceDropIn(const fs::path& cli, const fs::path& workDir) {
    return "# Written by quarlink-cli schedule enable; quarlink-cli schedule disable removes it.\n"
           "[Service]\n"
           "ExecStart=\n"
           "ExecStart=" +
           execWord(cli.string()) + " --workdir " + execWord(workDir.string()) + " --wait 3600 update --scheduled\n";
}

SystemdSchedule::SystemdSchedule(fs::path workDir, bool defaultWorkDir, fs::path unitFolder,
                                 SystemctlRunner systemctl)
    : workDir_(std::move(workDir)),
      defaultWorkDir_(defaultWorkDir),
      unitFolder_(std::move(unitFolder)),
      systemctl_(std::move(systemctl)) {}

fs::path SystemdSchedule::timerDropInPath() const {
    return unitFolder_ / (std::string(kTimerUnit) + ".d") / kDropInName;
}
fs::path SystemdSchedule::serviceDropInPath() const {
    return unitFolder_ / (std::string(kServiceUnit) + ".d") / kDropInName;
}

bool SystemdSchedule::systemctl(const std::vector<std::string>& args, Result& result, const std::string& doByHand) {
    std::string output;
    const int status = systemctl_(args, output);
    if (status == 0) return true;
    result.ok = false;
    std::string command = "systemctl --user";
    for (const std::string& a : args) command += " " + a;
    if (status == 127)
        result.err += "systemctl was not found: this system does not run systemd, so the timer cannot be used.\n"
                      "Let the tray application run the update (設定 ⇒ Sorvantide関連オプション ⇒ 毎日の自動更新), or "
                      "add a crontab line (crontab -e), e.g.\n  30 17 * * 1-5  quarlink-cli --wait 3600 update "
                      "--scheduled\n";
    else
        result.err += "'" + command + "' failed (exit " + std::to_string(status) + ")" +
                      (output.empty() ? std::string(".\n") : ":\n" + output + (output.back() == '\n' ? "" : "\n")) +
                      kByHandIntro + doByHand + "\n";
    return false;
}

SystemdSchedule::Result SystemdSchedule::enable(const ScheduleSettings& settings, const fs::path& cli) {
    Result r;
    // schedule.conf first: it says which time is due, so a timer that still
    // fires at the old time runs the new one's update. Each file is put back
    // if a later step fails, so a failed enable changes nothing.
    std::vector<FileBefore> before;
    auto change = [&](const fs::path& path, const std::optional<std::string>& bytes, const char* what) {
        std::string error;
        FileBefore was;
        if (!recordFile(path, was, error)) {
            r.err = std::string("cannot ") + what + ": " + error + "\n";
            return false;
        }
        before.push_back(std::move(was));
        if (!bytes) {
            std::error_code ec;
            if (fs::remove(path, ec) || !ec) return true;
            error = path.string() + ": " + ec.message();
        } else if (ensureFolder(path.parent_path(), &error) && replaceFileAtomically(path, *bytes, &error)) {
            return true;
        }
        r.err = std::string("cannot ") + what + ": " + error + "\n";
        return false;
    };
    const std::string byHand = enableCommand(settings);
    bool reloaded = false;
    const bool done =
        change(workDir_ / kScheduleFileName, formatSchedule(settings), "save the schedule") &&
        change(timerDropInPath(), timerDropIn(settings), "write the timer's drop-in") &&
        change(serviceDropInPath(),
               defaultWorkDir_ ? std::nullopt : std::optional<std::string>(serviceDropIn(cli, workDir_)),
               "write the service's drop-in") &&
        (reloaded = systemctl({"daemon-reload"}, r, byHand)) && systemctl({"enable", "--now", kTimerUnit}, r, byHand);
    if (!done) {
        r.ok = false;
        if (r.err.find("systemctl was not found") == std::string::npos &&
            (r.err.find("not found") != std::string::npos || r.err.find("does not exist") != std::string::npos))
            r.err += "The units come with the quarlink package (lib/systemd/user/quarlink-update.*).\n";
        std::string notBack;
        for (auto it = before.rbegin(); it != before.rend(); ++it) putBack(*it, notBack);
        // systemd has read the drop-ins that were just put back.
        std::string output;
        if (reloaded && systemctl_({"daemon-reload"}, output) != 0)
            notBack += "Run 'systemctl --user daemon-reload' to drop the timer's new time.\n";
        r.err += notBack.empty() ? std::string("The schedule and the timer are left as they were.\n") : notBack;
        return r;
    }
    r.out = "Saved " + (workDir_ / kScheduleFileName).string() + " and " + timerDropInPath().string() + ".\n";
    r.out += "The timer runs the daily update (source " + sourceText(settings) + ") Monday to Friday at " +
             formatTimeOfDay(settings.hour, settings.minute) + "; a time missed while the machine was off runs at "
             "the next start. Its output: journalctl --user -u " + kServiceUnit + "\n";
    return r;
}

std::string SystemdSchedule::enableCommand(const ScheduleSettings& settings) const {
    return "quarlink-cli" + (defaultWorkDir_ ? std::string() : " --workdir " + shellWord(workDir_.string())) +
           " schedule enable --time " + formatTimeOfDay(settings.hour, settings.minute) + " --source " +
           sourceText(settings);
}

SystemdSchedule::Result SystemdSchedule::disable() {
    Result r;
    std::error_code ec;
    for (const fs::path& p : {timerDropInPath(), serviceDropInPath()}) {
        fs::remove(p, ec);
        fs::remove(p.parent_path(), ec);  // only when empty
    }
    const std::string byHand = std::string("systemctl --user disable --now ") + kTimerUnit +
                               " && systemctl --user daemon-reload";
    if (systemctl({"disable", "--now", kTimerUnit}, r, byHand) && systemctl({"daemon-reload"}, r, byHand))
        r.out = "The timer is stopped and disabled.\n";
    return r;
}

SystemdSchedule::Result SystemdSchedule::followTime(const ScheduleSettings& settings) {
    Result r;
    std::error_code ec;
    if (!fs::exists(timerDropInPath(), ec)) return r;
    const std::string text = timerDropIn(settings);
    std::string old, error;
    if (readWholeFile(timerDropInPath(), old) && old == text) return r;
    if (!replaceFileAtomically(timerDropInPath(), text, &error)) {
        r.ok = false;
        r.err = "cannot write the timer's drop-in: " + error + "\n";
        return r;
    }
    systemctl({"daemon-reload"}, r, "systemctl --user daemon-reload");
    return r;
}

SystemdSchedule::Result SystemdSchedule::status(const ScheduleSettings& settings, const LocalDateTime& now) {
    Result r;
    ScheduleSettings on = settings;
    on.enabled = true;
    const ScheduleDecision next = decideSchedule(on, now, {}, false);
    r.out += "time: " + formatTimeOfDay(settings.hour, settings.minute) + " Monday to Friday (local time)\n";
    r.out += std::string("source: ") + sourceKindName(settings.source) + "\n";
    r.out += std::string("tray application: ") + (settings.enabled ? "on" : "off") + "\n";
    r.out += "last run: " + (settings.lastRun ? formatStampText(settings.lastRun) : std::string("never")) + "\n";
    if (next.action == ScheduleDecision::Action::Run)
        r.out += "due: " + formatStampText(next.slot) + " (runs at the next start)\n";
    else if (next.next)
        r.out += "next: " + formatStampText(next.next) + "\n";
    std::error_code ec;
    r.out += "timer drop-in: " +
             (fs::exists(timerDropInPath(), ec) ? timerDropInPath().string() : std::string("none")) + "\n";
    std::string output;
    const int status = systemctl_({"is-enabled", kTimerUnit}, output);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    r.out += "systemd timer: " +
             (status == 127 ? std::string("systemd not available") : output.empty() ? std::string("unknown") : output) +
             "\n";
    return r;
}

}  // namespace quarlink
