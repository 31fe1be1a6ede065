#include "FormStream.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/Exceptions.h"
#include "platform/AnsiCodePage.h"

namespace velmora {

namespace {

const char* const kStreamReadError = "Stream read error";
const char* const kInvalidValue = "Invalid property value";
const char* const kInvalidFormat = "Invalid stream format";

// Code points of 0x80..0x9F in Windows-1252; the five unassigned bytes map to
// the C1 control of the same number, so every byte survives a round trip.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point at i and advances; returns -1 (advancing by one
// byte) on a malformed sequence. Surrogate code points are malformed unless
// allowed.
long DecodeUtf8(std::string_view s, std::size_t& i, bool allowSurrogates) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return -1;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return -1;
    }
    for (int k = 1; k <= extra; ++k) {
        unsigned char b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (!allowSurrogates && cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return static_cast<long>(cp);
}

[[noreturn]] void ThrowReadError() { throw EReadError(kStreamReadError); }

}  // namespace

bool IsIntegerValueType(ValueType type) {
    return type == ValueType::vaInt8 || type == ValueType::vaInt16 || type == ValueType::vaInt32 ||
           type == ValueType::vaInt64;
}

bool IsStringValueType(ValueType type) {
    return type == ValueType::vaString || type == ValueType::vaLString || type == ValueType::vaWString ||
           type == ValueType::vaUTF8String;
}

std::array<std::uint8_t, 10> DoubleToExtended(double value) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    unsigned sign = static_cast<unsigned>(bits >> 63);
    unsigned exponent = static_cast<unsigned>((bits >> 52) & 0x7FF);
    std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    std::uint64_t mantissa = 0;
    unsigned extExponent = 0;
    if (exponent == 0x7FF) {
        extExponent = 0x7FFF;
        mantissa = (std::uint64_t{1} << 63) | (fraction << 11);
        if (fraction != 0) mantissa |= std::uint64_t{1} << 62;  // stays a quiet NaN
    } else if (exponent != 0) {
        extExponent = exponent - 1023 + 16383;
        mantissa = (std::uint64_t{1} << 63) | (fraction << 11);
    } else if (fraction != 0) {
        // A subnormal double is a normal extended value.
        int shift = std::countl_zero(fraction);
        mantissa = fraction << shift;
        extExponent = static_cast<unsigned>(16383 + 63 - 1074 - shift);
    }
    std::array<std::uint8_t, 10> out{};
    for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(mantissa >> (8 * i));
    unsigned top = (sign << 15) | extExponent;
    out[8] = static_cast<std::uint8_t>(top & 0xFF);
    out[9] = static_cast<std::uint8_t>(top >> 8);
    return out;
}

double ExtendedToDouble(const std::array<std::uint8_t, 10>& bytes) {
    std::uint64_t mantissa = 0;
    for (int i = 7; i >= 0; --i) mantissa = (mantissa << 8) | bytes[static_cast<std::size_t>(i)];
    unsigned top = static_cast<unsigned>(bytes[8]) | (static_cast<unsigned>(bytes[9]) << 8);
    bool negative = (top & 0x8000) != 0;
    int exponent = static_cast<int>(top & 0x7FFF);
    double result;
    if (exponent == 0x7FFF) {
        result = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                      : std::numeric_limits<double>::quiet_NaN();
    } else if (mantissa == 0) {
        result = 0.0;
    } else {
        int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        // Split the significand so that converting each half is exact.
        double high = static_cast<double>(mantissa >> 32);
        double low = static_cast<double>(mantissa & 0xFFFFFFFFu);
        result = std::ldexp(high, e + 32) + std::ldexp(low, e);
    }
    return negative ? -result : result;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else if (b < 0xA0)
            AppendUtf8(out, kCp1252High[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
    if (auto system = platform::SystemAnsiToUtf8(bytes)) return *system;
    return Cp1252ToUtf8(bytes);
}

bool Utf8ToCp1252(std::string_view utf8, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        long cp = DecodeUtf8(utf8, i, false);
        if (cp < 0) return false;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        bool found = false;
        for (int k = 0; k < 32; ++k)
            if (kCp1252High[k] == cp) {
                out += static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        if (!found) return false;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view units, bool keepSurrogates) {
    std::string out;
    out.reserve(units.size() * 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, keepSurrogates ? u : 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

bool Utf8ToUtf16(std::string_view utf8, std::u16string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        long cp = DecodeUtf8(utf8, i, true);
        if (cp < 0) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return true;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size())
        if (DecodeUtf8(bytes, i, false) < 0) return false;
    return true;
}

std::string SanitizeUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        long cp = DecodeUtf8(bytes, i, false);
        AppendUtf8(out, cp < 0 ? 0xFFFD : static_cast<char32_t>(cp));
    }
    return out;
}

ValueType ChooseStringType(std::string_view utf8) {
    bool ascii = true;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    std::u16string units;
    if (!Utf8ToUtf16(utf8, units)) return ValueType::vaUTF8String;  // cannot be stored as UTF-16
    bool utf8Shorter = utf8.size() < units.size() * 2;
    if (!utf8Shorter) return ValueType::vaWString;
    if (!ascii) return ValueType::vaUTF8String;
    return utf8.size() <= 255 ? ValueType::vaString : ValueType::vaLString;
}

ValueType ChooseIntegerType(std::int64_t value) {
    if (value >= -128 && value <= 127) return ValueType::vaInt8;
    if (value >= -32768 && value <= 32767) return ValueType::vaInt16;
    if (value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max())
        return ValueType::vaInt32;
    return ValueType::vaInt64;
}

// ---------------------------------------------------------------- reader

void FormStreamReader::Need(std::size_t count) const {
    if (count > data_.size() - pos_) ThrowReadError();
}

std::uint8_t FormStreamReader::ReadByte() {
    Need(1);
    return data_[pos_++];
}

std::uint8_t FormStreamReader::PeekByte() const {
    Need(1);
    return data_[pos_];
}

std::span<const std::uint8_t> FormStreamReader::ReadBytes(std::size_t count) {
    Need(count);
    auto out = data_.subspan(pos_, count);
    pos_ += count;
    return out;
}

std::uint16_t FormStreamReader::ReadUInt16() {
    auto b = ReadBytes(2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t FormStreamReader::ReadUInt32() {
    auto b = ReadBytes(4);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | b[static_cast<std::size_t>(i)];
    return v;
}

std::uint64_t FormStreamReader::ReadUInt64() {
    auto b = ReadBytes(8);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[static_cast<std::size_t>(i)];
    return v;
}

void FormStreamReader::ReadSignature() {
    if (data_.size() - pos_ < kFormSignature.size() ||
        std::memcmp(data_.data() + pos_, kFormSignature.data(), kFormSignature.size()) != 0)
        throw EReadError(kInvalidFormat);
    pos_ += kFormSignature.size();
}

ObjectPrefix FormStreamReader::ReadPrefix() {
    ObjectPrefix prefix;
    if ((PeekByte() & 0xF0) != 0xF0) return prefix;
    prefix.present = true;
    prefix.flags = ReadByte() & 0x0F;
    if (prefix.flags & ffChildPos) {
        ValueType type = ReadValueType();
        if (type != ValueType::vaInt8 && type != ValueType::vaInt16 && type != ValueType::vaInt32)
            throw EReadError(kInvalidValue);
        prefix.childPosType = type;
        prefix.childPos = ReadIntegerPayload(type);
    }
    return prefix;
}

std::string FormStreamReader::ReadShortString() {
    std::uint8_t length = ReadByte();
    auto bytes = ReadBytes(length);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

ValueType FormStreamReader::ReadValueType() {
    std::uint8_t b = ReadByte();
    if (b > kLastValueType) throw EReadError(kInvalidValue);
    return static_cast<ValueType>(b);
}

ValueType FormStreamReader::PeekValueType() const {
    std::uint8_t b = PeekByte();
    if (b > kLastValueType) throw EReadError(kInvalidValue);
    return static_cast<ValueType>(b);
}

bool FormStreamReader::EndOfList() {
    if (PeekByte() != 0) return false;
    ++pos_;
    return true;
}

std::int64_t FormStreamReader::ReadIntegerPayload(ValueType type) {
    switch (type) {
    case ValueType::vaInt8: return static_cast<std::int8_t>(ReadByte());
    case ValueType::vaInt16: return static_cast<std::int16_t>(ReadUInt16());
    case ValueType::vaInt32: return static_cast<std::int32_t>(ReadUInt32());
    case ValueType::vaInt64: return static_cast<std::int64_t>(ReadUInt64());
    default: throw EReadError(kInvalidValue);
    }
}

std::array<std::uint8_t, 10> FormStreamReader::ReadExtendedPayload() {
    auto b = ReadBytes(10);
    std::array<std::uint8_t, 10> out{};
    std::memcpy(out.data(), b.data(), 10);
    return out;
}

std::u16string FormStreamReader::ReadWideStringPayload() {
    std::uint32_t count = ReadUInt32();
    // Checked before allocating, so a huge count cannot reserve memory.
    if (count > (data_.size() - pos_) / 2) ThrowReadError();
    auto b = ReadBytes(std::size_t{count} * 2);
    std::u16string units(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        units[i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    return units;
}

std::string FormStreamReader::ReadStringPayload(ValueType type) {
    auto text = [](std::span<const std::uint8_t> b) {
        return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    };
    switch (type) {
    case ValueType::vaString: {
        std::uint8_t length = ReadByte();
        return AnsiToUtf8(text(ReadBytes(length)));
    }
    case ValueType::vaLString: return AnsiToUtf8(text(ReadBytes(ReadUInt32())));
    case ValueType::vaUTF8String: return SanitizeUtf8(text(ReadBytes(ReadUInt32())));
    case ValueType::vaWString: return Utf16ToUtf8(ReadWideStringPayload());
    default: throw EReadError(kInvalidValue);
    }
}

void FormStreamReader::SkipValue() { SkipValue(0); }

void FormStreamReader::SkipValue(int depth) {
    if (depth > kMaxNestingDepth) throw EReadError(kInvalidFormat);
    ValueType type = ReadValueType();
    switch (type) {
    case ValueType::vaNull:
    case ValueType::vaFalse:
    case ValueType::vaTrue:
    case ValueType::vaNil: return;
    case ValueType::vaList:
        while (!EndOfList()) SkipValue(depth + 1);
        return;
    case ValueType::vaInt8: ReadBytes(1); return;
    case ValueType::vaInt16: ReadBytes(2); return;
    case ValueType::vaInt32:
    case ValueType::vaSingle: ReadBytes(4); return;
    case ValueType::vaExtended: ReadBytes(10); return;
    case ValueType::vaInt64:
    case ValueType::vaDouble:
    case ValueType::vaCurrency:
    case ValueType::vaDate: ReadBytes(8); return;
    case ValueType::vaString:
    case ValueType::vaIdent: ReadBytes(ReadByte()); return;
    case ValueType::vaBinary:
    case ValueType::vaLString:
    case ValueType::vaUTF8String: ReadBytes(ReadUInt32()); return;
    case ValueType::vaWString: {
        std::uint32_t count = ReadUInt32();
        if (count > (data_.size() - pos_) / 2) ThrowReadError();
        ReadBytes(std::size_t{count} * 2);
        return;
    }
    case ValueType::vaSet:
        while (true) {
            std::uint8_t length = ReadByte();
            if (length == 0) return;
            ReadBytes(length);
        }
    case ValueType::vaCollection:
        while (!EndOfList()) {
            ValueType itemStart = ReadValueType();
            if (itemStart == ValueType::vaInt8 || itemStart == ValueType::vaInt16 || itemStart == ValueType::vaInt32) {
                ReadIntegerPayload(itemStart);
                itemStart = ReadValueType();
            }
            if (itemStart != ValueType::vaList) throw EReadError(kInvalidValue);
            while (!EndOfList()) {
                ReadShortString();
                SkipValue(depth + 1);
            }
        }
        return;
    }
    throw EReadError(kInvalidValue);
}

void FormStreamReader::SkipProperties() {
    while (!EndOfList()) {
        ReadShortString();
        SkipValue(0);
    }
}

void FormStreamReader::SkipObject() { SkipObject(0); }

void FormStreamReader::SkipObject(int depth) {
    if (depth > kMaxNestingDepth) throw EReadError(kInvalidFormat);
    ReadPrefix();
    ReadShortString();
    ReadShortString();
    SkipProperties();
    while (!EndOfList()) SkipObject(depth + 1);
}

// ---------------------------------------------------------------- writer

void FormStreamWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void FormStreamWriter::WriteUInt16(std::uint16_t v) {
    for (int i = 0; i < 2; ++i) WriteByte(static_cast<std::uint8_t>(v >> (8 * i)));
}

void FormStreamWriter::WriteUInt32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) WriteByte(static_cast<std::uint8_t>(v >> (8 * i)));
}

void FormStreamWriter::WriteUInt64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) WriteByte(static_cast<std::uint8_t>(v >> (8 * i)));
}

void FormStreamWriter::WriteSignature() { WriteBytes(kFormSignature); }

void FormStreamWriter::WritePrefix(const ObjectPrefix& prefix) {
    if (!prefix.present && prefix.flags == 0) return;
    WriteByte(static_cast<std::uint8_t>(0xF0 | (prefix.flags & 0x0F)));
    if (prefix.flags & ffChildPos) WriteIntegerAs(prefix.childPosType, prefix.childPos);
}

void FormStreamWriter::WriteShortString(std::string_view bytes) {
    if (bytes.size() > 255) throw EFilerError("Name longer than 255 bytes: " + std::string(bytes.substr(0, 32)) + "...");
    WriteByte(static_cast<std::uint8_t>(bytes.size()));
    WriteBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

void FormStreamWriter::WriteInteger(std::int64_t value) { WriteIntegerAs(ChooseIntegerType(value), value); }

void FormStreamWriter::WriteIntegerAs(ValueType type, std::int64_t value) {
    if (ChooseIntegerType(value) > type && type != ValueType::vaInt64)
        throw EFilerError("Integer " + std::to_string(value) + " does not fit the chosen size");
    WriteValueType(type);
    switch (type) {
    case ValueType::vaInt8: WriteByte(static_cast<std::uint8_t>(value)); break;
    case ValueType::vaInt16: WriteUInt16(static_cast<std::uint16_t>(value)); break;
    case ValueType::vaInt32: WriteUInt32(static_cast<std::uint32_t>(value)); break;
    case ValueType::vaInt64: WriteUInt64(static_cast<std::uint64_t>(value)); break;
    default: throw EFilerError("Not an integer value type");
    }
}

void FormStreamWriter::WriteFloat(double value) { WriteExtendedBytes(DoubleToExtended(value)); }

void FormStreamWriter::WriteExtendedBytes(const std::array<std::uint8_t, 10>& bytes) {
    WriteValueType(ValueType::vaExtended);
    WriteBytes(bytes);
}

void FormStreamWriter::WriteSingle(float value) {
    WriteValueType(ValueType::vaSingle);
    WriteUInt32(std::bit_cast<std::uint32_t>(value));
}

void FormStreamWriter::WriteDouble(double value) {
    WriteValueType(ValueType::vaDouble);
    WriteUInt64(std::bit_cast<std::uint64_t>(value));
}

void FormStreamWriter::WriteDate(double value) {
    WriteValueType(ValueType::vaDate);
    WriteUInt64(std::bit_cast<std::uint64_t>(value));
}

void FormStreamWriter::WriteCurrency(std::int64_t tenThousandths) {
    WriteValueType(ValueType::vaCurrency);
    WriteUInt64(static_cast<std::uint64_t>(tenThousandths));
}

void FormStreamWriter::WriteBoolean(bool value) { WriteValueType(value ? ValueType::vaTrue : ValueType::vaFalse); }

void FormStreamWriter::WriteIdent(std::string_view name) {
    WriteValueType(ValueType::vaIdent);
    WriteShortString(name);
}

void FormStreamWriter::WriteString(std::string_view utf8) { WriteStringAs(ChooseStringType(utf8), utf8); }

void FormStreamWriter::WriteStringAs(ValueType type, std::string_view utf8) {
    auto raw = [](std::string_view s) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    switch (type) {
    case ValueType::vaString:
    case ValueType::vaLString: {
        std::string ansi;
        if (!Utf8ToCp1252(utf8, ansi)) throw EFilerError("Text has characters outside the ANSI code page");
        if (type == ValueType::vaString) {
            if (ansi.size() > 255) throw EFilerError("Text longer than 255 bytes for a short string");
            WriteValueType(type);
            WriteByte(static_cast<std::uint8_t>(ansi.size()));
        } else {
            WriteValueType(type);
            WriteUInt32(static_cast<std::uint32_t>(ansi.size()));
        }
        WriteBytes(raw(ansi));
        return;
    }
    case ValueType::vaUTF8String:
        WriteValueType(type);
        WriteUInt32(static_cast<std::uint32_t>(utf8.size()));
        WriteBytes(raw(utf8));
        return;
    case ValueType::vaWString: {
        std::u16string units;
        if (!Utf8ToUtf16(utf8, units)) throw EFilerError("Text is not valid UTF-8");
        WriteWideString(units);
        return;
    }
    default: throw EFilerError("Not a string value type");
    }
}

void FormStreamWriter::WriteWideString(std::u16string_view units) {
    WriteValueType(ValueType::vaWString);
    WriteUInt32(static_cast<std::uint32_t>(units.size()));
    for (char16_t u : units) WriteUInt16(u);
}

void FormStreamWriter::WriteBinary(std::span<const std::uint8_t> bytes) {
    WriteValueType(ValueType::vaBinary);
    WriteUInt32(static_cast<std::uint32_t>(bytes.size()));
    WriteBytes(bytes);
}

void FormStreamWriter::WriteSet(const std::vector<std::string>& elements) {
    WriteValueType(ValueType::vaSet);
    for (const auto& e : elements) {
        if (e.empty()) throw EFilerError("Empty set element name");
        WriteShortString(e);
    }
    WriteEndMark();
}

}  // namespace velmora
