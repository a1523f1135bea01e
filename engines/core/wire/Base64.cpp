#include "Base64.hpp"

#include <openssl/evp.h>

#include <cstddef>

namespace halcy {

namespace {

bool inAlphabet(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// EVP_DecodeBlock skips surrounding whitespace and accepts padding anywhere; the wire does not.
std::optional<std::size_t> paddingOf(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  for (std::size_t index = 0; index < text.size() - padding; ++index) {
    if (!inAlphabet(text[index])) return std::nullopt;
  }
  return padding;
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
  if (bytes.empty()) return {};
  std::string text(4 * ((bytes.size() + 2) / 3), '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(written));
  return text;
}

std::optional<std::string> base64Decode(std::string_view text) {
  const auto padding = paddingOf(text);
  if (!padding) return std::nullopt;
  if (text.empty()) return std::string();
  std::string bytes(3 * (text.size() / 4), '\0');
  const int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  if (written < 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(written) - *padding);
  return bytes;
}

}  // namespace halcy
