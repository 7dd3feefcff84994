#include "gui/shell/tray_commands.h"

#include <QApplication>
#include <QFile>

#include "gui/shell/about_dialog.h"
#include "gui/shell/desktop_services.h"
#include "gui/shell/first_start_wizard.h"
#include "gui/shell/option_dialog.h"
#include "core/store/folder_layout.h"
#include "core/store/writer_lock.h"
// Job dialogs: include each one's header here when it is wired below.
#include "gui/editor/data_editor_dialog.h"
#include "gui/jobs/backup_dialog.h"
#include "gui/jobs/data_check_dialog.h"
#include "gui/jobs/init_value_data_dialog.h"
#include "gui/jobs/supplement_dialog.h"
#include "gui/jobs/year_split_dialog.h"
#include "gui/jobs/supp_shin_dialog.h"
#include "gui/jobs/update_dialog.h"
#include "gui/jobs/update_index_dialog.h"
#include "gui/portfolio/portfolio_dialog.h"

namespace quarlink {
namespace {

using Openers = std::map<TrayCommand, TrayOpener>;

// Each command runs its dialog modally and destroys it when it closes.
template <class Dialog>
void openModal(Application& app, QWidget* parent) {
    Dialog dlg(app, parent);
    dlg.exec();
}

// The job dialogs behind the menu. An entry stays disabled until it has an
// opener here; its guard and question already run before the opener, so
// enabling one is its #include above and one line:
//   o[TrayCommand::Update] = openModal<UpdateDialog>;
// Commands and dialogs: Portfolio PortfolioDialog, Update UpdateDialog,
// SuppShin SuppShinDialog, UpdateIndex UpdateIndexDialog, DataEditor
// DataEditorDialog, MakeBackUp MakeBackUpDialog, RestoreBackUp
// RestoreBackUpDialog, Supplement SupplementDialog, Sepalater
// SepalaterDialog, InitValueData InitValueDataDialog.
void addJobDialogOpeners(Openers& o) {
    o[TrayCommand::Update] = openModal<UpdateDialog>;
    o[TrayCommand::SuppShin] = openModal<SuppShinDialog>;
    o[TrayCommand::InitValueData] = openModal<InitValueDataDialog>;
    o[TrayCommand::UpdateIndex] = openModal<UpdateIndexDialog>;
    o[TrayCommand::Supplement] = openModal<SupplementDialog>;
    o[TrayCommand::MakeBackUp] = openModal<MakeBackUpDialog>;
    o[TrayCommand::RestoreBackUp] = openModal<RestoreBackUpDialog>;
    o[TrayCommand::Sepalater] = openModal<SepalaterDialog>;
    o[TrayCommand::DataEditor] = openModal<DataEditorDialog>;
    o[TrayCommand::Portfolio] = openModal<PortfolioDialog>;
    o[TrayCommand::DataCheck] = openModal<DataCheckDialog>;  // takes the writer lock only to repair
}

// The dialogs that write price files, index.txt or the portfolio book: each
// holds the writer lock while it is open, so that a quarlink-cli run from
// cron cannot write between its reading and its writing.
bool writesData(TrayCommand command) {
    switch (command) {
    case TrayCommand::Update:
    case TrayCommand::SuppShin:
    case TrayCommand::InitValueData:
    case TrayCommand::UpdateIndex:
    case TrayCommand::Supplement:
    case TrayCommand::MakeBackUp:
    case TrayCommand::RestoreBackUp:
    case TrayCommand::Sepalater:
    case TrayCommand::DataEditor:
    case TrayCommand::Portfolio: return true;
    default: return false;
    }
}

void openFolderOrTell(const std::filesystem::path& folder, const TrayServices& services, Prompter& prompter) {
    const std::string text = tray_text::kFolderNotOpened + folder.string();
    auto tell = [&prompter, text] { prompter.message(text); };
    if (services.openFolder && services.openFolder(folder, tell)) return;
    tell();
}

}  // namespace

TrayServices desktopTrayServices() {
    return {openFolderInFileManager, [] { QApplication::quit(); }};
}

TrayCommands::TrayCommands(Application& app, Prompter& prompter, TrayServices services)
    : app_(app), prompter_(prompter), services_(std::move(services)) {
    addJobDialogOpeners(openers_);
    openers_[TrayCommand::OpenExtensionFolder] = [this](Application& a, QWidget*) {
        openFolderOrTell(layout::extensionFolder(a), services_, prompter_);
    };
    openers_[TrayCommand::Options] = [this](Application& a, QWidget* parent) {
        OptionDialog dlg(a, parent, &prompter_);
        dlg.exec();
    };
    openers_[TrayCommand::FirstStartGuide] = [this](Application& a, QWidget* parent) {
        FirstStartWizard guide(a, prompter_, parent, systemEnvironment());
        guide.exec();
    };
    openers_[TrayCommand::OpenWorkFolder] = [this](Application& a, QWidget*) {
        openFolderOrTell(a.workDir, services_, prompter_);
    };
    openers_[TrayCommand::About] = [](Application&, QWidget* parent) {
        AboutDialog dlg(parent);
        dlg.exec();
    };
    openers_[TrayCommand::Exit] = [this](Application&, QWidget*) {
        if (services_.quit) services_.quit();
    };
}

void TrayCommands::setOpener(TrayCommand command, TrayOpener opener) { openers_[command] = std::move(opener); }

void TrayCommands::setOffered(TrayCommand command, std::function<bool()> offered) {
    offered_[command] = std::move(offered);
}

bool TrayCommands::offered(TrayCommand command) const {
    const auto it = offered_.find(command);
    return it != offered_.end() && it->second && it->second();
}

TrayRunResult TrayCommands::run(TrayCommand command, QWidget* parent) {
    // A copy: an opener may replace the table while it runs.
    const auto it = openers_.find(command);
    return run(command, parent, it == openers_.end() ? TrayOpener() : it->second);
}

TrayRunResult TrayCommands::run(TrayCommand command, QWidget* parent, const TrayOpener& opener) {
    // A stop must reach the run while another dialog is open; the outcome
    // takes the guard and the lock itself, through run(Update).
    if (trayMenuEntry(command).onlyWhenOffered) {
        if (!offered(command) || !opener) return TrayRunResult::Declined;
        opener(app_, parent);
        return TrayRunResult::Done;
    }
    if (busy_) return TrayRunResult::Busy;
    if (!blocked_.empty() && writesData(command)) {
        prompter_.message(blocked_);
        return TrayRunResult::Busy;
    }
    busy_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{busy_};
    switch (admitCommand(trayMenuEntry(command), app_, prompter_)) {
    case Admission::NoChartFolder: return TrayRunResult::NoChartFolder;
    case Admission::Declined: return TrayRunResult::Declined;
    case Admission::Proceed: break;
    }
    WriterLock lock(app_.workDir, "quarlink", app_.chartFolder);
    if (writesData(command)) {
        while (!lock.tryAcquire())
            if (!prompter_.askYesNo(lock.busyMessage() + "\n" + tray_text::kRetryQuestion))
                return TrayRunResult::Declined;
    }
    if (opener) opener(app_, parent);
    return TrayRunResult::Done;
}

}  // namespace quarlink
