#include <algorithm>
#include <iostream>
#include <optional>

#include "cli_commands.h"
#include "core/jobs/index_update.h"
#include "core/jobs/web_session.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/text_encoding.h"

namespace quarlink::cli {
namespace {

struct Options {
    std::vector<int> removeChanged;
    std::vector<int> removeUnregistered;
    std::optional<std::string> source;
    bool apply = false;
    bool yes = false;
};

// An index line as the terminal may show it: the published file's and the
// local one's bytes with their controls escaped, cut only past what a line holds.
std::string shownLine(const IndexTable& table, int code) {
    return echoText(cp932ToUtf8(IndexUpdate::entryLine(table, code)), 2 * index_update_text::kMaxLineBytes);
}

void printList(const char* title, const std::vector<int>& codes, const IndexUpdate& job) {
    std::cout << title << " (" << codes.size() << ")\n";
    for (const int code : codes) {
        std::cout << layout::codeName(code) << '\t' << shownLine(job.currentTable(), code) << '\t'
                  << shownLine(job.newTable(), code);
        if (const std::string note = job.newNameNote(code); !note.empty()) std::cout << '\t' << note;
        std::cout << '\n';
    }
}

int run(Context& context, const Options& options) {
    const auto& [removeChanged, removeUnregistered, source, apply, yes] = options;
    context.prompter.assumeYes = yes;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::UpdateIndex)) return kExitFailed;

    WebSession web(context.app, context.environment);
    IndexUpdate job(context.app, web.fetcher(), web.endpoints(), web.environment());
    if (const JobOutcome opened = job.open(); opened.state != JobState::Idle) {
        if (opened.message) context.prompter.message(*opened.message);
        return kExitFailed;
    }
    job.action = IndexUpdate::Action::Download;
    // "pages" is no kind's name: the pages' index stays the job's default.
    if (const auto kind = sourceKindFromName(source.value_or(""))) job.settings.source = *kind;
    if (const int exit = driveJob(job, context.prompter, web); exit != kExitDone) return exit;

    for (const int code : removeChanged) {
        const auto& list = job.changed();
        const auto it = std::find(list.begin(), list.end(), code);
        if (it == list.end()) return usageError("index-update", layout::codeName(code) + " is not in the changed list");
        job.removeChanged(static_cast<int>(it - list.begin()));
    }
    for (const int code : removeUnregistered) {
        const auto& list = job.unregistered();
        const auto it = std::find(list.begin(), list.end(), code);
        if (it == list.end())
            return usageError("index-update", layout::codeName(code) + " is not in the unregistered list");
        job.removeUnregistered(static_cast<int>(it - list.begin()));
    }

    std::cout << index_update_text::kDateLabel << ' ' << job.newDateText() << '\n';
    printList(index_update_text::kChangedLabel, job.changed(), job);
    printList(index_update_text::kUnregisteredLabel, job.unregistered(), job);
    std::cout.flush();
    if (!apply) return kExitDone;
    job.action = IndexUpdate::Action::Apply;
    return driveJob(job, context.prompter);
}

void addOptions(CLI::App& command, Options& options) {
    addChoice(command, "--source", options.source, {"pages", "jquants"}, "pages (default) or jquants")
        ->type_name("S");
    addCodes(command, "--remove-change", options.removeChanged, "do not apply the change of CODE (repeatable)");
    addCodes(command, "--remove-unregistered", options.removeUnregistered, "drop CODE from index.txt (repeatable)");
    command.add_flag("--apply", options.apply, "write the remaining changes into index.txt");
    command.add_flag("--yes", options.yes,
                     "answer the question of --apply with Yes; without it the question is asked on a terminal, "
                     "else No");
}

}  // namespace

const Command kIndexUpdateCommand{
    "index-update",
    "merge the published index.txt into the local one",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] index-update [--source pages|jquants]\n"
    "                    [--remove-change CODE]... [--remove-unregistered CODE]...\n"
    "                    [--apply] [--yes]\n"
    "\n"
    "Downloads /download/index.txt from the index server (key 'index' in\n"
    "endpoints.conf), or with --source jquants builds the list from today's\n"
    "J-Quants listed-issue master (key in JQUANTS_API_KEY or jquants.key), compares\n"
    "it with <chart folder>/index.txt and prints the\n"
    "published date, the changed list (changed or new codes) and the unregistered\n"
    "list (codes missing from the published file): one line per code, the code,\n"
    "then the current and the new entry as index lines, separated by tabs, and a\n"
    "note when a new name lost characters that Shift-JIS cannot hold.\n"
    "From the master: markets 0111/0101 T1, 0112/0102 T2, 0113/0104 M, 0106/0107 J,\n"
    "others keep the local market ('-' for a new code); a new code trades in units\n"
    "of 100, an existing one keeps its unit; flags always stay local; codes with\n"
    "letters or another share class are left out and counted.\n"
    "\n"
    "Options:\n"
    "{options}\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed, 2 download failed.\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
