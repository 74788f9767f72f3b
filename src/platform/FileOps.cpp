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

}  // namespace zorvane
