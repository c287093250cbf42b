#include "platform/smb_credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rd::smb {

namespace {

// A larger file is no authentication file.
constexpr off_t kLargest = 64 * 1024;
// What a pipe may hold: one user, password and domain.
constexpr size_t kLargestPiped = 4096;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Up to `limit` bytes, and one more when there are more.
bool ReadAll(int fd, std::string& out, size_t limit) {
    char buffer[4096];
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

// Opens the file and checks whose it is and who else may use it: the descriptor, or -1 with
// `problem` set.
int OpenPrivate(const std::string& path, std::string& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        problem = "it is not a regular file";
    else if (st.st_uid != ::geteuid())
        problem = "it belongs to another user";
    else if ((st.st_mode & 077) != 0)
        problem = "others may read or change it (chmod 600 it)";
    else if (st.st_size > kLargest)
        problem = "it is too large for one";
    if (problem.empty())
        return fd;
    ::close(fd);
    return -1;
}

bool ParseLines(const std::string& text, Credentials& out, std::string& problem) {
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        const size_t equals = line.find('=');
        const std::string key = Trimmed(line.substr(0, equals));
        std::string* field = key == "username"   ? &out.user
                             : key == "password" ? &out.password
                             : key == "domain"   ? &out.domain
                                                 : nullptr;
        if (equals == std::string::npos || !field) {
            problem = "line " + std::to_string(number) +
                      " is not 'username = ', 'password = ' or 'domain = '";
            return false;
        }
        *field = Trimmed(line.substr(equals + 1));
    }
    return true;
}

// The credentials in `text`, read from `from`; false with `problem` saying why.
bool Parse(const std::string& text, const std::string& from, Credentials& out,
           std::string& problem) {
    Credentials read;
    if (problem.empty() && ParseLines(text, read, problem) && read.user.empty())
        problem = "it names no user ('username = ')";
    if (!problem.empty()) {
        problem = "the credentials " + from + " cannot be used: " + problem;
        return false;
    }
    out = std::move(read);
    return true;
}

}  // namespace

bool ReadCredentialsFile(const std::string& path, Credentials& out, std::string& problem) {
    problem.clear();
    const int fd = OpenPrivate(path, problem);
    std::string text;
    if (fd >= 0 && !ReadAll(fd, text, static_cast<size_t>(kLargest)))
        problem = std::strerror(errno);
    if (fd >= 0)
        ::close(fd);
    return Parse(text, "file " + path, out, problem);
}

bool ReadCredentialsPipe(int fd, Credentials& out, std::string& problem) {
    problem.clear();
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) {
        // Not what the console passes: some other file of this process, which stays open.
        problem = "it is not a pipe";
    } else {
        if (!ReadAll(fd, text, kLargestPiped))
            problem = std::strerror(errno);
        else if (text.size() > kLargestPiped)
            problem = "it holds more than one login";
        ::close(fd);
    }
    return Parse(text, "descriptor " + std::to_string(fd), out, problem);
}

std::string CredentialsText(const Credentials& credentials) {
    std::string text =
        "username = " + credentials.user + "\npassword = " + credentials.password + "\n";
    if (!credentials.domain.empty())
        text += "domain = " + credentials.domain + "\n";
    return text;
}

}  // namespace rd::smb
