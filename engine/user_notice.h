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

}  // namespace rd
