#include "boot/TextLines.h"

#include "platform/IoError.h"

namespace zorvane {

std::string ReadCheckedLine(TextLineFile& file) {
    std::string text = file.ReadLineText();
    file.SkipLine();
    CheckIoError();
    return text;
}

void WriteCheckedLine(TextLineFile& file, std::string_view text) {
    file.WriteText(text);
    file.EndLine();
    CheckIoError();
}

bool CheckedAtEnd(TextLineFile& file) {
    const bool atEnd = file.AtEnd();
    CheckIoError();
    return atEnd;
}

void CheckedClose(TextLineFile& file) {
    file.CloseText();
    CheckIoError();
}

}  // namespace zorvane
