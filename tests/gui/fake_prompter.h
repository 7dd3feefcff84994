#pragma once
#include <deque>
#include <string>
#include <vector>

#include "store/prompter.h"

namespace quarlink::test {

// Records every text and answers questions from a script (No when the
// script runs out, so an unexpected question never proceeds).
class FakePrompter : public Prompter {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;

    void message(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    Answer askYesNoCancel(const std::string& text) override {
        questions.push_back(text);
        return Answer::Cancel;
    }
};

}  // namespace quarlink::test
