#pragma once
#include <string>

namespace quarlink {

// How models talk to the user: message boxes and questions. The GUI shows
// QMessageBox, the CLI uses the terminal, tests script the answers. Texts are
// UTF-8; "\n" and "\r\n" are line breaks.
class Prompter {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~Prompter() = default;
    virtual void message(const std::string& text) = 0;
    virtual bool askYesNo(const std::string& text) = 0;
    virtual Answer askYesNoCancel(const std::string& text) = 0;
};

}  // namespace quarlink
