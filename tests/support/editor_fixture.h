#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/editor/data_editor.h"
#include "core/store/atomic_file.h"
#include "support/fake_prompter.h"
#include "support/scratch_chart.h"

namespace quarlink::testing {

// An editor over a scratch chart folder.
class EditorFixture : public ::testing::Test, public test::ScratchChart {
protected:
    std::string index() { return readFile(layout::indexFile(app)); }

    // Opens an editor on the index and lists every registered code.
    DataEditor& openEditor(const std::string& indexBytes) {
        writeIndex(indexBytes);
        editor_ = std::make_unique<DataEditor>(app, 20061205);
        EXPECT_TRUE(editor_->open(prompter));
        return *editor_;
    }
    // Selects `code` as a click in the code list does.
    void select(int code) {
        DataEditor& e = *editor_;
        e.codeList.assign(1, code);
        e.selectCode(0);
    }

    test::FakePrompter prompter = test::FakePrompter::makeStrict();

private:
    std::unique_ptr<DataEditor> editor_;
};

inline std::string msg(const std::string& text) { return "message: " + text; }

}  // namespace quarlink::testing
