#pragma once
#include <filesystem>
#include <functional>
#include <map>

#include "core/app/tray_menu.h"
#include "core/store/application.h"
#include "core/env/prompter.h"

class QWidget;

namespace quarlink {

// What a menu entry does once its guard and question have passed.
using TrayOpener = std::function<void(Application& app, QWidget* parent)>;

// The desktop side of the commands; tests replace it.
struct TrayServices {
    // False when the folder cannot be opened; `lateFailure` may be called
    // afterwards when the file manager turns out to be missing.
    std::function<bool(const std::filesystem::path& folder, std::function<void()> lateFailure)> openFolder;
    std::function<void()> quit;
};

TrayServices desktopTrayServices();

enum class TrayRunResult { Done, NoChartFolder, Declined, Busy };

// Runs the tray menu's commands: guard, question, then the entry's opener.
class TrayCommands {
public:
    TrayCommands(Application& app, Prompter& prompter, TrayServices services = desktopTrayServices());

    // Replaces the entry's opener (tests, and the scheduled update for its own entries).
    void setOpener(TrayCommand command, TrayOpener opener);
    // Whether an entry shown only at times is on offer now; none offered by
    // default, an empty function withdraws the offer.
    void setOffered(TrayCommand command, std::function<bool()> offered);
    bool offered(TrayCommand command) const;

    // One command at a time: a command started while another one's dialog
    // is open is refused (the tray menu stays reachable beside a modal dialog).
    TrayRunResult run(TrayCommand command, QWidget* parent = nullptr);
    // The same guard, question and writer lock, with another opener (the
    // scheduled update's dialog with its outcome).
    TrayRunResult run(TrayCommand command, QWidget* parent, const TrayOpener& opener);
    bool busy() const { return busy_; }

    // While set, the commands that write data show `why` and do nothing (a
    // scheduled update runs without a dialog of its own).
    void setBlocked(std::string why) { blocked_ = std::move(why); }

    Application& app() { return app_; }

private:
    Application& app_;
    Prompter& prompter_;
    TrayServices services_;
    std::map<TrayCommand, TrayOpener> openers_;
    std::map<TrayCommand, std::function<bool()>> offered_;
    bool busy_ = false;
    std::string blocked_;
};

}  // namespace quarlink
