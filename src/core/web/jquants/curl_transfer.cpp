#include "core/web/jquants/curl_transfer.h"

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

#include "core/store/atomic_file.h"

namespace quarlink::jquants {

namespace {

constexpr const char* kSystemBundle = "/etc/ssl/certs/ca-certificates.crt";

curl_socket_t onOpen(void* self, curlsocktype, curl_sockaddr* address) {
    auto* watch = static_cast<AbortableSockets*>(self);
    const curl_socket_t s = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (s != CURL_SOCKET_BAD) {
        const std::lock_guard lock(watch->mutex);
        watch->sockets.push_back(s);
    }
    return s;
}

int onClose(void* self, curl_socket_t s) {
    auto* watch = static_cast<AbortableSockets*>(self);
    const std::lock_guard lock(watch->mutex);
    std::erase(watch->sockets, s);
    return ::close(s);
}

int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<AbortableSockets*>(self)->aborted->load() ? 1 : 0;
}

}  // namespace

void AbortableSockets::shutDown() {
    const std::lock_guard lock(mutex);
    for (const curl_socket_t s : sockets) ::shutdown(s, SHUT_RDWR);
}

std::string setUpTransfer(CURL* h, const Endpoints& endpoints, AbortableSockets& sockets) {
    curl_easy_setopt(h, CURLOPT_USERAGENT, "quarlink");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &sockets);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &onOpen);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &sockets);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &onClose);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, &sockets);
    const long idleMs = endpoints.timeoutMs.value_or(30'000);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(endpoints.timeoutMs.value_or(10'000)));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, std::max(1L, (idleMs + 999) / 1000));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(endpoints.pageTimeoutMs.value_or(120'000)));
    if (endpoints.jquantsCa.empty()) return {};
    // CAINFO would replace the system's bundle; the private CA is added to it.
    std::string bundle, extra, error;
    readWholeFile(kSystemBundle, bundle, nullptr, FileRule::FollowLinks);
    if (!readWholeFile(endpoints.jquantsCa, extra, &error, FileRule::FollowLinks) || extra.empty())
        return "CAファイル" + endpoints.jquantsCa + "を読めません" + (error.empty() ? "" : "：" + error) +
               "。endpoints.confのjquants_caを確かめてください。";
    bundle += '\n';
    bundle += extra;
    curl_blob blob{bundle.data(), bundle.size(), CURL_BLOB_COPY};
    curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
    return {};
}

}  // namespace quarlink::jquants
