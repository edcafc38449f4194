#include "spreadsheet/xls/formula_display.h"

#include <charconv>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/xls/formula_functions.h"

namespace sbx::xls::formula {

namespace {

// Binding strength, loosest first: an operand of a stronger operator is put in parentheses.
enum Strength : int { Comparison = 1, Join, Additive, Multiplicative, Power, Percent, Sign, Reference, Operand };

struct Shown {
    std::string text;
    int strength = Operand;
};

int binaryStrength(char op) {
    switch (op) {
        case ':': case ' ': case ',': return Reference;
        case '^': return Power;
        case '*': case '/': return Multiplicative;
        case '+': case '-': return Additive;
        case '&': return Join;
        default: return Comparison;
    }
}

std::string binaryText(char op) {
    switch (op) {
        case 'l': return "<=";
        case 'g': return ">=";
        case 'n': return "<>";
        default: return std::string(1, op);
    }
}

std::string constantText(const CellValue& value) {
    switch (value.kind()) {
        case CellKind::Text: {
            std::string quoted = "\"";
            for (const char c : value.textValue()) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            return quoted + "\"";
        }
        case CellKind::Boolean: return value.booleanValue() ? "TRUE" : "FALSE";
        case CellKind::Error: return errorText(value.errorCode());
        case CellKind::Empty: return {};
        case CellKind::Number:
        case CellKind::Date: {
            char buffer[32];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.numberValue()).ptr;
            return std::string(buffer, end);
        }
    }
    return {};
}

std::string referenceText(const Area& area) {
    const CellArea cells{static_cast<int>(area.firstRow) + 1, static_cast<int>(area.firstColumn) + 1,
                         static_cast<int>(area.lastRow) + 1, static_cast<int>(area.lastColumn) + 1};
    return areaName(cells, LetterCase::Upper);
}

std::string arrayText(const Token& t) {
    std::string text = "{";
    for (uint32_t row = 0; row < t.arrayRows; ++row) {
        for (uint32_t column = 0; column < t.arrayColumns; ++column) {
            if (column > 0) text += ',';
            const size_t at = static_cast<size_t>(row) * t.arrayColumns + column;
            if (at < t.array.size()) text += constantText(t.array[at]);
        }
        if (row + 1 < t.arrayRows) text += ';';
    }
    return text + "}";
}

std::string wrapped(const Shown& operand, int strength) {
    return operand.strength < strength ? "(" + operand.text + ")" : operand.text;
}

}  // namespace

std::string formulaDisplayText(const std::vector<Token>& tokens) {
    std::vector<Shown> stack;
    const auto pop = [&stack]() {
        if (stack.empty()) return Shown{"?"};
        Shown top = std::move(stack.back());
        stack.pop_back();
        return top;
    };
    for (const Token& t : tokens) {
        switch (t.kind) {
            case TokenKind::Constant: stack.push_back({constantText(t.value)}); break;
            case TokenKind::Array: stack.push_back({arrayText(t)}); break;
            case TokenKind::Missing: stack.push_back({""}); break;
            case TokenKind::Reference: stack.push_back({referenceText(t.area)}); break;
            case TokenKind::Unknown: stack.push_back({"?"}); break;
            case TokenKind::Unary: {
                const Shown operand = pop();
                if (t.op == '%') {
                    stack.push_back({wrapped(operand, Percent) + "%", Percent});
                } else {
                    stack.push_back({std::string(1, t.op) + wrapped(operand, Sign), Sign});
                }
                break;
            }
            case TokenKind::Binary: {
                const Shown right = pop();
                const Shown left = pop();
                const int strength = binaryStrength(t.op);
                // Left-associative: an equally strong operator on the right needs parentheses.
                stack.push_back({wrapped(left, strength) + binaryText(t.op) + wrapped(right, strength + 1), strength});
                break;
            }
            case TokenKind::Function: {
                size_t count = t.argumentCount;
                if (count == 0xFF) count = fixedArgumentCount(t.function).value_or(0);
                count = std::min(count, stack.size());
                const size_t first = stack.size() - count;
                std::string arguments;
                for (size_t i = first; i < stack.size(); ++i) {
                    if (i > first) arguments += ',';
                    arguments += stack[i].text;
                }
                stack.resize(first);
                const std::string_view name = knownFunctionName(t.function);
                const std::string shownName = name.empty() ? "FUNCTION" + std::to_string(t.function) : std::string(name);
                stack.push_back({shownName + "(" + arguments + ")"});
                break;
            }
        }
    }
    return "=" + (stack.empty() ? std::string() : stack.back().text);
}

}  // namespace sbx::xls::formula
