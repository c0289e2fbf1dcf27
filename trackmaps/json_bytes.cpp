#include "json_bytes.h"

#include <cstddef>

using Json = nlohmann::ordered_json;

namespace {

// How many continuation bytes follow a lead byte, or -1 when it cannot start a character.
int ContinuationsAfter(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

bool IsText(const Json& value) { return value.is_string(); }

bool HasBytesToKeep(const Json& value) {
  if (value.is_string()) return !IsUtf8(value.get_ref<const std::string&>());
  if (!value.is_array()) return false;
  for (const Json& item : value) {
    if (!IsText(item)) return false;
  }
  for (const Json& item : value) {
    if (!IsUtf8(item.get_ref<const std::string&>())) return true;
  }
  return false;
}

Json ExactBytesOf(const Json& value) {
  if (value.is_string()) return Base64(value.get_ref<const std::string&>());
  Json list = Json::array();
  for (const Json& item : value) list.push_back(Base64(item.get_ref<const std::string&>()));
  return list;
}

}  // namespace

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int more = ContinuationsAfter(lead);
    if (more < 0 || text.size() - i <= static_cast<std::size_t>(more)) return false;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char second = more > 0 ? static_cast<unsigned char>(text[i + 1]) : 0x80;
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (more > 0 && (second < low || second > high)) return false;
    for (int k = 2; k <= more; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned long group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      text += k <= count ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return text;
}

Json WithExactBytes(const Json& document) {
  if (document.is_array()) {
    Json list = Json::array();
    for (const Json& item : document) list.push_back(WithExactBytes(item));
    return list;
  }
  if (!document.is_object()) return document;
  Json object = Json::object();
  for (const auto& member : document.items()) {
    object[member.key()] = WithExactBytes(member.value());
    if (HasBytesToKeep(member.value())) {
      object[member.key() + "_base64"] = ExactBytesOf(member.value());
    }
  }
  return object;
}
