// Documents are written under a short hidden temporary name in their destination folder and only
// appear under their real name once complete and on disk.
#ifndef DOCSDK_OUTPUTFILE_H
#define DOCSDK_OUTPUTFILE_H

#include <string>

namespace docsdk
{

class OutputFile
{
public:
    explicit OutputFile(const std::string &folder);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Creates the temporary file; false when the folder is missing or unwritable.
    bool open();
    const std::string &tempPath() const { return m_temp; }
    // Moves the finished file to the first free name of stem.ext, stem(1).ext, ... without ever
    // replacing an existing file.
    bool publish(const std::string &stem, const std::string &extension);
    // Moves the finished file to the given name in the folder, replacing what is there.
    bool publishOver(const std::string &name);
    // Takes a published file away again (a later document of the same job failed).
    void withdraw();
    // Bare file name after publishing.
    const std::string &name() const { return m_name; }

private:
    bool syncData() const;
    bool syncFolder();

    std::string m_folder;
    std::string m_temp;
    std::string m_name;
};

} // namespace docsdk

#endif
