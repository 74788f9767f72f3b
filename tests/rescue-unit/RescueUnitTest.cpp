#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "rescue/Manifest.h"
#include "rescue/VolumePath.h"

namespace zorvane::rescue {
namespace {

namespace fs = std::filesystem;

// A volume in a scratch folder, and a folder outside it that links must never reach.
class VolumePathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "rescueunit.XXXXXX").string();
        base_ = mkdtemp(pattern.data());
        fs::create_directories(base_ / "volume/WINDOWS/System32");
        fs::create_directories(base_ / "outside/system32");
        for (const char* file : {"volume/WINDOWS/System32/UBR2.exe", "volume/WINDOWS/ubr2.exe",
                                 "volume/WINDOWS/UBR2.EXE", "outside/system32/x.dll"})
            std::ofstream(base_ / file) << "x";
        fs::create_directory_symlink(base_ / "outside", base_ / "volume/Linked");
        fs::create_symlink(base_ / "outside/system32/x.dll", base_ / "volume/WINDOWS/x.dll");
    }
    void TearDown() override { fs::remove_all(base_); }
    VolumeRoot Volume() const { return VolumeRoot::Open((base_ / "volume").string()); }

    fs::path base_;
};

TEST_F(VolumePathTest, MatchesEachComponentWithoutRegardToCasePreferringTheExactSpelling) {
    const VolumeRoot volume = Volume();
    const struct {
        const char* lookup;
        const char* path;  // empty: not there
    } cases[] = {
        {"windows\\system32\\ubr2.EXE", "WINDOWS/System32/UBR2.exe"},
        {"WINDOWS\\ubr2.exe", "WINDOWS/ubr2.exe"},
        {"WINDOWS\\Ubr2.exe", "WINDOWS/UBR2.EXE"},  // no exact one: the first in byte order
        {"windows\\hcsrss.dll", ""},
    };
    for (const auto& c : cases) {
        const std::optional<Place> place = volume.Find(c.lookup);
        ASSERT_TRUE(place) << c.lookup;
        EXPECT_EQ(place->exists, *c.path != '\0') << c.lookup;
        if (!place->exists) continue;
        EXPECT_EQ(place->path, c.path);
        EXPECT_TRUE(place->IsRegularFile()) << c.lookup;
    }
    EXPECT_FALSE(volume.Find("Program Files\\x.exe"));  // a folder on the way is missing
}

TEST_F(VolumePathTest, NeverFollowsALinkOutOfTheVolume) {
    const VolumeRoot volume = Volume();
    EXPECT_THROW(volume.Find("linked\\system32\\x.dll"), RescueError);
    EXPECT_THROW(volume.OpenFolder({"Linked"}), RescueError);
    const std::optional<Place> link = volume.Find("WINDOWS\\X.DLL");
    ASSERT_TRUE(link && link->exists);
    EXPECT_FALSE(link->IsRegularFile());
}

TEST(ManifestTest, ReadsBackWhatItWritesAndRefusesAnyOtherLine) {
    const std::string hash(64, 'a'), other(64, '0');
    for (const ManifestLine& line :
         {ManifestLine{"removed", "volume", "WINDOWS/system32/ubr2.exe", 3, hash, "-",
                       "1.quarantined"},
          ManifestLine{"changed", "system-partition", "boot.ini", 185, hash, other, "2.original"},
          ManifestLine{"failed", "volume", "a b/c", 0, hash, other, "12.original"}}) {
        const std::optional<ManifestLine> read = ParseManifestLine(FormatManifestLine(line));
        ASSERT_TRUE(read) << FormatManifestLine(line);
        EXPECT_EQ(FormatManifestLine(*read), FormatManifestLine(line));
    }
    const std::string good = "removed\tvolume\tubr2.exe\t3\t" + hash + "\t-\t1.quarantined";
    ASSERT_TRUE(ParseManifestLine(good));
    for (const std::string& bad : {
             std::string(ManifestHeader),
             "removed\tvolume\t../etc/passwd\t3\t" + hash + "\t-\t1.quarantined",
             "removed\tvolume\t/etc/passwd\t3\t" + hash + "\t-\t1.quarantined",
             "removed\tvolume\tubr2.exe\t3\t" + hash + "\t-\t../1.quarantined",
             "removed\tvolume\tubr2.exe\t3x\t" + hash + "\t-\t1.quarantined",
             "removed\tvolume\tubr2.exe\t3\t" + hash.substr(1) + "\t-\t1.quarantined",
             "changed\tvolume\tubr2.exe\t3\t" + hash + "\t-\t1.original",
             good + "\textra",
             good.substr(0, good.size() - 14),
         })
        EXPECT_FALSE(ParseManifestLine(bad)) << bad;
}
}  // namespace
}  // namespace zorvane::rescue
