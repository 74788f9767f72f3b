// File door methods: journaling and injected failures in front of the file store, and the
// file-time conversions.
#include "sim/FileTimes.h"
#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

namespace {

constexpr std::int64_t TicksPerMinute = 600'000'000;

std::uintptr_t Number(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::string TimeText(const FILETIME* time) {
    return time == nullptr ? "NULL" : Hex(Ticks(*time));
}

}  // namespace

HANDLE SimWindows::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                               void* security, DWORD creationDisposition, DWORD flags,
                               HANDLE templateFile) {
    if (Enter("CreateFileA", {Quoted(fileName), Hex(desiredAccess), Hex(shareMode),
                              security == nullptr ? "NULL" : "PTR", Hex(creationDisposition),
                              Hex(flags), HandleText(templateFile)})) {
        return InvalidHandleValue();
    }
    bool existed = false;
    const DWORD failure = files.CreateFile(fileName, desiredAccess, shareMode, creationDisposition,
                                           flags, core_->nextHandle, existed);
    if (failure != 0) {
        lastError_ = failure;
        return InvalidHandleValue();
    }
    // Documented: CREATE_ALWAYS and OPEN_ALWAYS report an existing file with
    // ERROR_ALREADY_EXISTS, every other success clears the last error.
    const bool reportsExisting =
        existed && (creationDisposition == CreateAlways || creationDisposition == 4);
    lastError_ = reportsExisting ? code::AlreadyExists : error::Success;
    return reinterpret_cast<HANDLE>(NewHandle());
}

BOOL SimWindows::DeleteFileA(const char* fileName) {
    if (Enter("DeleteFileA", {Quoted(fileName)})) return FALSE;
    if (const DWORD failure = files.Delete(fileName)) {
        lastError_ = failure;
        return FALSE;
    }
    return TRUE;
}

BOOL SimWindows::SetFileAttributesA(const char* fileName, DWORD attributes) {
    if (Enter("SetFileAttributesA", {Quoted(fileName), Hex(attributes)})) return FALSE;
    if (const DWORD failure = files.SetAttributesOf(fileName, attributes)) {
        lastError_ = failure;
        return FALSE;
    }
    return TRUE;
}

BOOL SimWindows::MoveFileExA(const char* existingName, const char* newName, DWORD flags) {
    if (Enter("MoveFileExA", {Quoted(existingName), Quoted(newName), Hex(flags)})) return FALSE;
    DWORD failure = 0;
    if (!core_->IsNt()) {
        failure = code::CallNotImplemented;  // Windows 9x has no MoveFileExA
    } else if ((flags & MovefileDelayUntilReboot) != 0) {
        // The list lives in the Session Manager key, which takes administrator rights.
        const std::string sessionManager =
            RegistryStore::Canonical("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager");
        if ((flags & MovefileCopyAllowed) != 0) {
            failure = error::InvalidParameter;
        } else if (registry.Denied(sessionManager, KeySetValue)) {
            failure = error::AccessDenied;
        } else {
            failure = files.ScheduleMove(existingName, newName);
        }
    } else {
        failure = files.Move(existingName, newName, flags);
    }
    return Answer(failure);
}

HANDLE SimWindows::FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
    if (Enter("FindFirstFileA", {Quoted(fileName)})) return InvalidHandleValue();
    if (fileName == nullptr || findData == nullptr) {
        lastError_ = code::NoAccess;
        return InvalidHandleValue();
    }
    if (const DWORD failure = files.FindFirst(fileName, *findData, core_->nextHandle)) {
        lastError_ = failure;
        return InvalidHandleValue();
    }
    return reinterpret_cast<HANDLE>(NewHandle());
}

BOOL SimWindows::FindClose(HANDLE findFile) {
    if (Enter("FindClose", {HandleText(findFile)})) return FALSE;
    if (!files.CloseSearch(Number(findFile))) {
        lastError_ = error::InvalidHandle;
        return FALSE;
    }
    return TRUE;
}

BOOL SimWindows::FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
    if (Enter("FileTimeToLocalFileTime", {TimeText(fileTime)})) return FALSE;
    if (fileTime == nullptr || localFileTime == nullptr) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    const std::int64_t shift = files.localOffsetMinutes_ * TicksPerMinute;
    *localFileTime =
        FileTimeOf(static_cast<std::uint64_t>(static_cast<std::int64_t>(Ticks(*fileTime)) + shift));
    return TRUE;
}

BOOL SimWindows::FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) {
    if (Enter("FileTimeToDosDateTime", {TimeText(fileTime)})) return FALSE;
    if (fileTime == nullptr || fatDate == nullptr || fatTime == nullptr) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    const std::uint64_t ticks = Ticks(*fileTime);
    const CalendarTime time = CalendarOf(ticks);
    // MS-DOS dates cover 1980-01-01 to 2107-12-31 only.
    if ((ticks >> 63) != 0 || time.year < 1980 || time.year > 2107) {
        lastError_ = error::InvalidParameter;
        return FALSE;
    }
    *fatDate = static_cast<WORD>(((time.year - 1980) << 9) | (time.month << 5) | time.day);
    *fatTime = static_cast<WORD>((time.hour << 11) | (time.minute << 5) | (time.second / 2));
    return TRUE;
}

// The copy is made through the store's own opens, as the system makes it through its own.
BOOL SimWindows::CopyFileA(const char* existingName, const char* newName, BOOL failIfExists) {
    if (Enter("CopyFileA", {Quoted(existingName), Quoted(newName), Hex(failIfExists)}))
        return FALSE;
    if (!files.Exists(existingName) || files.IsDirectory(existingName)) {
        lastError_ = error::FileNotFound;
        return FALSE;
    }
    if (failIfExists && files.Exists(newName)) {
        lastError_ = error::FileExists;
        return FALSE;
    }
    files.AddFile(newName, files.Content(existingName));
    return TRUE;
}

BOOL SimWindows::FlushFileBuffers(HANDLE file) {
    if (Enter("FlushFileBuffers", {HandleText(file)})) return FALSE;
    return TRUE;
}

}  // namespace sim
