#include "spreadsheet/xls/formula_evaluator.h"

#include <algorithm>
#include <cmath>

#include "spreadsheet/xls/formula_functions.h"

namespace sbx::xls::formula {

namespace {

constexpr size_t kMaxArrayCells = 1u << 20;  // what an array may hold before it is refused

Value referenceValue(const Area& area) {
    Value v;
    v.kind = Value::Kind::Reference;
    v.areas.push_back(area);
    return v;
}

Value errorValue(uint8_t code) { return Value::of(CellValue::error(code)); }

CellValue numberResult(double v) {
    if (!std::isfinite(v)) return CellValue::error(error_code::Num);
    return CellValue::number(v);
}

CellValue arithmetic(char op, const CellValue& a, const CellValue& b) {
    const NumberOrError x = toNumber(a);
    if (x.error) return CellValue::error(*x.error);
    const NumberOrError y = toNumber(b);
    if (y.error) return CellValue::error(*y.error);
    switch (op) {
        case '+': return numberResult(cancellingAdd(x.number, y.number));
        case '-': return numberResult(cancellingAdd(x.number, -y.number));
        case '*': return numberResult(x.number * y.number);
        case '/':
            if (y.number == 0.0) return CellValue::error(error_code::Div0);
            return numberResult(x.number / y.number);
        case '^':
            if (x.number == 0.0 && y.number == 0.0) return CellValue::error(error_code::Num);
            if (x.number == 0.0 && y.number < 0.0) return CellValue::error(error_code::Div0);
            return numberResult(std::pow(x.number, y.number));
        default: break;
    }
    return CellValue::error(error_code::Value);
}

CellValue scalarBinary(char op, const CellValue& a, const CellValue& b) {
    if (a.kind() == CellKind::Error) return a;
    if (b.kind() == CellKind::Error) return b;
    switch (op) {
        case '&': return CellValue::text(*toText(a) + *toText(b));
        case '<': return CellValue::boolean(compareValues(a, b) < 0);
        case 'l': return CellValue::boolean(compareValues(a, b) <= 0);
        case '=': return CellValue::boolean(compareValues(a, b) == 0);
        case 'g': return CellValue::boolean(compareValues(a, b) >= 0);
        case '>': return CellValue::boolean(compareValues(a, b) > 0);
        case 'n': return CellValue::boolean(compareValues(a, b) != 0);
        default: return arithmetic(op, a, b);
    }
}

CellValue scalarUnary(char op, const CellValue& a) {
    if (op == '+') return a;  // unary plus leaves the value as it is, text included
    const NumberOrError x = toNumber(a);
    if (x.error) return CellValue::error(*x.error);
    return numberResult(op == '-' ? -x.number : x.number / 100.0);
}

// An element of an array stretched to `rows` x `columns`: a single row or column repeats,
// beyond that the element is #N/A.
CellValue stretched(const Matrix& m, uint32_t row, uint32_t column) {
    const uint32_t r = m.rows == 1 ? 0 : row;
    const uint32_t c = m.columns == 1 ? 0 : column;
    if (r >= m.rows || c >= m.columns) return CellValue::error(error_code::NA);
    return m.at(r, c);
}

}  // namespace

CellValue Evaluator::scalar(const Value& v) const {
    switch (v.kind) {
        case Value::Kind::Scalar: return v.scalar;
        case Value::Kind::Missing: return CellValue();
        case Value::Kind::Array:
            return v.matrix.cells.empty() ? CellValue::error(error_code::Value) : v.matrix.at(0, 0);
        case Value::Kind::Reference: break;
    }
    if (v.areas.size() != 1) return CellValue::error(error_code::Value);
    const Area& a = v.areas.front();
    if (a.firstSheet != a.lastSheet) return CellValue::error(error_code::Value);
    const FormulaSite& at = site_.cell;
    uint32_t row = a.firstRow;
    uint32_t column = a.firstColumn;
    if (a.rows() > 1) {
        if (at.row < a.firstRow || at.row > a.lastRow) return CellValue::error(error_code::Value);
        row = at.row;
    }
    if (a.columns() > 1) {
        if (at.column < a.firstColumn || at.column > a.lastColumn) return CellValue::error(error_code::Value);
        column = at.column;
    }
    return cells_.value(a.firstSheet, row, column);
}

Matrix Evaluator::matrix(const Value& v) const {
    Matrix m;
    if (v.kind == Value::Kind::Array) return v.matrix;
    if (v.kind != Value::Kind::Reference) {
        m.rows = m.columns = 1;
        m.cells.push_back(scalar(v));
        return m;
    }
    if (v.areas.size() != 1 || v.areas.front().firstSheet != v.areas.front().lastSheet) {
        m.rows = m.columns = 1;
        m.cells.push_back(CellValue::error(error_code::Value));
        return m;
    }
    const Area& a = v.areas.front();
    if (static_cast<size_t>(a.rows()) * a.columns() > kMaxArrayCells) {
        throw Unsupported("an array of more than a million cells");
    }
    m.rows = a.rows();
    m.columns = a.columns();
    m.cells.assign(static_cast<size_t>(m.rows) * m.columns, CellValue());
    cells_.forEach(a.firstSheet, a, [&](uint32_t row, uint32_t column, const CellValue& value) {
        m.cells[(row - a.firstRow) * m.columns + (column - a.firstColumn)] = value;
    });
    return m;
}

void Evaluator::forEachItem(const Value& v, const std::function<void(const CellValue&, bool)>& visit) const {
    switch (v.kind) {
        case Value::Kind::Scalar: visit(v.scalar, true); return;
        case Value::Kind::Missing: visit(CellValue(), true); return;
        case Value::Kind::Array:
            for (const CellValue& c : v.matrix.cells) visit(c, false);
            return;
        case Value::Kind::Reference:
            for (const Area& a : v.areas) {
                for (uint32_t sheet = a.firstSheet; sheet <= a.lastSheet; ++sheet) {
                    cells_.forEach(sheet, a, [&](uint32_t, uint32_t, const CellValue& c) { visit(c, false); });
                }
            }
            return;
    }
}

Value Evaluator::operand(const Value& v) const {
    if (v.kind == Value::Kind::Array) return v;
    if (v.kind == Value::Kind::Reference && site_.arrayFormula) {
        Value out;
        out.kind = Value::Kind::Array;
        out.matrix = matrix(v);
        return out;
    }
    return Value::of(scalar(v));
}

Value Evaluator::applyUnary(char op, const Value& v) const {
    const Value x = operand(v);
    if (x.kind != Value::Kind::Array) return Value::of(scalarUnary(op, x.scalar));
    Value out = x;
    for (CellValue& c : out.matrix.cells) c = scalarUnary(op, c);
    return out;
}

Value Evaluator::applyBinary(char op, const Value& left, const Value& right) const {
    const Value a = operand(left);
    const Value b = operand(right);
    if (a.kind != Value::Kind::Array && b.kind != Value::Kind::Array) {
        return Value::of(scalarBinary(op, a.scalar, b.scalar));
    }
    auto asMatrix = [](const Value& v) {
        if (v.kind == Value::Kind::Array) return v.matrix;
        Matrix m;
        m.rows = m.columns = 1;
        m.cells.push_back(v.scalar);
        return m;
    };
    const Matrix x = asMatrix(a);
    const Matrix y = asMatrix(b);
    Value out;
    out.kind = Value::Kind::Array;
    out.matrix.rows = x.rows == 1 ? y.rows : (y.rows == 1 ? x.rows : std::min(x.rows, y.rows));
    out.matrix.columns = x.columns == 1 ? y.columns : (y.columns == 1 ? x.columns : std::min(x.columns, y.columns));
    out.matrix.cells.reserve(static_cast<size_t>(out.matrix.rows) * out.matrix.columns);
    for (uint32_t r = 0; r < out.matrix.rows; ++r) {
        for (uint32_t c = 0; c < out.matrix.columns; ++c) {
            out.matrix.cells.push_back(scalarBinary(op, stretched(x, r, c), stretched(y, r, c)));
        }
    }
    return out;
}

Value Evaluator::referenceOperator(char op, const Value& left, const Value& right) const {
    if (left.kind == Value::Kind::Scalar && left.scalar.kind() == CellKind::Error) return left;
    if (right.kind == Value::Kind::Scalar && right.scalar.kind() == CellKind::Error) return right;
    if (left.kind != Value::Kind::Reference || right.kind != Value::Kind::Reference) {
        return errorValue(error_code::Value);
    }
    if (op == ',') {
        Value out = left;
        out.areas.insert(out.areas.end(), right.areas.begin(), right.areas.end());
        return out;
    }
    if (left.areas.size() != 1 || right.areas.size() != 1) throw Unsupported("a range or intersection of unions");
    const Area& a = left.areas.front();
    const Area& b = right.areas.front();
    if (a.firstSheet != b.firstSheet || a.lastSheet != b.lastSheet) return errorValue(error_code::Value);
    Area r = a;
    if (op == ':') {
        r.firstRow = std::min(a.firstRow, b.firstRow);
        r.lastRow = std::max(a.lastRow, b.lastRow);
        r.firstColumn = std::min(a.firstColumn, b.firstColumn);
        r.lastColumn = std::max(a.lastColumn, b.lastColumn);
        return referenceValue(r);
    }
    r.firstRow = std::max(a.firstRow, b.firstRow);
    r.lastRow = std::min(a.lastRow, b.lastRow);
    r.firstColumn = std::max(a.firstColumn, b.firstColumn);
    r.lastColumn = std::min(a.lastColumn, b.lastColumn);
    if (r.firstRow > r.lastRow || r.firstColumn > r.lastColumn) return errorValue(error_code::Null);
    return referenceValue(r);
}

CellValue Evaluator::evaluate(const std::vector<Token>& tokens) const {
    std::vector<Value> stack;
    auto pop = [&stack]() {
        if (stack.empty()) throw Unsupported("the formula's tokens do not add up");
        Value v = std::move(stack.back());
        stack.pop_back();
        return v;
    };
    for (const Token& t : tokens) {
        switch (t.kind) {
            case TokenKind::Constant: stack.push_back(Value::of(t.value)); break;
            case TokenKind::Missing: stack.push_back(Value::missing()); break;
            case TokenKind::Unknown: throw Unsupported(t.value.textValue());
            case TokenKind::Array: {
                Value v;
                v.kind = Value::Kind::Array;
                v.matrix.rows = t.arrayRows;
                v.matrix.columns = t.arrayColumns;
                v.matrix.cells = t.array;
                stack.push_back(std::move(v));
                break;
            }
            case TokenKind::Reference: {
                Value ref = referenceValue(t.area);
                if (t.operandClass == OperandClass::Array) {
                    Value v;
                    v.kind = Value::Kind::Array;
                    v.matrix = matrix(ref);
                    stack.push_back(std::move(v));
                } else {
                    stack.push_back(std::move(ref));
                }
                break;
            }
            case TokenKind::Unary: {
                const Value v = pop();
                stack.push_back(applyUnary(t.op, v));
                break;
            }
            case TokenKind::Binary: {
                const Value right = pop();
                const Value left = pop();
                if (t.op == ':' || t.op == ',' || t.op == ' ') {
                    stack.push_back(referenceOperator(t.op, left, right));
                } else {
                    stack.push_back(applyBinary(t.op, left, right));
                }
                break;
            }
            case TokenKind::Function: {
                size_t count = t.argumentCount;
                if (count == 0xFF) {
                    const auto fixed = fixedArgumentCount(t.function);
                    if (!fixed) throw Unsupported(functionName(t.function) + " is not computed here");
                    count = *fixed;
                }
                if (count > stack.size()) throw Unsupported("the formula's tokens do not add up");
                std::vector<Value> arguments(std::make_move_iterator(stack.end() - static_cast<std::ptrdiff_t>(count)),
                                             std::make_move_iterator(stack.end()));
                stack.resize(stack.size() - count);
                stack.push_back(callFunction(t.function, arguments, *this));
                break;
            }
        }
    }
    if (stack.size() != 1) throw Unsupported("the formula's tokens do not add up");
    const Value& result = stack.back();
    CellValue out;
    if (site_.arrayFormula && (result.kind == Value::Kind::Array || result.kind == Value::Kind::Reference)) {
        const Matrix m = matrix(result);
        const FormulaSite& at = site_.cell;
        out = stretched(m, at.row - site_.arrayArea.firstRow, at.column - site_.arrayArea.firstColumn);
    } else {
        out = scalar(result);
    }
    if (out.isEmpty()) return CellValue::number(0.0);
    if (out.kind() == CellKind::Date) return CellValue::number(out.numberValue());
    return out;
}

}  // namespace sbx::xls::formula
