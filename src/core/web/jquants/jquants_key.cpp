#include "core/web/jquants/jquants_key.h"

#include <cstdlib>
#include <fcntl.h>
#include <simdjson.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"

namespace quarlink::jquants {

namespace {

std::string trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

// The key goes into a header line: a control character or blank would end
// or split it.
bool keyBytesOk(std::string_view key) {
    for (unsigned char c : key)
        if (c <= ' ' || c >= 0x7f) return false;
    return !key.empty();
}

// `place` names the source in full in a refusal; `where` is its short name.
ApiKey checked(std::string key, KeySource source, std::string where, const std::string& place) {
    if (!keyBytesOk(key))
        return {{}, place + "のJ-Quants APIキーに、キーに使えない文字（空白・制御文字など）が含まれています。"
                            "J-Quantsのダッシュボードからキーをコピーし直してください。",
                source, where};
    return {std::move(key), {}, source, std::move(where)};
}

std::string missingText(const std::filesystem::path& file) {
    return std::string("J-Quants APIキーが設定されていません。オプションの「J-Quants」でキーを保存するか、環境変数") +
           kKeyVariable + "に設定するか、" + file.string() + "の1行目に書いてください。";
}

// jquants.key's first line; nullopt-like empty result with `error` set when
// the file is there but cannot be used.
enum class FileKey { Missing, Found, Refused };
FileKey readKeyFile(const std::filesystem::path& file, std::string& line, std::string& error) {
    // Check the mode of the file actually opened, so a swap between the two
    // steps cannot slip a readable file through.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return FileKey::Missing;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileKey::Missing;
    }
    if (info.st_mode & (S_IRWXG | S_IRWXO)) {
        ::close(fd);
        error = file.string() + "はほかのユーザーも読めるため、キーを使いません。「chmod 600 " + file.string() +
                "」を実行するか、オプションの「J-Quants」でキーを保存し直してください。";
        return FileKey::Refused;
    }
    char buffer[512];
    for (ssize_t n; line.find('\n') == std::string::npos && line.size() < 8192 &&
                    (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        line.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    line = trimmed(line.substr(0, line.find('\n')));
    return line.empty() ? FileKey::Missing : FileKey::Found;
}

// JPX's file: a JSON object whose "api_key" is the key. A file that is there
// but unusable says why, so that the user is not left guessing.
FileKey readJpxFile(const std::filesystem::path& file, std::string& key, std::string& error) {
    std::string text;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return FileKey::Missing;
    const std::string where = "JPXのjquants-cliの設定（" + file.string() + "）";
    if (!readWholeFile(file, text, nullptr, FileRule::FollowLinks)) {
        error = where + "を読めません。";
        return FileKey::Refused;
    }
    simdjson::ondemand::parser parser;
    const simdjson::padded_string json(text);
    simdjson::ondemand::document doc;
    std::string_view value;
    if (parser.iterate(json).get(doc) != simdjson::SUCCESS ||
        doc.find_field_unordered("api_key").get_string().get(value) != simdjson::SUCCESS) {
        error = where + "にapi_keyが見つかりません。";
        return FileKey::Refused;
    }
    key = trimmed(value);
    return key.empty() ? FileKey::Missing : FileKey::Found;
}

}  // namespace

std::filesystem::path jpxCredentialsFile() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::filesystem::path(config) / "jquants" / "credentials.json";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".config" / "jquants" / "credentials.json";
    return {};
}

ApiKey loadApiKey(const std::filesystem::path& folder, const char* environmentValue,
                  const std::filesystem::path& jpxCredentials) {
    if (environmentValue) {
        if (std::string key = trimmed(environmentValue); !key.empty())
            return checked(std::move(key), KeySource::Environment, std::string("環境変数") + kKeyVariable,
                           std::string("環境変数") + kKeyVariable);
    }
    const std::filesystem::path file = folder / kKeyFileName;
    std::string line, error;
    switch (readKeyFile(file, line, error)) {
    case FileKey::Found: return checked(std::move(line), KeySource::KeyFile, kKeyFileName, file.string());
    case FileKey::Refused: return {{}, error, KeySource::KeyFile, kKeyFileName};
    case FileKey::Missing: break;
    }
    if (!jpxCredentials.empty()) {
        std::string key;
        switch (readJpxFile(jpxCredentials, key, error)) {
        case FileKey::Found: {
            const std::string where = "JPXのjquants-cliの設定（" + jpxCredentials.string() + "）";
            return checked(std::move(key), KeySource::JpxCli, where, where);
        }
        case FileKey::Refused: return {{}, missingText(file) + "\n" + error, KeySource::None, {}};
        case FileKey::Missing: break;
        }
    }
    return {{}, missingText(file), KeySource::None, {}};
}

ApiKey loadApiKey(const std::filesystem::path& folder) {
    return loadApiKey(folder, std::getenv(kKeyVariable), jpxCredentialsFile());
}

bool saveApiKey(const std::filesystem::path& folder, std::string_view key, std::string& error) {
    const std::string clean = trimmed(key);
    if (clean.empty()) {
        error = "APIキーが入力されていません。";
        return false;
    }
    if (!keyBytesOk(clean)) {
        error = "APIキーに空白や制御文字が含まれています。キーだけを貼り付けてください。";
        return false;
    }
    const std::filesystem::path file = folder / kKeyFileName;
    // The writer gives the new file the old one's mode: anything but a private
    // regular file there is refused or narrowed first.
    struct stat info {};
    if (::lstat(file.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            error = file.string() + "が通常のファイルではないため、APIキーを保存できません。";
            return false;
        }
        if ((info.st_mode & (S_IRWXG | S_IRWXO)) && ::chmod(file.c_str(), S_IRUSR | S_IWUSR) != 0) {
            error = file.string() + "の権限を600にできないため、APIキーを保存できません。";
            return false;
        }
    }
    AtomicFileWriter writer(file, 0600);
    if (!writer.open() || !writer.write(clean + "\n") || !writer.commit()) {
        error = "APIキーを保存できませんでした：" + writer.error();
        return false;
    }
    return true;
}

bool deleteApiKey(const std::filesystem::path& folder, std::string& error) {
    const std::filesystem::path file = folder / kKeyFileName;
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (ec) {
        error = fileErrorText("cannot remove", file, ec.value());
        return false;
    }
    return true;
}

std::string keyHint(std::string_view key) {
    // A short key would be half shown by its last four characters.
    if (key.size() < 12) return "設定済み";
    return "設定済み（末尾4文字：" + std::string(key.substr(key.size() - 4)) + "）";
}

}  // namespace quarlink::jquants
