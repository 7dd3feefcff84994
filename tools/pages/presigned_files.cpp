#include "presigned_files.h"

#include <cstdio>
#include <httplib.h>
#include <random>

namespace quarlink::pages {

namespace {

std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void denied(httplib::Response& res, const char* message) {
    res.status = 403;
    res.set_content(std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>AccessDenied</Code><Message>") +
                        message + "</Message></Error>",
                    "application/xml");
}

}  // namespace

PresignedFiles::PresignedFiles(std::string base, int ttlMs)
    : base_(std::move(base)), ttl_(ttlMs), secret_(std::random_device{}() * 0x9E3779B97F4A7C15ull ^ std::random_device{}()) {}

std::string PresignedFiles::issue(const std::string& key, std::shared_ptr<const std::string> bytes) {
    const auto expires = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch() + ttl_)
                             .count();
    const std::lock_guard lock(mutex_);
    char signature[40];
    std::snprintf(signature, sizeof signature, "%016llx%016llx", static_cast<unsigned long long>(mix(secret_ + ++issued_)),
                  static_cast<unsigned long long>(mix(secret_ ^ std::hash<std::string>{}(key))));
    Ticket& ticket = tickets_[signature];
    ticket = {key, std::to_string(expires), std::chrono::steady_clock::now() + ttl_, std::move(bytes)};
    return base_ + "/files/" + key + "?X-Expires=" + ticket.expires + "&X-Signature=" + signature;
}

void PresignedFiles::addRoutes(httplib::Server& server) {
    // The key belongs to the API alone: a client that sends it here leaks it.
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_header("x-api-key")) return httplib::Server::HandlerResponse::Unhandled;
        denied(res, "Requests to this host must not carry an x-api-key header");
        return httplib::Server::HandlerResponse::Handled;
    });
    server.Get(R"(/files/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        std::shared_ptr<const std::string> bytes;
        {
            const std::lock_guard lock(mutex_);
            const auto it = tickets_.find(req.get_param_value("X-Signature"));
            if (it == tickets_.end() || it->second.key != req.matches[1].str() ||
                it->second.expires != req.get_param_value("X-Expires"))
                return denied(res, "Access Denied");
            // A URL serves once: spent and expired ones read alike.
            if (std::chrono::steady_clock::now() >= it->second.deadline) it->second.bytes.reset();
            bytes = std::move(it->second.bytes);
        }
        if (!bytes) return denied(res, "Request has expired");
        res.set_content(*bytes, "application/gzip");
    });
}

}  // namespace quarlink::pages
