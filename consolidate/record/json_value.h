#pragma once
// A small JSON reader for the files this program writes itself (the run record): objects,
// arrays, strings, numbers, true, false and null.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sbx {

class JsonValue {
public:
    enum class Type { Null, Boolean, Number, String, Array, Object };

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool boolean() const { return boolean_; }
    double number() const { return number_; }
    const std::string& string() const { return string_; }
    const std::vector<JsonValue>& array() const { return array_; }
    // The member `name` of an object, or null when there is none (or this is no object).
    const JsonValue& operator[](std::string_view name) const;

    // Throws std::runtime_error saying where the text stops being JSON.
    static JsonValue parse(std::string_view text);

private:
    friend class JsonParser;
    Type type_ = Type::Null;
    bool boolean_ = false;
    double number_ = 0.0;
    std::string string_;
    std::vector<JsonValue> array_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

}  // namespace sbx
