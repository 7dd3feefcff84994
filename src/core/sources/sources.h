#pragma once
#include <memory>

#include "core/sources/data_source.h"
#include "core/sources/jquants_source.h"
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
    Sources(const Application& app, HtmlValueFormat& reader, Endpoints endpoints)
        : infoSeek_(app, reader, SourceKind::InfoSeek),
          yahoo_(app, reader, SourceKind::Yahoo),
          jquants_(std::make_unique<JQuantsSource>(app, std::move(endpoints))) {}

    DataSource& of(SourceKind kind) {
        switch (kind) {
        case SourceKind::Yahoo: return yahoo_;
        case SourceKind::JQuants: return *jquants_;
        default: return infoSeek_;
        }
    }
    // The API source's own settings (its client's hooks in tests, its
    // rate-limit waits for the status line).
    JQuantsSource& api() { return *jquants_; }
    void abort() { jquants_->abort(); }

private:
    PageSource infoSeek_, yahoo_;
    std::unique_ptr<JQuantsSource> jquants_;
};

}  // namespace quarlink
