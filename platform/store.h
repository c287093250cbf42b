// The settings store: registry-like keys and typed values kept in one SQLite database that
// several processes use at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

namespace rd {

// The two registry roots the program uses.
enum class StoreRoot : int { CurrentUser = 0, LocalMachine = 1 };

enum class ValueType : int { Int = 1, Text = 2 };

struct StoreValue {
    std::string name;
    ValueType type = ValueType::Int;
    int32_t intValue = 0;
    std::string text;
};

// The values of one key as read at one moment, looked up by name as the store looks them up.
class KeyValues {
public:
    KeyValues() = default;
    explicit KeyValues(std::vector<StoreValue> values);

    // A value of the other type reads as absent.
    std::optional<int32_t> ReadInt(std::string_view name) const;
    std::optional<std::string> ReadText(std::string_view name) const;

private:
    const StoreValue* Find(std::string_view name) const;

    // Each value under its folded name, in the order of those names.
    std::vector<std::pair<std::string, StoreValue>> byName_;
};

// A key of one root, as ReadKeys takes it.
struct KeyName {
    StoreRoot root;
    std::string path;
};

// One database file. Key paths are "\"-separated ("SOFTWARE\DiraRedi\RedoDori\local");
// key and value names compare without regard to ASCII case and keep the spelling of their
// first writer. Every write is its own transaction. A database that cannot be opened or
// read as one is moved aside (stderr says so once) and a fresh one is used; if even that
// fails, the store behaves as if it held no values and writes fail.
class Store {
public:
    explicit Store(std::string databasePath);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // The user's store: registry.db in paths::ConfigDir().
    static Store& Default();

    // The registry's limits: a key path of at most 512 names, each name of a key at most 255
    // bytes, a value name at most 16383 bytes. Calls with longer ones fail or read as absent.
    static bool ValidKey(std::string_view key);
    static bool ValidValueName(std::string_view name);

    const std::string& Path() const { return path_; }
    bool IsOpen() const { return db_ != nullptr; }

    // Creates the key and its parents when missing ("open with creation").
    bool CreateKey(StoreRoot root, std::string_view key);
    bool KeyExists(StoreRoot root, std::string_view key);
    // Deletes the key, its values and every key below it.
    bool DeleteKey(StoreRoot root, std::string_view key);
    // Names of the keys directly below `key`.
    std::vector<std::string> SubKeys(StoreRoot root, std::string_view key);

    // A value of the other type reads as absent.
    std::optional<int32_t> ReadInt(StoreRoot root, std::string_view key, std::string_view name);
    std::optional<std::string> ReadText(StoreRoot root, std::string_view key,
                                        std::string_view name);
    // True when a value of either type has this name.
    bool ValueExists(StoreRoot root, std::string_view key, std::string_view name);

    // Writing creates the key; a value of the other type with the same name is replaced.
    bool WriteInt(StoreRoot root, std::string_view key, std::string_view name, int32_t value);
    // Writes every integer of `values` in one transaction: all of them or, on failure, none.
    bool WriteInts(StoreRoot root, std::string_view key,
                   const std::vector<std::pair<std::string, int32_t>>& values);
    bool WriteText(StoreRoot root, std::string_view key, std::string_view name,
                   std::string_view value);
    bool DeleteValue(StoreRoot root, std::string_view key, std::string_view name);
    std::vector<StoreValue> Values(StoreRoot root, std::string_view key);
    // Every value of each of `keys`, read in one transaction, so that the values of a start-up
    // cost one lock of the database and belong together. A key that is missing is created
    // afterwards, as a StoreKey creates its key; a key that cannot be read has no values.
    std::vector<KeyValues> ReadKeys(const std::vector<KeyName>& keys);

    // Makes every write so far durable on disk.
    bool Flush();

private:
    bool OpenDatabase();
    // Runs a statement without parameters; returns SQLite's result code.
    int Exec(const char* sql);
    // Runs `body` (which returns SQLite's result code) as one write transaction, tried again
    // while other processes keep the database locked. True when it was committed.
    bool Write(const std::function<int()>& body);

    std::string path_;
    sqlite3* db_ = nullptr;
    // One connection serves every thread of the process; a transaction must not interleave.
    std::mutex mutex_;
};

// A key of a store, as the registry's open-key handle: opening creates it.
class StoreKey {
public:
    StoreKey(Store& store, StoreRoot root, std::string path);

    const std::string& Path() const { return path_; }
    std::optional<int32_t> ReadInt(std::string_view name) const;
    std::optional<std::string> ReadText(std::string_view name) const;
    bool ValueExists(std::string_view name) const;
    bool WriteInt(std::string_view name, int32_t value);
    bool WriteInts(const std::vector<std::pair<std::string, int32_t>>& values);
    bool WriteText(std::string_view name, std::string_view value);
    bool DeleteValue(std::string_view name);
    std::vector<StoreValue> Values() const;

private:
    Store* store_;
    StoreRoot root_;
    std::string path_;
};

}  // namespace rd
