// Output documents are written under a hidden temporary name in the destination folder and only
// appear under their real name, a free one, once complete.
#ifndef DOCSDK_OCR_OUTPUTFILE_H
#define DOCSDK_OCR_OUTPUTFILE_H

#include <string>

namespace docsdk
{
namespace ocr
{

class OutputFile
{
public:
    // Destination: the picture's folder, named after its stem with the given extension ("pdf").
    OutputFile(const std::string &picture, const std::string &extension);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Creates the temporary file; false when the folder is missing or unwritable.
    bool open();
    const std::string &tempPath() const { return m_temp; }
    // Moves the finished file to the first free name of stem.ext, stem(1).ext, ... without ever
    // replacing an existing file.
    bool publish();
    // Takes a published file away again (a later document of the same job failed).
    void withdraw();
    // Bare file name after publish().
    const std::string &name() const { return m_name; }

private:
    std::string m_folder;
    std::string m_stem;
    std::string m_extension;
    std::string m_temp;
    std::string m_name;
};

} // namespace ocr
} // namespace docsdk

#endif
