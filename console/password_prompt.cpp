#include "console/password_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace rd {

namespace {

void WriteText(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// One line without its end; false when the input ends or fails first.
bool ReadLine(int fd, std::string& line) {
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        if (c == '\n' || c == '\r')
            return true;
        line += c;
    }
}

}  // namespace

std::optional<std::string> AskPassword(int in, int out, const std::string& prompt) {
    termios saved{};
    if (::tcgetattr(in, &saved) != 0)
        return std::nullopt;
    termios quiet = saved;
    // The line end still shows, so that the cursor moves on as after any answer.
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
    quiet.c_lflag |= ECHONL;
    // Echo goes off before the prompt shows, so that nothing typed after it is ever shown; what
    // was typed before it is dropped.
    if (::tcsetattr(in, TCSAFLUSH, &quiet) != 0)
        return std::nullopt;
    WriteText(out, prompt);
    std::string line;
    const bool read = ReadLine(in, line);
    ::tcsetattr(in, TCSAFLUSH, &saved);
    if (!read) {
        WriteText(out, "\n");
        return std::nullopt;
    }
    return line;
}

std::optional<std::string> AskLine(int in, int out, const std::string& prompt) {
    if (!::isatty(in))
        return std::nullopt;
    WriteText(out, prompt);
    std::string line;
    if (!ReadLine(in, line)) {
        WriteText(out, "\n");
        return std::nullopt;
    }
    return line;
}

}  // namespace rd
