// Shared by the fuzz targets: a check that stops the fuzzer with the failed condition, and the
// lines that a reader of CR LF text must give back for some bytes.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition) \
    ((condition) ? void() : (std::fprintf(stderr, "failed: %s\n", #condition), std::abort()))

// The bytes up to the first Ctrl-Z, split at every LF (the last piece may be empty), each
// piece with its CRs still in it.
inline std::vector<std::string> RawLines(std::string_view bytes) {
    std::vector<std::string> lines(1);
    for (const char byte : bytes.substr(0, bytes.find('\x1a')))
        byte == '\n' ? void(lines.emplace_back()) : lines.back().push_back(byte);
    return lines;
}

inline std::string WithoutCr(std::string line) {
    std::erase(line, '\r');
    return line;
}
