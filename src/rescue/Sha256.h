// SHA-256 of what the quarantine keeps and of what the cure leaves (nettle does the work).
#pragma once

#include <nettle/sha2.h>

#include <string>
#include <string_view>

namespace zorvane::rescue {

class Sha256 {
  public:
    Sha256();
    void Update(std::string_view data);
    std::string HexDigest();  // 64 lower-case hexadecimal digits

  private:
    sha256_ctx context_{};
};

}  // namespace zorvane::rescue
