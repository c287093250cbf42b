// bench/smb.sh's copy through the program's own SMB session (platform/smb_files.h), the same
// work as bench/smb_loop.c: each file created, written in 1 MiB blocks and closed, with -t its
// times set, with -s closed durable.
//   redodori-bench-smb [-t] [-s] SOURCE smb://server/share/folder
// The user and password come from SMB_USER and SMB_PASSWORD.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/smb_files.h"
#include "platform/smb_url.h"

namespace {

constexpr size_t kBlock = 1 << 20;

struct Options {
    bool setTimes = false;
    rd::smb::Durability durability = rd::smb::Durability::kAsWritten;
};

int Fail(const std::string& what, int error) {
    std::fprintf(stderr, "redodori-bench-smb: %s: %s\n", what.c_str(), std::strerror(error));
    return 1;
}

int64_t Nanoseconds(const timespec& t) {
    return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

int CopyFile(rd::smb::Session& session, const std::string& source, const std::string& target,
             const Options& options, std::vector<char>& block) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0)
        return Fail("cannot read " + source, errno);
    rd::smb::File out;
    if (const int error = session.CreateExclusive(target, out))
        return Fail("cannot create " + target, error);
    uint64_t at = 0;
    for (ssize_t n; (n = ::read(in, block.data(), block.size())) > 0; at += n) {
        if (const int error = session.WriteAt(out, block.data(), static_cast<size_t>(n), at))
            return Fail("cannot write " + target, error);
    }
    ::close(in);
    if (const int error = session.Close(out, options.durability))
        return Fail("cannot close " + target, error);
    if (!options.setTimes)
        return 0;
    if (const int error =
            session.SetTimes(target, Nanoseconds(st.st_atim), Nanoseconds(st.st_mtim)))
        return Fail("cannot set the times of " + target, error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int option;
    while ((option = ::getopt(argc, argv, "ts")) != -1) {
        if (option == '?')
            return 2;
        options.setTimes |= option == 't';
        if (option == 's')
            options.durability = rd::smb::Durability::kSynced;
    }
    std::string problem;
    const auto url =
        argc - optind == 2 ? rd::smb::ParseUrl(argv[optind + 1], problem) : std::nullopt;
    if (!url) {
        std::fprintf(stderr,
                     "usage: redodori-bench-smb [-t] [-s] SOURCE smb://server/share/folder"
                     "\n%s\n",
                     problem.c_str());
        return 2;
    }
    const char* user = std::getenv("SMB_USER");
    const char* password = std::getenv("SMB_PASSWORD");
    rd::smb::Session session(url->Server(), url->share,
                             {user ? user : "", password ? password : "", ""}, 30000);
    if (const int error = session.Connect())
        return Fail("cannot reach " + std::string(argv[optind + 1]), error);
    const std::string source = argv[optind];
    const std::string folder = url->Path().empty() ? "" : url->Path() + "/";
    std::vector<char> block(kBlock);
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0)
        return Fail("cannot find " + source, errno);
    if (!S_ISDIR(st.st_mode))
        return CopyFile(session, source, folder + source.substr(source.rfind('/') + 1), options,
                        block);
    DIR* dir = ::opendir(source.c_str());
    if (!dir)
        return Fail("cannot list " + source, errno);
    int status = 0;
    for (dirent* entry; status == 0 && (entry = ::readdir(dir));) {
        if (entry->d_type == DT_REG)
            status = CopyFile(session, source + "/" + entry->d_name, folder + entry->d_name,
                              options, block);
    }
    ::closedir(dir);
    return status;
}
