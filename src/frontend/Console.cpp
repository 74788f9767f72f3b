#include "frontend/Console.h"

#include "platform/HandleChannel.h"
#include "platform/IoError.h"
#include "platform/TextStream.h"

namespace zorvane {

namespace {

HandleChannel outputHandle;
HandleChannel inputHandle;
TextStream output;
TextStream input;

// A stream opens itself on first use and, after a failed open, tries again on the next use.
bool OutputOpen() {
    if (output.CurrentMode() == TextStream::Mode::Output) return true;
    const HANDLE handle = Windows().GetStdHandle(StdOutputHandle);
    if (handle == InvalidHandleValue()) return false;
    const DWORD type = Windows().GetFileType(handle);
    if (type == FileTypeUnknown) {
        Windows().CloseHandle(handle);
        return false;
    }
    // A console shows each text the moment it is written; a file or pipe gets 128-byte blocks.
    outputHandle = HandleChannel(handle);
    output.OpenForOutput(outputHandle, type == FileTypeChar);
    return true;
}

bool InputOpen() {
    if (input.CurrentMode() == TextStream::Mode::Input) return true;
    const HANDLE handle = Windows().GetStdHandle(StdInputHandle);
    if (handle == InvalidHandleValue()) return false;
    inputHandle = HandleChannel(handle);
    input.OpenForInput(inputHandle);
    return true;
}

constexpr int OutputNotOpen = 105;
constexpr int InputNotOpen = 104;

void WriteToConsole(std::string_view text, std::string_view lineEnd) {
    if (!OutputOpen()) {
        StoreIoError(OutputNotOpen);
        return;
    }
    if (output.Write(text) && output.Write(lineEnd) && output.WriteThrough()) output.WriteOut();
}

}  // namespace

void ConsoleWrite(std::string_view text) {
    WriteToConsole(text, {});
}

void ConsoleWriteLine(std::string_view text) {
    WriteToConsole(text, "\r\n");
}

// Reading never writes out standard output: a redirected output keeps its 128-byte blocks.
std::string ConsoleReadLine() {
    if (!InputOpen()) {
        StoreIoError(InputNotOpen);
        return {};
    }
    return input.ReadLine();
}

void ConsoleSkipLine() {
    if (!InputOpen()) {
        StoreIoError(InputNotOpen);
        return;
    }
    input.SkipLine();
}

void ResetConsole() {
    output.Close();
    input.Close();
}

void FlushConsole() {
    if (output.CurrentMode() != TextStream::Mode::Output) return;
    const int pending = TakeIoError();
    output.WriteOut();
    TakeIoError();
    if (pending != 0) StoreIoError(pending);
}

void CloseConsole() {
    FlushConsole();
    ResetConsole();
}

}  // namespace zorvane
