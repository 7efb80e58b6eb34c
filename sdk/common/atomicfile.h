// Files appear under their user-visible name only when complete and on disk: they are written under
// a hidden temporary name in the destination folder, synced, renamed into place, and the folder is
// synced so that the new name survives a crash too. A crash or a full disk leaves the old file or
// the whole new one, never a partial one.
#ifndef SDKCOMMON_ATOMICFILE_H
#define SDKCOMMON_ATOMICFILE_H

#include <cstddef>
#include <string>

namespace sdkcommon
{

// What happens when the wanted name is taken.
enum class WritePolicy {
    Replace,      // the existing file is replaced; its permission bits are kept
    FreeName,     // the existing file stays; the new one takes stem(k).ext with the smallest free k >= 1
    NeverReplace, // the existing file stays and the write fails
};

class AtomicFile
{
public:
    explicit AtomicFile(const std::string &target);
    // Removes the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the temporary file; false when the folder is missing or unwritable or the target
    // names no file.
    bool open();
    // For writers that take a path (qpdf, libzip, QFile): they may truncate or replace it.
    const std::string &tempPath() const { return m_temp; }
    // Makes data the temporary file's whole content.
    bool write(const void *data, std::size_t size);
    // Moves the finished file to its name as the policy says; path() names it afterwards.
    bool commit(WritePolicy policy);
    // Takes a committed file away again when it took a name that was free (a later file of the same
    // job failed); a file that replaced another stays.
    void withdraw();
    const std::string &path() const { return m_path; }

private:
    bool syncFolder() const;

    std::string m_target;
    std::string m_folder;
    std::string m_temp;
    std::string m_path;
    bool m_tookFreeName = false;
};

// The whole file in one call; *written, when given, receives the path it went to.
bool writeFileAtomically(const std::string &path, const void *data, std::size_t size, WritePolicy policy,
                         std::string *written = nullptr);

} // namespace sdkcommon

#endif
