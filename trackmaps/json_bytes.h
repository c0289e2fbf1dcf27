// JSON that loses no bytes: a text that is not UTF-8 keeps its lossy form (U+FFFD for each bad
// byte, as the writer makes it) and gains its exact bytes in base64 beside it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Whether text is well-formed UTF-8: no stray or missing continuation bytes, no overlong forms,
// no surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text);

// The bytes in base64 (RFC 4648, with padding).
std::string Base64(const std::string& bytes);

// The document with "KEY_base64" after every member KEY whose text is not UTF-8, and after every
// member KEY holding a list of texts of which any is not UTF-8 (then the list of all their bytes,
// in order), at any depth.
nlohmann::ordered_json WithExactBytes(const nlohmann::ordered_json& document);
