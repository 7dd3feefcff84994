#include "support/scripted_reader.h"

#include "core/store/atomic_file.h"

namespace quarlink::test {

void ScratchFolder::writeIndex(const std::string& text) const {
    replaceFileAtomically(std::filesystem::path(app.chartFolder) / "index.txt", text);
}

}  // namespace quarlink::test
