// What the rescue tells: written to standard output at once, and kept for the run log.
#pragma once

#include <string>
#include <string_view>

namespace zorvane::rescue {

class Output {
  public:
    void Say(std::string_view lines);  // one or more lines, each ending with '\n'
    void Line(std::string_view line) { Say(std::string(line) + "\n"); }
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
};

}  // namespace zorvane::rescue
