#include "core/schedule/systemd_timer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "core/schedule/update_schedule.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"

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
            error = path.string() + "（" + file_text::kNotRegular + "）";
            return false;
        }
        if (!readWholeFile(path, bytes, &error)) return false;
        was.bytes = std::move(bytes);
        return true;
    }
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        error = path.string() + "（" + systemd_text::kDanglingLink + "）";
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
        if (!replaceFileAtomically(was.path, *was.bytes, &error)) err += systemd_text::kNotPutBack + error + "\n";
        return;
    }
    fs::remove(was.path, ec);
    if (ec) err += systemd_text::kNotPutBack + fileErrorText("cannot remove", was.path, ec.value()) + "\n";
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
    // The empty OnCalendar= drops the installed unit's time instead of adding
    // a second one. The time is Japan's, where the data are published,
    // whatever zone the machine keeps.
    return "# Written by quarlink-cli schedule enable; quarlink-cli schedule disable removes it.\n"
           "[Timer]\n"
           "OnCalendar=\n"
           "OnCalendar=Mon..Fri *-*-* " +
           formatTimeOfDay(settings.hour, settings.minute) + ":00 " + kScheduleZone + "\n";
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
        result.err += systemd_text::kNoSystemctl;
    else
        result.err += fillIn(systemd_text::kSystemctlFailed, {command, std::to_string(status)}) +
                      (output.empty() ? std::string("。\n") : "：\n" + output + (output.back() == '\n' ? "" : "\n")) +
                      systemd_text::kByHand + doByHand + "\n";
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
            r.err = what + error + "\n";
            return false;
        }
        before.push_back(std::move(was));
        if (!bytes) {
            std::error_code ec;
            if (fs::remove(path, ec) || !ec) return true;
            error = fileErrorText("cannot remove", path, ec.value());
        } else if (ensureFolder(path.parent_path(), &error) && replaceFileAtomically(path, *bytes, &error)) {
            return true;
        }
        r.err = what + error + "\n";
        return false;
    };
    const std::string byHand = enableCommand(settings);
    bool reloaded = false;
    const bool done =
        change(workDir_ / kScheduleFileName, formatSchedule(settings), systemd_text::kScheduleNotSaved) &&
        change(timerDropInPath(), timerDropIn(settings), systemd_text::kTimerDropInNotWritten) &&
        change(serviceDropInPath(),
               defaultWorkDir_ ? std::nullopt : std::optional<std::string>(serviceDropIn(cli, workDir_)),
               systemd_text::kServiceDropInNotWritten) &&
        (reloaded = systemctl({"daemon-reload"}, r, byHand)) && systemctl({"enable", "--now", kTimerUnit}, r, byHand);
    if (!done) {
        r.ok = false;
        if (r.err.find(systemd_text::kNoSystemctl) == std::string::npos &&
            (r.err.find("not found") != std::string::npos || r.err.find("does not exist") != std::string::npos))
            r.err += systemd_text::kUnitsMissing;
        std::string notBack;
        for (auto it = before.rbegin(); it != before.rend(); ++it) putBack(*it, notBack);
        // systemd has read the drop-ins that were just put back.
        std::string output;
        if (reloaded && systemctl_({"daemon-reload"}, output) != 0)
            notBack += systemd_text::kReloadByHand;
        r.err += notBack.empty() ? std::string(systemd_text::kLeftAsBefore) : notBack;
        return r;
    }
    r.out = fillIn(systemd_text::kSaved, {(workDir_ / kScheduleFileName).string(), timerDropInPath().string()});
    r.out += fillIn(systemd_text::kRuns,
                    {formatTimeOfDay(settings.hour, settings.minute), sourceText(settings), kServiceUnit});
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
        r.out = systemd_text::kDisabled;
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
        r.err = systemd_text::kTimerDropInNotWritten + error + "\n";
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
    r.out += fillIn(systemd_text::kTime, {formatTimeOfDay(settings.hour, settings.minute)});
    r.out += fillIn(systemd_text::kSource, {sourceKindName(settings.source)});
    r.out += fillIn(systemd_text::kTray, {settings.enabled ? systemd_text::kOn : systemd_text::kOff});
    r.out += fillIn(systemd_text::kLastRun,
                    {settings.lastRun ? formatStampText(settings.lastRun) : std::string(systemd_text::kNever)});
    if (next.action == ScheduleDecision::Action::Run)
        r.out += fillIn(systemd_text::kDue, {formatStampText(next.slot)});
    else if (next.next)
        r.out += fillIn(systemd_text::kNext, {formatStampText(next.next)});
    std::error_code ec;
    r.out += fillIn(systemd_text::kDropIn, {fs::exists(timerDropInPath(), ec) ? timerDropInPath().string()
                                                                              : std::string(systemd_text::kNever)});
    std::string output;
    const int status = systemctl_({"is-enabled", kTimerUnit}, output);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    // systemctl's own words are quoted, but for the two states a user expects.
    const std::string state = status == 127          ? std::string(systemd_text::kNoSystemd)
                              : output.empty()       ? std::string(systemd_text::kUnknown)
                              : output == "enabled"  ? std::string(systemd_text::kEnabled)
                              : output == "disabled" ? std::string(systemd_text::kNotEnabled)
                                                     : "\"" + echoText(output) + "\"";
    r.out += fillIn(systemd_text::kTimerState, {state});
    return r;
}

}  // namespace quarlink
