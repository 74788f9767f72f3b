#include "platform/FileOps.h"

#include "platform/RunLog.h"

namespace zorvane {

bool FileListed(const std::string& path) {
    return ListedAttributes(path).has_value();
}

std::optional<DWORD> ListedAttributes(const std::string& path) {
    WIN32_FIND_DATAA entry{};
    SearchHandle search(Windows().FindFirstFileA(path.c_str(), &entry));
    if (!search) return std::nullopt;
    search.Reset();  // only the first entry is looked at
    if (entry.dwFileAttributes & FileAttributeDirectory) return std::nullopt;
    // An entry whose local last-write time has no MS-DOS form counts as not listed.
    FILETIME local{};
    Windows().FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local);
    WORD dosDate = 0;
    WORD dosTime = 0;
    if (Windows().FileTimeToDosDateTime(&local, &dosDate, &dosTime) == 0) return std::nullopt;
    return entry.dwFileAttributes;
}

FileHandle CreateExclusive(const std::string& path) {
    return FileHandle(Windows().CreateFileA(path.c_str(), GenericRead | GenericWrite, 0, nullptr,
                                            CreateAlways, FileAttributeNormal, nullptr));
}

namespace {

// "done", "not there" or the failure with its code, for the log.
std::string DeletionOutcome(bool deleted) {
    if (deleted) return "done";
    const DWORD code = Windows().GetLastError();
    return code == error::FileNotFound || code == error::PathNotFound ? "not there"
                                                                      : Outcome(false, code);
}

void LogCall(std::initializer_list<std::string_view> what, bool succeeded) {
    LogOutcome(what, succeeded, Windows().GetLastError());
}

// Byte for byte, on the disk before the answer.
bool CopyBytes(const std::string& from, const std::string& to) {
    const FileHandle source(Windows().CreateFileA(from.c_str(), GenericRead, FileShareRead, nullptr,
                                                  OpenExisting, FileAttributeNormal, nullptr));
    if (!source) return false;
    const FileHandle target(Windows().CreateFileA(to.c_str(), GenericWrite, 0, nullptr,
                                                  CreateAlways, FileAttributeNormal, nullptr));
    if (!target) return false;
    for (;;) {
        char block[512];
        DWORD read = 0;
        if (!Windows().ReadFile(source.Get(), block, sizeof block, &read, nullptr)) return false;
        if (read == 0) return Windows().FlushFileBuffers(target.Get()) != 0;
        DWORD written = 0;
        if (!Windows().WriteFile(target.Get(), block, read, &written, nullptr) || written != read)
            return false;
    }
}

}  // namespace

bool RemoveFile(const std::string& path) {
    const bool deleted = Windows().DeleteFileA(path.c_str()) != 0;
    if (RunLogOpen()) Log({"Delete ", path, ": ", DeletionOutcome(deleted)});
    return deleted;
}

bool ClearAttributesAndRemove(const std::string& path) {
    Windows().SetFileAttributesA(path.c_str(), FileAttributeNormal);
    return RemoveFile(path);
}

bool RemoveAtRestart(const std::string& path) {
    const bool registered =
        Windows().MoveFileExA(path.c_str(), nullptr, MovefileDelayUntilReboot) != 0;
    LogCall({"Delete at the next restart ", path}, registered);
    return registered;
}

DWORD MoveReplacingDurably(const std::string& from, const std::string& to) {
    constexpr DWORD flags = MovefileReplaceExisting | MovefileCopyAllowed | MovefileWriteThrough;
    const bool moved = Windows().MoveFileExA(from.c_str(), to.c_str(), flags) != 0;
    const DWORD code = moved ? error::Success : Windows().GetLastError();
    LogCall({"Move ", from, " over ", to}, moved);
    if (moved) return error::Success;
    return code != error::Success ? code : error::AccessDenied;  // a failure never reads as done
}

bool CopyWholeFile(const std::string& from, const std::string& to) {
    const bool copied = CopyBytes(from, to);
    LogCall({"Copy ", from, " to ", to}, copied);
    return copied;
}

bool CopyProgram(const std::string& from, const std::string& to) {
    Windows().SetFileAttributesA(to.c_str(), FileAttributeNormal);
    const bool copied = Windows().CopyFileA(from.c_str(), to.c_str(), 0) != 0;
    bool flushed = false;
    if (copied) {
        Windows().SetFileAttributesA(to.c_str(), FileAttributeNormal);
        // CopyFileA leaves the copy in the cache, and a restart runs it: a power cut after the
        // start is arranged must not leave it cut short.
        const FileHandle copy(Windows().CreateFileA(to.c_str(), GenericWrite, 0, nullptr,
                                                    OpenExisting, FileAttributeNormal, nullptr));
        flushed = copy && Windows().FlushFileBuffers(copy.Get()) != 0;
    }
    LogCall({"Copy ", from, " to ", to}, flushed);
    if (copied && !flushed) RemoveFile(to);  // nothing will name it
    return flushed;
}

}  // namespace zorvane
