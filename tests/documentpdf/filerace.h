// A picture changed by someone else at a chosen moment of a running call.
#ifndef FILERACE_H
#define FILERACE_H

#include <QString>

#include <cstdint>
#include <thread>

// Watches folder; at the count-th inotify event of the kinds in mask (on the entry called name, or
// on any entry when name is empty) renames replacement over target. Gives up after 60 s.
class FileRace
{
public:
    FileRace(const QString &folder, const QString &name, std::uint32_t mask, int count,
             const QString &replacement, const QString &target);
    ~FileRace();
    // Whether the rename happened; waits for the watch to end.
    bool happened();

private:
    int m_fd = -1;
    bool m_happened = false;
    std::thread m_thread;
};

#endif
