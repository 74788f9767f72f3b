// A disk file read and written as text lines (CR LF written; LF ends a line read, CR left out;
// Ctrl-Z ends the file). Failures store a code in the pending I/O error; nothing raises.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

class TextLineFile {
  public:
    explicit TextLineFile(std::string path);
    ~TextLineFile();
    TextLineFile(const TextLineFile&) = delete;
    TextLineFile& operator=(const TextLineFile&) = delete;

    void OpenForReading();
    void OpenForWriting();
    std::string ReadLineText();
    void SkipLine();
    bool AtEnd();
    void WriteText(std::string_view text);
    void EndLine();
    void CloseText();
    // TakeIoError (platform/IoError.h) reads the code an open stored.

  private:
    // Filled in with the text stream core.
};

}  // namespace zorvane
