#pragma once

#include "DataPacket.h"

#include <rapidjson/document.h>

#include <cstddef>

// The service reads its requests with RapidJSON, by the rules Qt's reader
// kept: numbers exact (a double as the shortest text that gives it back, an
// integer beyond a double's precision as it is), text that is not UTF-8
// refused, an escaped lone surrogate kept as one. Unlike Qt's, a member named
// twice is read from its first occurrence.
namespace rt {

// Parses `size` bytes into `doc`, iteratively (no nesting reaches the
// stack). Answers why it is no JSON, or an empty text.
QString readJson(rapidjson::Document &doc, const char *data, std::size_t size);

// A string value as text.
QString textOf(const rapidjson::Value &value);

// A delta by the same rules and messages as Delta::fromJson.
Delta deltaFromJson(const rapidjson::Value &value);

} // namespace rt
