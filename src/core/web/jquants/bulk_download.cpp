#include "core/web/jquants/bulk_download.h"

#include <algorithm>
#include <curl/curl.h>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/web/jquants/curl_transfer.h"

namespace quarlink::jquants {

namespace {

// Enough of an error body to find its <Code>.
constexpr std::size_t kErrorBodyBytes = 4096;

// Failures that pass: a busy host, a lost or silent connection.
bool transient(CURLcode code) {
    return code == CURLE_OPERATION_TIMEDOUT || code == CURLE_COULDNT_CONNECT || code == CURLE_GOT_NOTHING ||
           code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_PARTIAL_FILE;
}

// The <Code> of an object store's XML error ("AccessDenied"), quoted; empty when none.
std::string errorCode(std::string_view body) {
    const std::size_t open = body.find("<Code>");
    const std::size_t close = body.find("</Code>", open);
    if (open == std::string_view::npos || close == std::string_view::npos) return {};
    return " \"" + echoText(body.substr(open + 6, close - open - 6), 60) + "\"";
}

}  // namespace

struct GzipText::Stream {
    z_stream z{};
    bool ready = false;
    char out[kBufferBytes];
};

GzipText::GzipText(TextSink& text) : stream_(std::make_unique<Stream>()), text_(text) {
    // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
    stream_->ready = inflateInit2(&stream_->z, 16 + MAX_WBITS) == Z_OK;
}

GzipText::~GzipText() {
    if (stream_->ready) inflateEnd(&stream_->z);
}

void GzipText::start(std::string_view name) {
    if (stream_->ready) inflateReset(&stream_->z);
    name_ = std::string(name);
    why_.clear();
    textBytes_ = 0;
    ended_ = failed_ = false;
    text_.start(name);
}

bool GzipText::refuse(std::string reason) {
    failed_ = true;
    why_ = std::move(reason);
    return false;
}

bool GzipText::feed(std::string_view compressed) {
    if (failed_) return false;
    if (!stream_->ready) return refuse(echoText(name_, 200) + "：gzipの展開を始められません");
    z_stream& z = stream_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    for (;;) {
        if (ended_) {
            if (z.avail_in == 0) return true;
            // Another member follows the one that ended.
            inflateReset(&z);
            ended_ = false;
        }
        z.next_out = reinterpret_cast<Bytef*>(stream_->out);
        z.avail_out = kBufferBytes;
        const int result = inflate(&z, Z_NO_FLUSH);
        const std::size_t made = kBufferBytes - z.avail_out;
        if (made) {
            textBytes_ += made;
            if (textBytes_ > kMaxTextBytes)
                return refuse(echoText(name_, 200) + "：展開すると" + std::to_string(kMaxTextBytes >> 20) +
                              " MBを超えます");
            if (!text_.feed(std::string_view(stream_->out, made))) return refuse(text_.why());
        }
        if (result == Z_STREAM_END) {
            ended_ = true;
            continue;
        }
        if (result == Z_BUF_ERROR || (result == Z_OK && z.avail_in == 0 && z.avail_out != 0)) return true;
        if (result != Z_OK)
            return refuse(echoText(name_, 200) + "：gzipのデータではありません（" + (z.msg ? z.msg : "展開エラー") + "）");
    }
}

bool GzipText::finish() {
    if (failed_) return false;
    if (!ended_) return refuse(echoText(name_, 200) + "：gzipのデータが途中で終わっています");
    if (!text_.finish()) return refuse(text_.why());
    return true;
}

struct BulkDownload::Curl {
    CURL* handle = nullptr;
    std::atomic<bool>* aborted = nullptr;
    GzipText* gzip = nullptr;
    long http = 0;            // the answer's status, read at its first bytes
    bool refused = false;     // the text was refused
    std::string errorBody;    // the start of a refusal's body

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* curl = static_cast<Curl*>(self);
        const std::size_t n = size * count;
        if (curl->aborted->load()) return 0;
        if (!curl->http) curl_easy_getinfo(curl->handle, CURLINFO_RESPONSE_CODE, &curl->http);
        if (curl->http != 200) {
            curl->errorBody.append(data, std::min(n, kErrorBodyBytes - std::min(kErrorBodyBytes, curl->errorBody.size())));
            return n;
        }
        if (!curl->gzip->feed(std::string_view(data, n))) {
            curl->refused = true;
            return 0;
        }
        return n;
    }
    AbortableSockets sockets;
};

BulkDownload::BulkDownload(const Endpoints& endpoints, const WebEnvironment& environment, StatusLine status)
    : curl_(std::make_unique<Curl>()), env_(environment), status_(std::move(status)) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    retryWait_ = std::chrono::milliseconds(std::max(0, endpoints.retryWaitMs));
    CURL* h = curl_->handle = curl_easy_init();
    if (!h) {
        setupError_ = "HTTPS通信を始められません。libcurlのインストールを確かめてください。";
        return;
    }
    curl_->aborted = &aborted_;
    curl_->sockets.aborted = &aborted_;
    // No headers of ours: above all no x-api-key, which the file host refuses.
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Curl::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, curl_.get());
    setupError_ = setUpTransfer(h, endpoints, curl_->sockets);
}

BulkDownload::~BulkDownload() {
    if (curl_->handle) curl_easy_cleanup(curl_->handle);
}

void BulkDownload::abort() {
    aborted_.store(true);
    curl_->sockets.shutDown();
}

void BulkDownload::wait(std::chrono::milliseconds span) {
    if (span.count() <= 0) return;
    env_.sleeper->sleepFor(span, [this] { return aborted_.load(); });
}

Status BulkDownload::get(const std::string& url, const std::string& key, TextSink& text) {
    retryable_ = false;
    if (!setupError_.empty()) return {Outcome::ConnectionFailed, 0, setupError_};
    if (aborted_) return {Outcome::Aborted, 0, "中断しました"};
    GzipText gzip(text);
    gzip.start(key);
    curl_->gzip = &gzip;
    curl_->http = 0;
    curl_->refused = false;
    curl_->errorBody.clear();
    curl_easy_setopt(curl_->handle, CURLOPT_URL, url.c_str());
    const CURLcode code = curl_easy_perform(curl_->handle);
    curl_->gzip = nullptr;
    curl_off_t received = 0;
    if (curl_easy_getinfo(curl_->handle, CURLINFO_SIZE_DOWNLOAD_T, &received) == CURLE_OK) bytes_ += received;
    long http = 0;
    curl_easy_getinfo(curl_->handle, CURLINFO_RESPONSE_CODE, &http);
    const int status = static_cast<int>(http);
    // The URL is not named: its query is the permission to read the file.
    const std::string file = "J-Quantsの一括ファイル" + echoText(key, 200);
    if (aborted_) return {Outcome::Aborted, 0, "中断しました"};
    if (curl_->refused) return {Outcome::Unrecognised, status, file + "が読み取れません：" + gzip.why()};
    if (code != CURLE_OK) {
        retryable_ = transient(code);
        return {Outcome::ConnectionFailed, 0, file + "をダウンロードできません：" + transferErrorText(code)};
    }
    const std::string said = errorCode(curl_->errorBody);
    if (status == 403 || status == 400)
        return {Outcome::Expired, status,
                file + "のダウンロードURLが断られました（HTTP " + std::to_string(status) + said +
                    "）。使用済みか期限切れです"};
    if (status >= 500 || status == 429) {
        retryable_ = true;
        return {Outcome::ConnectionFailed, status,
                file + "のホストがHTTP " + std::to_string(status) + said + "を返しました"};
    }
    if (status != 200)
        return {Outcome::Unrecognised, status,
                file + "に思いがけない応答がありました（HTTP " + std::to_string(status) + said + "）"};
    if (!gzip.finish()) return {Outcome::Unrecognised, status, file + "が読み取れません：" + gzip.why()};
    ++files_;
    return {Outcome::Ok, status, {}};
}

Status BulkDownload::file(Client& client, const std::string& key, TextSink& text) {
    int failed = 0;
    bool renewed = false;
    for (;;) {
        if (aborted_) return {Outcome::Aborted, 0, "中断しました"};
        std::string url;
        if (Status asked = client.bulkUrl(key, url); !asked.ok()) return asked;
        Status got = get(url, key, text);
        if (got.ok()) return got;
        if (got.outcome == Outcome::Expired && !renewed) {
            renewed = true;
            continue;
        }
        if (got.outcome != Outcome::ConnectionFailed || !retryable_ || failed == kRetries) return got;
        const auto pause = retryWait_ * (1 << failed);
        ++failed;
        if (status_)
            status_(got.message + "。" + std::to_string((pause.count() + 999) / 1000) + "秒後にもう一度問い合わせます（再試行 " +
                    std::to_string(failed) + "/" + std::to_string(kRetries) + "）");
        wait(pause);
    }
}

}  // namespace quarlink::jquants
