#include "store/filter.h"

#include "store/keytext.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace sv {
namespace {

struct FilterError
{
    int position; // 1-based, 0 when the problem is not at one place
    QString message;
};

FilterError syntaxError(int position, const QString &problem)
{
    return {position, u"Syntax error at position %1: %2"_s.arg(position).arg(problem)};
}

// Both the compiler's own recursion and the SQL it writes are bounded: SQLite refuses
// statements whose parser stack or expression tree grows too deep, so an over-complex
// expression is refused here, with a position, rather than failing later in the store.
FilterError tooComplex(int position)
{
    return {position, u"Expression too complex at position %1: nested too deeply or too long"_s.arg(
                          position)};
}

// ---------------------------------------------------------------------------------------------
// Tokens

enum class TokenType {
    End,
    Number,
    String,
    Name,
    And,
    Or,
    Not,
    LeftParen,
    RightParen,
    Comma,
    Operator,
};

struct Token
{
    TokenType type = TokenType::End;
    QString text;     // names and operators as written, numbers' digits, strings' values
    int position = 0; // 1-based
};

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isNameChar(QChar c)
{
    return isAsciiLetter(c) || isDigit(c) || c == u'_' || c == u':';
}

QString describe(const Token &token)
{
    switch (token.type) {
    case TokenType::End:
        return u"the end of the expression"_s;
    case TokenType::Number:
        return u"number "_s + token.text;
    case TokenType::String: {
        const QString shown = token.text.size() > 20 ? token.text.left(20) + u"..."_s : token.text;
        return u"text '%1'"_s.arg(shown);
    }
    case TokenType::Name:
        return u"name "_s + token.text;
    default:
        return u"'%1'"_s.arg(token.text);
    }
}

class Lexer
{
public:
    explicit Lexer(const QString &input) : m_input(input) {}

    Token next()
    {
        skipBlanks();
        if (m_pos >= m_input.size())
            return {TokenType::End, {}, position()};
        const QChar c = m_input.at(m_pos);
        if (c == u'\'')
            return lexString();
        if (isDigit(c) || (c == u'.' && isDigit(peek(1))))
            return lexNumber();
        if (isAsciiLetter(c))
            return lexName();
        return lexPunctuation();
    }

private:
    int position() const { return static_cast<int>(m_pos) + 1; }
    QChar peek(qsizetype offset) const
    {
        return m_pos + offset < m_input.size() ? m_input.at(m_pos + offset) : QChar();
    }

    void skipBlanks()
    {
        while (m_pos < m_input.size() && m_input.at(m_pos).isSpace())
            ++m_pos;
    }

    Token lexString()
    {
        Token token{TokenType::String, {}, position()};
        ++m_pos;
        while (m_pos < m_input.size()) {
            const QChar c = m_input.at(m_pos++);
            if (c != u'\'') {
                token.text += c;
            } else if (peek(0) == u'\'') {
                token.text += c;
                ++m_pos;
            } else {
                return token;
            }
        }
        throw syntaxError(token.position, u"text not closed with '"_s);
    }

    Token lexNumber()
    {
        const qsizetype start = m_pos;
        while (isDigit(peek(0)))
            ++m_pos;
        if (peek(0) == u'.') {
            ++m_pos;
            while (isDigit(peek(0)))
                ++m_pos;
        }
        return {TokenType::Number, m_input.mid(start, m_pos - start), static_cast<int>(start) + 1};
    }

    Token lexName()
    {
        const qsizetype start = m_pos;
        while (isNameChar(peek(0)))
            ++m_pos;
        Token token{TokenType::Name, m_input.mid(start, m_pos - start),
                    static_cast<int>(start) + 1};
        const QString upper = token.text.toUpper();
        if (upper == u"AND"_s)
            token.type = TokenType::And;
        else if (upper == u"OR"_s)
            token.type = TokenType::Or;
        else if (upper == u"NOT"_s)
            token.type = TokenType::Not;
        return token;
    }

    Token lexPunctuation()
    {
        static const QString twoCharOperators[] = {u"<>"_s, u"<="_s, u">="_s, u"~="_s};
        const int start = position();
        for (const QString &op : twoCharOperators) {
            if (QStringView(m_input).mid(m_pos, 2) == op) {
                m_pos += 2;
                return {TokenType::Operator, op == u"~="_s ? u"<>"_s : op, start};
            }
        }
        const QChar c = m_input.at(m_pos++);
        switch (c.unicode()) {
        case u'(':
            return {TokenType::LeftParen, c, start};
        case u')':
            return {TokenType::RightParen, c, start};
        case u',':
            return {TokenType::Comma, c, start};
        case u'~':
            return {TokenType::Not, c, start};
        case u'=':
        case u'<':
        case u'>':
        case u'&':
        case u'+':
        case u'-':
        case u'*':
        case u'/':
            return {TokenType::Operator, c, start};
        default:
            throw syntaxError(start, unexpectedCharacter(c));
        }
    }

    static QString unexpectedCharacter(QChar c)
    {
        if (c.isPrint())
            return u"unexpected character '%1'"_s.arg(c);
        return u"unexpected character U+%1"_s.arg(static_cast<uint>(c.unicode()), 4, 16,
                                                  QChar(u'0'));
    }

    const QString &m_input;
    qsizetype m_pos = 0;
};

// ---------------------------------------------------------------------------------------------
// Syntax tree

enum class NodeOp {
    Value,  // a literal or a bound value
    Column, // a column of the walked table
    Not,
    And,
    Or,
    Compare,
    Concat,
    Sum,     // + and - chain
    Product, // * and / chain
    Negate,
    Upper,
    Lower,
    Clip,
    Sub,
    InString,
};

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct Node
{
    NodeOp op;
    ValueKind kind;
    int position = 0;
    int depth = 1;         // levels of nodes down to the deepest leaf, counting this one
    QVariant value;        // Value: QString for Text, qint64 or double for Number
    QString text;          // Column: its SQL; Compare: the SQL operator
    QStringList operators; // Sum and Product: operators[i] stands before children[i + 1]
    std::vector<NodePtr> children;
    FilterName column; // Column: what the store told of it
};

bool isCondition(const Node &node)
{
    return node.op == NodeOp::Not || node.op == NodeOp::And || node.op == NodeOp::Or ||
           node.op == NodeOp::Compare;
}

NodePtr makeNode(NodeOp op, ValueKind kind, int position, std::vector<NodePtr> children = {})
{
    auto node = std::make_unique<Node>(Node{op, kind, position});
    node->children = std::move(children);
    for (const NodePtr &child : node->children)
        node->depth = std::max(node->depth, child->depth + 1);
    // Bounds the writer's recursion and the recursive destruction of the tree.
    if (node->depth > MaxFilterDepth)
        throw tooComplex(position);
    return node;
}

NodePtr makeValue(QVariant value, ValueKind kind, int position)
{
    auto node = makeNode(NodeOp::Value, kind, position);
    node->value = std::move(value);
    return node;
}

// ---------------------------------------------------------------------------------------------
// Values

QVariant finiteOrZero(double real)
{
    return std::isfinite(real) ? QVariant(real) : QVariant(qint64(0));
}

// Reads text the way SQLite's CAST to NUMERIC does, so that a bound value and a column
// holding the same text compare alike: by the number the text starts with, else 0.
QVariant numberFromText(const QString &text)
{
    static const QRegularExpression leadingNumber(
        u"^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"_s);
    const QString number = leadingNumber.match(text).captured(0).trimmed();
    bool ok = false;
    const qint64 whole = number.toLongLong(&ok);
    if (ok)
        return whole;
    const double real = number.toDouble(&ok);
    return ok ? finiteOrZero(real) : QVariant(qint64(0));
}

QVariant numberValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return finiteOrZero(value.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return numberFromText(value.toString());
    case QMetaType::Bool:
        return qint64(value.toBool() ? 1 : 0);
    default:
        break;
    }
    bool ok = false;
    const qint64 whole = value.toLongLong(&ok);
    if (ok)
        return whole;
    const double real = value.toDouble(&ok);
    return ok ? finiteOrZero(real) : QVariant(qint64(0));
}

QVariant textValue(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

QString rightTrimmed(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ')
        --end;
    return text.left(end);
}

// ---------------------------------------------------------------------------------------------
// Parser

struct FunctionDef
{
    QString name;
    NodeOp op;
    int minArguments;
    int maxArguments;
};

const FunctionDef *findFunction(const QString &upperName)
{
    static const FunctionDef functions[] = {
        {u"UPPER"_s, NodeOp::Upper, 1, 1},       {u"LOWER"_s, NodeOp::Lower, 1, 1},
        {u"CLIP"_s, NodeOp::Clip, 1, 1},         {u"SUB"_s, NodeOp::Sub, 3, 3},
        {u"INSTRING"_s, NodeOp::InString, 2, 4},
    };
    for (const FunctionDef &function : functions) {
        if (function.name == upperName)
            return &function;
    }
    return nullptr;
}

class Parser
{
public:
    Parser(const QString &expression, const FilterNameLookup &lookup)
        : m_lexer(expression), m_lookup(lookup)
    {
        advance();
    }

    // Null for a blank expression.
    NodePtr parseExpression()
    {
        if (m_token.type == TokenType::End)
            return nullptr;
        NodePtr root = parseOr();
        if (m_token.type != TokenType::End)
            throw syntaxError(m_token.position, u"unexpected "_s + describe(m_token));
        return root;
    }

private:
    // Counts the parser's own recursion, so that deep nesting is refused before it can
    // exhaust the stack.
    class NestingGuard
    {
    public:
        NestingGuard(Parser &parser, int position) : m_parser(parser)
        {
            if (m_parser.m_nesting >= MaxFilterDepth)
                throw tooComplex(position);
            ++m_parser.m_nesting;
        }
        ~NestingGuard() { --m_parser.m_nesting; }
        NestingGuard(const NestingGuard &) = delete;
        NestingGuard &operator=(const NestingGuard &) = delete;

    private:
        Parser &m_parser;
    };

    Token advance()
    {
        Token previous = std::move(m_token);
        m_token = m_lexer.next();
        return previous;
    }

    bool atOperator(std::initializer_list<QStringView> operators) const
    {
        if (m_token.type != TokenType::Operator)
            return false;
        return std::find(operators.begin(), operators.end(), m_token.text) != operators.end();
    }

    bool atOr() const { return m_token.type == TokenType::Or; }
    bool atAnd() const { return m_token.type == TokenType::And; }
    bool atAmpersand() const { return atOperator({u"&"}); }

    void expect(TokenType type, const QString &shown)
    {
        if (m_token.type != type)
            throw syntaxError(m_token.position,
                              u"expected %1 but found %2"_s.arg(shown, describe(m_token)));
        advance();
    }

    NodePtr parseChain(bool (Parser::*atSeparator)() const, NodeOp op, ValueKind kind,
                       NodePtr (Parser::*parseOperand)())
    {
        const int position = m_token.position;
        NodePtr first = (this->*parseOperand)();
        if (!(this->*atSeparator)())
            return first;
        std::vector<NodePtr> items;
        items.push_back(std::move(first));
        while ((this->*atSeparator)()) {
            advance();
            items.push_back((this->*parseOperand)());
        }
        return makeNode(op, kind, position, std::move(items));
    }

    NodePtr parseOr()
    {
        return parseChain(&Parser::atOr, NodeOp::Or, ValueKind::Number, &Parser::parseAnd);
    }

    NodePtr parseAnd()
    {
        return parseChain(&Parser::atAnd, NodeOp::And, ValueKind::Number, &Parser::parseNot);
    }

    NodePtr parseNot()
    {
        if (m_token.type != TokenType::Not)
            return parseComparison();
        const Token notToken = advance();
        NestingGuard guard(*this, notToken.position);
        std::vector<NodePtr> operand;
        operand.push_back(parseNot());
        return makeNode(NodeOp::Not, ValueKind::Number, notToken.position, std::move(operand));
    }

    NodePtr parseComparison()
    {
        NodePtr left = parseConcat();
        if (!atOperator({u"=", u"<>", u"<", u">", u"<=", u">="}))
            return left;
        const Token op = advance();
        std::vector<NodePtr> operands;
        operands.push_back(std::move(left));
        operands.push_back(parseConcat());
        NodePtr comparison =
            makeNode(NodeOp::Compare, ValueKind::Number, op.position, std::move(operands));
        comparison->text = op.text;
        return comparison;
    }

    NodePtr parseConcat()
    {
        return parseChain(&Parser::atAmpersand, NodeOp::Concat, ValueKind::Text, &Parser::parseSum);
    }

    NodePtr parseSum() { return parseArithmetic(NodeOp::Sum, {u"+", u"-"}, &Parser::parseProduct); }

    NodePtr parseProduct()
    {
        return parseArithmetic(NodeOp::Product, {u"*", u"/"}, &Parser::parseUnary);
    }

    NodePtr parseArithmetic(NodeOp op, std::initializer_list<QStringView> operators,
                            NodePtr (Parser::*parseOperand)())
    {
        const int position = m_token.position;
        NodePtr first = (this->*parseOperand)();
        if (!atOperator(operators))
            return first;
        std::vector<NodePtr> operands;
        QStringList written;
        operands.push_back(std::move(first));
        while (atOperator(operators)) {
            written.append(advance().text);
            operands.push_back((this->*parseOperand)());
        }
        NodePtr chain = makeNode(op, ValueKind::Number, position, std::move(operands));
        chain->operators = std::move(written);
        return chain;
    }

    NodePtr parseUnary()
    {
        if (!atOperator({u"-"}))
            return parsePrimary();
        const Token minus = advance();
        NestingGuard guard(*this, minus.position);
        NodePtr operand = parseUnary();
        if (operand->op == NodeOp::Value && operand->kind == ValueKind::Number) {
            negateNumber(operand->value);
            operand->position = minus.position;
            return operand;
        }
        std::vector<NodePtr> operands;
        operands.push_back(std::move(operand));
        return makeNode(NodeOp::Negate, ValueKind::Number, minus.position, std::move(operands));
    }

    static void negateNumber(QVariant &value)
    {
        if (value.typeId() == QMetaType::LongLong &&
            value.toLongLong() != std::numeric_limits<qint64>::min())
            value = -value.toLongLong();
        else
            value = -value.toDouble();
    }

    NodePtr parsePrimary()
    {
        switch (m_token.type) {
        case TokenType::Number:
            return numberLiteral(advance());
        case TokenType::String: {
            const Token literal = advance();
            return makeValue(literal.text, ValueKind::Text, literal.position);
        }
        case TokenType::Name: {
            const Token name = advance();
            if (m_token.type == TokenType::LeftParen)
                return parseFunction(name);
            return resolveName(name);
        }
        case TokenType::LeftParen: {
            NestingGuard guard(*this, m_token.position);
            advance();
            NodePtr inner = parseOr();
            expect(TokenType::RightParen, u"')'"_s);
            return inner;
        }
        default:
            throw syntaxError(m_token.position,
                              u"expected a value but found "_s + describe(m_token));
        }
    }

    static NodePtr numberLiteral(const Token &token)
    {
        bool ok = false;
        if (!token.text.contains(u'.')) {
            const qint64 whole = token.text.toLongLong(&ok);
            if (ok)
                return makeValue(whole, ValueKind::Number, token.position);
        }
        const double real = token.text.toDouble(&ok);
        if (!ok || !std::isfinite(real))
            throw syntaxError(token.position, u"number %1 is out of range"_s.arg(token.text));
        return makeValue(real, ValueKind::Number, token.position);
    }

    const std::optional<FilterName> &lookUp(const QString &upperName)
    {
        auto known = m_names.constFind(upperName);
        if (known == m_names.constEnd())
            known = m_names.insert(upperName, m_lookup ? m_lookup(upperName) : std::nullopt);
        return *known;
    }

    NodePtr resolveName(const Token &name)
    {
        const std::optional<FilterName> &found = lookUp(name.text.toUpper());
        if (!found)
            throw FilterError{name.position, u"Unknown name %1 at position %2"_s.arg(name.text).arg(
                                                 name.position)};
        if (!found->isColumn) {
            const QVariant value = found->kind == ValueKind::Number ? numberValue(found->value)
                                                                    : textValue(found->value);
            return makeValue(value, found->kind, name.position);
        }
        if (found->columnSql.trimmed().isEmpty())
            throw FilterError{
                name.position,
                u"Name %1 at position %2 stands for no column"_s.arg(name.text).arg(name.position)};
        NodePtr column = makeNode(NodeOp::Column, found->kind, name.position);
        column->text = found->columnSql;
        column->column = *found;
        return column;
    }

    NodePtr parseFunction(const Token &name)
    {
        const FunctionDef *function = findFunction(name.text.toUpper());
        if (!function)
            throw FilterError{
                name.position,
                u"Unknown function %1 at position %2"_s.arg(name.text).arg(name.position)};
        NestingGuard guard(*this, name.position);
        std::vector<NodePtr> arguments = parseArguments();
        const int count = static_cast<int>(arguments.size());
        if (count < function->minArguments || count > function->maxArguments)
            throw syntaxError(name.position, argumentCountProblem(*function, count));
        if (function->op == NodeOp::InString)
            keepOnlyNeedleAndHaystack(arguments, name.position);
        const ValueKind kind =
            function->op == NodeOp::InString ? ValueKind::Number : ValueKind::Text;
        return makeNode(function->op, kind, name.position, std::move(arguments));
    }

    std::vector<NodePtr> parseArguments()
    {
        expect(TokenType::LeftParen, u"'('"_s);
        std::vector<NodePtr> arguments;
        if (m_token.type != TokenType::RightParen) {
            arguments.push_back(parseOr());
            while (m_token.type == TokenType::Comma) {
                advance();
                arguments.push_back(parseOr());
            }
        }
        expect(TokenType::RightParen, u"',' or ')'"_s);
        return arguments;
    }

    static QString argumentCountProblem(const FunctionDef &function, int count)
    {
        const QString expected =
            function.minArguments == function.maxArguments
                ? QString::number(function.minArguments)
                : u"%1 to %2"_s.arg(function.minArguments).arg(function.maxArguments);
        const QString noun = function.maxArguments == 1 ? u"argument"_s : u"arguments"_s;
        return u"%1 takes %2 %3, not %4"_s.arg(function.name, expected, noun).arg(count);
    }

    // Searching with another step or from another position has no use in filters and would
    // need a definition of its own, so it is refused rather than guessed at.
    static void keepOnlyNeedleAndHaystack(std::vector<NodePtr> &arguments, int position)
    {
        for (size_t i = 2; i < arguments.size(); ++i) {
            const Node &argument = *arguments[i];
            const bool isOne = argument.op == NodeOp::Value && argument.kind == ValueKind::Number &&
                               argument.value.toDouble() == 1;
            if (!isOne)
                throw FilterError{position, u"INSTRING at position %1 supports only step 1 and "
                                            u"start 1"_s.arg(position)};
        }
        arguments.resize(2);
    }

    Lexer m_lexer;
    const FilterNameLookup &m_lookup;
    Token m_token;
    int m_nesting = 0;
    QHash<QString, std::optional<FilterName>> m_names;
};

// ---------------------------------------------------------------------------------------------
// SQL writer

// What SQLite can take of the filter, leaving room for the statement the store wraps around
// it. SQLite 3.40's parser stack holds about 100 entries; the costs below are measured upper
// bounds of the entries a construct keeps pending while SQLite parses one of its operands.
constexpr int MaxSqlParserStack = 64;
constexpr int MaxSqlTreeHeight = 500; // of SQLite's 1,000
constexpr int ParenCost = 1;          // "(a op ..."
constexpr int UnaryCost = 2;          // "(NOT x)", "(-x)", "CAST(x AS ...)"
constexpr int OperandCost = 3;        // "(a op b ..."
constexpr int CollateCost = 4;        // "(a = (b) COLLATE BINARY)"
constexpr int FirstArgumentCost = 3;  // "f(a ..."
constexpr int ArgumentCost = 5;       // "f(a, b ..."
constexpr size_t ChainRun = 16;       // operands written side by side before a chain is split

enum class Trim { Any, Required };

class SqlWriter
{
public:
    explicit SqlWriter(FilterDialect dialect) : m_server(dialect == FilterDialect::Server) {}

    const QString &sql() const { return m_sql; }
    const QVariantList &parameters() const { return m_parameters; }

    const QList<CompiledFilter::Candidates> &candidates() const { return m_candidates; }

    // Writes the root of a filter; the conditions every match must meet may give candidates.
    void root(const Node &node)
    {
        if (node.op == NodeOp::And) {
            for (const NodePtr &child : node.children)
                m_required.append(child.get());
        } else {
            m_required.append(&node);
        }
        condition(node);
    }

    void condition(const Node &node)
    {
        switch (node.op) {
        case NodeOp::And:
            chain(node, 0, node.children.size(), u" AND ", &SqlWriter::condition);
            return;
        case NodeOp::Or:
            chain(node, 0, node.children.size(), u" OR ", &SqlWriter::condition);
            return;
        case NodeOp::Not: {
            const Nested nested(*this, UnaryCost, 1, node);
            m_sql += u"(NOT "_s;
            condition(*node.children[0]);
            m_sql += u')';
            return;
        }
        case NodeOp::Compare:
            if (!keyComparison(node) && !beginsWith(node) && !contains(node))
                comparison(node);
            return;
        default:
            notEmpty(node);
            return;
        }
    }

private:
    // Accounts for one construct around the operands written while it lives.
    class Nested
    {
    public:
        Nested(SqlWriter &writer, int stackCost, int treeCost, const Node &node)
            : m_writer(writer), m_stackCost(stackCost), m_treeCost(treeCost)
        {
            m_writer.m_stack += stackCost;
            m_writer.m_tree += treeCost;
            if (m_writer.m_stack > MaxSqlParserStack || m_writer.m_tree > MaxSqlTreeHeight)
                throw tooComplex(node.position);
        }
        ~Nested()
        {
            m_writer.m_stack -= m_stackCost;
            m_writer.m_tree -= m_treeCost;
        }
        Nested(const Nested &) = delete;
        Nested &operator=(const Nested &) = delete;

    private:
        SqlWriter &m_writer;
        int m_stackCost;
        int m_treeCost;
    };

    // Writes one operand of a construct while stackCost parser entries are pending for it.
    template <typename Write> void operand(int stackCost, const Node &node, Write write)
    {
        const Nested pending(*this, stackCost, 0, node);
        write();
    }

    void notEmpty(const Node &node)
    {
        const Nested nested(*this, ParenCost, 1, node);
        m_sql += u'(';
        if (node.kind == ValueKind::Text) {
            text(node, Trim::Required);
            m_sql += u" <> '')"_s;
        } else {
            number(node);
            m_sql += u" <> 0)"_s;
        }
    }

    // ---- Searches the store's indexes serve

    // The column c of UPPER(c), when the store told how to search it.
    static const Node *upperColumn(const Node &node)
    {
        if (node.op != NodeOp::Upper || node.children[0]->op != NodeOp::Column ||
            node.children[0]->kind != ValueKind::Text || !node.children[0]->column.folded)
            return nullptr;
        return node.children[0].get();
    }

    // The text v of UPPER('v').
    static std::optional<QString> upperValue(const Node &node)
    {
        if (node.op != NodeOp::Upper || node.children[0]->op != NodeOp::Value ||
            node.children[0]->kind != ValueKind::Text)
            return std::nullopt;
        return node.children[0]->value.toString();
    }

    static bool isNumber(const Node &node, double number)
    {
        return node.op == NodeOp::Value && node.kind == ValueKind::Number &&
               node.value.toDouble() == number;
    }

    static bool holds(const QVariant &left, const QString &op, const QVariant &right)
    {
        const QPartialOrdering order = QVariant::compare(left, right);
        if (op == u"=")
            return order == QPartialOrdering::Equivalent;
        if (op == u"<>")
            return order != QPartialOrdering::Equivalent;
        if (op == u"<")
            return order == QPartialOrdering::Less;
        if (op == u">")
            return order == QPartialOrdering::Greater;
        if (op == u"<=")
            return order != QPartialOrdering::Greater;
        return order != QPartialOrdering::Less; // >=
    }

    // The records of a range of the key the column leads, when every match must be in it.
    void keyCandidates(const Node &condition, const FilterName &column, const QString &range,
                       const QVariantList &parameters, bool takesBlank)
    {
        if (!m_required.contains(&condition) || column.candidatesSql.isEmpty() ||
            (takesBlank && !column.keyCondition.isEmpty()))
            return;
        const QString where =
            column.keyCondition.isEmpty() ? range : column.keyCondition + u" AND "_s + range;
        m_candidates.append(
            {column.candidatesSql + where, parameters, column.keySql, range, isWhole(condition)});
    }

    // `exact`: the index finds just the records the condition takes, no more.
    void fullTextCandidates(const Node &condition, const FilterName &column, const QString &query,
                            bool exact)
    {
        if (m_required.contains(&condition))
            m_candidates.append(
                {column.fullTextSql, {query}, QString(), QString(), exact && isWhole(condition)});
    }

    // Whether the condition is the whole filter.
    bool isWhole(const Node &condition) const
    {
        return m_required.size() == 1 && m_required.first() == &condition;
    }

    static QString fullTextQuery(const FilterName &column, const QString &phrase, bool atStart)
    {
        QString quoted = phrase;
        quoted.replace(u'"', u"\"\""_s);
        return column.fullTextColumn + (atStart ? u" : ^ \""_s : u" : \""_s) + quoted + u'"';
    }

    // UPPER(c) op UPPER('v') on a column with a key text; numbers against a key's column.
    bool keyComparison(const Node &node)
    {
        const Node &left = *node.children[0];
        const Node &right = *node.children[1];
        if (left.op == NodeOp::Column && left.kind == ValueKind::Number &&
            !left.column.keySql.isEmpty() && right.op == NodeOp::Value &&
            right.kind == ValueKind::Number) {
            comparison(node);
            if (node.text != u"<>")
                keyCandidates(node, left.column, left.column.keySql + u' ' + node.text + u" ?"_s,
                              {right.value}, holds(qint64(0), node.text, right.value));
            return true;
        }
        const Node *column = upperColumn(left);
        const std::optional<QString> value = upperValue(right);
        if (!column || !value || column->column.keySql.isEmpty())
            return false;
        const QString key = keyText(rightTrimmed(*value));
        const Nested nested(*this, 0, 2, node);
        m_sql += u'(' + column->column.keySql + u' ' + node.text + u' ';
        parameter(key);
        m_sql += u')';
        if (node.text != u"<>")
            keyCandidates(node, column->column, column->column.keySql + u' ' + node.text + u" ?"_s,
                          {key}, holds(QString(), node.text, key));
        return true;
    }

    // SUB(UPPER(c),1,n) = UPPER('v') with n the length of the upper-case v: c begins with v.
    bool beginsWith(const Node &node)
    {
        const Node &left = *node.children[0];
        if ((node.text != u"=" && node.text != u"<>") || left.op != NodeOp::Sub ||
            !isNumber(*left.children[1], 1) || left.children[2]->op != NodeOp::Value ||
            left.children[2]->kind != ValueKind::Number)
            return false;
        const Node *column = upperColumn(*left.children[0]);
        const std::optional<QString> value = upperValue(*node.children[1]);
        if (!column || !value || *value != rightTrimmed(*value) ||
            left.children[2]->value.toDouble() != double(value->toUpper().toUcs4().size()))
            return false;
        const FilterName &name = column->column;
        const QString prefix = foldText(*value);
        const bool negated = node.text == u"<>";
        const Nested nested(*this, UnaryCost, 2, node);
        m_sql += negated ? u"(NOT "_s : u"("_s;
        if (prefix.isEmpty()) {
            m_sql += alwaysTrue();
        } else if (!name.keySql.isEmpty()) {
            // Every key text begins with the folded text.
            const QString end = prefix + QString::fromUcs4(U"\U0010FFFF", 1);
            const QString range = name.keySql + u" >= ? AND "_s + name.keySql + u" < ?"_s;
            m_sql += u'(' + range + u')';
            m_parameters << prefix << end;
            if (!negated)
                keyCandidates(node, name, range, {prefix, end}, false);
        } else if (m_server) {
            likeFolded(node, name, prefix, true, negated);
        } else {
            m_sql += u"(substr(sv_fold("_s + name.columnSql + u"), 1, "_s +
                     QString::number(prefix.toUcs4().size()) + u") = "_s;
            parameter(prefix);
            m_sql += u')';
            if (!negated && !name.fullTextSql.isEmpty() && prefix.toUcs4().size() >= 3)
                fullTextCandidates(node, name, fullTextQuery(name, prefix, true), false);
        }
        m_sql += u')';
        return true;
    }

    // INSTRING(UPPER('v'), UPPER(c), 1, 1) > 0 (= 0): c contains (does not contain) v.
    bool contains(const Node &node)
    {
        const Node &left = *node.children[0];
        if ((node.text != u">" && node.text != u"=") || left.op != NodeOp::InString ||
            !isNumber(*node.children[1], 0))
            return false;
        const std::optional<QString> needle = upperValue(*left.children[0]);
        const Node *column = upperColumn(*left.children[1]);
        if (!column || !needle)
            return false;
        const FilterName &name = column->column;
        const QString folded = foldText(*needle);
        const bool negated = node.text == u"=";
        const Nested nested(*this, UnaryCost, 2, node);
        m_sql += negated ? u"(NOT "_s : u"("_s;
        if (folded.isEmpty()) {
            m_sql += alwaysTrue();
        } else if (m_server) {
            likeFolded(node, name, folded, false, negated);
        } else if (!name.fullTextSql.isEmpty() && folded.toUcs4().size() >= 3) {
            // The trigram index finds a text of three characters or more.
            const QString query = fullTextQuery(name, folded, false);
            m_sql += u'(' + name.positionSql + u" IN ("_s + name.fullTextSql + u"))"_s;
            m_parameters.append(query); // the query's one '?'

            if (!negated)
                fullTextCandidates(node, name, query, true);
        } else {
            m_sql += u"(instr(sv_fold("_s + name.columnSql + u"), "_s;
            parameter(folded);
            m_sql += u") > 0)"_s;
        }
        m_sql += u')';
        return true;
    }

    // Explicit BINARY collation keeps text comparisons case-sensitive whatever collation the
    // store declares on a column, and still lets SQLite use an index on a BINARY column.
    void comparison(const Node &node)
    {
        const Node &left = *node.children[0];
        const Node &right = *node.children[1];
        const bool asText = left.kind == ValueKind::Text && right.kind == ValueKind::Text;
        const Nested nested(*this, 0, 2, node);
        m_sql += u'(';
        if (asText) {
            operand(ParenCost, left, [&] { text(left, Trim::Required); });
            m_sql += u' ' + node.text + u" ("_s;
            operand(CollateCost, right, [&] { text(right, Trim::Required); });
            m_sql += m_server ? u") COLLATE \"C\")"_s : u") COLLATE BINARY)"_s;
        } else {
            operand(ParenCost, left, [&] { number(left); });
            m_sql += u' ' + node.text + u' ';
            operand(OperandCost, right, [&] { number(right); });
            m_sql += u')';
        }
    }

    void number(const Node &node)
    {
        if (isCondition(node)) {
            if (!m_server) {
                condition(node);
                return;
            }
            // The server's conditions are booleans, which arithmetic does not take.
            const Nested nested(*this, FirstArgumentCost, 1, node);
            m_sql += u"(CASE WHEN "_s;
            condition(node);
            m_sql += u" THEN 1::bigint ELSE 0::bigint END)"_s;
            return;
        }
        if (node.kind == ValueKind::Text) {
            const Nested nested(*this, UnaryCost, 1, node);
            m_sql += m_server ? u"sv_number("_s : u"CAST("_s;
            text(node, Trim::Any);
            m_sql += m_server ? u")"_s : u" AS NUMERIC)"_s;
            return;
        }
        switch (node.op) {
        case NodeOp::Value:
            parameter(node.value);
            return;
        case NodeOp::Column:
            m_sql += node.text;
            return;
        case NodeOp::Sum:
            arithmetic(node);
            return;
        case NodeOp::Product:
            product(node);
            return;
        case NodeOp::Negate: {
            const Nested nested(*this, UnaryCost, 1, node);
            m_sql += u"(-"_s;
            number(*node.children[0]);
            m_sql += u')';
            return;
        }
        case NodeOp::InString:
            if (m_server) {
                // strpos counts characters as instr does, and is int4 where the rest is bigint.
                const Nested nested(*this, UnaryCost, 1, node);
                m_sql += u"CAST("_s;
                call(u"strpos", node,
                     {{node.children[1].get(), true}, {node.children[0].get(), true}});
                m_sql += u" AS bigint)"_s;
                return;
            }
            call(u"instr", node, {{node.children[1].get(), true}, {node.children[0].get(), true}});
            return;
        default:
            Q_UNREACHABLE();
        }
    }

    void arithmetic(const Node &node)
    {
        const Nested nested(*this, 0, static_cast<int>(node.children.size()), node);
        m_sql += u'(';
        operand(ParenCost, node, [&] { number(*node.children[0]); });
        bool dividesExactly = false;
        for (size_t i = 1; i < node.children.size(); ++i) {
            const bool divides = node.operators.at(i - 1) == u"/";
            if (divides && !std::exchange(dividesExactly, true))
                m_sql += m_server ? u" * CAST(1 AS float8)"_s : u" * 1.0"_s;
            m_sql += u' ' + node.operators.at(i - 1) + u' ';
            if (divides && m_server) {
                // The server fails a statement on a zero divisor where SQLite gives NULL.
                const Nested divisor(*this, FirstArgumentCost, 1, node);
                m_sql += u"NULLIF("_s;
                number(*node.children[i]);
                m_sql += u", 0)"_s;
            } else {
                operand(OperandCost, node, [&] { number(*node.children[i]); });
            }
        }
        m_sql += u')';
    }

    // Division is exact (a real factor comes before the first divisor) and a zero divisor
    // makes the product 0 rather than SQLite's NULL, which would leave a condition neither
    // true nor false.
    void product(const Node &node)
    {
        if (!node.operators.contains(u"/"_s)) {
            arithmetic(node);
            return;
        }
        const Nested nested(*this, FirstArgumentCost, 1, node);
        m_sql += u"coalesce("_s;
        arithmetic(node);
        m_sql += u", 0)"_s;
    }

    // Text columns are stored without trailing blanks, so only values and computed text need
    // trimming where trailing blanks must not count.
    void text(const Node &node, Trim trim)
    {
        if (node.kind == ValueKind::Number) {
            const Nested nested(*this, UnaryCost, 1, node);
            m_sql += m_server ? u"sv_text("_s : u"CAST("_s;
            number(node);
            m_sql += m_server ? u")"_s : u" AS TEXT)"_s;
            return;
        }
        switch (node.op) {
        case NodeOp::Value:
            parameter(trim == Trim::Required ? rightTrimmed(node.value.toString()) : node.value);
            return;
        case NodeOp::Column:
            m_sql += node.text;
            return;
        case NodeOp::Upper:
        case NodeOp::Lower: {
            const Nested nested(*this, FirstArgumentCost, 1, node);
            m_sql += node.op == NodeOp::Upper ? u"sv_upper("_s : u"sv_lower("_s;
            text(*node.children[0], trim);
            m_sql += u')';
            return;
        }
        case NodeOp::Clip:
            text(*node.children[0], Trim::Required);
            return;
        case NodeOp::Sub:
        case NodeOp::Concat:
            trimmedIf(trim, node);
            return;
        default:
            Q_UNREACHABLE();
        }
    }

    void trimmedIf(Trim trim, const Node &node)
    {
        const bool trimming = trim == Trim::Required;
        const Nested nested(*this, trimming ? FirstArgumentCost : 0, trimming ? 1 : 0, node);
        if (trimming)
            m_sql += u"rtrim("_s;
        if (node.op == NodeOp::Sub)
            call(m_server ? u"sv_substr" : u"substr", node,
                 {{node.children[0].get(), true},
                  {node.children[1].get(), false},
                  {node.children[2].get(), false}});
        else
            chain(node, 0, node.children.size(), u" || ", &SqlWriter::anyText);
        if (trimming)
            m_sql += u", ' ')"_s;
    }

    void anyText(const Node &node) { text(node, Trim::Any); }

    struct Argument
    {
        const Node *node;
        bool isText;
    };

    void call(QStringView function, const Node &node, std::initializer_list<Argument> arguments)
    {
        const Nested nested(*this, 0, 1, node);
        m_sql += function;
        m_sql += u'(';
        bool first = true;
        for (const Argument &argument : arguments) {
            const int cost = first ? FirstArgumentCost : ArgumentCost;
            if (!std::exchange(first, false))
                m_sql += u", "_s;
            operand(cost, node, [&] {
                argument.isText ? text(*argument.node, Trim::Any) : number(*argument.node);
            });
        }
        m_sql += u')';
    }

    // Runs of up to ChainRun operands are written flat, longer chains as a tree of such runs,
    // so that neither SQLite's parser stack nor its expression tree grows with the length.
    void chain(const Node &node, size_t first, size_t count, QStringView op,
               void (SqlWriter::*writeOperand)(const Node &))
    {
        if (count == 1) {
            (this->*writeOperand)(*node.children[first]);
            return;
        }
        const size_t runs = std::min(count, ChainRun);
        const Nested nested(*this, 0, static_cast<int>(runs), node);
        m_sql += u'(';
        size_t next = first;
        for (size_t run = 0; run < runs; ++run) {
            const size_t size = count / runs + (run < count % runs ? 1 : 0);
            if (run > 0)
                m_sql += op;
            operand(run == 0 ? ParenCost : OperandCost, node,
                    [&] { chain(node, next, size, op, writeOperand); });
            next += size;
        }
        m_sql += u')';
    }

    void parameter(const QVariant &value)
    {
        m_sql += u'?';
        m_parameters.append(value);
    }

    QString alwaysTrue() const { return m_server ? u"TRUE"_s : u"1"_s; }

    // On the server begins-with and contains of three characters or more are LIKE patterns on
    // the folded text, which a trigram index serves; LIKE's own wildcards and its escape
    // character in the text stand for themselves. A shorter text gives the index no trigram
    // to look up, and a LIKE would have the server read the whole index before the table, so
    // it is tested on the folded text directly.
    void likeFolded(const Node &node, const FilterName &name, const QString &folded, bool atStart,
                    bool negated)
    {
        if (folded.toUcs4().size() < 3) {
            m_sql += (atStart ? u"starts_with(sv_fold("_s : u"(strpos(sv_fold("_s) +
                     name.columnSql + u"), "_s;
            parameter(folded);
            m_sql += atStart ? u")"_s : u") > 0)"_s;
            return;
        }
        QString pattern = atStart ? QString() : u"%"_s;
        for (const QChar c : folded) {
            if (c == u'%' || c == u'_' || c == u'\\')
                pattern += u'\\';
            pattern += c;
        }
        pattern += u'%';
        m_sql += u"(sv_fold("_s + name.columnSql + u") LIKE "_s;
        parameter(pattern);
        m_sql += u')';
        if (!negated && !name.fullTextSql.isEmpty())
            fullTextCandidates(node, name, pattern, true);
    }

    QString m_sql;
    QVariantList m_parameters;
    QList<const Node *> m_required; // conditions every match meets
    QList<CompiledFilter::Candidates> m_candidates;
    int m_stack = 0;
    int m_tree = 0;
    bool m_server = false;
};

// ---------------------------------------------------------------------------------------------
// SQL functions

template <typename CaseMapping>
void resultCaseMapped(sqlite3_context *context, sqlite3_value *value, bool upper, CaseMapping map)
{
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_value_text(value));
    if (!utf8) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const int bytes = sqlite3_value_bytes(value);
    QByteArray mapped;
    if (!mapAsciiCase(utf8, bytes, upper, mapped))
        mapped = map(QString::fromUtf8(utf8, bytes)).toUtf8();
    sqlite3_result_text(context, mapped.constData(), static_cast<int>(mapped.size()),
                        SQLITE_TRANSIENT);
}

void upperFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    resultCaseMapped(context, arguments[0], true,
                     [](const QString &text) { return text.toUpper(); });
}

void lowerFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    resultCaseMapped(context, arguments[0], false,
                     [](const QString &text) { return text.toLower(); });
}

int bindParameter(sqlite3_stmt *statement, int index, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, index, value.toDouble());
    default:
        break;
    }
    if (value.isNull() && value.typeId() != QMetaType::QString)
        return sqlite3_bind_null(statement, index);
    const QByteArray utf8 = value.toString().toUtf8();
    return sqlite3_bind_text64(statement, index, utf8.constData(),
                               static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

} // namespace

CompiledFilter compileFilter(const QString &expression, const FilterNameLookup &lookup,
                             FilterDialect dialect)
{
    CompiledFilter compiled;
    try {
        Parser parser(expression, lookup);
        const NodePtr root = parser.parseExpression();
        if (!root) {
            compiled.ok = true;
            compiled.sql = dialect == FilterDialect::Server ? u"TRUE"_s : u"1"_s;
            return compiled;
        }
        SqlWriter writer(dialect);
        writer.root(*root);
        if (writer.parameters().size() > MaxFilterParameters)
            throw FilterError{0, u"Expression has more than %1 values"_s.arg(MaxFilterParameters)};
        compiled.ok = true;
        compiled.sql = writer.sql();
        compiled.parameters = writer.parameters();
        compiled.candidates = writer.candidates();
    } catch (const FilterError &error) {
        compiled = CompiledFilter{};
        compiled.error = error.message;
        compiled.errorPosition = error.position;
    }
    return compiled;
}

int bindFilterParameters(sqlite3_stmt *statement, int firstIndex, const QVariantList &parameters)
{
    int index = firstIndex;
    for (const QVariant &value : parameters) {
        const int result = bindParameter(statement, index++, value);
        if (result != SQLITE_OK)
            return result;
    }
    return SQLITE_OK;
}

bool registerFilterFunctions(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, "sv_upper", 1, flags, nullptr, upperFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "sv_lower", 1, flags, nullptr, lowerFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK;
}

} // namespace sv
