// What a destination's files are written through: this machine's file systems (LocalFiles), or a
// network share reached by its own client (ShareFiles, share_files.h). A handle is a descriptor
// in both kinds; a share's is a placeholder that no read or write of the kernel's can use, so
// that a call that bypassed its kind fails rather than writes elsewhere.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <memory>
#include <string>

namespace rd {

class DestFiles {
public:
    virtual ~DestFiles() = default;

    // The kernel's own calls reach the files: copy_file_range, clones, O_DIRECT, reservations,
    // write-behind, extended attributes, owners, links, syncfs and the job's markers beside the
    // copies. Nothing of that is used where this is false.
    virtual bool Local() const = 0;

    // Readies the kind (a share logs on); the errno of what failed, else 0. Any thread, once.
    virtual int Open() { return 0; }

    // A new file where nothing stands (a link counts), open for writing: EEXIST when the name is
    // taken. `seen` is what the file is now.
    virtual int Create(const std::string& path, mode_t mode, int& handle, struct stat& seen) = 0;
    // An existing file for writing, its data kept; a new one when `create`.
    virtual int OpenWrite(const std::string& path, bool create, mode_t mode, int& handle) = 0;
    // An existing file for reading.
    virtual int OpenRead(const std::string& path, int& handle) = 0;
    // Reads up to `n` bytes at `offset`; `n` becomes the count read.
    virtual int Read(int handle, uint8_t* data, uint32_t& n, uint64_t offset) = 0;
    // The file will be `size` bytes long: a write that reaches that end is its last.
    virtual void Expect(int /*handle*/, uint64_t /*size*/) {}
    // Writes all `n` bytes at `offset`.
    virtual int Write(int handle, const uint8_t* data, uint32_t n, uint64_t offset) = 0;
    // Gives the file the length `size`; a longer one ends in a hole.
    virtual int SetLength(int handle, uint64_t size) = 0;
    virtual int StatOpen(int handle, struct stat& out) = 0;
    // Permissions (not asked again when `current`, the mode as last seen, has them) and the
    // modification time; `modeError` is the errno of a refused change of permissions. A share
    // gives the time once the file is closed: writes would move it again.
    virtual int SetInfo(int handle, uint32_t mode, const timespec& modified, mode_t current,
                        int& modeError) = 0;
    // Closes the file; the result of the close itself counts (a late write error, or a share
    // that could not confirm the data on its disk).
    virtual int Close(int handle) = 0;
    // Closes without asking how the file ended: it is given up.
    virtual void Discard(int handle) = 0;

    // What stands at `path`, its last step not followed.
    virtual int StatPath(const std::string& path, struct stat& out) = 0;
    // Makes every missing folder of `path` (the path itself unless it ends with "/"); 0, or the
    // errno of the first folder that could not be made.
    virtual int MakeFolderTree(const std::string& path) = 0;
    // The modification time of what stands at `path`, its last step not followed.
    virtual int SetTimes(const std::string& path, const timespec& modified) = 0;
    // Never replaces: EEXIST when `to` exists.
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& path) = 0;
};

// Paths of this machine, through the kernel's calls.
class LocalFiles final : public DestFiles {
public:
    bool Local() const override { return true; }
    int Create(const std::string& path, mode_t mode, int& handle, struct stat& seen) override;
    int OpenWrite(const std::string& path, bool create, mode_t mode, int& handle) override;
    int OpenRead(const std::string& path, int& handle) override;
    int Read(int handle, uint8_t* data, uint32_t& n, uint64_t offset) override;
    int Write(int handle, const uint8_t* data, uint32_t n, uint64_t offset) override;
    int SetLength(int handle, uint64_t size) override;
    int StatOpen(int handle, struct stat& out) override;
    int SetInfo(int handle, uint32_t mode, const timespec& modified, mode_t current,
                int& modeError) override;
    int Close(int handle) override;
    void Discard(int handle) override;
    int StatPath(const std::string& path, struct stat& out) override;
    int MakeFolderTree(const std::string& path) override;
    int SetTimes(const std::string& path, const timespec& modified) override;
    int Rename(const std::string& from, const std::string& to) override;
    int Remove(const std::string& path) override;
};

// One LocalFiles for every local destination: it keeps nothing of its own.
DestFiles& LocalDestFiles();

}  // namespace rd
