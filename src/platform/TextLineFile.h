// A disk file read and written as text lines (CR LF written; LF ends a line read, CR left out;
// Ctrl-Z ends the file). Failures store a code in the pending I/O error; nothing raises.
#pragma once

#include <string>
#include <string_view>

#include "platform/HandleChannel.h"
#include "platform/Handles.h"
#include "platform/TextStream.h"

namespace zorvane {

class TextLineFile {
  public:
    explicit TextLineFile(std::string path);
    // A file let go of while open is closed; what still waits in its buffer is dropped (the
    // program closes with CloseText wherever the content matters). Closing it here matters:
    // a handle left open would keep the file from being moved or replaced afterwards.
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
    // Writes out what waits in the buffer and has the system put the file's data on the disk,
    // so that the file can replace another one that must survive a power loss.
    void FlushToDisk();
    // TakeIoError (platform/IoError.h) reads the code an open stored.

  private:
    void Open(DWORD access, DWORD disposition);
    void Forget();  // closed, handle released, buffer dropped
    bool Reading() const { return stream_.CurrentMode() == TextStream::Mode::Input; }
    bool Writing() const { return stream_.CurrentMode() == TextStream::Mode::Output; }

    std::string path_;
    FileHandle handle_;
    HandleChannel channel_;
    TextStream stream_;
};

}  // namespace zorvane
