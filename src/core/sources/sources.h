#pragma once
#include <memory>

#include "core/sources/data_source.h"
#include "core/sources/jquants_source.h"
#include "core/sources/market_history.h"
#include "core/sources/page_source.h"
#include "core/sources/source_kind.h"
#include "core/store/application.h"
#include "core/web/endpoints.h"
#include "core/web/html_value_format.h"

namespace quarlink {

// The one place a source kind becomes a source: a job made for a command
// keeps one of these and asks it for the source its settings name, so that
// no job or dialog tells the sources apart itself. Every source is made at
// once, so that abort() may come from any thread at any time.
class Sources {
public:
    Sources(const Application& app, HtmlValueFormat& reader, Endpoints endpoints, const WebEnvironment& environment)
        : infoSeek_(app, reader, SourceKind::InfoSeek),
          yahoo_(app, reader, SourceKind::Yahoo),
          jquants_(std::make_unique<JQuantsSource>(app, endpoints, environment)),
          history_(std::make_unique<JQuantsHistory>(app, std::move(endpoints), environment)) {}

    DataSource& of(SourceKind kind) {
        switch (kind) {
        case SourceKind::Yahoo: return yahoo_;
        case SourceKind::JQuants: return *jquants_;
        default: return infoSeek_;
        }
    }
    // For a job that reads a span of every code's history (the initial
    // data): where the kind's history comes whole (J-Quants: its bulk files,
    // or its whole-market days), the source that gathers it first; else of().
    DataSource& forHistory(SourceKind kind) {
        return kindFacts(kind).wholeMarket ? static_cast<DataSource&>(*history_) : of(kind);
    }
    // The API source's own settings (its client's hooks in tests); the
    // gathering source has one of its own.
    JQuantsSource& api() { return *jquants_; }
    JQuantsSource& historyApi() { return history_->api(); }
    // Rate-limit waits, for the status line, from either.
    void setOnWait(const std::function<void(const std::string&)>& onWait) {
        jquants_->onWait = onWait;
        history_->api().onWait = onWait;
    }
    void abort() {
        jquants_->abort();
        history_->abort();
    }

private:
    PageSource infoSeek_, yahoo_;
    std::unique_ptr<JQuantsSource> jquants_;
    std::unique_ptr<JQuantsHistory> history_;
};

}  // namespace quarlink
