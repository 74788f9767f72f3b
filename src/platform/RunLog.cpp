#include "platform/RunLog.h"

#include <utility>

#include "platform/AsciiText.h"
#include "platform/Handles.h"
#include "platform/HostFacts.h"

namespace zorvane {
namespace {

FileHandle logFile;

constexpr DWORD RollOverSize = 1024 * 1024;

// A log call may come between a failed call and the reading of its code.
class LastErrorKept {
  public:
    LastErrorKept() : saved_(Windows().GetLastError()) {}
    ~LastErrorKept() { Windows().SetLastError(saved_); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;

  private:
    DWORD saved_;
};

bool LargerThanRollOverSize(const std::string& path) {
    WIN32_FIND_DATAA entry{};
    const SearchHandle search(Windows().FindFirstFileA(path.c_str(), &entry));
    return search && (entry.nFileSizeHigh != 0 || entry.nFileSizeLow > RollOverSize);
}

}  // namespace

void OpenRunLog() {
    const LastErrorKept kept;
    logFile.Reset();
    const std::string path = DriveRootedPath(":\\Zorvane.log");
    if (LargerThanRollOverSize(path)) {
        Windows().MoveFileExA(path.c_str(), DriveRootedPath(":\\Zorvane.old.log").c_str(),
                              MovefileReplaceExisting);
    }
    // Others may read the log meanwhile; a second run at the same time gets none.
    FileHandle file(Windows().CreateFileA(path.c_str(), GenericWrite, FileShareRead, nullptr,
                                          OpenAlways, FileAttributeNormal, nullptr));
    if (!file) return;
    if (Windows().SetFilePointer(file.Get(), 0, nullptr, FileEnd) == InvalidSetFilePointer) return;
    logFile = std::move(file);
}

void CloseRunLog() {
    const LastErrorKept kept;
    logFile.Reset();
}

bool RunLogOpen() {
    return logFile.Valid();
}

void Log(std::initializer_list<std::string_view> pieces) {
    if (!logFile) return;
    const LastErrorKept kept;
    std::string bytes = Join(pieces);
    bytes += "\r\n";
    const auto size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    // Each line goes to the disk at once: a power cut keeps what was logged before it. A log
    // that cannot be written (full disk) is given up for the rest of the run.
    if (!Windows().WriteFile(logFile.Get(), bytes.data(), size, &written, nullptr) ||
        written != size)
        logFile.Reset();
}

void LogOutcome(std::initializer_list<std::string_view> what, bool succeeded, DWORD errorCode) {
    if (logFile) Log({Join(what), ": ", Outcome(succeeded, errorCode)});
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string Outcome(bool succeeded, DWORD errorCode) {
    return succeeded ? "done" : "failed, error " + DecimalText(errorCode);
}

std::string LocalTimeText() {
    SYSTEMTIME now{};
    Windows().GetLocalTime(&now);
    std::string text = "0000-00-00 00:00:00";
    // Each field's digits from its last position back to the separator before it.
    const std::pair<int, unsigned> fields[] = {{3, now.wYear},    {6, now.wMonth},
                                               {9, now.wDay},     {12, now.wHour},
                                               {15, now.wMinute}, {18, now.wSecond}};
    for (auto [at, value] : fields)
        for (; at >= 0 && text[at] == '0'; --at, value /= 10)
            text[at] = static_cast<char>('0' + value % 10);
    return text;
}

}  // namespace zorvane
