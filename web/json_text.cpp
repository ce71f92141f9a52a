#include "web/json_text.h"

namespace web {
namespace {

template <class Json>
std::string Text(const Json& json, int indent)
{
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string JsonText(const nlohmann::json& json, int indent)
{
    return Text(json, indent);
}

std::string JsonText(const nlohmann::ordered_json& json, int indent)
{
    return Text(json, indent);
}

}  // namespace web
