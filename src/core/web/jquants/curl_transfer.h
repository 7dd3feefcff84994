#pragma once
#include <atomic>
#include <curl/curl.h>
#include <mutex>
#include <string>
#include <vector>

#include "core/web/endpoints.h"

namespace quarlink::jquants {

// The sockets a libcurl handle has open and the abort flag its progress call
// reads, so that an abort from another thread wakes a transfer that waits
// on a silent server at once: the progress call alone may come only once a second.
struct AbortableSockets {
    std::atomic<bool>* aborted = nullptr;
    std::mutex mutex;
    std::vector<curl_socket_t> sockets;

    // From any thread: every open socket is shut down.
    void shutDown();
};

// What every J-Quants handle shares: http and https only, peer and host
// verified (endpoints.jquantsCa added to the system's bundle), no signals,
// the bounds of endpoints.conf (timeout_ms for connecting and for silence,
// page_timeout_ms for a whole answer), and `sockets` watching the handle.
// Empty, or why the handle cannot be used.
std::string setUpTransfer(CURL* handle, const Endpoints& endpoints, AbortableSockets& sockets);

}  // namespace quarlink::jquants
