#include "FrameEncoder.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace halcy {

namespace {

struct Unencodable {};

constexpr std::uint64_t everyByte(std::uint8_t byte) {
  return 0x0101010101010101ULL * byte;
}

// True when none of the eight bytes needs a look: no control character, quote, backslash or
// non-ASCII byte.
bool plainWord(std::uint64_t word) {
  constexpr std::uint64_t high = everyByte(0x80);
  const auto hasZeroByte = [](std::uint64_t value) {
    return (value - everyByte(1)) & ~value & high;
  };
  const std::uint64_t belowSpace = (word - everyByte(0x20)) & ~word & high;
  return ((word & high) | belowSpace | hasZeroByte(word ^ everyByte('"')) |
          hasZeroByte(word ^ everyByte('\\'))) == 0;
}

bool plainByte(unsigned char byte) {
  return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\';
}

class FrameWriter {
 public:
  std::string take(const Json& frame) {
    value(frame);
    return std::move(out_);
  }

 private:
  void value(const Json& node) {
    switch (node.type()) {
      case Json::value_t::object:
        object(node);
        return;
      case Json::value_t::array:
        array(node);
        return;
      case Json::value_t::string:
        string(node.get_ref<const std::string&>());
        return;
      case Json::value_t::number_float:
        // nlohmann would write null for these; the wire refuses them instead.
        if (!std::isfinite(node.get<double>())) throw Unencodable{};
        out_ += node.dump();
        return;
      case Json::value_t::binary:
      case Json::value_t::discarded:
        throw Unencodable{};
      default:
        out_ += node.dump();
        return;
    }
  }

  void object(const Json& node) {
    out_ += '{';
    bool first = true;
    for (const auto& item : node.items()) {
      if (!first) out_ += ',';
      first = false;
      string(item.key());
      out_ += ':';
      value(item.value());
    }
    out_ += '}';
  }

  void array(const Json& node) {
    out_ += '[';
    bool first = true;
    for (const auto& element : node) {
      if (!first) out_ += ',';
      first = false;
      value(element);
    }
    out_ += ']';
  }

  void string(std::string_view text) {
    out_.reserve(out_.size() + text.size() + 2);
    out_ += '"';
    std::size_t runStart = 0;
    std::size_t index = 0;
    while (index < text.size()) {
      while (index + 8 <= text.size() && plainWord(wordAt(text, index))) index += 8;
      while (index < text.size() && plainByte(static_cast<unsigned char>(text[index]))) ++index;
      if (index == text.size()) break;
      const auto byte = static_cast<unsigned char>(text[index]);
      if (byte >= 0x80) {
        index += validSequenceLength(text.substr(index));
      } else {
        out_.append(text.substr(runStart, index - runStart));
        escape(byte);
        runStart = ++index;
      }
    }
    out_.append(text.substr(runStart));
    out_ += '"';
  }

  static std::uint64_t wordAt(std::string_view text, std::size_t index) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + index, sizeof word);
    return word;
  }

  void escape(unsigned char byte) {
    switch (byte) {
      case '"':
        out_ += R"(\")";
        return;
      case '\\':
        out_ += R"(\\)";
        return;
      case '\b':
        out_ += R"(\b)";
        return;
      case '\f':
        out_ += R"(\f)";
        return;
      case '\n':
        out_ += R"(\n)";
        return;
      case '\r':
        out_ += R"(\r)";
        return;
      case '\t':
        out_ += R"(\t)";
        return;
      default: {
        static constexpr char hex[] = "0123456789abcdef";
        out_ += R"(\u00)";
        out_ += hex[byte >> 4];
        out_ += hex[byte & 0x0F];
      }
    }
  }

  // The length of the well-formed UTF-8 sequence that starts `bytes`.
  static std::size_t validSequenceLength(std::string_view bytes) {
    const auto at = [&](std::size_t index) { return static_cast<unsigned char>(bytes[index]); };
    const unsigned char lead = at(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
      throw Unencodable{};
    }
    if (bytes.size() < length || at(1) < low || at(1) > high) throw Unencodable{};
    for (std::size_t index = 2; index < length; ++index) {
      if (at(index) < 0x80 || at(index) > 0xBF) throw Unencodable{};
    }
    return length;
  }

  std::string out_;
};

}  // namespace

std::optional<std::string> encodeFrame(const Json& frame) {
  try {
    return FrameWriter().take(frame);
  } catch (const Unencodable&) {
    return std::nullopt;
  } catch (const Json::exception&) {
    return std::nullopt;
  }
}

}  // namespace halcy
