#include "platform/FileOps.h"

#include "HostMachine.h"

namespace zorvane::testing {
namespace {

using FileOpsTest = HostMachine;

TEST_F(FileOpsTest, FileListedAnswersFromTheDirectorySearchAlone) {
    machine.files.AddFile("C:\\plain.txt");
    machine.files.AddFile("C:\\hidden.txt", "", FileAttributeHidden);
    machine.files.AddFile("C:\\system.txt", "", FileAttributeSystem);
    machine.files.AddFile("C:\\unlisted.txt");
    machine.files.HideFromListings("C:\\unlisted.txt");
    // 1980-01-01 00:30 UTC is still 1979 an hour west of Greenwich: no MS-DOS date.
    machine.files.AddFile("C:\\old.txt");
    machine.files.SetLastWriteTime("C:\\old.txt", FILETIME{0x12B7B400u, 0x01A8E7A4u});
    machine.files.SetLocalTimeOffsetMinutes(-60);
    const std::pair<const char*, bool> cases[] = {
        {"c:\\PLAIN.TXT", true},     {"C:\\hidden.txt", true},   {"C:\\system.txt", true},
        {"C:\\WINDOWS", false},      {"C:\\missing.txt", false}, {"Q:\\plain.txt", false},
        {"C:\\unlisted.txt", false}, {"C:\\old.txt", false}};
    for (const auto& [path, listed] : cases) EXPECT_EQ(FileListed(path), listed) << path;
    machine.ClearJournal();
    EXPECT_TRUE(FileListed("C:\\plain.txt"));
    EXPECT_EQ(Names(), "FindFirstFileA FindClose FileTimeToLocalFileTime FileTimeToDosDateTime ");
    EXPECT_TRUE(RemoveFile("C:\\plain.txt"));
    EXPECT_FALSE(RemoveFile("C:\\plain.txt"));
}

}  // namespace
}  // namespace zorvane::testing
