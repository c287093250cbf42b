// Where the completion question is asked and a Yes opens the destinations. The progress window
// asks in a message box and opens them in the file manager; tests answer in the user's place.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace rd {

class CompletionAsker {
public:
    virtual ~CompletionAsker() = default;
    // Asks `text`, to be answered yes or no; `answered` runs on the window thread with true for
    // Yes, at once or once the user has answered.
    virtual void AskComplete(const QString& text, std::function<void(bool yes)> answered) = 0;
    // Opens each of `folders` for the user.
    virtual void OpenFolders(const std::vector<std::string>& folders) = 0;
};

}  // namespace rd
