// zorvane-rescue's scan of a corrupted installation: the input is a list of patches, each
// [offset: 2 bytes LE][length: 1 byte][bytes], laid over a small hive that holds everything the
// scan reads (made here: a minimal empty hive filled through hivex). The patched hive serves as
// both SOFTWARE and SYSTEM of a volume in a scratch folder; the scan must end with a report,
// never a crash, a leak or a hang, and a hive hivex refuses must show as not checked.
#include <fcntl.h>
#include <hivex.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "rescue/Scan.h"
#include "rescue/Text.h"

namespace {

using namespace zorvane::rescue;

void Put32(std::string& bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void Checksum(std::string& hive) {
    uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4) {
        uint32_t word = 0;
        std::memcpy(&word, hive.data() + at, 4);
        sum ^= word;
    }
    Put32(hive, 0x1FC, sum);
}

// Base block, one bin: the root key ("nk") and its security cell ("sk"), the rest free.
std::string EmptyHive() {
    std::string hive(0x2000, '\0');
    hive.replace(0, 4, "regf");
    for (const auto& [at, value] : {std::pair{4, 1},
                                    {8, 1},
                                    {0x14, 1},
                                    {0x18, 3},
                                    {0x20, 1},
                                    {0x24, 0x20},
                                    {0x28, 0x1000},
                                    {0x2C, 1}})
        Put32(hive, at, value);
    Checksum(hive);
    hive.replace(0x1000, 4, "hbin");
    Put32(hive, 0x1008, 0x1000);
    const std::size_t nk = 0x1020, sk = 0x1078;
    Put32(hive, nk, static_cast<uint32_t>(-88));
    hive.replace(nk + 4, 4, "nk\x2C\0", 4);
    for (const std::size_t field : {20, 32, 36, 44, 52}) Put32(hive, nk + field, 0xFFFFFFFF);
    Put32(hive, nk + 48, 0x78);  // its security cell
    hive[nk + 76] = 4;           // name length
    hive.replace(nk + 80, 4, "ROOT");
    Put32(hive, sk, static_cast<uint32_t>(-48));
    hive.replace(sk + 4, 2, "sk");
    for (const auto& [at, value] : {std::pair{8, 0x78}, {12, 0x78}, {16, 1}, {20, 20}})
        Put32(hive, sk + at, value);
    hive[sk + 24] = 1;                     // descriptor revision
    hive.replace(sk + 26, 2, "\x04\x80");  // self-relative, DACL present (none)
    Put32(hive, 0x10A8, 0x1000 - 0xA8);    // the free rest
    return hive;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void AddKey(hive_h* hive, const char* path, const char* name, hive_type type,
            const std::string& data) {
    hive_node_h node = hivex_root(hive);
    for (const std::string_view part : Components(path)) {
        const hive_node_h child = hivex_node_get_child(hive, node, std::string(part).c_str());
        node = child != 0 ? child : hivex_node_add_child(hive, node, std::string(part).c_str());
    }
    hive_set_value value{const_cast<char*>(name), type, data.size(),
                         const_cast<char*>(data.data())};
    FUZZ_CHECK(hivex_node_set_value(hive, node, &value, 0) == 0);
}

struct Scratch {
    std::string root, config, hive;
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/rescuefuzz.XXXXXX";
        root = mkdtemp(pattern.data());
        config = root + "/WINDOWS/system32/config";
        std::filesystem::create_directories(config);
        WriteAll(root + "/empty", EmptyHive());
        hive_h* h = hivex_open((root + "/empty").c_str(), HIVEX_OPEN_WRITE);
        FUZZ_CHECK(h != nullptr);
        AddKey(h, "Microsoft\\Windows NT\\CurrentVersion", "ProductName", hive_t_REG_SZ,
               Utf8ToUtf16z("Windows"));
        AddKey(h, "Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell", hive_t_REG_SZ,
               Utf8ToUtf16z("Explorer.exe UBR2.exe"));
        AddKey(h, "ControlSet001\\Services\\ubr2drv", "Start", hive_t_REG_DWORD,
               std::string("\1\0\0\0", 4));
        AddKey(h, "ControlSet001\\Enum\\Root\\LEGACY_UBR2DRV", "x", hive_t_REG_BINARY, "1");
        AddKey(h, "ControlSet001\\Control\\SafeBoot", "AlternateShell", hive_t_REG_EXPAND_SZ,
               Utf8ToUtf16z("C:\\Zorvane.cmd"));
        FUZZ_CHECK(hivex_commit(h, (root + "/template").c_str(), 0) == 0);
        hivex_close(h);
        hive = ReadPrefix(Fd(open((root + "/template").c_str(), O_RDONLY)).Get(), 1 << 20);
    }
    ~Scratch() { std::filesystem::remove_all(root); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    std::string hive = scratch.hive;
    for (std::size_t at = 0; at + 3 <= size;) {
        const std::size_t offset = (data[at] | data[at + 1] << 8) % hive.size();
        const std::size_t length = std::min<std::size_t>(data[at + 2], size - at - 3);
        for (std::size_t i = 0; i < length && offset + i < hive.size(); ++i)
            hive[offset + i] = static_cast<char>(data[at + 3 + i]);
        at += 3 + length;
    }
    Checksum(hive);  // else hivex refuses every change to the base block alike
    for (const char* name : {"/SOFTWARE", "/SYSTEM"}) WriteAll(scratch.config + name, hive);
    const Volumes volumes{VolumeRoot::Open(scratch.root), std::nullopt};
    const InstallationScan scan = ScanInstallation(volumes, "WINDOWS");
    const std::string report = ScanReport(scan);
    FUZZ_CHECK(report.starts_with("Windows installation: WINDOWS ("));
    // The intact template: everything is read and found.
    if (size == 0) FUZZ_CHECK(scan.ubriel.found && scan.hacdef.found && !scan.AnythingUnchecked());
    return 0;
}
