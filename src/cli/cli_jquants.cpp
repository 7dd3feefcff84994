#include <iostream>
#include <optional>
#include <string>

#include "cli_commands.h"
#include "core/sources/jquants_probe.h"
#include "core/store/folder_layout.h"
#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_key.h"

namespace quarlink::cli {
namespace {

namespace text {
inline constexpr const char* kKeyLine = "APIキー：";
inline constexpr const char* kKeyWhere = "（キーの場所：";
inline constexpr const char* kNoKey = "APIキー：未設定（";
inline constexpr const char* kPlanLine = "プラン：";
inline constexpr const char* kAuto = "自動判定";
inline constexpr const char* kDetected = "、前回の判定：";
inline constexpr const char* kNotDetected = "、まだ判定していません（--test）";
inline constexpr const char* kFixed = "（endpoints.confのjquants_planが優先されます）";
inline constexpr const char* kPaced = "ジョブが使うプラン：";
inline constexpr const char* kNoKeyTyped = "標準入力からAPIキーを読めませんでした。キーを1行で渡してください。";
}  // namespace text

struct Options {
    bool setKey = false;
    bool deleteKey = false;
    std::optional<std::string> plan;
    bool test = false;
};

void printState(const Application& app) {
    const jquants::ApiKey key = jquants::loadApiKey(app.workDir);
    if (key.ok()) std::cout << text::kKeyLine << jquants::keyHint(key.key) << text::kKeyWhere << key.where << "）\n";
    else std::cout << text::kNoKey << key.error << "）\n";
    const JQuantsPlanChoice choice = loadJQuantsPlan(app.workDir);
    std::cout << text::kPlanLine << (choice.chosen ? planFacts(*choice.chosen).label : text::kAuto)
              << (choice.detected ? text::kDetected + std::string(planFacts(*choice.detected).label)
                                  : std::string(text::kNotDetected))
              << '\n';
    const Endpoints endpoints = loadEndpoints(layout::endpointsFile(app));
    std::cout << text::kPaced << planFacts(endpoints.jquantsPlan).label << (endpoints.jquantsPlanFixed ? text::kFixed : "")
              << '\n';
}

int run(Context& context, const Options& options) {
    const Application& app = context.app;
    const std::optional<JQuantsPlan> plan = options.plan ? jquantsPlanFromName(*options.plan) : std::nullopt;
    if (options.plan && *options.plan != "auto" && !plan)
        return usageError("jquants", "--plan takes auto, free, light, standard or premium");
    std::string error;
    if (options.setKey) {
        // From standard input, never an argument: a command line is visible to every user of the machine.
        std::string typed;
        if (!std::getline(std::cin, typed) || typed.find_first_not_of(" \t\r") == std::string::npos) {
            std::cerr << text::kNoKeyTyped << '\n';
            return kExitFailed;
        }
        if (!jquants::saveApiKey(app.workDir, typed, error)) {
            std::cerr << error << '\n';
            return kExitFailed;
        }
    }
    if (options.deleteKey && !jquants::deleteApiKey(app.workDir, error)) {
        std::cerr << error << '\n';
        return kExitFailed;
    }
    if (options.plan) {
        JQuantsPlanChoice choice = loadJQuantsPlan(app.workDir);
        choice.chosen = plan;
        if (!saveJQuantsPlan(app.workDir, choice, error)) {
            std::cerr << error << '\n';
            return kExitFailed;
        }
    }
    if (options.test) {
        const jquants::ApiKey key = jquants::loadApiKey(app.workDir);
        if (!key.ok()) {
            std::cerr << text::kNoKey << key.error << "）\n";
            return kExitFailed;
        }
        JQuantsProbe probe(loadEndpoints(layout::endpointsFile(app)), key.key, context.environment);
        const JQuantsProbeResult result = probe.run(key.where);
        (result.ok() ? std::cout : std::cerr) << result.text << '\n';
        if (!result.ok()) return result.kind == JQuantsProbeResult::Kind::NoConnection ? kExitConnection : kExitFailed;
        // What the answers show is kept for 自動判定 and the jobs' pace, as the options' test does.
        JQuantsPlanChoice choice = loadJQuantsPlan(app.workDir);
        choice.detected = result.plan;
        if (!saveJQuantsPlan(app.workDir, choice, error)) {
            std::cerr << error << '\n';
            return kExitFailed;
        }
    }
    printState(app);
    return kExitDone;
}

void addOptions(CLI::App& command, Options& options) {
    command.add_flag("--set-key", options.setKey, "save the API key read from standard input (one line) to jquants.key, mode 600");
    command.add_flag("--delete-key", options.deleteKey, "remove jquants.key");
    command.add_option("--plan", options.plan, "the plan: auto (found by --test), free, light, standard or premium")
        ->type_name("NAME");
    command.add_flag("--test", options.test,
                     "ask J-Quants whether the key is accepted and which plan its answers show (at most 3 requests)");
}

}  // namespace

const Command kJQuantsCommand{
    "jquants",
    "show or set the J-Quants API key and plan; test the connection",
    Writes::Never,
    "Usage: quarlink-cli [--workdir DIR] jquants [--set-key] [--delete-key] [--plan NAME] [--test]\n"
    "\n"
    "The J-Quants settings of the options window, without one. Prints where the\n"
    "key is found (JQUANTS_API_KEY, else jquants.key in the working folder, else\n"
    "JPX's own ~/.config/jquants/credentials.json) with its last four characters\n"
    "only, the plan chosen (jquants.conf: auto or a plan), the one the last test\n"
    "found, and the plan the jobs keep to (endpoints.conf's jquants_plan wins).\n"
    "\n"
    "  printf '%s\\n' \"$KEY\" | quarlink-cli jquants --set-key --test\n"
    "\n"
    "--set-key reads the key from standard input, never from the command line.\n"
    "--test asks the service (TOPIX, margin balances, a bulk-file list), says in\n"
    "Japanese whether the key is accepted, the plan, its data window and the\n"
    "pace, and keeps the plan it found. Exit 2 when the service cannot be reached.\n"
    "\n"
    "Options:\n"
    "{options}\n",
    declareCommand<Options, addOptions, run>,
};

}  // namespace quarlink::cli
