// Standard handles and the handle functions shared by console streams, files and kernel
// objects: GetStdHandle, GetFileType, ReadFile, WriteFile, CloseHandle.
#include <algorithm>
#include <cstring>

#include "sim/SimCore.h"
#include "sim/SimErrors.h"

namespace sim {

namespace {

std::uintptr_t Number(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

int StreamIndex(DWORD stdHandle) {
    if (stdHandle == StdInputHandle) return 0;
    if (stdHandle == StdOutputHandle) return 1;
    if (stdHandle == StdErrorHandle) return 2;
    return -1;
}

bool IsPseudoHandle(HANDLE handle) {
    // GetCurrentProcess (-1) and GetCurrentThread (-2): closing them has no effect.
    const auto value = static_cast<std::intptr_t>(Number(handle));
    return value == -1 || value == -2;
}

}  // namespace

void SimWindows::SetStdKind(DWORD stdHandle, StdKind kind) {
    const int index = StreamIndex(stdHandle);
    if (index >= 0) core_->streams[index].kind = kind;
}

void SimWindows::SetStdin(std::string bytes) {
    core_->streams[0].input = std::move(bytes);
    core_->streams[0].position = 0;
}

const std::string& SimWindows::Stdout() const {
    return core_->streams[1].output;
}

const std::string& SimWindows::Stderr() const {
    return core_->streams[2].output;
}

std::vector<std::string> SimWindows::StdoutWrites() const {
    return core_->streams[1].writes;
}

HANDLE SimWindows::GetStdHandle(DWORD stdHandle) {
    if (Enter("GetStdHandle", {Hex(stdHandle)})) return InvalidHandleValue();
    const int index = StreamIndex(stdHandle);
    if (index < 0 || core_->streams[index].kind == StdKind::Invalid) {
        lastError_ = error::InvalidHandle;
        return InvalidHandleValue();
    }
    // The value stays what it was even after CloseHandle, as the process parameters keep it.
    return reinterpret_cast<HANDLE>(core_->streams[index].handle);
}

DWORD SimWindows::GetFileType(HANDLE file) {
    if (Enter("GetFileType", {HandleText(file)})) return FileTypeUnknown;
    if (const StdStream* stream = core_->Stream(Number(file))) {
        switch (stream->kind) {
            case StdKind::Console:
                return FileTypeChar;
            case StdKind::DiskFile:
                return FileTypeDisk;
            case StdKind::Pipe:
                return FileTypePipe;
            default:
                lastError_ = error::Success;  // documented: an unknown type answers NO_ERROR
                return FileTypeUnknown;
        }
    }
    if (files.IsOpenFile(Number(file))) {
        return files.IsDevice(Number(file)) ? FileTypeChar : FileTypeDisk;
    }
    lastError_ = error::InvalidHandle;
    return FileTypeUnknown;
}

BOOL SimWindows::ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*) {
    if (read != nullptr) *read = 0;
    if (Enter("ReadFile", {HandleText(file), Hex(toRead)})) return FALSE;
    if (buffer == nullptr && toRead > 0) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    DWORD done = 0;
    DWORD failure = 0;
    if (StdStream* stream = core_->Stream(Number(file))) {
        if (stream != &core_->streams[0]) {
            failure = error::AccessDenied;  // an output handle
        } else {
            const std::size_t left = stream->input.size() - stream->position;
            done = static_cast<DWORD>(std::min<std::size_t>(toRead, left));
            std::memcpy(buffer, stream->input.data() + stream->position, done);
            stream->position += done;
            // At the end a pipe whose writer has gone fails; a file or console reads nothing.
            if (done == 0 && toRead > 0 && stream->kind == StdKind::Pipe) {
                failure = error::BrokenPipe;
            }
        }
    } else if (files.IsOpenFile(Number(file))) {
        failure = files.Read(Number(file), buffer, toRead, done);
    } else {
        failure = error::InvalidHandle;
    }
    if (read != nullptr) *read = done;
    return Answer(failure);
}

BOOL SimWindows::WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void*) {
    if (written != nullptr) *written = 0;
    if (Enter("WriteFile", {HandleText(file), QuotedBytes(buffer, toWrite), Hex(toWrite)})) {
        return FALSE;
    }
    if (buffer == nullptr && toWrite > 0) {
        lastError_ = code::NoAccess;
        return FALSE;
    }
    DWORD done = 0;
    DWORD failure = 0;
    if (StdStream* stream = core_->Stream(Number(file))) {
        if (stream == &core_->streams[0]) {
            failure = error::AccessDenied;  // the input handle
        } else {
            const std::string bytes(static_cast<const char*>(buffer), toWrite);
            stream->output += bytes;
            stream->writes.push_back(bytes);
            done = toWrite;
        }
    } else if (files.IsOpenFile(Number(file))) {
        failure = files.Write(Number(file), buffer, toWrite, done);
    } else {
        failure = error::InvalidHandle;
    }
    if (written != nullptr) *written = done;
    return Answer(failure);
}

BOOL SimWindows::CloseHandle(HANDLE object) {
    if (Enter("CloseHandle", {HandleText(object)})) return FALSE;
    if (IsPseudoHandle(object)) return TRUE;
    if (StdStream* stream = core_->Stream(Number(object))) {
        stream->open = false;
        return TRUE;
    }
    if (files.Close(Number(object)) || core_->kernel.erase(Number(object)) != 0) return TRUE;
    lastError_ = error::InvalidHandle;
    return FALSE;
}

}  // namespace sim
