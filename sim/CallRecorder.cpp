#include "sim/CallRecorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

namespace sim {

using zorvane::DWORD;

namespace {

bool Releases(const char* name) {
    return std::strcmp(name, "CloseHandle") == 0 || std::strcmp(name, "FindClose") == 0 ||
           std::strcmp(name, "RegCloseKey") == 0;
}

}  // namespace

std::string Call::Text() const {
    std::string text = name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) text += ", ";
        text += args[i];
    }
    return text + ")";
}

DWORD CallRecorder::Record(const char* name, std::vector<std::string> args) {
    if (cutPending_ && total_ >= cutAfter_) {
        dead_ = true;
        cutPending_ = false;
        throwPending_ = true;
    }
    if (dead_) {
        if (throwPending_ && !Releases(name) && std::uncaught_exceptions() == 0) {
            throwPending_ = false;
            throw PowerCut{};
        }
        return zorvane::error::NotReady;
    }
    ++total_;
    journal_.push_back(Call{name, std::move(args)});

    DWORD code = 0;
    for (auto it = positioned_.begin(); it != positioned_.end(); ++it) {
        if (it->position == total_) {
            code = it->code;
            positioned_.erase(it);
            break;
        }
    }
    for (auto it = named_.begin(); it != named_.end(); ++it) {
        if (it->name != name) continue;
        if (it->remaining-- == 0) {
            if (code == 0) code = it->code;
            named_.erase(it);
            break;
        }
    }
    return code;
}

void CallRecorder::FailCall(const std::string& name, int occurrence, DWORD errorCode) {
    named_.push_back(NamedFailure{name, occurrence - 1, errorCode});
}

void CallRecorder::FailCallAt(std::size_t position, DWORD errorCode) {
    positioned_.push_back(PositionedFailure{total_ + position, errorCode});
}

void CallRecorder::PowerCutAfter(std::size_t position) {
    cutPending_ = true;
    cutAfter_ = total_ + position;
}

void CallRecorder::Revive() {
    dead_ = false;
    throwPending_ = false;
}

std::string Quoted(const char* text) {
    if (text == nullptr) return "NULL";
    return std::string("\"") + text + "\"";
}

std::string QuotedBytes(const void* data, std::size_t size) {
    if (data == nullptr) return "NULL";
    return "\"" + std::string(static_cast<const char*>(data), size) + "\"";
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string HandleText(const void* handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (handle == nullptr) return "NULL";
    if (handle == zorvane::InvalidHandleValue()) return "INVALID";
    if (handle == zorvane::HkeyLocalMachine()) return "HKLM";
    if (handle == zorvane::HkeyCurrentUser()) return "HKCU";
    return "h" + std::to_string(value);
}

}  // namespace sim
