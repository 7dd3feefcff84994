#pragma once
#include <filesystem>
#include <string>

#include <QGroupBox>

#include "core/env/clock.h"
#include "core/env/prompter.h"
#include "core/schedule/schedule_settings.h"
#include "core/schedule/systemd_timer.h"
#include "core/store/application.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTimeEdit;

namespace quarlink {

// "毎日の自動更新" in the options: on/off (the box's check), the time (Japan
// time), the source, the run's options and 「ログイン時に起動」, which the box
// offers only while the schedule is on. The options dialog loads it, asks
// validate() before it saves anything, then save().
class ScheduleOptions : public QGroupBox {
    Q_OBJECT
public:
    // Where saving reaches outside the working folder; tests point these at
    // a scratch folder and a scripted systemctl.
    struct Places {
        std::filesystem::path unitFolder;
        std::filesystem::path autostartFolder;
        SystemctlRunner systemctl;
    };
    static Places desktopPlaces();

    explicit ScheduleOptions(QWidget* parent = nullptr, Places places = desktopPlaces());

    // Reads schedule.conf and the autostart entry; returns the message about
    // a garbled schedule.conf, empty when there is none.
    std::string loadFrom(const Application& app);
    void load(const ScheduleSettings& settings, bool startsAtLogin);
    // The settings as shown; the fields the box does not show keep the loaded values.
    ScheduleSettings settings() const;
    bool startsAtLogin() const;
    // Empty when save() can do what the box shows, else why not.
    std::string validate() const;
    // Writes schedule.conf (when changed), lets a systemd timer set up with
    // quarlink-cli follow (a timer of an older version gets Japan time), and
    // writes or removes the autostart entry. Each failure is told through
    // `prompter`; false when any.
    bool save(const Application& app, const Clock& clock, Prompter& prompter);

    QTimeEdit* timeEdit() const { return time_; }
    QLabel* localTimeNote() const { return localTime_; }
    QComboBox* sourceList() const { return source_; }
    QCheckBox* marginBox() const { return margin_; }
    QCheckBox* indexOnlyBox() const { return indexOnly_; }
    QCheckBox* nikkeiBox() const { return nikkei_; }
    QCheckBox* topixBox() const { return topix_; }
    QCheckBox* autostartBox() const { return autostart_; }

private:
    void sourceChanged();
    void timeChanged();
    // Whether the entry should be there after save(): only a schedule that is
    // on starts the tray at login; one switched off takes its entry along.
    bool autostartWanted() const;

    Places places_;
    QTimeEdit* time_;
    QLabel* localTime_;
    QComboBox* source_;
    QCheckBox* margin_;
    QCheckBox* indexOnly_;
    QCheckBox* nikkei_;
    QCheckBox* topix_;
    QCheckBox* autostart_;
    ScheduleSettings loaded_;
    bool loadedStartsAtLogin_ = false;
};

namespace schedule_options_text {
inline constexpr const char* kJapanTime = "（日本時間）";
inline constexpr const char* kLocalTime = "（この端末の時刻では %1）";
inline constexpr const char* kRunOptions = "更新の設定";
}  // namespace schedule_options_text

}  // namespace quarlink
