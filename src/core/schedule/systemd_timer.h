#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/schedule/schedule_settings.h"

namespace quarlink {

// Runs `systemctl --user ARGS...`, output (stdout and stderr) into `output`;
// returns its exit status, 127 when systemctl cannot be started.
using SystemctlRunner = std::function<int(const std::vector<std::string>& args, std::string& output)>;
SystemctlRunner runSystemctl();

inline constexpr const char* kTimerUnit = "quarlink-update.timer";
inline constexpr const char* kServiceUnit = "quarlink-update.service";
inline constexpr const char* kDropInName = "schedule.conf";

// $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
std::filesystem::path userUnitFolder();

// The timer's drop-in: Monday to Friday at the schedule's time, Japan time.
std::string timerDropIn(const ScheduleSettings& settings);
// The service's drop-in for a working folder other than the default one.
std::string serviceDropIn(const std::filesystem::path& cli, const std::filesystem::path& workDir);

// `quarlink-cli schedule`: the timer's drop-in and systemctl, injected so
// that the steps are tested without a running systemd.
class SystemdSchedule {
public:
    SystemdSchedule(std::filesystem::path workDir, bool defaultWorkDir, std::filesystem::path unitFolder,
                    SystemctlRunner systemctl);

    struct Result {
        bool ok = true;
        std::string out;  // for standard output
        std::string err;  // for standard error
    };
    // Saves the time and source, writes the drop-ins, reloads and enables the
    // timer; when a step fails, the files are put back as they were.
    Result enable(const ScheduleSettings& settings, const std::filesystem::path& cli);
    // Stops and disables the timer and removes the drop-ins.
    Result disable();
    // `now` is Japan time.
    Result status(const ScheduleSettings& settings, const LocalDateTime& now);
    // The time changed elsewhere (the tray's options): an enabled timer's
    // drop-in follows it, so that the timer and the tray keep one time.
    Result followTime(const ScheduleSettings& settings);

    std::filesystem::path timerDropInPath() const;
    std::filesystem::path serviceDropInPath() const;

private:
    bool systemctl(const std::vector<std::string>& args, Result& result, const std::string& doByHand);
    // The quarlink-cli command that repeats this enable, for a failed one.
    std::string enableCommand(const ScheduleSettings& settings) const;

    std::filesystem::path workDir_;
    bool defaultWorkDir_;
    std::filesystem::path unitFolder_;
    SystemctlRunner systemctl_;
};

// What `quarlink-cli schedule` and the options say of the timer; filled in
// with fillIn().
namespace systemd_text {
inline constexpr const char* kByHand = "デスクトップのセッション（systemd --userが動いているところ）で次を実行してください：\n  ";
inline constexpr const char* kNoSystemctl =
    "systemctlが見つかりません。このシステムではsystemdが動いていないため、タイマーを使えません。\n"
    "トレイアプリケーションに更新させる（設定 ⇒ Sorvantide関連オプション ⇒ 毎日の自動更新）か、"
    "crontabに次のような行を加えてください（crontab -e）：\n  30 17 * * 1-5  quarlink-cli --wait 3600 update --scheduled\n";
inline constexpr const char* kSystemctlFailed = "「%s」が失敗しました（終了コード %s）";
inline constexpr const char* kUnitsMissing =
    "タイマーのユニットはquarlinkのパッケージに入っています（lib/systemd/user/quarlink-update.*）。"
    "パッケージをインストールし直してください。\n";
inline constexpr const char* kScheduleNotSaved = "毎日の自動更新の設定を保存できません：";
inline constexpr const char* kTimerDropInNotWritten = "タイマーの時刻の設定（ドロップイン）を書き込めません：";
inline constexpr const char* kServiceDropInNotWritten = "サービスの設定（ドロップイン）を書き込めません：";
inline constexpr const char* kDanglingLink = "リンク先のないシンボリックリンクです";
inline constexpr const char* kNotPutBack = "元に戻せません：";
inline constexpr const char* kReloadByHand =
    "「systemctl --user daemon-reload」を実行して、タイマーの新しい時刻を取り消してください。\n";
inline constexpr const char* kLeftAsBefore = "毎日の自動更新の設定とタイマーは元のままです。\n";
inline constexpr const char* kSaved = "%sと%sを保存しました。\n";
inline constexpr const char* kRuns =
    "タイマーが月曜から金曜の日本時間%sに日々のデータ更新（取得先 %s）を実行します。電源が切れていて"
    "逃した時刻の分は、次の起動時に実行します。出力は「journalctl --user -u %s」で見られます。\n";
inline constexpr const char* kDisabled = "タイマーを止めて、無効にしました。\n";
// The lines of `schedule status`.
inline constexpr const char* kTime = "時刻：%s 月曜〜金曜（日本時間）\n";
inline constexpr const char* kSource = "取得先：%s\n";
inline constexpr const char* kTray = "トレイアプリケーション：%s\n";
inline constexpr const char* kOn = "オン";
inline constexpr const char* kOff = "オフ";
inline constexpr const char* kLastRun = "前回の実行：%s\n";
inline constexpr const char* kNever = "なし";
inline constexpr const char* kDue = "実行待ち：%s（次の起動時に実行します）\n";
inline constexpr const char* kNext = "次回：%s\n";
inline constexpr const char* kDropIn = "タイマーの時刻の設定：%s\n";
inline constexpr const char* kTimerState = "systemdのタイマー：%s\n";
inline constexpr const char* kNoSystemd = "systemdがありません";
inline constexpr const char* kUnknown = "不明";
inline constexpr const char* kEnabled = "有効";
inline constexpr const char* kNotEnabled = "無効";
}  // namespace systemd_text

}  // namespace quarlink
