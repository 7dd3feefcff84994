#include <algorithm>
#include <iostream>

#include "cli_commands.h"
#include "jobs/index_update.h"
#include "jobs/web_session.h"
#include "store/folder_layout.h"
#include "store/text_encoding.h"

namespace quarlink::cli {
namespace {

bool collectCodes(Args& args, std::string_view name, std::vector<int>& codes) {
    while (auto text = args.value(name)) {
        const auto code = parseNumber(*text);
        if (!code || *code > 9999) return false;
        codes.push_back(static_cast<int>(*code));
    }
    return true;
}

void printList(const char* title, const std::vector<int>& codes, const IndexUpdate& job) {
    std::cout << title << " (" << codes.size() << ")\n";
    for (const int code : codes)
        std::cout << layout::codeName(code) << '\t' << cp932ToUtf8(IndexUpdate::entryLine(job.currentTable(), code))
                  << '\t' << cp932ToUtf8(IndexUpdate::entryLine(job.newTable(), code)) << '\n';
}

int run(Context& context, Args& args) {
    std::vector<int> removeChanged;
    std::vector<int> removeUnregistered;
    const bool okChanged = collectCodes(args, "--remove-change", removeChanged);
    const bool okUnregistered = collectCodes(args, "--remove-unregistered", removeUnregistered);
    const bool apply = args.flag("--apply");
    context.prompter.assumeYes = args.flag("--yes");
    if (args.missingValue()) return usageError("index-update", args.missingName() + " needs a value");
    if (!okChanged || !okUnregistered) return usageError("index-update", "codes are numbers 0..9999");
    if (auto extra = args.leftover()) return usageError("index-update", "unexpected argument '" + *extra + "'");

    loadOptionsForCommand(context);
    if (!requireChartFolder(context)) return kExitFailed;

    WebSession web(context.app);
    IndexUpdate job(context.app, web.fetcher(), web.endpoints());
    if (const JobOutcome opened = job.open(); opened.state != JobState::Idle) {
        if (opened.message) context.prompter.message(*opened.message);
        return kExitFailed;
    }
    job.action = IndexUpdate::Action::Download;
    if (const int exit = driveJob(job, context.prompter); exit != kExitDone) return exit;

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

}  // namespace

const Command kIndexUpdateCommand{
    "index-update",
    "merge the published index.txt into the local one",
    "Usage: quarlink-cli [--workdir DIR] index-update [--remove-change CODE]...\n"
    "                    [--remove-unregistered CODE]... [--apply] [--yes]\n"
    "\n"
    "Downloads /download/index.txt from the index server (key 'index' in\n"
    "endpoints.conf), compares it with <chart folder>/index.txt and prints the\n"
    "published date, the changed list (changed or new codes) and the unregistered\n"
    "list (codes missing from the published file): one line per code, the code,\n"
    "then the current and the new entry as index lines, separated by tabs.\n"
    "\n"
    "Options:\n"
    "  --remove-change CODE        do not apply the change of CODE (repeatable)\n"
    "  --remove-unregistered CODE  drop CODE from index.txt (repeatable)\n"
    "  --apply                     write the remaining changes into index.txt\n"
    "  --yes                       answer the question of --apply with Yes; without\n"
    "                              it the question is asked on a terminal, else No\n"
    "\n"
    "Exit codes: 0 done, 1 refused or failed, 2 download failed.\n",
    run,
};

}  // namespace quarlink::cli
