#include "consolidate/record/json_value.h"

#include <charconv>
#include <stdexcept>

namespace sbx {

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    JsonValue document() {
        JsonValue v = value(0);
        blanks();
        if (at_ != text_.size()) fail("text after the end of the document");
        return v;
    }

private:
    static constexpr int kMaxDepth = 64;

    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("not JSON at byte " + std::to_string(at_) + ": " + why);
    }
    void blanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) ++at_;
    }
    bool take(char c) {
        blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!take(c)) fail(std::string("expected '") + c + "'");
    }
    bool word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }

    JsonValue value(int depth) {
        if (depth > kMaxDepth) fail("nested too deeply");
        blanks();
        if (at_ >= text_.size()) fail("the text ends early");
        JsonValue v;
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            v.type_ = JsonValue::Type::Object;
            if (take('}')) return v;
            do {
                blanks();
                std::string name = string();
                expect(':');
                v.members_.emplace_back(std::move(name), value(depth + 1));
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            ++at_;
            v.type_ = JsonValue::Type::Array;
            if (take(']')) return v;
            do v.array_.push_back(value(depth + 1));
            while (take(','));
            expect(']');
        } else if (c == '"') {
            v.type_ = JsonValue::Type::String;
            v.string_ = string();
        } else if (word("true") || word("false")) {
            v.type_ = JsonValue::Type::Boolean;
            v.boolean_ = c == 't';
        } else if (word("null")) {
        } else {
            // from_chars also reads "inf" and "nan", which are no JSON.
            const size_t digit = at_ + (c == '-' ? 1 : 0);
            if (digit >= text_.size() || text_[digit] < '0' || text_[digit] > '9') fail("expected a value");
            v.type_ = JsonValue::Type::Number;
            const auto [end, ec] = std::from_chars(text_.data() + at_, text_.data() + text_.size(), v.number_);
            if (ec != std::errc()) fail("expected a value");
            at_ = static_cast<size_t>(end - text_.data());
        }
        return v;
    }

    void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string string() {
        if (at_ >= text_.size() || text_[at_] != '"') fail("expected a string");
        ++at_;
        std::string out;
        while (true) {
            if (at_ >= text_.size()) fail("a string does not end");
            const char c = text_[at_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) fail("a string does not end");
            const char e = text_[at_++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    unsigned code = 0;
                    if (at_ + 4 > text_.size() ||
                        std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16).ptr != text_.data() + at_ + 4) {
                        fail("a bad \\u escape");
                    }
                    at_ += 4;
                    appendUtf8(out, code);
                    break;
                }
                default: out += e;
            }
        }
    }

    std::string_view text_;
    size_t at_ = 0;
};

const JsonValue& JsonValue::operator[](std::string_view name) const {
    static const JsonValue kNull;
    for (const auto& [key, value] : members_) {
        if (key == name) return value;
    }
    return kNull;
}

JsonValue JsonValue::parse(std::string_view text) { return JsonParser(text).document(); }

}  // namespace sbx
