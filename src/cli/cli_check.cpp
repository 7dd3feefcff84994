#include <iostream>

#include "cli_commands.h"
#include "core/health/check_report.h"
#include "core/health/data_check_job.h"
#include "core/health/price_csv.h"
#include "core/store/atomic_file.h"
#include "core/env/clock.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"

namespace quarlink::cli {
namespace {

// ---- check ----

struct CheckOptions {
    std::vector<int> codes;
    bool json = false, repair = false, yes = false;
};

void addCheck(CLI::App& command, CheckOptions& o) {
    addCodes(command, "--code", o.codes, "check only CODE (repeatable)");
    command.add_flag("--json", o.json, "print one JSON document instead of the lines (its shape is in the README)");
    command.add_flag("--repair", o.repair, "then fix what needs no guessing (below)");
    command.add_flag("--yes", o.yes, "answer the question of --repair with Yes");
}

int runCheck(Context& context, const CheckOptions& options) {
    context.prompter.assumeYes = options.yes;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::DataCheck)) return kExitFailed;
    // Only a repair writes, and only then may it wait for another writer.
    if (options.repair && context.takeWriterLock && !context.takeWriterLock()) return kExitFailed;

    SystemClock clock;
    DataCheckJob job(context.app, clock);
    job.open();
    job.settings.codes = options.codes;
    job.settings.repair = options.repair;
    JobOutcome o = job.start();
    while (o.state == JobState::Running)
        o = o.question ? job.answer(context.prompter.askYesNo(*o.question)) : job.tick();
    if (o.message) context.prompter.message(*o.message);
    std::cout << (options.json ? checkReportJson(job, context.app.chartFolder) : checkReportText(job)) << std::flush;
    return o.stopReason == JobOutcome::StopReason::Failed || job.remaining() > 0 ? kExitFailed : kExitDone;
}

// ---- export ----

struct ExportOptions {
    std::vector<int> codes;
    std::optional<int> from, to;
    std::optional<std::string> out;
    bool all = false;
};

void addExport(CLI::App& command, ExportOptions& o) {
    addCodes(command, "CODE", o.codes, "the codes to export");
    command.add_flag("--all", o.all, "export every price file");
    addNumber(command, "--from", o.from, 19000101, 99991231, "a date YYYYMMDD",
              "first date to write (records dated -1 are then left out)")
        ->type_name("YYYYMMDD");
    addNumber(command, "--to", o.to, 19000101, 99991231, "a date YYYYMMDD",
              "last date to write (records dated -1 are then left out)")
        ->type_name("YYYYMMDD");
    command
        .add_option_function<std::string>(
            "--out", [&o](const std::string& dir) { o.out = dir; },
            "write each code to DIR/NNNN.csv, each file replaced whole; without it the one code goes to "
            "standard output")
        ->type_name("DIR");
}

std::vector<int> priceFileCodes(const Application& app) {
    std::vector<int> codes;
    for (int code = 0; code < kCodeCount; ++code)
        if (examinePriceFile(layout::dataFile(app, code)) != PriceFileKind::Missing) codes.push_back(code);
    return codes;
}

int runExport(Context& context, const ExportOptions& options) {
    std::vector<int> codes = options.codes;
    if (options.all == !codes.empty()) return usageError("export", "give codes or --all");
    if (!options.out && (options.all || codes.size() > 1))
        return usageError("export", "several codes need --out DIR");
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::DataCheck)) return kExitFailed;
    if (options.all) codes = priceFileCodes(context.app);
    const std::int32_t from = options.from.value_or(0), to = options.to.value_or(0);

    if (!options.out) {
        std::string bytes, error;
        if (!readPriceFileBytes(layout::dataFile(context.app, codes.front()), bytes, &error)) {
            context.prompter.message(error);
            return kExitFailed;
        }
        const std::string csv = priceCsv(bytes, from, to);
        std::cout.write(csv.data(), static_cast<std::streamsize>(csv.size()));
        return std::cout.flush() ? kExitDone : kExitFailed;
    }
    const std::filesystem::path out = *options.out;
    std::string error;
    if (!ensureFolder(out, &error)) {
        context.prompter.message(out.string() + "を作れません：" + error);
        return kExitFailed;
    }
    const FolderExport result = exportPriceCsvFolder(layout::dataFolder(context.app), codes, from, to, out);
    for (const auto& failure : result.failures) context.prompter.message(failure);
    printStatus("CSV出力：" + std::to_string(result.written) + " ファイル → " + out.string());
    return result.failures.empty() ? kExitDone : kExitFailed;
}

// ---- import ----

struct ImportOptions {
    std::optional<int> code;
    std::string file;
    bool overwrite = false;
};

void addImport(CLI::App& command, ImportOptions& o) {
    addCode(command, "CODE", o.code, "the code whose price file takes the rows")->required();
    command.add_option("FILE", o.file, "the CSV file")->required();
    command.add_flag("--overwrite", o.overwrite, "days already in the price file take the CSV's values (default: they keep the file's)");
}

int runImport(Context& context, const ImportOptions& options) {
    const auto& code = options.code;
    loadOptionsForCommand(context);
    if (!admitted(context, TrayCommand::DataCheck)) return kExitFailed;
    const std::string nothing = "\n何も書き込んでいません。";
    CsvImport csv;
    std::string error;
    if (!readPriceCsvFile(options.file, SystemClock().now().yyyymmdd(), csv, &error)) {
        context.prompter.message(error + nothing);
        return kExitFailed;
    }
    if (!csv.error.empty()) {
        context.prompter.message("取り込めません：" + options.file + " の" + csv.error + nothing);
        return kExitFailed;
    }
    const auto path = layout::dataFile(context.app, *code);
    std::string existing;
    std::string why;
    switch (examinePriceFile(path, &why)) {
    case PriceFileKind::Odd:
        context.prompter.message(path.string() + "を読めません：" + why + nothing);
        return kExitFailed;
    case PriceFileKind::Regular:
        if (!readPriceFileBytes(path, existing, &error)) {
            context.prompter.message(error + nothing);
            return kExitFailed;
        }
        break;
    case PriceFileKind::Missing: break;
    }
    const ImportResult result = importPriceCsv(existing, csv, options.overwrite);
    // A bigger file would be one that no job reads again.
    if (static_cast<long long>(result.image.size()) > kMaxPriceFileBytes) {
        context.prompter.message("取り込めません：" + path.string() + " が64 MBを超えます" + nothing);
        return kExitFailed;
    }
    if (result.image != existing || (existing.empty() && !csv.rows.empty())) {
        if (!ensureFolder(layout::dataFolder(context.app), &error) ||
            !replaceFileAtomically(path, result.image, &error)) {
            context.prompter.message(error + nothing);
            return kExitFailed;
        }
    }
    printStatus(layout::codeName(*code) + "：追加 " + std::to_string(result.added) + "件、上書き " +
                std::to_string(result.replaced) + "件、既存のまま " + std::to_string(result.kept) + "件");
    return kExitDone;
}

}  // namespace

const Command kCheckCommand{
    "check",
    "check the price files and index.txt; --repair fixes what needs no guessing",
    Writes::OnRequest,
    "Usage: quarlink-cli [--workdir DIR] check [--code CODE]... [--json] [--repair [--yes]]\n"
    "\n"
    "Reads every price file of <chart folder>/data once, and index.txt, and reports\n"
    "per code: a trailing partial record, dates that are no calendar dates, dates\n"
    "out of order or duplicated, dates after today, impossible prices (negative, a\n"
    "high below the open or close, a low above them; all-zero days are fine),\n"
    "negative volumes or margin balances, trading days of data/0101 (the Nikkei\n"
    "average) missing within the code's own span, registered codes without a price\n"
    "file, price files without an entry, and files that are not regular files.\n"
    "Each line is the code, what was found, whether --repair fixes it (修復可;\n"
    "修復不可（手作業）: by hand or another job; 修復済み once repaired) and the\n"
    "first dates, separated by tabs.\n"
    "\n"
    "Options:\n"
    "{options}\n"
    "\n"
    "--repair then fixes only what needs no guessing: it drops a trailing partial\n"
    "record, puts records in date order and keeps one record per date (the last\n"
    "one written). It asks first (--yes answers Yes), copies each file it changes\n"
    "to backup/repair-YYYYMMDD-HHMMSS/ first and replaces every file atomically.\n"
    "Only --repair takes the writer lock (see --wait).\n"
    "\n"
    "Exit 0 when nothing is left to report, 1 when findings remain or a repair failed.\n",
    declareCommand<CheckOptions, addCheck, runCheck>,
};

const Command kExportCommand{
    "export",
    "write price files as CSV",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] export CODE... [--from YYYYMMDD] [--to YYYYMMDD] [--out DIR]\n"
    "       quarlink-cli [--workdir DIR] export --all --out DIR\n"
    "\n"
    "Writes UTF-8 CSV with the header date,open,high,low,close,volume,margin_sell,\n"
    "margin_buy, dates as YYYY-MM-DD, values as stored: the Nikkei average (0101)\n"
    "and TOPIX (0102) in hundredths. Every whole record is written in file order,\n"
    "one dated -1 (which hides the records after it from the chart program) with\n"
    "-1 as its date, so that 'import' gives the same file back.\n"
    "\n"
    "Arguments and options:\n"
    "{options}\n",
    declareCommand<ExportOptions, addExport, runExport>,
};

const Command kImportCommand{
    "import",
    "merge the rows of a CSV file into a code's price file",
    Writes::Always,
    "Usage: quarlink-cli [--workdir DIR] import CODE FILE [--overwrite]\n"
    "\n"
    "Reads a CSV with the header of 'export', or with the columns\n"
    "Date,Open,High,Low,Close,Volume of common downloads (any order and case).\n"
    "Dates YYYY-MM-DD, YYYY/MM/DD or YYYYMMDD; values whole numbers in the stored\n"
    "units (indices in hundredths); a decimal is rounded to the nearest.\n"
    "Without margin columns each row takes the price file's balances of that day,\n"
    "else of the nearest earlier day.\n"
    "\n"
    "A row dated -1, as 'export' writes one, keeps its place after the row before it.\n"
    "\n"
    "Every row is checked first: a bad row or a line over 4096 bytes stops the\n"
    "import, names its line, and nothing is written. The rows are then merged by\n"
    "date into <chart folder>/data/CODE, which is replaced atomically.\n"
    "\n"
    "Arguments and options:\n"
    "{options}\n",
    declareCommand<ImportOptions, addImport, runImport>,
};

}  // namespace quarlink::cli
