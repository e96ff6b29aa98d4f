// The kernel language's parser: text to KernelProgram, checking types as it goes. Recursive
// descent over a small tokenizer; the first error stops everything.
#include <cctype>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "coreimage/KernelProgram.h"

namespace qv::ci::detail {

namespace {

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Tok { End, Ident, Number, Punct };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    double number = 0;
    int line = 1;
};

class Lexer {
public:
    explicit Lexer(const std::string& s) : m_s(s) { advance(); }
    const Token& peek() const { return m_tok; }
    Token next() {
        Token t = m_tok;
        advance();
        return t;
    }

private:
    void skipSpaceAndComments() {
        while (m_i < m_s.size()) {
            const char c = m_s[m_i];
            if (c == '\n') ++m_line, ++m_i;
            else if (std::isspace(static_cast<unsigned char>(c))) ++m_i;
            else if (m_s.compare(m_i, 2, "//") == 0) {
                while (m_i < m_s.size() && m_s[m_i] != '\n') ++m_i;
            } else if (m_s.compare(m_i, 2, "/*") == 0) {
                const auto end = m_s.find("*/", m_i + 2);
                if (end == std::string::npos) throw ParseError("line " + std::to_string(m_line) + ": unterminated comment");
                for (std::size_t k = m_i; k < end; ++k)
                    if (m_s[k] == '\n') ++m_line;
                m_i = end + 2;
            } else break;
        }
    }
    void advance() {
        skipSpaceAndComments();
        m_tok = Token{};
        m_tok.line = m_line;
        if (m_i >= m_s.size()) return;
        const char c = m_s[m_i];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = m_i;
            while (j < m_s.size() && (std::isalnum(static_cast<unsigned char>(m_s[j])) || m_s[j] == '_')) ++j;
            m_tok.kind = Tok::Ident;
            m_tok.text = m_s.substr(m_i, j - m_i);
            m_i = j;
            return;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && m_i + 1 < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_i + 1])))) {
            const char* begin = m_s.c_str() + m_i;
            char* end = nullptr;
            m_tok.kind = Tok::Number;
            m_tok.number = std::strtod(begin, &end);
            m_i += std::size_t(end - begin);
            if (m_i < m_s.size() && (m_s[m_i] == 'f' || m_s[m_i] == 'F')) ++m_i;
            return;
        }
        static const char* twoChar[] = {"+=", "-=", "*=", "/="};
        for (const char* op : twoChar) {
            if (m_s.compare(m_i, 2, op) == 0) {
                m_tok.kind = Tok::Punct;
                m_tok.text = op;
                m_i += 2;
                return;
            }
        }
        if (std::string("(){},;=+-*/.").find(c) == std::string::npos)
            throw ParseError("line " + std::to_string(m_line) + ": unexpected character '" + std::string(1, c) + "'");
        m_tok.kind = Tok::Punct;
        m_tok.text = std::string(1, c);
        ++m_i;
    }

    const std::string& m_s;
    std::size_t m_i = 0;
    int m_line = 1;
    Token m_tok;
};

// Width of a value type; 0 for sampler.
int typeWidth(const std::string& t) {
    if (t == "float") return 1;
    if (t == "vec2") return 2;
    if (t == "vec3") return 3;
    if (t == "vec4" || t == "__color") return 4;
    if (t == "sampler") return 0;
    return -1;
}

struct Builtin {
    Fn fn;
    int arity;
};

const std::map<std::string, Builtin>& builtins() {
    static const std::map<std::string, Builtin> table = {
        {"length", {Fn::Length, 1}},       {"distance", {Fn::Distance, 2}}, {"dot", {Fn::Dot, 2}},
        {"normalize", {Fn::Normalize, 1}}, {"sqrt", {Fn::Sqrt, 1}},         {"abs", {Fn::Abs, 1}},
        {"floor", {Fn::Floor, 1}},         {"fract", {Fn::Fract, 1}},       {"sin", {Fn::Sin, 1}},
        {"cos", {Fn::Cos, 1}},             {"tan", {Fn::Tan, 1}},           {"exp", {Fn::Exp, 1}},
        {"log", {Fn::Log, 1}},             {"sign", {Fn::Sign, 1}},         {"pow", {Fn::Pow, 2}},
        {"min", {Fn::Min, 2}},             {"max", {Fn::Max, 2}},           {"step", {Fn::Step, 2}},
        {"mod", {Fn::Mod, 2}},             {"clamp", {Fn::Clamp, 3}},       {"mix", {Fn::Mix, 3}},
        {"smoothstep", {Fn::Smoothstep, 3}}, {"compare", {Fn::Compare, 3}}, {"premultiply", {Fn::Premultiply, 1}},
        {"unpremultiply", {Fn::Unpremultiply, 1}},
    };
    return table;
}

class Parser {
public:
    explicit Parser(const std::string& source) : m_lex(source) {}

    std::vector<std::shared_ptr<const KernelProgram>> parseAll() {
        std::vector<std::shared_ptr<const KernelProgram>> out;
        while (m_lex.peek().kind != Tok::End) out.push_back(parseKernel());
        if (out.empty()) throw ParseError("line 1: no kernel");
        return out;
    }

private:
    struct Symbol {
        int node;   // -1 for samplers
        int width;  // 0 for samplers
        int param;  // parameter index for parameters, else -1
    };

    [[noreturn]] void fail(const std::string& what) const {
        throw ParseError("line " + std::to_string(m_lex.peek().line) + ": " + what);
    }
    bool accept(const char* punct) {
        if (m_lex.peek().kind == Tok::Punct && m_lex.peek().text == punct) {
            m_lex.next();
            return true;
        }
        return false;
    }
    void expect(const char* punct) {
        if (!accept(punct)) fail(std::string("expected '") + punct + "'");
    }
    std::string identifier() {
        if (m_lex.peek().kind != Tok::Ident) fail("expected a name");
        return m_lex.next().text;
    }

    int add(IrNode n) {
        m_p->nodes.push_back(std::move(n));
        return int(m_p->nodes.size()) - 1;
    }
    int width(int node) const { return m_p->nodes[std::size_t(node)].width; }

    std::shared_ptr<const KernelProgram> parseKernel() {
        m_p = std::make_shared<KernelProgram>();
        m_symbols.clear();
        if (identifier() != "kernel") fail("expected 'kernel'");
        if (identifier() != "vec4") fail("a kernel returns vec4");
        m_p->name = identifier();
        expect("(");
        if (!accept(")")) {
            do {
                const std::string type = identifier();
                const int w = typeWidth(type);
                if (w < 0) fail("unknown parameter type '" + type + "'");
                const std::string name = identifier();
                if (m_symbols.count(name)) fail("'" + name + "' declared twice");
                const int index = int(m_p->params.size());
                KernelParameterType kind = w == 0   ? KernelParameterType::Sampler
                                           : w == 1 ? KernelParameterType::Float
                                           : w == 2 ? KernelParameterType::Vec2
                                           : w == 3 ? KernelParameterType::Vec3
                                                    : KernelParameterType::Vec4;
                m_p->params.push_back({name, kind});
                int node = -1;
                if (w > 0) {
                    IrNode n;
                    n.op = Op::Param;
                    n.width = w;
                    n.param = index;
                    node = add(n);
                }
                m_symbols[name] = {node, w, index};
            } while (accept(","));
            expect(")");
        }
        expect("{");
        while (true) {
            if (m_lex.peek().kind == Tok::Ident && m_lex.peek().text == "return") {
                m_lex.next();
                const int r = expression();
                if (width(r) != 4) fail("a kernel returns vec4");
                m_p->result = r;
                expect(";");
                expect("}");
                break;
            }
            statement();
        }
        return m_p;
    }

    void statement() {
        std::string first = identifier();
        if (first == "const") first = identifier();
        const int declared = typeWidth(first);
        if (declared == 0) fail("a local cannot be a sampler");
        if (declared > 0) {
            const std::string name = identifier();
            if (m_symbols.count(name)) fail("'" + name + "' declared twice");
            expect("=");
            const int value = coerce(expression(), declared);
            m_symbols[name] = {value, declared, -1};
            expect(";");
            return;
        }
        auto it = m_symbols.find(first);
        if (it == m_symbols.end()) fail("unknown name '" + first + "'");
        if (it->second.param >= 0) fail("cannot assign to parameter '" + first + "'");
        Symbol& s = it->second;
        const Token op = m_lex.next();
        if (op.kind != Tok::Punct) fail("expected an assignment");
        int value = expression();
        if (op.text == "+=") value = binary(Op::Add, s.node, value);
        else if (op.text == "-=") value = binary(Op::Sub, s.node, value);
        else if (op.text == "*=") value = binary(Op::Mul, s.node, value);
        else if (op.text == "/=") value = binary(Op::Div, s.node, value);
        else if (op.text != "=") fail("expected an assignment");
        s.node = coerce(value, s.width);
        expect(";");
    }

    // A float assigned to a vector is broadcast; any other mismatch is an error.
    int coerce(int node, int w) {
        if (width(node) == w) return node;
        if (width(node) != 1) fail("type mismatch");
        IrNode n;
        n.op = Op::Swizzle;
        n.width = w;
        n.args = std::vector<int>{node};
        return add(n);
    }

    int binary(Op op, int a, int b) {
        const int wa = width(a), wb = width(b);
        if (wa != wb && wa != 1 && wb != 1) fail("operands of different sizes");
        IrNode n;
        n.op = op;
        n.width = std::max(wa, wb);
        n.args = std::vector<int>{a, b};
        return add(n);
    }

    int expression() {
        int left = term();
        while (true) {
            if (accept("+")) left = binary(Op::Add, left, term());
            else if (accept("-")) left = binary(Op::Sub, left, term());
            else return left;
        }
    }
    int term() {
        int left = unary();
        while (true) {
            if (accept("*")) left = binary(Op::Mul, left, unary());
            else if (accept("/")) left = binary(Op::Div, left, unary());
            else return left;
        }
    }
    int unary() {
        if (accept("-")) {
            const int a = unary();
            IrNode n;
            n.op = Op::Neg;
            n.width = width(a);
            n.args = std::vector<int>{a};
            return add(n);
        }
        if (accept("+")) return unary();
        return postfix();
    }
    int postfix() {
        int v = primary();
        while (accept(".")) {
            const std::string sw = identifier();
            if (sw.empty() || sw.size() > 4) fail("bad swizzle '" + sw + "'");
            IrNode n;
            n.op = Op::Swizzle;
            n.width = int(sw.size());
            n.args = std::vector<int>{v};
            for (std::size_t k = 0; k < sw.size(); ++k) {
                const auto xyzw = std::string("xyzw").find(sw[k]), rgba = std::string("rgba").find(sw[k]);
                const auto c = xyzw != std::string::npos ? xyzw : rgba;
                if (c == std::string::npos || int(c) >= width(v)) fail("bad swizzle '" + sw + "'");
                n.swizzle[k] = std::uint8_t(c);
            }
            v = add(n);
        }
        return v;
    }

    int samplerArgument() {
        const std::string name = identifier();
        auto it = m_symbols.find(name);
        if (it == m_symbols.end() || it->second.width != 0) fail("'" + name + "' is not a sampler");
        return it->second.param;
    }

    int primary() {
        const Token& t = m_lex.peek();
        if (t.kind == Tok::Number) {
            IrNode n;
            n.op = Op::Const;
            n.value[0] = float(m_lex.next().number);
            return add(n);
        }
        if (accept("(")) {
            const int v = expression();
            expect(")");
            return v;
        }
        const std::string name = identifier();
        if (!accept("(")) {
            auto it = m_symbols.find(name);
            if (it == m_symbols.end()) fail("unknown name '" + name + "'");
            if (it->second.width == 0) fail("sampler '" + name + "' used as a value");
            return it->second.node;
        }
        return call(name);
    }

    int call(const std::string& name) {
        IrNode n;
        if (name == "destCoord") {
            expect(")");
            n.op = Op::DestCoord;
            n.width = 2;
            return add(n);
        }
        if (name == "samplerCoord") {
            samplerArgument();
            expect(")");
            n.op = Op::DestCoord;
            n.width = 2;
            return add(n);
        }
        if (name == "samplerTransform" || name == "sample") {
            const int sampler = samplerArgument();
            expect(",");
            const int p = expression();
            expect(")");
            if (width(p) != 2) fail(name + " takes a vec2 position");
            if (name == "samplerTransform") return p;
            n.op = Op::Sample;
            n.width = 4;
            n.param = sampler;
            n.args = std::vector<int>{p};
            return add(n);
        }
        if (name == "samplerExtent") {
            n.op = Op::SamplerExtent;
            n.width = 4;
            n.param = samplerArgument();
            expect(")");
            return add(n);
        }
        std::vector<int> args;
        if (!accept(")")) {
            do args.push_back(expression());
            while (accept(","));
            expect(")");
        }
        const int ctor = name == "vec2" ? 2 : name == "vec3" ? 3 : name == "vec4" ? 4 : 0;
        if (ctor) {
            int total = 0;
            for (int a : args) total += width(a);
            if (args.size() == 1 && total == 1) return coerce(args[0], ctor);
            if (total != ctor) fail(name + " needs " + std::to_string(ctor) + " components");
            n.op = Op::Construct;
            n.width = ctor;
            n.args = args;
            return add(n);
        }
        auto it = builtins().find(name);
        if (it == builtins().end()) fail("unknown function '" + name + "'");
        Fn fn = it->second.fn;
        if (fn == Fn::Atan && args.size() == 2) fn = Fn::Atan2;
        else if (int(args.size()) != it->second.arity) fail(name + " takes " + std::to_string(it->second.arity) + " arguments");
        int w = 1;
        for (int a : args) w = std::max(w, width(a));
        for (int a : args)
            if (width(a) != 1 && width(a) != w) fail("arguments of " + name + " have different sizes");
        n.op = Op::Call;
        n.fn = fn;
        n.args = args;
        switch (fn) {
        case Fn::Length:
        case Fn::Distance:
        case Fn::Dot: n.width = 1; break;
        case Fn::Premultiply:
        case Fn::Unpremultiply:
            if (w != 4) fail(name + " takes a vec4");
            n.width = 4;
            break;
        default: n.width = w;
        }
        if ((fn == Fn::Distance || fn == Fn::Dot) && width(args[0]) != width(args[1])) fail(name + " needs equal sizes");
        return add(n);
    }

    Lexer m_lex;
    std::shared_ptr<KernelProgram> m_p;
    std::map<std::string, Symbol> m_symbols;
};

}  // namespace

std::vector<std::shared_ptr<const KernelProgram>> parseKernels(const std::string& source, std::string& reason) {
    try {
        Parser parser(source);
        return parser.parseAll();
    } catch (const ParseError& e) {
        reason = e.what();
        return {};
    }
}

bool sameProgram(const KernelProgram& a, const KernelProgram& b) {
    if (a.result != b.result || a.params.size() != b.params.size() || a.nodes.size() != b.nodes.size()) return false;
    for (std::size_t i = 0; i < a.params.size(); ++i)
        if (a.params[i].type != b.params[i].type) return false;
    for (std::size_t i = 0; i < a.nodes.size(); ++i) {
        const IrNode &x = a.nodes[i], &y = b.nodes[i];
        if (x.op != y.op || x.width != y.width || x.args != y.args || x.param != y.param) return false;
        if (x.op == Op::Call && x.fn != y.fn) return false;
        for (int c = 0; c < 4; ++c)
            if (x.value[c] != y.value[c] || x.swizzle[c] != y.swizzle[c]) return false;
    }
    return true;
}

}  // namespace qv::ci::detail
