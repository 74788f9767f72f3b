#include "platform/TextLineFile.h"

#include <utility>

#include "platform/IoError.h"

namespace zorvane {

namespace {
constexpr int NotOpen = 103;
constexpr int NotOpenForInput = 104;
constexpr int NotOpenForOutput = 105;
constexpr std::size_t MaxPathBytes = MaxPath - 1;  // the terminating zero takes the last byte
}  // namespace

TextLineFile::TextLineFile(std::string path) : path_(std::move(path)) {}

TextLineFile::~TextLineFile() = default;

void TextLineFile::Forget() {
    stream_.Close();
    handle_.Reset();
}

void TextLineFile::Open(DWORD access, DWORD disposition) {
    if (stream_.CurrentMode() != TextStream::Mode::Closed) {
        CloseText();  // whatever it stores, the new open goes ahead
        Forget();     // even when the close could not write out the buffer
    }
    // A path that CreateFileA would see cut short (too long, or a zero byte inside) would name
    // another file: refuse it as an invalid file name.
    if (path_.size() > MaxPathBytes || path_.find('\0') != std::string::npos) {
        StoreIoError(static_cast<int>(error::PathNotFound));
        return;
    }
    handle_.Reset(Windows().CreateFileA(path_.c_str(), access, FileShareRead, nullptr, disposition,
                                        FileAttributeNormal, nullptr));
    if (!handle_) {
        StoreIoError(static_cast<int>(Windows().GetLastError()));
        return;
    }
    channel_ = HandleChannel(handle_.Get());
    if (access == GenericRead) {
        stream_.OpenForInput(channel_);
        return;
    }
    const DWORD type = Windows().GetFileType(handle_.Get());
    if (type == FileTypeUnknown) {
        handle_.Reset();
        StoreIoError(NotOpenForOutput);
        return;
    }
    stream_.OpenForOutput(channel_, type == FileTypeChar);
}

void TextLineFile::OpenForReading() {
    Open(GenericRead, OpenExisting);
}

void TextLineFile::OpenForWriting() {
    Open(GenericWrite, CreateAlways);
}

std::string TextLineFile::ReadLineText() {
    if (!Reading()) {
        StoreIoError(NotOpenForInput);
        return {};
    }
    return stream_.ReadLine();
}

void TextLineFile::SkipLine() {
    if (!Reading()) {
        StoreIoError(NotOpenForInput);
        return;
    }
    stream_.SkipLine();
}

bool TextLineFile::AtEnd() {
    if (!Reading()) {
        StoreIoError(NotOpenForInput);
        return true;
    }
    return stream_.AtEnd();
}

void TextLineFile::WriteText(std::string_view text) {
    if (!Writing()) {
        StoreIoError(NotOpenForOutput);
        return;
    }
    stream_.Write(text);
}

void TextLineFile::EndLine() {
    WriteText("\r\n");
    if (stream_.CurrentMode() == TextStream::Mode::Closed) {
        StoreIoError(NotOpen);
    } else if (Writing() && stream_.WriteThrough()) {
        stream_.WriteOut();
    }
}

void TextLineFile::CloseText() {
    if (stream_.CurrentMode() == TextStream::Mode::Closed) {
        StoreIoError(NotOpen);
        return;
    }
    // A failed final write leaves the file open, so that the caller still holds it.
    if (Writing() && !stream_.WriteOut()) return;
    stream_.Close();
    if (!Windows().CloseHandle(handle_.Release())) {
        StoreIoError(static_cast<int>(Windows().GetLastError()));
    }
}

void TextLineFile::FlushToDisk() {
    if (!Writing()) {
        StoreIoError(NotOpenForOutput);
        return;
    }
    if (!stream_.WriteOut()) return;
    if (!Windows().FlushFileBuffers(handle_.Get())) {
        StoreIoError(static_cast<int>(Windows().GetLastError()));
    }
}

}  // namespace zorvane
