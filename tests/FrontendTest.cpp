#include <algorithm>
#include <regex>

#include "TestMachine.h"
#include "frontend/CommandLine.h"
#include "frontend/ErrorReport.h"
#include "platform/AsciiText.h"

namespace zorvane::testing {
namespace {

using sim::StdKind;

TEST(CommandLine, SplitsAtBlanksOutsideQuotesAndDropsTheQuotes) {
    EXPECT_EQ(AsciiUpper("az{`@\xe9t\0b"s), "AZ{`@\xe9T\0B"s);  // only the letters a to z
    SimWindows m;
    const auto split = [&m](const std::string& line) {
        m.StartProcess(line);
        const WindowsScope scope(m);
        Texts args;
        for (int i = 1; i <= ArgumentCount(); ++i) args.push_back(ArgumentAt(i));
        EXPECT_EQ(ArgumentAt(static_cast<int>(args.size()) + 1), "");
        EXPECT_EQ(ArgumentAt(0), "C:\\zorvane.exe");  // the module's path, however it was named
        return args;
    };
    const std::pair<const char*, Texts> cases[] = {
        {"zorvane.exe /a \"/b c\"  /d", {"/a", "/b c", "/d"}},
        {"zorvane.exe \"\" /x", {"/x"}},
        {"zorvane.exe a\"b c\"d", {"ab cd"}},
        {"zorvane.exe \"/a b", {"/a b"}},
        {"\"C:\\Program Files\\zorvane.exe\" /auto", {"/auto"}},
        {"z\t/a\x01/b\x1f"
         "c \x7f \xe9t\xe9 C:\\d\\ \"\\\"",
         {"/a", "/b", "c", "\x7f", "\xe9t\xe9", "C:\\d\\", "\\"}},
        {"z \"\"\"\" \"", {}},
        {"", {}}};
    for (const auto& [line, args] : cases) EXPECT_EQ(split(line), args) << line;
    // The second byte of a double-byte character is never taken for a blank or a quote.
    m.SetLeadBytes({0x81});
    EXPECT_EQ(split("z a\x81\"b \x81 x \"\x81\"\" \x81"),
              (Texts{"a\x81\"b", "\x81 x", "\x81\"", "\x81"}));
}

const std::string Banner =
    "+---------------------------------------------------------+\r\n"
    "| Zorvane utility for detecting and removing some viruses |\r\n"
    "|       Copyright (c) 2004 Zorvane. All rights reserved.  |\r\n"
    "|   www.zorvane.example         support@zorvane.example   |\r\n"
    "|                          version 0.1 beta (30 Jul 2004) |\r\n"
    "+---------------------------------------------------------+\r\n\r\n";
const std::string Help =
    "\r\n /H      - This Help message\r\n /NoCure - Don't cure system (only check)\r\n"
    " /Auto   - No questions, auto mode (auto cure and auto reboot)\r\n"
    " /List   - Show list of known viruses and trojans\r\n";
const std::string List =
    " Created 30 Jul 2004. Known 2 viruses:\r\n  - Backdoor.Ubriel.b\r\n  - "
    "Backdoor.HacDef.073.b\r\n";
const std::string Clean = " No known viruses and trojan programs found.\r\n",
                  Pause = " Press Enter to exit ...",
                  Deleted = " Backdoor.Ubriel.b     - DELETED\r\n",
                  NotRemoved = " Backdoor.HacDef.073.b - could not be removed\r\n",
                  Infected =
                      " System INFECTED by: Backdoor.Ubriel.b\r\n"
                      " System INFECTED by: Backdoor.HacDef.073.b\r\n",
                  Asked = Infected +
                          "Start cure you system: Y/N? (system will be rebooted automatically): ";

struct Case {
    const char* line;
    sim::WindowsVersion version;
    const char* input;
    std::string out;  // after the banner
    bool restarted = false, shellRepaired = false;
    DWORD readFailure = 0;  // of the first ReadFile
    int exitCode = 0;
};

void Check(const Case& c, bool infected) {
    SCOPED_TRACE(std::string(c.line) + " | " + c.input);
    SimWindows m;
    m.SetVersion(c.version);
    if (infected) Infect(m);
    if (c.readFailure) m.FailCall("ReadFile", 1, c.readFailure);
    const RunResult run = RunProgram(m, c.line, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, Banner + c.out);
    EXPECT_EQ(!m.RestartRequests().empty(), c.restarted);
    EXPECT_EQ(m.registry.GetString(Winlogon, "Shell") == "Explorer.exe",
              !infected || c.shellRepaired);
}

// One branch runs, then the pause unless "/AUTO" or "/SAFEMODE" was given or the question was
// asked; an infected scan asks once and starts the cure on an answer that begins with Y.
TEST(RunFlow, BranchesQuestionAndPause) {
    const Case cases[] = {{"z", Xp, "\r\n", Clean + Pause},
                          {"z /h /list", Xp, "", Help + Pause},
                          {"z /LIST /SAFEMODE", Xp, "", List},
                          {"z /help /auto", Xp, "", Help},
                          {"z /? /AUTO /Auto", Win95, "", Help},
                          {"z /SAFEMODE", Win98, "", ""},
                          {"z /NOLOG /nocure -auto auto /AUTOMATIC /HEL -h", Xp, "", Clean + Pause},
                          {"z /Auto", Nt4, "", Clean},
                          {"z", WinMe, "", Clean + Pause}};
    for (const Case& c : cases) Check(c, false);
    const Case infectedCases[] = {
        {"z", Xp, "y\r\n", Asked, true},
        {"z", Xp, "yes", Asked, true},
        {"z", Win2000, "Y\r\nn\r\n", Asked, true},
        {"z", Xp, "n\r\n", Asked},
        {"z", Xp, " y\r\n", Asked},
        {"z", Xp, "\r\ny\r\n", Asked},
        {"z", Xp, "", Asked},
        {"z", Xp, "y\r\n", Asked, false, false, error::BrokenPipe},
        {"z /AUTO", Xp, "", Infected, true},
        // The hiding driver keeps NT 4.0's cure in place from its file.
        {"z", Nt4, "y", Asked + Deleted + NotRemoved, true, true, 0, 1},
        {"z /auto", Nt4, "", Infected + Deleted + NotRemoved, true, true, 0, 1},
        {"z", Win98, "", Clean + Pause},
        // "/NOCURE" reports only, even with "/AUTO"; the pause follows unless "/AUTO" is given.
        {"z /NOCURE", Xp, "y\r\n", Infected + Pause},
        {"z /NoCure /Auto", Nt4, "", Infected},
        {"z /auto /nocure", Xp, "", Infected},
        // The Safe Mode run finishes a cure already accepted: "/NOCURE" does not apply to it.
        // (The hiding driver still runs here, so its file is not listed and not removed.)
        {"z /SAFEMODE /AUTO", Xp, "", Deleted, true, true},
        {"z /safemode /nocure", Nt4, "", Deleted, false, true},
        {"z /SAFEMODE", Win98, "", ""}};
    for (const Case& c : infectedCases) Check(c, true);
}

TEST(RunFlow, AnUnhandledErrorEndsTheRunWithTheReportOnStandardErrorAndExitCode1) {
    const std::tuple<Arrange, const char*, const char*> cases[] = {
        {[](SimWindows& m) { m.SetStdKind(StdOutputHandle, StdKind::Unknown); }, "I/O error 105",
         "^$"},
        {[](SimWindows& m) { m.SetStdKind(StdInputHandle, StdKind::Invalid); }, "I/O error 104",
         "\\.$"},
        {Fail("WriteFile", 1, error::AccessDenied), "File access denied", "^$"},
        // What waits for standard output is written out before the report.
        {Fail("ReadFile", 1, error::DiskFull), "I/O error 112", "\\.$"}};
    for (const auto& [arrange, message, out] : cases) {
        SCOPED_TRACE(message);
        SimWindows m;
        m.SetOemConversion([](std::string text) {  // the report is in the OEM code page
            std::replace(text.begin(), text.end(), '\xe9', '\x82');
            return text;
        });
        arrange(m);
        const RunResult run = RunProgram(m, "z /LIST", "\r\n", "C:\\D\xe9\\Caf\xe9.exe");
        EXPECT_EQ(run.exitCode, 1);
        const std::string report =
            "Exception EInOutError in module Caf\x82\\.exe at [0-9A-F]{8}\\.";
        EXPECT_TRUE(
            std::regex_match(run.err, std::regex(report + "\r\n" + message + "\\.\r\n\r\n")))
            << run.err;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(out)));
        const Texts names = m.JournalNames();  // the system's crash handler is never involved
        EXPECT_EQ(std::find(names.begin(), names.end(), "UnhandledExceptionFilter"), names.end());
    }
}

// /LIST writes about 490 bytes, then reads a line at the pause.
TEST(RunFlow, OutputGoesInBlocksOf128ToFilesAndPipesAndAtOnceToAConsole) {
    std::string console;
    for (const StdKind kind : {StdKind::Console, StdKind::DiskFile, StdKind::Pipe}) {
        SimWindows m;
        m.SetStdKind(StdOutputHandle, kind);
        const std::string out = RunProgram(m, "z /LIST", "\r\n").out;
        const Texts writes = m.StdoutWrites();
        ASSERT_GT(writes.size(), 3u);
        for (std::size_t i = 0; i + 1 < writes.size(); ++i)  // a console: one text a write
            EXPECT_TRUE(kind == StdKind::Console ? writes[i].back() == '\n'
                                                 : writes[i].size() == 128);
        if (kind == StdKind::Console) console = out;
        EXPECT_EQ(out, console);  // nothing lost at the end
        // The pause's read writes out nothing: a file or pipe gets its last bytes at the end.
        const Texts names = m.JournalNames();
        const auto read = std::find(names.begin(), names.end(), "ReadFile");
        EXPECT_EQ(std::count(read, names.end(), "WriteFile"), kind == StdKind::Console ? 0 : 1);
    }
}

}  // namespace
}  // namespace zorvane::testing
