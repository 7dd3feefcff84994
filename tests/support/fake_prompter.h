#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/env/prompter.h"

namespace quarlink::test {

// Records every message and question; answers questions from a script.
// Once the script runs out: `otherwise`, else No / Cancel; a strict prompter
// fails the test instead.
class FakePrompter final : public Prompter {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> shown;  // every box in order: "message: ...", "yesno: ...", "yesnocancel: ..."
    std::deque<Answer> answers;
    std::optional<Answer> otherwise;
    bool strict = false;

    static FakePrompter makeStrict() {
        FakePrompter p;
        p.strict = true;
        return p;
    }

    void message(const std::string& text) override {
        messages.push_back(text);
        shown.push_back("message: " + text);
    }
    bool askYesNo(const std::string& text) override {
        shown.push_back("yesno: " + text);
        return next(text, Answer::No) == Answer::Yes;
    }
    Answer askYesNoCancel(const std::string& text) override {
        shown.push_back("yesnocancel: " + text);
        return next(text, Answer::Cancel);
    }

private:
    Answer next(const std::string& text, Answer fallback) {
        questions.push_back(text);
        if (answers.empty()) {
            if (strict) ADD_FAILURE() << "unexpected question: " << text;
            return otherwise.value_or(fallback);
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace quarlink::test
