#pragma once

#include "DataPacket.h"

#include <rapidjson/document.h>

namespace rt {

// A delta read from a value of a RapidJSON document (the service parses its
// requests with RapidJSON); the same rules and messages as Delta::fromJson.
Delta deltaFromJson(const rapidjson::Value &value);

} // namespace rt
