#include "page_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <httplib.h>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "page_forms.h"
#include "core/web/page_markers.h"

namespace quarlink::pages {

namespace {

long numberParam(const httplib::Request& req, const char* name) {
    return req.has_param(name) ? std::atol(req.get_param_value(name).c_str()) : -1;
}

bool isIndex(int code) { return code >= 0 && code < 600; }

// The services know index series only by their own numbers, which map to the
// chart program's codes; asked for by the chart code (0101 and 0102 are lines
// of index.txt), they answer that there is no such code, as for any unknown one.
int plainCode(long number) {
    return number >= 0 && number < 10000 && !isIndex(static_cast<int>(number)) ? static_cast<int>(number) : -1;
}
int stockCode(long number) { return number == markers::kInfoSeekNikkei ? 101 : plainCode(number); }
int tableCode(long number) {
    if (number == markers::kTableNikkei) return 101;
    if (number == markers::kTableTopix) return 102;
    return plainCode(number);
}

// httplib has no way to drop a request unanswered, so find the connection's
// socket by its peer address and shut it down.
void dropConnection(const httplib::Request& req) {
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return;
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2) continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) continue;
        char address[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        if (ntohs(peer.sin_port) == req.remote_port && req.remote_addr == address) {
            shutdown(fd, SHUT_RDWR);
            break;
        }
    }
    closedir(fds);
}

void answer(httplib::Response& res, const std::string& body) {
    res.set_content(body, "text/html; charset=EUC-JP");
}

const PriceRecord* lastTrade(const PriceSeries* series, std::int32_t lastDay) {
    if (!series || series->empty() || series->rows.back().date != lastDay) return nullptr;
    return &series->rows.back();
}

std::vector<PriceRecord> window(const PriceSeries& series, std::int32_t from, std::int32_t to, bool marginOnly) {
    std::vector<PriceRecord> rows;
    for (auto r = series.rows.rbegin(); r != series.rows.rend(); ++r)
        if (r->date >= from && r->date <= to && (!marginOnly || r->marginBuy || r->marginSell)) rows.push_back(*r);
    return rows;
}

}  // namespace

int servePages(const Market& market, const ServeOptions& options) {
    // Signals are taken by one thread, so that stop() runs outside a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const auto makeServer = [&]() -> std::unique_ptr<httplib::Server> {
        if (options.tlsCert.empty()) return std::make_unique<httplib::Server>();
        auto tls = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
        if (tls->is_valid()) return tls;
        std::cerr << "quarlink-pages: cannot use the certificate " << options.tlsCert << " and key " << options.tlsKey
                  << '\n';
        return nullptr;
    };
    const std::unique_ptr<httplib::Server> holder = makeServer();
    const std::unique_ptr<httplib::Server> filesHolder = holder ? makeServer() : nullptr;
    if (!filesHolder) return 1;
    httplib::Server& server = *holder;
    // The page clients speak HTTP/1.0; API clients keep their connection.
    server.set_keep_alive_max_count(options.jquants.apiKey.empty() ? 1 : 1000);
    // As a real server does: an answer is not held back for the client's delayed ACK.
    server.set_tcp_nodelay(true);
    std::atomic<long> requests{0};
    const auto broken = [&](long number, int code) {
        return options.breakCode >= 0 && (number == options.breakCode || code == options.breakCode);
    };

    // The log lets a benchmark replay exactly the pages a job asked for.
    std::ofstream log;
    std::mutex logMutex;
    if (!options.logFile.empty()) {
        log.open(options.logFile, std::ios::app);
        if (!log) {
            std::cerr << "quarlink-pages: cannot write " << options.logFile << '\n';
            return 1;
        }
    }

    server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response&) {
        if (log.is_open()) {
            const std::lock_guard lock(logMutex);
            log << req.target << '\n' << std::flush;
        }
        if (options.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
        if (options.failEvery > 0 && ++requests % options.failEvery == 0) {
            dropConnection(req);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.Get("/q", [&](const httplib::Request& req, httplib::Response& res) {
        const long number = numberParam(req, "s");
        const int code = stockCode(number);
        const PriceSeries* series = code >= 0 ? market.find(code) : nullptr;
        if (!series) return answer(res, yahooNoSuchCodePage());
        answer(res, yahooQuotePage(code, lastTrade(series, market.lastDay), market.lastDay, isIndex(code),
                                   broken(number, code)));
    });

    server.Get(R"(/MnStock/(\d+)/sresult/)", [&](const httplib::Request& req, httplib::Response& res) {
        const long number = std::atol(req.matches[1].str().c_str());
        const int code = stockCode(number);
        const PriceSeries* series = code >= 0 ? market.find(code) : nullptr;
        if (!series) return answer(res, infoSeekNoSuchCodePage(number));
        const PriceRecord* margin = nullptr;
        for (auto r = series->rows.rbegin(); r != series->rows.rend() && !margin; ++r)
            if (r->date <= market.lastDay && (r->marginBuy || r->marginSell)) margin = &*r;
        answer(res, infoSeekPage(number, lastTrade(series, market.lastDay), market.lastDay, isIndex(code), margin,
                                 broken(number, code)));
    });

    const auto table = [&](bool marginTable) {
        return [&, marginTable](const httplib::Request& req, httplib::Response& res) {
            const long number = numberParam(req, "s");
            const int code = tableCode(number);
            const PriceSeries* series = code >= 0 ? market.find(code) : nullptr;
            if (!series)
                return answer(res, marginTable ? marginTableNoSuchCodePage() : priceTableNoSuchCodePage(number));
            const auto date = [&](const char* y, const char* m, const char* d) {
                return static_cast<std::int32_t>(numberParam(req, y) * 10000 + numberParam(req, m) * 100 +
                                                 numberParam(req, d));
            };
            const auto rows = window(*series, date("c", "a", "b"), date("f", "d", "e"), marginTable);
            if (rows.empty()) return answer(res, marginTable ? marginTableEmptyPage() : priceTableEmptyPage());
            answer(res, marginTable ? marginTablePage(rows, broken(number, code))
                                    : priceTablePage(rows, isIndex(code), broken(number, code)));
        };
    };
    server.Get("/t", table(false));
    server.Get("/bt", table(true));

    server.Get(markers::kIndexDownloadPath, [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(market.indexBytes, "text/plain; charset=Shift_JIS");
    });

    // The bulk files' URLs name their host, so it is bound first.
    httplib::Server& files = *filesHolder;
    files.set_tcp_nodelay(true);
    const int filesPort = options.bulkPort == 0
                              ? files.bind_to_any_port("127.0.0.1")
                              : (files.bind_to_port("127.0.0.1", options.bulkPort) ? options.bulkPort : -1);
    if (filesPort < 0) {
        std::cerr << "quarlink-pages: cannot listen on 127.0.0.1:" << options.bulkPort << '\n';
        return 1;
    }
    const std::string filesBase =
        std::string(options.tlsCert.empty() ? "http" : "https") + "://127.0.0.1:" + std::to_string(filesPort);
    addJQuantsRoutes(server, files, filesBase, market, options.jquants);

    const int port = options.port == 0 ? server.bind_to_any_port("127.0.0.1")
                                       : (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
    if (port < 0) {
        std::cerr << "quarlink-pages: cannot listen on 127.0.0.1:" << options.port << '\n';
        return 1;
    }
    // Before the API's line: a reader that waits for that one has both.
    std::cout << "bulk files on 127.0.0.1:" << filesPort << '\n' << "listening on 127.0.0.1:" << port << std::endl;

    std::atomic<bool> finished{false}, filesEnded{false};
    std::thread filesThread([&] {
        files.listen_after_bind();
        filesEnded = true;
    });
    // stop() before a server runs would be lost.
    while (!filesEnded && !files.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        while (!finished && !server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!finished) server.stop();
    });
    const bool ok = server.listen_after_bind();
    finished = true;
    pthread_kill(stopper.native_handle(), SIGTERM);  // wakes the stopper when no signal came
    stopper.join();
    files.stop();
    filesThread.join();
    return ok ? 0 : 1;
}

}  // namespace quarlink::pages
