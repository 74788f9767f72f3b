#include "frontend/ErrorReport.h"

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/Console.h"
#include "platform/AnsiCharStep.h"
#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/RunLog.h"
#include "platform/WindowsApi.h"

namespace zorvane {

namespace {

constexpr int ReportedErrorExitCode = 1;

std::string ClassNameOf(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    return own != nullptr ? own->ClassName() : "Exception";
}

// The file name without its directory.
std::string FileNameOf(const std::string& path) {
    const char* start = path.c_str();
    for (const char* p = start; *p != 0;) {
        const char* next = NextAnsiChar(p);
        if (next == p + 1 && (*p == '\\' || *p == '/' || *p == ':')) start = next;
        p = next;
    }
    return start;
}

// Always eight upper-case hexadecimal digits, as on the 32-bit system the program is built for.
// Formatted by hand: the C library's printf family would add the runtime's whole formatter
// (about 70 KB) to a program that formats nothing else.
std::string CodeLocationText(const void* location) {
    auto value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(location));
    std::string text(8, '0');
    for (int digit = 7; digit >= 0; --digit, value >>= 4)
        text[digit] = "0123456789ABCDEF"[value & 0xF];
    return text;
}

std::string FormatReport(const std::exception& error, const void* codeLocation) {
    std::string message = error.what();
    if (!message.empty() && message.back() != '.') message += '.';
    return Join({"Exception ", ClassNameOf(error), " in module ", FileNameOf(ArgumentAt(0)), " at ",
                 CodeLocationText(codeLocation), ".\r\n", message, "\r\n"});
}

void WriteToStandardError(std::string_view bytes) {
    DWORD written = 0;
    Windows().WriteFile(Windows().GetStdHandle(StdErrorHandle), bytes.data(),
                        static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int ReportUnhandledError(const std::exception& error, const void* codeLocation) {
    FlushConsole();
    const std::string report = FormatReport(error, codeLocation);
    Log({"Error: ", std::string_view(report).substr(0, report.size() - 2)});  // ANSI, like the log
    // A console shows standard error in the OEM code page.
    std::vector<char> oem(report.size() + 1, 0);
    Windows().CharToOemA(report.c_str(), oem.data());
    WriteToStandardError(std::string_view(oem.data()));
    WriteToStandardError("\r\n");
    return ReportedErrorExitCode;
}

}  // namespace zorvane
