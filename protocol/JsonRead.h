#pragma once

#include "DataPacket.h"

#include <rapidjson/document.h>

#include <cstddef>

// The service reads its requests with RapidJSON, by the rules Qt's reader
// kept: a member named twice read from its last occurrence, numbers exact (a double as the shortest text that gives it back, an
// integer beyond a double's precision as it is), a number out of a double's
// range and text that is not UTF-8 refused, an escaped lone surrogate kept as
// one, at most 1,024 levels of nesting. Stricter than Qt's, as JSON is: a
// control character in a string must be escaped, an escape must be one of
// JSON's, and a number must have digits on both sides of its point.
namespace rt {

// Parses `size` bytes into `doc`, iteratively (nesting never reaches the
// stack). Answers why it is no JSON, or an empty text.
QString readJson(rapidjson::Document &doc, const char *data, std::size_t size);

// An object's member of that name (the last, if named twice), or null.
const rapidjson::Value *memberOf(const rapidjson::Value &object, const char *name);

// A string value as text.
QString textOf(const rapidjson::Value &value);

// A delta by the same rules and messages as Delta::fromJson.
Delta deltaFromJson(const rapidjson::Value &value);

} // namespace rt
