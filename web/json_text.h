// JSON as it is written out: valid UTF-8 whatever bytes its texts carry.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace web {

// The JSON's text (indented by indent, -1: one line). Bytes of a text that
// are not UTF-8 (a port's name in Latin-1, a device's identity) become
// U+FFFD by the rule the status page follows; nothing throws.
std::string JsonText(const nlohmann::json& json, int indent = -1);
std::string JsonText(const nlohmann::ordered_json& json, int indent = -1);

}  // namespace web
