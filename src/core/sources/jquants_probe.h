#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/web/endpoints.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

namespace jquants {
class Client;
}

// What a connection test found.
struct JQuantsProbeResult {
    enum class Kind { Accepted, NoKey, KeyRefused, NoConnection, ServerError, Unrecognised, Stopped };
    Kind kind = Kind::Stopped;
    JQuantsPlan plan = JQuantsPlan::Free;  // Accepted: the plan the answers show
    std::string text;   // for the user, in Japanese; never holds key text
    int requests = 0;
    bool ok() const { return kind == Kind::Accepted; }
};

// The connection test of the options and the first-start guide: is the key
// accepted, and which plan do the answers show. Each plan lacks something
// the next has, so at most three small requests tell them apart: TOPIX
// (Light and above, else the calendar confirms the key), the margin balances
// (Standard and above), and the daily bars' bulk files of a month more than
// ten years back (Premium alone keeps twenty years).
class JQuantsProbe {
public:
    JQuantsProbe(Endpoints endpoints, std::string apiKey, const WebEnvironment& environment);
    ~JQuantsProbe();

    // `keyWhere` names where the key came from, for the answer's text.
    JQuantsProbeResult run(const std::string& keyWhere = {});
    // From any thread: the request in flight ends at once.
    void abort();

private:
    Endpoints endpoints_;
    std::string key_;
    WebEnvironment environment_;
    std::mutex mutex_;
    std::unique_ptr<jquants::Client> client_;
    std::atomic<bool> aborted_{false};
};

// The data a plan covers on `today` (Japan), e.g. 「過去10年（2016-01-09から）」.
std::string jquantsPlanWindowText(JQuantsPlan plan, std::int32_t today);

namespace probe_text {
inline constexpr const char* kAccepted = "APIキーは有効です（キーの場所：%s）。";
inline constexpr const char* kPlan = "プラン：%s（データ：%s）";
inline constexpr const char* kPace = "取得の間隔：毎分%dリクエストまで";
inline constexpr const char* kNoPace = "取得の間隔：制限なし（endpoints.confのjquants_rpm=0）";
inline constexpr const char* kKeyRefused =
    "J-QuantsがAPIキーを受け付けませんでした。J-Quantsのダッシュボード（設定 > APIキー）でキーを確かめ、"
    "貼り付け直してください。";
inline constexpr const char* kNoConnection =
    "J-Quantsに接続できませんでした。インターネット接続とプロキシの設定を確かめてから、もう一度お試しください。";
inline constexpr const char* kServerError =
    "J-Quantsのサーバーがエラーを返しました（HTTP %d）。しばらく待ってから、もう一度お試しください。";
inline constexpr const char* kUnrecognised =
    "J-Quantsの応答を読み取れませんでした。しばらく待ってから、もう一度お試しください。";
inline constexpr const char* kStopped = "接続テストを中止しました。";
inline constexpr const char* kServerSaid = "\nJ-Quantsの応答：";
}  // namespace probe_text

}  // namespace quarlink
