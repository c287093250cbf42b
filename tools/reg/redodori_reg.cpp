// redodori-reg: reads and changes the settings store from the command line, for installers,
// scripts and tests.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store.h"

namespace {

constexpr int kDone = 0;
constexpr int kAbsent = 1;
constexpr int kBadCommandLine = 2;
constexpr int kStoreFailed = 3;

constexpr const char* kUsage =
    "Usage: redodori-reg [--machine] [--db PATH] COMMAND [ARGUMENT...]\n"
    "Reads and changes the settings store of RedoDori.\n"
    "\n"
    "Commands:\n"
    "  list KEY                the keys directly below KEY as \"[name]\" lines, then the\n"
    "                          values of KEY as \"name = int:N\" or \"name = text:TEXT\" lines,\n"
    "                          each group in name order; control characters in names and\n"
    "                          texts are shown as \\xHH\n"
    "  get KEY NAME            the value: an integer in decimal, or the text as stored\n"
    "  set-int KEY NAME N      store the integer N (decimal, -2147483648 to 2147483647)\n"
    "  set-text KEY NAME TEXT  store the text TEXT\n"
    "  delete KEY NAME         remove the value\n"
    "  delete-key KEY          remove KEY, its values and every key below it\n"
    "\n"
    "Options (before the command):\n"
    "  --machine               use the machine root instead of the current user's\n"
    "  --db PATH               use the database PATH instead of registry.db in the\n"
    "                          configuration folder ($REDODORI_CONFIG_DIR, else\n"
    "                          $XDG_CONFIG_HOME/redodori, else ~/.config/redodori)\n"
    "  --help                  show this text\n"
    "\n"
    "KEY is a path of names separated by backslashes, such as\n"
    "'SOFTWARE\\DiraRedi\\RedoDori\\local'; an empty KEY is the root itself. Key and value\n"
    "names are compared without regard to the case of ASCII letters. Writing a value creates\n"
    "its key.\n"
    "\n"
    "Exit status: 0 done; 1 the value or key does not exist; 2 bad command line;\n"
    "3 the store cannot be used or the change was not stored.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "redodori-reg: %s\n\n%s", problem, kUsage);
    return kBadCommandLine;
}

// Shows control characters as \xHH so that every entry of a listing stays on one line.
std::string Printable(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::optional<int32_t> ParseInt(std::string_view text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

void WriteOut(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

struct Command {
    const char* name;
    size_t arguments;
};

constexpr Command kCommands[] = {
    {"list", 1}, {"get", 2}, {"set-int", 3}, {"set-text", 3}, {"delete", 2}, {"delete-key", 1},
};

// Rejects arguments that no store could take, before any store is opened; `number` gets the
// integer of set-int.
bool CheckArguments(std::string_view command, const std::vector<std::string_view>& args,
                    int32_t* number) {
    if (!rd::Store::ValidKey(args[0])) {
        std::fprintf(stderr,
                     "redodori-reg: the key path is too long: a key path has at most 512 names "
                     "of at most 255 bytes each\n");
        return false;
    }
    if (args.size() > 1 && !rd::Store::ValidValueName(args[1])) {
        std::fprintf(stderr,
                     "redodori-reg: the value name is too long: it has at most 16383 bytes\n");
        return false;
    }
    if (command == "delete-key" && args[0].find_first_not_of('\\') == std::string_view::npos) {
        std::fprintf(stderr, "redodori-reg: the root itself cannot be deleted\n");
        return false;
    }
    if (command == "set-int") {
        const auto parsed = ParseInt(args[2]);
        if (!parsed) {
            std::fprintf(stderr,
                         "redodori-reg: '%s' is not a whole number from -2147483648 to "
                         "2147483647\n",
                         Printable(args[2]).c_str());
            return false;
        }
        *number = *parsed;
    }
    return true;
}

int Run(rd::Store& store, rd::StoreRoot root, std::string_view command,
        const std::vector<std::string_view>& args, int32_t number) {
    const std::string_view key = args[0];
    const std::string keyShown = "'" + Printable(key) + "'";
    auto absentValue = [&] {
        std::fprintf(stderr, "redodori-reg: the key %s has no value '%s'\n", keyShown.c_str(),
                     Printable(args[1]).c_str());
        return kAbsent;
    };
    auto notStored = [&] {
        std::fprintf(stderr, "redodori-reg: the change to %s was not stored in %s\n",
                     keyShown.c_str(), store.Path().c_str());
        return kStoreFailed;
    };

    if (command == "list") {
        if (!store.KeyExists(root, key)) {
            std::fprintf(stderr, "redodori-reg: there is no key %s\n", keyShown.c_str());
            return kAbsent;
        }
        std::string listing;
        for (const std::string& sub : store.SubKeys(root, key))
            listing += "[" + Printable(sub) + "]\n";
        for (const rd::StoreValue& value : store.Values(root, key)) {
            listing += Printable(value.name) + " = ";
            listing += value.type == rd::ValueType::Int ? "int:" + std::to_string(value.intValue)
                                                        : "text:" + Printable(value.text);
            listing += '\n';
        }
        WriteOut(listing);
        return kDone;
    }
    if (command == "get") {
        if (const auto number = store.ReadInt(root, key, args[1])) {
            WriteOut(std::to_string(*number) + "\n");
            return kDone;
        }
        if (const auto text = store.ReadText(root, key, args[1])) {
            WriteOut(*text + "\n");
            return kDone;
        }
        return absentValue();
    }
    if (command == "set-int")
        return store.WriteInt(root, key, args[1], number) ? kDone : notStored();
    if (command == "set-text")
        return store.WriteText(root, key, args[1], args[2]) ? kDone : notStored();
    if (command == "delete") {
        if (!store.ValueExists(root, key, args[1]))
            return absentValue();
        return store.DeleteValue(root, key, args[1]) ? kDone : notStored();
    }
    // delete-key
    if (!store.KeyExists(root, key)) {
        std::fprintf(stderr, "redodori-reg: there is no key %s\n", keyShown.c_str());
        return kAbsent;
    }
    return store.DeleteKey(root, key) ? kDone : notStored();
}

}  // namespace

int main(int argc, char** argv) {
    rd::StoreRoot root = rd::StoreRoot::CurrentUser;
    std::optional<std::string> database;
    int next = 1;
    for (; next < argc; ++next) {
        const std::string_view arg = argv[next];
        if (arg == "--help" || arg == "-h") {
            WriteOut(kUsage);
            return kDone;
        }
        if (arg == "--machine") {
            root = rd::StoreRoot::LocalMachine;
        } else if (arg == "--db") {
            if (next + 1 >= argc)
                return Usage("--db needs the path of a database");
            database = argv[++next];
            if (database->empty())
                return Usage("--db needs the path of a database");
        } else if (arg.starts_with("-")) {
            return Usage(("unknown option '" + Printable(arg) + "'").c_str());
        } else {
            break;
        }
    }
    if (next >= argc)
        return Usage("no command given");

    const std::string_view command = argv[next++];
    const Command* known = nullptr;
    for (const Command& candidate : kCommands) {
        if (command == candidate.name)
            known = &candidate;
    }
    if (!known)
        return Usage(("unknown command '" + Printable(command) + "'").c_str());
    const std::vector<std::string_view> args(argv + next, argv + argc);
    if (args.size() != known->arguments) {
        const std::string problem =
            std::string(known->name) + " takes " + std::to_string(known->arguments) + " argument" +
            (known->arguments == 1 ? "" : "s") + ", not " + std::to_string(args.size());
        return Usage(problem.c_str());
    }

    int32_t number = 0;
    if (!CheckArguments(command, args, &number))
        return kBadCommandLine;

    std::unique_ptr<rd::Store> own;
    if (database)
        own = std::make_unique<rd::Store>(*database);
    rd::Store& store = own ? *own : rd::Store::Default();
    // The store has said on stderr why it cannot be used.
    if (!store.IsOpen())
        return kStoreFailed;
    const int status = Run(store, root, command, args, number);
    // The change is committed already; flushing also carries it through a power loss.
    if (status == kDone && command != "list" && command != "get")
        store.Flush();
    return status;
}
