// The engine's way to show a message box without knowing about windows.
#pragma once

#include <string>

namespace rd {

enum class NoticeIcon { Information, Warning, Error, Question };

class UserNotice {
public:
    virtual ~UserNotice() = default;
    virtual void Show(NoticeIcon icon, const std::string& caption, const std::string& text) = 0;
};

// Writes each notice to stderr as "<caption>: <text>", for jobs that no one watches.
UserNotice& StderrNotice();

}  // namespace rd
