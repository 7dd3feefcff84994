#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "store/prompter.h"

namespace quarlink::testing {

// Records every box in order and answers questions from a script; a question
// without a scripted answer fails the test.
class ScriptedPrompter final : public Prompter {
public:
    std::vector<std::string> shown;  // "message: ...", "yesno: ...", "yesnocancel: ..."
    std::deque<Answer> answers;

    void message(const std::string& text) override { shown.push_back("message: " + text); }
    bool askYesNo(const std::string& text) override {
        shown.push_back("yesno: " + text);
        return next() == Answer::Yes;
    }
    Answer askYesNoCancel(const std::string& text) override {
        shown.push_back("yesnocancel: " + text);
        return next();
    }

private:
    Answer next() {
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << shown.back();
            return Answer::Cancel;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace quarlink::testing
