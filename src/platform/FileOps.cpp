#include "platform/FileOps.h"

namespace zorvane {

bool FileListed(const std::string& path) {
    WIN32_FIND_DATAA entry{};
    SearchHandle search(Windows().FindFirstFileA(path.c_str(), &entry));
    if (!search) return false;
    search.Reset();  // only the first entry is looked at
    if (entry.dwFileAttributes & FileAttributeDirectory) return false;
    // An entry whose local last-write time has no MS-DOS form counts as not listed.
    FILETIME local{};
    Windows().FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local);
    WORD dosDate = 0;
    WORD dosTime = 0;
    return Windows().FileTimeToDosDateTime(&local, &dosDate, &dosTime) != 0;
}

FileHandle CreateExclusive(const std::string& path) {
    return FileHandle(Windows().CreateFileA(path.c_str(), GenericRead | GenericWrite, 0, nullptr,
                                            CreateAlways, FileAttributeNormal, nullptr));
}

bool RemoveFile(const std::string& path) {
    return Windows().DeleteFileA(path.c_str()) != 0;
}

bool ClearAttributesAndRemove(const std::string& path) {
    Windows().SetFileAttributesA(path.c_str(), FileAttributeNormal);
    return RemoveFile(path);
}

bool RemoveAtRestart(const std::string& path) {
    return Windows().MoveFileExA(path.c_str(), nullptr, MovefileDelayUntilReboot) != 0;
}

DWORD MoveReplacingDurably(const std::string& from, const std::string& to) {
    constexpr DWORD flags = MovefileReplaceExisting | MovefileCopyAllowed | MovefileWriteThrough;
    if (Windows().MoveFileExA(from.c_str(), to.c_str(), flags)) return error::Success;
    const DWORD code = Windows().GetLastError();
    return code != error::Success ? code : error::AccessDenied;  // a failure never reads as done
}

bool CopyWholeFile(const std::string& from, const std::string& to) {
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

bool CopyProgram(const std::string& from, const std::string& to) {
    Windows().SetFileAttributesA(to.c_str(), FileAttributeNormal);
    if (!Windows().CopyFileA(from.c_str(), to.c_str(), 0)) return false;
    Windows().SetFileAttributesA(to.c_str(), FileAttributeNormal);
    return true;
}

}  // namespace zorvane
