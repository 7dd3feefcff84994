#pragma once
#include <deque>
#include <string>
#include <vector>

#include "store/prompter.h"

namespace quarlink::test {

// Records every message and question; answers questions from a script
// (No / Cancel once the script runs out).
class FakePrompter final : public Prompter {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<Answer> answers;

    void message(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override { return next(text, Answer::No) == Answer::Yes; }
    Answer askYesNoCancel(const std::string& text) override { return next(text, Answer::Cancel); }

private:
    Answer next(const std::string& text, Answer fallback) {
        questions.push_back(text);
        if (answers.empty()) return fallback;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace quarlink::test
