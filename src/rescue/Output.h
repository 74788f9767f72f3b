// What the rescue tells: written to standard output at once, and kept for the run log. The
// verdict of a cure or undo is held back until the run log has it: a log that cannot be
// written turns it into "incomplete".
#pragma once

#include <string>
#include <string_view>

namespace zorvane::rescue {

class Output {
  public:
    void Say(std::string_view lines);  // one or more lines, each ending with '\n'
    void Line(std::string_view line) { Say(std::string(line) + "\n"); }
    // The last line: kept for the run log, shown by Finish().
    void Conclude(std::string_view line) { verdict_ = std::string(line) + "\n"; }
    bool HasVerdict() const { return !verdict_.empty(); }
    // The lines so far with the verdict, as the run log records them.
    std::string Text() const { return text_ + verdict_; }
    // Shows the verdict held back, or `instead` in its place when given.
    void Finish(std::string_view instead = {});

  private:
    std::string text_;
    std::string verdict_;
};

}  // namespace zorvane::rescue
