// The journal of the simulated machine, with its failure injection and power cuts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowsTypes.h"

namespace sim {

// Thrown by the machine to stop a run dead (a power cut). It is not a std::exception, so the
// program's guarded steps cannot catch it.
struct PowerCut {};

struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string Text() const;  // Name(arg, arg)
};

class CallRecorder {
  public:
    // Records the call. Answers the error code the call must fail with, or 0. Throws PowerCut
    // when a cut was asked for after the previous call; a dead machine answers ERROR_NOT_READY
    // without journaling. The release calls (CloseHandle, FindClose, RegCloseKey) run from
    // destructors, where a throw would end the test process: when the cut falls on one of them,
    // or while an exception unwinds, the machine dies silently and the throw waits for the next
    // ordinary call.
    zorvane::DWORD Record(const char* name, std::vector<std::string> args);

    void FailCall(const std::string& name, int occurrence, zorvane::DWORD errorCode);
    void FailCallAt(std::size_t position, zorvane::DWORD errorCode);
    void PowerCutAfter(std::size_t position);
    // A new process or a restart: the machine is alive again. A cut asked for and not yet
    // reached stays pending, so that it can be set up before the process starts.
    void Revive();
    bool Dead() const { return dead_; }

    const std::vector<Call>& Journal() const { return journal_; }
    void ClearJournal() { journal_.clear(); }
    std::size_t CallCount() const { return total_; }

  private:
    struct NamedFailure {
        std::string name;
        int remaining;  // calls of that name still to pass before the failing one
        zorvane::DWORD code;
    };
    struct PositionedFailure {
        std::size_t position;  // absolute call number
        zorvane::DWORD code;
    };

    std::vector<Call> journal_;
    std::size_t total_ = 0;
    std::vector<NamedFailure> named_;
    std::vector<PositionedFailure> positioned_;
    bool cutPending_ = false;
    std::size_t cutAfter_ = 0;  // absolute call number after which the power goes
    bool dead_ = false;
    bool throwPending_ = false;  // dead, and PowerCut not thrown yet
};

// Formatting of journal arguments.
std::string Quoted(const char* text);  // "text", or NULL for nullptr
std::string QuotedBytes(const void* data, std::size_t size);
std::string Hex(std::uint64_t value);        // 0x1F
std::string HandleText(const void* handle);  // h<N>, INVALID, NULL, HKLM, HKCU

}  // namespace sim
