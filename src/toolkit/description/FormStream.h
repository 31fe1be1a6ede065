// The binary form description encoding: value tags, a bounds-checked reader
// over a byte span and a writer that makes the encoding choices of the
// program's own descriptions.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class ValueType : std::uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,
    vaIdent = 7,
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,
    vaSet = 11,
    vaLString = 12,
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,
    vaDate = 17,
    vaWString = 18,
    vaInt64 = 19,
    vaUTF8String = 20,
    vaDouble = 21,
};
inline constexpr std::uint8_t kLastValueType = 21;

// Flags of the optional prefix byte of an object record (0xF0 | flags).
enum FilerFlag : unsigned {
    ffInherited = 1,
    ffChildPos = 2,
    ffInline = 4,
};

inline constexpr std::array<std::uint8_t, 4> kFormSignature{'T', 'P', 'F', '0'};

// Nested lists, sets, collections and object records deeper than this are
// refused, so a hostile description cannot exhaust the stack.
inline constexpr int kMaxNestingDepth = 64;

bool IsIntegerValueType(ValueType type);
bool IsStringValueType(ValueType type);

// 80-bit extended <-> double. Every double converts exactly; an extended
// value outside the double range becomes an infinity or zero.
std::array<std::uint8_t, 10> DoubleToExtended(double value);
double ExtendedToDouble(const std::array<std::uint8_t, 10>& bytes);

// Text conversions. UTF-8 is the toolkit's string form.
std::string Cp1252ToUtf8(std::string_view bytes);
// The 8-bit strings a window reads from its description: the system's ANSI
// code page where there is one (Windows), Windows-1252 elsewhere.
std::string AnsiToUtf8(std::string_view bytes);
// Characters without a code in the code page make the conversion fail (returns false).
bool Utf8ToCp1252(std::string_view utf8, std::string& out);
// Lone surrogates become U+FFFD unless keepSurrogates is set, in which case
// they are kept as three-byte sequences so a text form can preserve them.
std::string Utf16ToUtf8(std::u16string_view units, bool keepSurrogates = false);
// Accepts the three-byte surrogate sequences of Utf16ToUtf8; returns false on
// malformed input.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& out);
// Strict check: well-formed UTF-8 without surrogate code points.
bool IsValidUtf8(std::string_view bytes);
// Replaces every malformed sequence by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);

// The value tag the writer picks for a string (vaString, vaLString,
// vaUTF8String or vaWString).
ValueType ChooseStringType(std::string_view utf8);
// The smallest integer tag that holds the value.
ValueType ChooseIntegerType(std::int64_t value);

struct ObjectPrefix {
    bool present = false;
    unsigned flags = 0;      // low four bits of the prefix byte
    std::int64_t childPos = 0;
    ValueType childPosType = ValueType::vaInt8;
};

// Reads a description from a byte span. Running past the end raises
// EReadError("Stream read error"); nothing is read beyond the span.
class FormStreamReader {
public:
    explicit FormStreamReader(std::span<const std::uint8_t> data) : data_(data) {}
    // The reader only borrows the bytes; a temporary would dangle.
    explicit FormStreamReader(std::vector<std::uint8_t>&&) = delete;

    std::size_t Position() const { return pos_; }
    std::size_t Size() const { return data_.size(); }
    bool AtEnd() const { return pos_ >= data_.size(); }

    std::uint8_t ReadByte();
    std::uint8_t PeekByte() const;
    std::span<const std::uint8_t> ReadBytes(std::size_t count);
    std::uint16_t ReadUInt16();
    std::uint32_t ReadUInt32();
    std::uint64_t ReadUInt64();

    // Fails with "Invalid stream format" when the signature is missing.
    void ReadSignature();
    ObjectPrefix ReadPrefix();
    // Raw bytes of a short string.
    std::string ReadShortString();

    // A tag byte; bytes above the last tag fail with "Invalid property value".
    ValueType ReadValueType();
    ValueType PeekValueType() const;
    // Consumes the end mark when it is next.
    bool EndOfList();

    // Payload readers: the tag has been read already.
    std::int64_t ReadIntegerPayload(ValueType type);
    std::array<std::uint8_t, 10> ReadExtendedPayload();
    // A string payload as UTF-8 (invalid sequences replaced).
    std::string ReadStringPayload(ValueType type);
    // Raw code units of a vaWString payload.
    std::u16string ReadWideStringPayload();

    // Consumes one value exactly, whatever its tag.
    void SkipValue();
    // Consumes property entries up to and including their end mark.
    void SkipProperties();
    // Consumes an object record with its children.
    void SkipObject();

private:
    void Need(std::size_t count) const;
    void SkipValue(int depth);
    void SkipObject(int depth);

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Writes a description. Strings are UTF-8; the choice of tags follows the
// rules of the program's own descriptions unless a specific tag is asked for.
class FormStreamWriter {
public:
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

    void WriteByte(std::uint8_t b) { bytes_.push_back(b); }
    void WriteBytes(std::span<const std::uint8_t> bytes);
    void WriteUInt16(std::uint16_t v);
    void WriteUInt32(std::uint32_t v);
    void WriteUInt64(std::uint64_t v);

    void WriteSignature();
    // Writes a prefix byte only when flags are set (or forced via present).
    void WritePrefix(const ObjectPrefix& prefix);
    void WriteShortString(std::string_view bytes);
    void WriteValueType(ValueType type) { WriteByte(static_cast<std::uint8_t>(type)); }
    void WriteEndMark() { WriteByte(0); }

    void WriteInteger(std::int64_t value);
    void WriteIntegerAs(ValueType type, std::int64_t value);
    void WriteFloat(double value);  // vaExtended
    void WriteExtendedBytes(const std::array<std::uint8_t, 10>& bytes);
    void WriteSingle(float value);
    void WriteDouble(double value);
    void WriteDate(double value);
    void WriteCurrency(std::int64_t tenThousandths);
    void WriteBoolean(bool value);
    void WriteIdent(std::string_view name);
    void WriteNil() { WriteValueType(ValueType::vaNil); }
    void WriteNull() { WriteValueType(ValueType::vaNull); }
    void WriteString(std::string_view utf8);
    // A specific string tag; vaString/vaLString take the text as UTF-8 and
    // store it in the ANSI code page. Fails when the text does not fit the tag.
    void WriteStringAs(ValueType type, std::string_view utf8);
    void WriteWideString(std::u16string_view units);
    void WriteBinary(std::span<const std::uint8_t> bytes);
    void WriteSet(const std::vector<std::string>& elements);
    void WriteListBegin() { WriteValueType(ValueType::vaList); }
    void WriteCollectionBegin() { WriteValueType(ValueType::vaCollection); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace velmora
