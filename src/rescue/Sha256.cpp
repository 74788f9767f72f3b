#include "rescue/Sha256.h"

namespace zorvane::rescue {

Sha256::Sha256() {
    sha256_init(&context_);
}

void Sha256::Update(std::string_view data) {
    sha256_update(&context_, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
}

std::string Sha256::HexDigest() {
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context_, SHA256_DIGEST_SIZE, digest);
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text.push_back(Digits[byte >> 4]);
        text.push_back(Digits[byte & 15]);
    }
    return text;
}

}  // namespace zorvane::rescue
