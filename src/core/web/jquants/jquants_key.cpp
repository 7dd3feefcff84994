#include "core/web/jquants/jquants_key.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
ApiKey checked(std::string key, const std::string& where) {
    for (unsigned char c : key)
        if (c <= ' ' || c >= 0x7f) return {{}, "the J-Quants API key in " + where + " holds characters a key cannot have"};
    return {std::move(key), {}};
}

}  // namespace

ApiKey loadApiKey(const std::filesystem::path& folder, const char* environmentValue) {
    if (environmentValue) {
        if (std::string key = trimmed(environmentValue); !key.empty()) return checked(std::move(key), kKeyVariable);
    }
    const std::filesystem::path file = folder / kKeyFileName;
    const std::string missing = std::string("no J-Quants API key: set the environment variable ") + kKeyVariable +
                                " or put the key on the first line of " + file.string();
    // Check the mode of the file actually opened, so a swap between the two
    // steps cannot slip a readable file through.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {{}, missing};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {{}, missing};
    }
    if (info.st_mode & (S_IRWXG | S_IRWXO)) {
        ::close(fd);
        return {{}, file.string() + " can be read by other users; the key is not used until you run: chmod 600 " +
                        file.string()};
    }
    std::string line;
    char buffer[512];
    for (ssize_t n; line.find('\n') == std::string::npos && line.size() < 8192 &&
                    (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        line.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    line = trimmed(line.substr(0, line.find('\n')));
    if (line.empty()) return {{}, missing};
    return checked(std::move(line), file.string());
}

ApiKey loadApiKey(const std::filesystem::path& folder) { return loadApiKey(folder, std::getenv(kKeyVariable)); }

}  // namespace quarlink::jquants
