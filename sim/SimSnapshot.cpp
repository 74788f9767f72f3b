// Snapshots of what survives a restart, and their differences as readable lines.
#include <cstdio>

#include "sim/FileTimes.h"
#include "sim/SimCore.h"

namespace sim {

namespace {

constexpr std::size_t ShownBytes = 300;

// Bytes as a C-like literal, so that line ends and binary data stay readable.
std::string Literal(const std::string& bytes) {
    std::string text = "\"";
    for (std::size_t i = 0; i < bytes.size() && i < ShownBytes; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '"' || c == '\\') {
            text += std::string("\\") + static_cast<char>(c);
        } else if (c < 32 || c >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    text += "\"";
    if (bytes.size() > ShownBytes) text += "... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

std::string EntryText(const FileStore::Entry& entry) {
    if (entry.directory) return "directory, attributes " + Hex(entry.attributes);
    return "attributes " + Hex(entry.attributes) + ", " + Literal(entry.content);
}

std::string ValueText(const RegistryStore::Value& value) {
    return "type " + std::to_string(value.type) + ", " + Literal(value.data);
}

std::string TimeText(FILETIME time) {
    const CalendarTime t = CalendarOf(Ticks(time));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// Walks two sorted maps together, calling the matching report for each difference.
template <typename Map, typename Added, typename Removed, typename Changed>
void Compare(const Map& before, const Map& after, Added added, Removed removed, Changed changed) {
    auto b = before.begin();
    auto a = after.begin();
    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && b->first < a->first)) {
            removed(*b++);
        } else if (b == before.end() || a->first < b->first) {
            added(*a++);
        } else {
            if (!(b->second == a->second)) changed(*b, *a);
            ++b;
            ++a;
        }
    }
}

}  // namespace

SimWindows::Snapshot SimWindows::TakeSnapshot() const {
    return Snapshot{files.Listing(), registry.Listing()};
}

std::string SimWindows::Describe(const Snapshot& before, const Snapshot& after) {
    std::string lines;
    const auto line = [&lines](const std::string& text) { lines += text + "\n"; };
    Compare(
        before.files, after.files,
        [&](const auto& item) {
            line("file added: " + item.first + " (" + EntryText(item.second) + ")");
        },
        [&](const auto& item) { line("file removed: " + item.first); },
        [&](const auto& old, const auto& now) {
            std::string text = "file changed: " + old.first + ":";
            if (old.second.directory != now.second.directory ||
                old.second.attributes != now.second.attributes) {
                text += " attributes " + Hex(old.second.attributes) + " -> " +
                        Hex(now.second.attributes);
            }
            if (old.second.content != now.second.content) {
                text += " content " + Literal(old.second.content) + " -> " +
                        Literal(now.second.content);
            }
            if (Ticks(old.second.lastWrite) != Ticks(now.second.lastWrite)) {
                text += " written " + TimeText(old.second.lastWrite) + " -> " +
                        TimeText(now.second.lastWrite);
            }
            line(text);
        });
    Compare(
        before.keys, after.keys,
        [&](const auto& item) {
            line("key added: " + item.first);
            for (const auto& [name, value] : item.second) {
                line("value added: " + item.first + "\\" + name + " (" + ValueText(value) + ")");
            }
        },
        [&](const auto& item) { line("key removed: " + item.first); },
        [&](const auto& old, const auto& now) {
            const std::string& key = old.first;
            Compare(
                old.second, now.second,
                [&](const auto& v) {
                    line("value added: " + key + "\\" + v.first + " (" + ValueText(v.second) + ")");
                },
                [&](const auto& v) { line("value removed: " + key + "\\" + v.first); },
                [&](const auto& was, const auto& is) {
                    line("value changed: " + key + "\\" + was.first + ": " + ValueText(was.second) +
                         " -> " + ValueText(is.second));
                });
        });
    return lines;
}

}  // namespace sim
