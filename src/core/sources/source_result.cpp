#include "core/sources/source_result.h"

namespace quarlink {

SourceResult pageAnswer(int readerResult, std::string message) {
    switch (readerResult) {
    case 1: return SourceResult::of(Answer::Data);
    case -1: return SourceResult::of(Answer::NoData);
    case -2: return SourceResult::of(Answer::ConnectionFailed);
    default: {
        SourceResult r = SourceResult::of(Answer::Unrecognised);
        r.detail = std::move(message);
        return r;
    }
    }
}

}  // namespace quarlink
