#include "FormText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "FormStream.h"
#include "toolkit/core/ClassInfo.h"

namespace velmora {

namespace {

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '.'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* const kObjectKeywords[] = {"object", "inherited", "inline", "end", "item"};
const char* const kValueKeywords[] = {"true", "false", "nil", "null"};

bool IsKeyword(std::string_view word, std::span<const char* const> keywords) {
    for (const char* k : keywords)
        if (SameText(word, k)) return true;
    return false;
}

// ---------------------------------------------------------------- lexer

enum class TokenKind { End, Ident, Integer, Float, String, Hex, Punct };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // identifier, number text, decoded string bytes, hex bytes, punctuation
    int line = 1;
    bool callFollows = false;  // an identifier directly followed by '('
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    std::vector<Token> Tokenize() {
        std::vector<Token> tokens;
        while (true) {
            SkipSpaceAndComments();
            Token t;
            t.line = line_;
            if (pos_ >= text_.size()) {
                tokens.push_back(t);
                return tokens;
            }
            char c = text_[pos_];
            if (IsIdentStart(c)) {
                std::size_t start = pos_;
                while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
                t.kind = TokenKind::Ident;
                t.text = std::string(text_.substr(start, pos_ - start));
                t.callFollows = pos_ < text_.size() && text_[pos_] == '(';
            } else if (IsDigit(c) || ((c == '-' || c == '+') && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
                LexNumber(t);
            } else if (c == '"') {
                LexString(t);
            } else if (c == '{') {
                LexHex(t);
            } else if (std::strchr("=:()[]<>,", c)) {
                t.kind = TokenKind::Punct;
                t.text = std::string(1, c);
                ++pos_;
            } else {
                throw EFormTextError(line_, std::string("unexpected character '") + c + "'");
            }
            tokens.push_back(std::move(t));
        }
    }

private:
    void SkipSpaceAndComments() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else {
                return;
            }
        }
    }

    void LexNumber(Token& t) {
        std::size_t start = pos_;
        bool isFloat = false;
        if (text_[pos_] == '-' || text_[pos_] == '+') ++pos_;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
        if (pos_ + 1 < text_.size() && text_[pos_] == '.' && IsDigit(text_[pos_ + 1])) {
            isFloat = true;
            ++pos_;
            while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            std::size_t save = pos_++;
            if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) ++pos_;
            if (pos_ < text_.size() && IsDigit(text_[pos_])) {
                isFloat = true;
                while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
            } else {
                pos_ = save;
            }
        }
        if (pos_ < text_.size() && IsIdentChar(text_[pos_]))
            throw EFormTextError(line_, "malformed number");
        t.kind = isFloat ? TokenKind::Float : TokenKind::Integer;
        t.text = std::string(text_.substr(start, pos_ - start));
        if (t.text[0] == '+') t.text.erase(0, 1);
    }

    void LexString(Token& t) {
        ++pos_;
        t.kind = TokenKind::String;
        while (true) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') throw EFormTextError(line_, "unterminated string");
            char c = text_[pos_++];
            if (c == '"') return;
            if (c != '\\') {
                if (static_cast<unsigned char>(c) < 0x20) throw EFormTextError(line_, "control character in a string");
                t.text += c;
                continue;
            }
            if (pos_ >= text_.size()) throw EFormTextError(line_, "unterminated string");
            char e = text_[pos_++];
            switch (e) {
            case '\\': t.text += '\\'; break;
            case '"': t.text += '"'; break;
            case 'n': t.text += '\n'; break;
            case 'r': t.text += '\r'; break;
            case 't': t.text += '\t'; break;
            case 'x': t.text += static_cast<char>(ReadHexDigits(2)); break;
            case 'u': {
                std::u16string unit(1, static_cast<char16_t>(ReadHexDigits(4)));
                t.text += Utf16ToUtf8(unit, true);
                break;
            }
            default: throw EFormTextError(line_, std::string("unknown escape \\") + e);
            }
        }
    }

    unsigned ReadHexDigits(int count) {
        unsigned v = 0;
        for (int i = 0; i < count; ++i) {
            int h = pos_ < text_.size() ? HexValue(text_[pos_]) : -1;
            if (h < 0) throw EFormTextError(line_, "bad hexadecimal escape");
            v = v * 16 + static_cast<unsigned>(h);
            ++pos_;
        }
        return v;
    }

    void LexHex(Token& t) {
        ++pos_;
        t.kind = TokenKind::Hex;
        int pending = -1;
        while (true) {
            if (pos_ >= text_.size()) throw EFormTextError(t.line, "unterminated {hex} block");
            char c = text_[pos_++];
            if (c == '}') break;
            if (c == '\n') {
                ++line_;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r') continue;
            int h = HexValue(c);
            if (h < 0) throw EFormTextError(line_, "bad character in {hex} block");
            if (pending < 0) {
                pending = h;
            } else {
                t.text += static_cast<char>(pending * 16 + h);
                pending = -1;
            }
        }
        if (pending >= 0) throw EFormTextError(line_, "odd number of hex digits");
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// ---------------------------------------------------------------- parser

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::vector<std::uint8_t> Parse() {
        out_.WriteSignature();
        if (Peek().kind == TokenKind::End) throw Error(Peek(), "no object in the description");
        ParseObject(0);
        if (Peek().kind != TokenKind::End) throw Error(Peek(), "text after the end of the top object");
        return out_.Take();
    }

private:
    static EFormTextError Error(const Token& t, const std::string& message) { return EFormTextError(t.line, message); }

    const Token& Peek() const { return tokens_[index_]; }
    const Token& Next() {
        const Token& t = tokens_[index_];
        if (t.kind != TokenKind::End) ++index_;
        return t;
    }
    bool IsPunct(const Token& t, char c) const { return t.kind == TokenKind::Punct && t.text[0] == c; }
    bool IsWord(const Token& t, std::string_view word) const {
        return t.kind == TokenKind::Ident && t.text == word && !t.callFollows;
    }
    void Expect(char c) {
        const Token& t = Next();
        if (!IsPunct(t, c)) throw Error(t, std::string("expected '") + c + "'" + Describe(t));
    }
    static std::string Describe(const Token& t) {
        if (t.kind == TokenKind::End) return " at the end of the text";
        if (t.kind == TokenKind::String) return " before a string";
        return " before '" + t.text + "'";
    }
    bool IsObjectStart(const Token& t) const {
        return IsWord(t, "object") || IsWord(t, "inherited") || IsWord(t, "inline");
    }

    // A name: a plain identifier or a string, at most 255 bytes.
    std::string ParseName(const char* what) {
        const Token& t = Next();
        if (t.kind != TokenKind::Ident && t.kind != TokenKind::String)
            throw Error(t, std::string("expected ") + what + Describe(t));
        if (t.text.size() > 255) throw Error(t, std::string(what) + " longer than 255 bytes");
        return t.text;
    }

    void ParseObject(int depth) {
        if (depth > kMaxNestingDepth) throw Error(Peek(), "objects nested too deeply");
        ObjectPrefix prefix;
        const Token& first = Next();
        if (IsWord(first, "object")) {
        } else if (IsWord(first, "inherited") || IsWord(first, "inline")) {
            --index_;
            while (IsWord(Peek(), "inherited") || IsWord(Peek(), "inline"))
                prefix.flags |= Next().text == "inherited" ? ffInherited : ffInline;
        } else {
            throw Error(first, "expected 'object', 'inherited' or 'inline'" + Describe(first));
        }
        std::string name = ParseName("a component name");
        Expect(':');
        std::string className = ParseName("a class name");
        if (IsPunct(Peek(), '[')) {
            Next();
            prefix.flags |= ffChildPos;
            const Token& at = Peek();
            ValueType type;
            prefix.childPos = ParseIntegerValue(type);
            if (type == ValueType::vaInt64) throw Error(at, "child position needs an 8, 16 or 32-bit integer");
            prefix.childPosType = type;
            Expect(']');
        }
        if (Peek().kind == TokenKind::Ident && Peek().text == "prefix" && Peek().callFollows) {
            Next();
            Expect('(');
            const Token& t = Next();
            std::int64_t bits = 0;
            // Only the bit that no keyword expresses; 0 keeps an empty prefix byte.
            if (t.kind != TokenKind::Integer || !ParseInt(t.text, bits) || (bits != 0 && bits != 8))
                throw Error(t, "prefix() takes 0 or 8");
            prefix.flags |= static_cast<unsigned>(bits);
            prefix.present = true;
            Expect(')');
        }
        out_.WritePrefix(prefix);
        out_.WriteShortString(className);
        out_.WriteShortString(name);

        bool childSeen = false;
        while (true) {
            const Token& t = Peek();
            if (IsWord(t, "end")) {
                Next();
                break;
            }
            if (t.kind == TokenKind::End) throw Error(t, "missing 'end' of object " + name);
            if (IsObjectStart(t)) {
                if (!childSeen) out_.WriteEndMark();
                childSeen = true;
                ParseObject(depth + 1);
                continue;
            }
            if (childSeen) throw Error(t, "property after a child object");
            ParseProperty(depth);
        }
        if (!childSeen) out_.WriteEndMark();
        out_.WriteEndMark();
    }

    void ParseProperty(int depth) {
        const Token& at = Peek();
        std::string name = ParseName("a property name");
        if (name.empty()) throw Error(at, "empty property name");
        Expect('=');
        out_.WriteShortString(name);
        ParseValue(depth);
    }

    static bool ParseInt(const std::string& text, std::int64_t& value) {
        auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        return r.ec == std::errc() && r.ptr == text.data() + text.size();
    }

    // An integer token or intN(n); reports the tag it asks for.
    std::int64_t ParseIntegerValue(ValueType& type) {
        const Token& t = Next();
        std::int64_t value = 0;
        if (t.kind == TokenKind::Integer) {
            if (!ParseInt(t.text, value)) throw Error(t, "integer out of range");
            type = ChooseIntegerType(value);
            return value;
        }
        if (t.kind == TokenKind::Ident && t.callFollows) {
            static const std::pair<const char*, ValueType> kSized[] = {
                {"int8", ValueType::vaInt8}, {"int16", ValueType::vaInt16},
                {"int32", ValueType::vaInt32}, {"int64", ValueType::vaInt64}};
            for (auto& [fn, tag] : kSized)
                if (t.text == fn) {
                    Expect('(');
                    const Token& n = Next();
                    if (n.kind != TokenKind::Integer || !ParseInt(n.text, value)) throw Error(n, "expected an integer");
                    if (tag != ValueType::vaInt64 && ChooseIntegerType(value) > tag)
                        throw Error(n, "integer does not fit " + t.text);
                    Expect(')');
                    type = tag;
                    return value;
                }
        }
        throw Error(t, "expected an integer" + Describe(t));
    }

    template <class F>
    F ParseFloatArg(const Token& t) {
        F value{};
        auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), value);
        if (r.ec != std::errc() || r.ptr != t.text.data() + t.text.size()) throw Error(t, "number out of range");
        return value;
    }

    // The argument of a float form: a number, or its stored bytes in hex.
    template <class F, std::size_t N>
    std::array<std::uint8_t, N> ParseFloatBytes() {
        Expect('(');
        const Token& t = Next();
        std::array<std::uint8_t, N> bytes{};
        if (t.kind == TokenKind::Hex) {
            if (t.text.size() != N) throw Error(t, "expected " + std::to_string(N) + " bytes");
            std::memcpy(bytes.data(), t.text.data(), N);
        } else if (t.kind == TokenKind::Integer || t.kind == TokenKind::Float) {
            F value = ParseFloatArg<F>(t);
            if constexpr (N == 10) {
                bytes = DoubleToExtended(static_cast<double>(value));
            } else {
                auto raw = std::bit_cast<std::array<std::uint8_t, sizeof(F)>>(value);
                std::memcpy(bytes.data(), raw.data(), N);
            }
        } else {
            throw Error(t, "expected a number or {hex bytes}" + Describe(t));
        }
        Expect(')');
        return bytes;
    }

    std::int64_t ParseCurrency() {
        Expect('(');
        const Token& t = Next();
        if (t.kind != TokenKind::Integer && t.kind != TokenKind::Float) throw Error(t, "expected a number");
        std::string digits = t.text;
        bool negative = !digits.empty() && digits[0] == '-';
        if (negative) digits.erase(0, 1);
        std::size_t dot = digits.find('.');
        std::string whole = digits.substr(0, dot);
        std::string fraction = dot == std::string::npos ? "" : digits.substr(dot + 1);
        if (fraction.size() > 4 || whole.find_first_of("eE") != std::string::npos ||
            fraction.find_first_of("eE") != std::string::npos)
            throw Error(t, "currency takes at most four decimals");
        fraction.resize(4, '0');
        std::uint64_t magnitude = 0;
        for (char c : whole + fraction) {
            if (magnitude > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) throw Error(t, "currency out of range");
            magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        }
        std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
        if (magnitude > limit) throw Error(t, "currency out of range");
        Expect(')');
        return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    }

    std::string ParseStringArg() {
        Expect('(');
        const Token& t = Next();
        if (t.kind != TokenKind::String) throw Error(t, "expected a string" + Describe(t));
        Expect(')');
        return t.text;
    }

    void ParseValue(int depth) {
        if (depth > kMaxNestingDepth) throw Error(Peek(), "values nested too deeply");
        const Token& t = Peek();
        try {
            switch (t.kind) {
            case TokenKind::Integer: {
                ValueType type;
                std::int64_t v = ParseIntegerValue(type);
                out_.WriteIntegerAs(type, v);
                return;
            }
            case TokenKind::Float: Next(); out_.WriteFloat(ParseFloatArg<double>(t)); return;
            case TokenKind::String: Next(); out_.WriteString(t.text); return;
            case TokenKind::Hex:
                Next();
                out_.WriteBinary({reinterpret_cast<const std::uint8_t*>(t.text.data()), t.text.size()});
                return;
            case TokenKind::Punct: ParseCompound(depth); return;
            case TokenKind::Ident: ParseWordValue(); return;
            case TokenKind::End: throw Error(t, "expected a value at the end of the text");
            }
        } catch (const EFormTextError&) {
            throw;
        } catch (const Exception& e) {
            throw Error(t, e.Message());
        }
    }

    void ParseWordValue() {
        const Token& t = Next();
        if (!t.callFollows) {
            if (SameText(t.text, "true")) return out_.WriteBoolean(true);
            if (SameText(t.text, "false")) return out_.WriteBoolean(false);
            if (SameText(t.text, "nil")) return out_.WriteNil();
            if (SameText(t.text, "null")) return out_.WriteNull();
            if (IsKeyword(t.text, kObjectKeywords)) throw Error(t, "expected a value before '" + t.text + "'");
            if (t.text.size() > 255) throw Error(t, "identifier longer than 255 bytes");
            return out_.WriteIdent(t.text);
        }
        const std::string& fn = t.text;
        if (fn == "int8" || fn == "int16" || fn == "int32" || fn == "int64") {
            --index_;
            ValueType type;
            std::int64_t v = ParseIntegerValue(type);
            return out_.WriteIntegerAs(type, v);
        }
        if (fn == "extended") return out_.WriteExtendedBytes(ParseFloatBytes<double, 10>());
        if (fn == "single") {
            out_.WriteValueType(ValueType::vaSingle);
            return out_.WriteBytes(ParseFloatBytes<float, 4>());
        }
        if (fn == "double" || fn == "date") {
            out_.WriteValueType(fn == "double" ? ValueType::vaDouble : ValueType::vaDate);
            return out_.WriteBytes(ParseFloatBytes<double, 8>());
        }
        if (fn == "currency") return out_.WriteCurrency(ParseCurrency());
        if (fn == "ident") {
            Expect('(');
            const Token& n = Next();
            if (n.kind != TokenKind::Ident && n.kind != TokenKind::String) throw Error(n, "expected a name");
            Expect(')');
            return out_.WriteIdent(n.text);
        }
        if (fn == "string") return out_.WriteStringAs(ValueType::vaString, ParseStringArg());
        if (fn == "lstring") return out_.WriteStringAs(ValueType::vaLString, ParseStringArg());
        if (fn == "utf8string") return out_.WriteStringAs(ValueType::vaUTF8String, ParseStringArg());
        if (fn == "wstring") return out_.WriteStringAs(ValueType::vaWString, ParseStringArg());
        throw Error(t, "unknown value form " + fn + "()");
    }

    void ParseCompound(int depth) {
        const Token& t = Next();
        switch (t.text[0]) {
        case '(':
            out_.WriteListBegin();
            while (!IsPunct(Peek(), ')')) {
                // vaNull is the list's own end mark, so it cannot be an element.
                if (Peek().kind == TokenKind::Ident && !Peek().callFollows && SameText(Peek().text, "null"))
                    throw Error(Peek(), "null cannot be a list element");
                ParseValue(depth + 1);
                if (IsPunct(Peek(), ',')) Next();
            }
            Next();
            out_.WriteEndMark();
            return;
        case '[':
            out_.WriteValueType(ValueType::vaSet);
            while (!IsPunct(Peek(), ']')) {
                const Token& at = Peek();
                std::string element = ParseName("a set element");
                if (element.empty()) throw Error(at, "empty set element");
                out_.WriteShortString(element);
                if (IsPunct(Peek(), ',')) Next();
            }
            Next();
            out_.WriteEndMark();
            return;
        case '<':
            out_.WriteCollectionBegin();
            while (!IsPunct(Peek(), '>')) {
                const Token& it = Next();
                if (!IsWord(it, "item")) throw Error(it, "expected 'item' or '>'" + Describe(it));
                if (Peek().kind == TokenKind::Integer ||
                    (Peek().kind == TokenKind::Ident && Peek().callFollows && Peek().text.starts_with("int"))) {
                    const Token& at = Peek();
                    ValueType type;
                    std::int64_t index = ParseIntegerValue(type);
                    if (type == ValueType::vaInt64) throw Error(at, "item index needs an 8, 16 or 32-bit integer");
                    out_.WriteIntegerAs(type, index);
                }
                out_.WriteListBegin();
                while (!IsWord(Peek(), "end")) {
                    if (Peek().kind == TokenKind::End) throw Error(Peek(), "missing 'end' of a collection item");
                    ParseProperty(depth + 1);
                }
                Next();
                out_.WriteEndMark();
            }
            Next();
            out_.WriteEndMark();
            return;
        default: throw Error(t, "expected a value" + Describe(t));
        }
    }

    std::vector<Token> tokens_;
    std::size_t index_ = 0;
    FormStreamWriter out_;
};

// ---------------------------------------------------------------- printer

bool IsPlainIdent(std::string_view s) {
    if (s.empty() || !IsIdentStart(s[0])) return false;
    for (char c : s)
        if (!IsIdentChar(c)) return false;
    return true;
}

std::string Hex(std::span<const std::uint8_t> bytes, const std::string& indent) {
    static const char* digits = "0123456789ABCDEF";
    std::string out = "{";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += (i % 32 == 0) ? "\n" + indent + "  " : " ";
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out + "}";
}

// Quotes bytes so that the lexer gives them back exactly.
std::string Quote(std::string_view s) {
    std::string out = "\"";
    std::size_t i = 0;
    auto hex = [](unsigned v, int width) {
        static const char* digits = "0123456789ABCDEF";
        std::string h;
        for (int k = width - 1; k >= 0; --k) h += digits[(v >> (4 * k)) & 15];
        return h;
    };
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            switch (b) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20 || b == 0x7F)
                    out += "\\u" + hex(b, 4);
                else
                    out += static_cast<char>(b);
            }
            continue;
        }
        // Multi-byte: a well-formed sequence stays literal, a surrogate kept
        // from UTF-16 becomes \u, anything else is written byte by byte.
        std::size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        std::string_view seq = s.substr(i, length);
        if (seq.size() == length && length > 1 && IsValidUtf8(seq)) {
            out += seq;
            i += length;
        } else if (seq.size() == 3 && b == 0xED &&
                   (static_cast<unsigned char>(seq[1]) & 0xE0) == 0xA0 &&
                   (static_cast<unsigned char>(seq[2]) & 0xC0) == 0x80) {
            unsigned unit = 0xD000 | ((static_cast<unsigned char>(seq[1]) & 0x3F) << 6) |
                            (static_cast<unsigned char>(seq[2]) & 0x3F);
            out += "\\u" + hex(unit, 4);
            i += 3;
        } else {
            out += "\\x" + hex(b, 2);
            ++i;
        }
    }
    return out + "\"";
}

std::string Name(std::string_view s) {
    if (IsPlainIdent(s) && !IsKeyword(s, kObjectKeywords) && s != "prefix") return std::string(s);
    return Quote(s);
}

template <class F>
std::string FormatNumber(F value, bool forceFloat) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, r.ptr);
    if (forceFloat && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

class Printer {
public:
    explicit Printer(std::span<const std::uint8_t> data) : in_(data) {}

    std::string Print() {
        try {
            in_.ReadSignature();
            PrintObject("", 0);
        } catch (EReadError& e) {
            e.SetMessage("at byte " + std::to_string(in_.Position()) + ": " + e.Message());
            throw;
        }
        if (!in_.AtEnd()) out_ += "# " + std::to_string(in_.Size() - in_.Position()) + " bytes after the description\n";
        return std::move(out_);
    }

private:
    void PrintObject(const std::string& indent, int depth) {
        if (depth > kMaxNestingDepth) throw EReadError("Invalid stream format");
        ObjectPrefix prefix = in_.ReadPrefix();
        std::string className = in_.ReadShortString();
        std::string name = in_.ReadShortString();
        std::string header;
        if (prefix.flags & ffInherited) header += "inherited ";
        if (prefix.flags & ffInline) header += "inline ";
        if (header.empty()) header = "object ";
        header += Name(name) + ": " + Name(className);
        if (prefix.flags & ffChildPos) header += " [" + Integer(prefix.childPosType, prefix.childPos) + "]";
        if (prefix.present && (prefix.flags == 0 || (prefix.flags & 8)))
            header += " prefix(" + std::to_string(prefix.flags & 8) + ")";
        out_ += indent + header + "\n";
        while (!in_.EndOfList()) {
            std::string property = in_.ReadShortString();
            out_ += indent + "  " + Name(property) + " = " + Value(indent + "  ", depth) + "\n";
        }
        while (!in_.EndOfList()) PrintObject(indent + "  ", depth + 1);
        out_ += indent + "end\n";
    }

    static std::string Integer(ValueType type, std::int64_t value) {
        if (ChooseIntegerType(value) == type) return std::to_string(value);
        const char* fn = type == ValueType::vaInt8 ? "int8" : type == ValueType::vaInt16 ? "int16"
                         : type == ValueType::vaInt32 ? "int32" : "int64";
        return std::string(fn) + "(" + std::to_string(value) + ")";
    }

    std::string Value(const std::string& indent, int depth) {
        if (depth > kMaxNestingDepth) throw EReadError("Invalid stream format");
        ValueType type = in_.ReadValueType();
        auto raw = [](std::span<const std::uint8_t> b) {
            return std::string(reinterpret_cast<const char*>(b.data()), b.size());
        };
        switch (type) {
        case ValueType::vaNull: return "null";
        case ValueType::vaFalse: return "False";
        case ValueType::vaTrue: return "True";
        case ValueType::vaNil: return "nil";
        case ValueType::vaInt8:
        case ValueType::vaInt16:
        case ValueType::vaInt32:
        case ValueType::vaInt64: return Integer(type, in_.ReadIntegerPayload(type));
        case ValueType::vaExtended: {
            auto bytes = in_.ReadExtendedPayload();
            double d = ExtendedToDouble(bytes);
            if (std::isfinite(d) && DoubleToExtended(d) == bytes) return FormatNumber(d, true);
            return "extended(" + Hex(bytes, indent) + ")";
        }
        case ValueType::vaSingle: {
            auto b = in_.ReadBytes(4);
            float f;
            std::memcpy(&f, b.data(), 4);
            return "single(" + (std::isfinite(f) ? FormatNumber(f, false) : Hex(b, indent)) + ")";
        }
        case ValueType::vaDouble:
        case ValueType::vaDate: {
            auto b = in_.ReadBytes(8);
            double d;
            std::memcpy(&d, b.data(), 8);
            std::string fn = type == ValueType::vaDouble ? "double(" : "date(";
            return fn + (std::isfinite(d) ? FormatNumber(d, false) : Hex(b, indent)) + ")";
        }
        case ValueType::vaCurrency: {
            auto v = static_cast<std::int64_t>(in_.ReadUInt64());
            std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
            std::string fraction = std::to_string(magnitude % 10000);
            fraction.insert(0, 4 - fraction.size(), '0');
            return std::string("currency(") + (v < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." +
                   fraction + ")";
        }
        case ValueType::vaIdent: {
            std::string name = in_.ReadShortString();
            if (IsPlainIdent(name) && !IsKeyword(name, kValueKeywords) && !IsKeyword(name, kObjectKeywords))
                return name;
            return "ident(" + (IsPlainIdent(name) ? name : Quote(name)) + ")";
        }
        case ValueType::vaString:
        case ValueType::vaLString: {
            std::string bytes = type == ValueType::vaString ? raw(in_.ReadBytes(in_.ReadByte()))
                                                             : raw(in_.ReadBytes(in_.ReadUInt32()));
            std::string text = Cp1252ToUtf8(bytes);
            if (ChooseStringType(text) == type) return Quote(text);
            return std::string(type == ValueType::vaString ? "string(" : "lstring(") + Quote(text) + ")";
        }
        case ValueType::vaUTF8String: {
            std::string bytes = raw(in_.ReadBytes(in_.ReadUInt32()));
            if (IsValidUtf8(bytes) && ChooseStringType(bytes) == type) return Quote(bytes);
            return "utf8string(" + Quote(bytes) + ")";
        }
        case ValueType::vaWString: {
            std::string text = Utf16ToUtf8(in_.ReadWideStringPayload(), true);
            if (IsValidUtf8(text) && ChooseStringType(text) == type) return Quote(text);
            return "wstring(" + Quote(text) + ")";
        }
        case ValueType::vaBinary: return Hex(in_.ReadBytes(in_.ReadUInt32()), indent);
        case ValueType::vaSet: {
            std::string out = "[";
            for (std::string e = in_.ReadShortString(); !e.empty(); e = in_.ReadShortString())
                out += (out.size() > 1 ? ", " : "") + Name(e);
            return out + "]";
        }
        case ValueType::vaList: {
            std::string out = "(";
            while (!in_.EndOfList()) out += (out.size() > 1 ? ", " : "") + Value(indent, depth + 1);
            return out + ")";
        }
        case ValueType::vaCollection: {
            std::string out = "<";
            while (!in_.EndOfList()) {
                ValueType t = in_.ReadValueType();
                out += "\n" + indent + "  item";
                if (t == ValueType::vaInt8 || t == ValueType::vaInt16 || t == ValueType::vaInt32) {
                    out += " " + Integer(t, in_.ReadIntegerPayload(t));
                    t = in_.ReadValueType();
                }
                if (t != ValueType::vaList) throw EReadError("Invalid property value");
                while (!in_.EndOfList()) {
                    std::string property = in_.ReadShortString();
                    out += "\n" + indent + "    " + Name(property) + " = " + Value(indent + "    ", depth + 1);
                }
                out += "\n" + indent + "  end";
            }
            return out + (out.size() > 1 ? "\n" + indent + ">" : ">");
        }
        }
        throw EReadError("Invalid property value");
    }

    FormStreamReader in_;
    std::string out_;
};

}  // namespace

std::vector<std::uint8_t> FormTextToBinary(std::string_view text) {
    Lexer lexer(text);
    Parser parser(lexer.Tokenize());
    return parser.Parse();
}

std::string FormBinaryToText(std::span<const std::uint8_t> data) {
    Printer printer(data);
    return printer.Print();
}

}  // namespace velmora
