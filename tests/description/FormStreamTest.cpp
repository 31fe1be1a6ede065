#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "base/Exceptions.h"
#include "toolkit/description/FormStream.h"

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::array<std::uint8_t, 10> Ext(std::initializer_list<std::uint8_t> b) {
    std::array<std::uint8_t, 10> a{};
    std::copy(b.begin(), b.end(), a.begin());
    return a;
}

TEST(ExtendedFloat, KnownEncodings) {
    struct Case {
        double value;
        std::array<std::uint8_t, 10> bytes;
    } cases[] = {
        {368.0, Ext({0, 0, 0, 0, 0, 0, 0, 0xB8, 0x07, 0x40})},
        {0.0, Ext({0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {-0.0, Ext({0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80})},
        {1.0, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})},
        {-2.5, Ext({0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0})},
        {std::numeric_limits<double>::infinity(), Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DoubleToExtended(c.value), c.bytes) << c.value;
        double back = ExtendedToDouble(c.bytes);
        EXPECT_EQ(back, c.value);
        EXPECT_EQ(std::signbit(back), std::signbit(c.value)) << c.value;
    }
}

TEST(ExtendedFloat, EveryDoubleRoundTripsIncludingSubnormals) {
    const double values[] = {0.1, 1.0 / 3.0, 452.0, -1e-300, 1e300, std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::min() / 3, std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::denorm_min() * 12345};
    for (double v : values) EXPECT_EQ(ExtendedToDouble(DoubleToExtended(v)), v) << v;
    EXPECT_TRUE(std::isnan(ExtendedToDouble(DoubleToExtended(std::nan("")))));
}

TEST(ExtendedFloat, ValuesBeyondDoubleRange) {
    // Exponent 0x7FFE: far beyond double range.
    EXPECT_TRUE(std::isinf(ExtendedToDouble(Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x7F}))));
    // Smallest extended normal: underflows to zero.
    EXPECT_EQ(ExtendedToDouble(Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00})), 0.0);
    // A 64-bit significand rounds to the nearest double: 1 + 2^-63 -> 1.
    EXPECT_EQ(ExtendedToDouble(Ext({1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})), 1.0);
}

TEST(Cp1252, HighBytesDecodeAndRoundTrip) {
    EXPECT_EQ(Cp1252ToUtf8("\x80\xE9\x9F"), "\u20AC\u00E9\u0178");
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string back;
    ASSERT_TRUE(Utf8ToCp1252(Cp1252ToUtf8(all), back));
    EXPECT_EQ(back, all);
    EXPECT_FALSE(Utf8ToCp1252("\u0416", back));  // Cyrillic has no code here
}

TEST(Utf, SurrogatesAndMalformedInput) {
    std::u16string pair = u"\U0001F600";
    EXPECT_EQ(Utf16ToUtf8(pair), "\U0001F600");
    std::u16string lone(1, char16_t{0xD800});
    EXPECT_EQ(Utf16ToUtf8(lone), "\uFFFD");
    std::u16string back;
    ASSERT_TRUE(Utf8ToUtf16(Utf16ToUtf8(lone, true), back));
    EXPECT_EQ(back, lone);
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));        // overlong
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));        // truncated
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));    // surrogate
    EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\uFFFD" "b");
}

TEST(FormStreamWriter, StringTagChoice) {
    struct Case {
        std::string text;
        ValueType expected;
    } cases[] = {
        {"", ValueType::vaWString},
        {"Hello", ValueType::vaString},
        {std::string(255, 'a'), ValueType::vaString},
        {std::string(256, 'a'), ValueType::vaLString},
        {"Тальмерин", ValueType::vaWString},          // 18 bytes either way
        {"Оглавление", ValueType::vaWString},
        {"Картографические проекции", ValueType::vaUTF8String},  // the space tips it
        {"\u00E9", ValueType::vaWString},             // 2 bytes either way
        {"\u00E9a", ValueType::vaUTF8String},
        {"\u20AC", ValueType::vaWString},             // 3 bytes UTF-8 vs 2
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseStringType(c.text), c.expected) << c.text;

    FormStreamWriter w;
    w.WriteString("");
    EXPECT_EQ(w.Bytes(), (Bytes{18, 0, 0, 0, 0}));
}

TEST(FormStreamWriter, IntegerTagChoiceAndRangeCheck) {
    struct Case {
        std::int64_t value;
        Bytes bytes;
    } cases[] = {
        {0, {2, 0}},
        {-128, {2, 0x80}},
        {128, {3, 0x80, 0}},
        {480, {3, 0xE0, 0x01}},
        {-32769, {4, 0xFF, 0x7F, 0xFF, 0xFF}},
        {std::int64_t{1} << 40, {19, 0, 0, 0, 0, 0, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        FormStreamWriter w;
        w.WriteInteger(c.value);
        EXPECT_EQ(w.Bytes(), c.bytes) << c.value;
    }
    FormStreamWriter w;
    EXPECT_THROW(w.WriteIntegerAs(ValueType::vaInt8, 300), EFilerError);
    EXPECT_THROW(w.WriteShortString(std::string(256, 'x')), EFilerError);
    EXPECT_THROW(w.WriteStringAs(ValueType::vaString, "\u0416"), EFilerError);
}

// Every tag: written, then read back through the payload readers, and
// skipped exactly (a marker byte follows each value).
TEST(FormStreamReader, EveryValueDecodesAndSkipsExactly) {
    struct Case {
        const char* name;
        std::function<void(FormStreamWriter&)> write;
        std::function<void(FormStreamReader&)> check;
    };
    const Case cases[] = {
        {"null", [](auto& w) { w.WriteNull(); }, [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaNull); }},
        {"list", [](auto& w) { w.WriteListBegin(); w.WriteSingle(1); w.WriteListBegin(); w.WriteInteger(5); w.WriteEndMark(); w.WriteEndMark(); },
         [](auto& r) {
             EXPECT_EQ(r.ReadValueType(), ValueType::vaList);
             EXPECT_EQ(r.ReadValueType(), ValueType::vaSingle);
             r.ReadBytes(4);
             EXPECT_EQ(r.ReadValueType(), ValueType::vaList);
             EXPECT_EQ(r.ReadIntegerPayload(r.ReadValueType()), 5);
             EXPECT_TRUE(r.EndOfList());
             EXPECT_TRUE(r.EndOfList());
         }},
        {"int8", [](auto& w) { w.WriteInteger(-5); }, [](auto& r) { EXPECT_EQ(r.ReadIntegerPayload(r.ReadValueType()), -5); }},
        {"int16", [](auto& w) { w.WriteInteger(-300); }, [](auto& r) { EXPECT_EQ(r.ReadIntegerPayload(r.ReadValueType()), -300); }},
        {"int32", [](auto& w) { w.WriteInteger(-70000); }, [](auto& r) { EXPECT_EQ(r.ReadIntegerPayload(r.ReadValueType()), -70000); }},
        {"int64", [](auto& w) { w.WriteInteger(-(std::int64_t{1} << 40)); },
         [](auto& r) { EXPECT_EQ(r.ReadIntegerPayload(r.ReadValueType()), -(std::int64_t{1} << 40)); }},
        {"extended", [](auto& w) { w.WriteFloat(452.0); },
         [](auto& r) {
             EXPECT_EQ(r.ReadValueType(), ValueType::vaExtended);
             EXPECT_EQ(ExtendedToDouble(r.ReadExtendedPayload()), 452.0);
         }},
        {"string", [](auto& w) { w.WriteStringAs(ValueType::vaString, "caf\u00E9"); },
         [](auto& r) { EXPECT_EQ(r.ReadStringPayload(r.ReadValueType()), "caf\u00E9"); }},
        {"lstring", [](auto& w) { w.WriteStringAs(ValueType::vaLString, "\u20AC5"); },
         [](auto& r) { EXPECT_EQ(r.ReadStringPayload(r.ReadValueType()), "\u20AC5"); }},
        {"wstring", [](auto& w) { w.WriteString("Содержание"); },
         [](auto& r) { EXPECT_EQ(r.ReadStringPayload(r.ReadValueType()), "Содержание"); }},
        {"utf8string", [](auto& w) { w.WriteString("Зарождение и развитие"); },
         [](auto& r) { EXPECT_EQ(r.ReadStringPayload(r.ReadValueType()), "Зарождение и развитие"); }},
        {"ident", [](auto& w) { w.WriteIdent("Client"); },
         [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaIdent); EXPECT_EQ(r.ReadShortString(), "Client"); }},
        {"false", [](auto& w) { w.WriteBoolean(false); }, [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaFalse); }},
        {"true", [](auto& w) { w.WriteBoolean(true); }, [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaTrue); }},
        {"binary", [](auto& w) { const std::uint8_t b[] = {1, 2, 3}; w.WriteBinary(b); },
         [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaBinary); EXPECT_EQ(r.ReadBytes(r.ReadUInt32()).size(), 3u); }},
        {"set", [](auto& w) { w.WriteSet({"Desktop", "iPad"}); },
         [](auto& r) {
             EXPECT_EQ(r.ReadValueType(), ValueType::vaSet);
             EXPECT_EQ(r.ReadShortString(), "Desktop");
             EXPECT_EQ(r.ReadShortString(), "iPad");
             EXPECT_EQ(r.ReadShortString(), "");
         }},
        {"nil", [](auto& w) { w.WriteNil(); }, [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaNil); }},
        {"collection", [](auto& w) {
             w.WriteCollectionBegin();
             w.WriteListBegin(); w.WriteEndMark();
             w.WriteIntegerAs(ValueType::vaInt16, 7); w.WriteListBegin();
             w.WriteShortString("Caption"); w.WriteString("x");
             w.WriteShortString("Sub"); w.WriteCollectionBegin(); w.WriteListBegin(); w.WriteEndMark(); w.WriteEndMark();
             w.WriteEndMark();
             w.WriteEndMark();
         },
         [](auto& r) { r.SkipValue(); }},
        {"single", [](auto& w) { w.WriteSingle(368.0f); },
         [](auto& r) {
             EXPECT_EQ(r.ReadValueType(), ValueType::vaSingle);
             auto b = r.ReadBytes(4);
             EXPECT_EQ(Bytes(b.begin(), b.end()), (Bytes{0x00, 0x00, 0xB8, 0x43}));
         }},
        {"currency", [](auto& w) { w.WriteCurrency(-123456); },
         [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaCurrency); EXPECT_EQ(static_cast<std::int64_t>(r.ReadUInt64()), -123456); }},
        {"date", [](auto& w) { w.WriteDate(45000.5); },
         [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaDate); EXPECT_EQ(std::bit_cast<double>(r.ReadUInt64()), 45000.5); }},
        {"double", [](auto& w) { w.WriteDouble(0.1); },
         [](auto& r) { EXPECT_EQ(r.ReadValueType(), ValueType::vaDouble); EXPECT_EQ(std::bit_cast<double>(r.ReadUInt64()), 0.1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormStreamWriter w;
        c.write(w);
        w.WriteByte(0xAB);
        Bytes bytes = w.Take();

        FormStreamReader decode(bytes);
        c.check(decode);
        EXPECT_EQ(decode.ReadByte(), 0xAB);

        FormStreamReader skip(bytes);
        skip.SkipValue();
        EXPECT_EQ(skip.ReadByte(), 0xAB);

        // Every strict prefix of the value is a clean read error when skipped.
        for (std::size_t n = 0; n + 1 < bytes.size(); ++n) {
            FormStreamReader cut(std::span<const std::uint8_t>(bytes).first(n));
            EXPECT_THROW(cut.SkipValue(), EReadError) << "prefix " << n;
        }
    }
}

TEST(FormStreamReader, HostileInputFailsCleanly) {
    auto message = [](const Bytes& bytes) {
        try {
            FormStreamReader r(bytes);
            r.SkipValue();
        } catch (const EReadError& e) {
            return e.Message();
        }
        return std::string("no error");
    };
    // Counts far beyond the data are refused before anything is allocated.
    EXPECT_EQ(message({18, 0xFF, 0xFF, 0xFF, 0x7F}), "Stream read error");
    EXPECT_EQ(message({12, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}), "Stream read error");
    EXPECT_EQ(message({0x30}), "Invalid property value");
    // A collection item must start with a list.
    EXPECT_EQ(message({14, 2, 0, 9}), "Invalid property value");
    // Deeply nested lists stop at the nesting limit instead of exhausting the stack.
    Bytes deep(100000, 1);
    EXPECT_EQ(message(deep), "Invalid stream format");

    const Bytes hugeWide{18, 0xFF, 0xFF, 0xFF, 0x7F};
    FormStreamReader wide(hugeWide);
    wide.ReadValueType();
    EXPECT_THROW(wide.ReadWideStringPayload(), EReadError);
}

TEST(FormStreamReader, SignatureAndPrefix) {
    Bytes bad{'T', 'P', 'F', '1', 0};
    FormStreamReader r(bad);
    EXPECT_THROW(
        {
            try {
                r.ReadSignature();
            } catch (const EReadError& e) {
                EXPECT_EQ(e.Message(), "Invalid stream format");
                throw;
            }
        },
        EReadError);
    const Bytes twoBytes{'T', 'P'};
    FormStreamReader shortSig(twoBytes);
    EXPECT_THROW(shortSig.ReadSignature(), EReadError);

    FormStreamWriter w;
    w.WritePrefix({.present = true, .flags = ffInherited | ffChildPos, .childPos = 300, .childPosType = ValueType::vaInt16});
    w.WritePrefix({});  // no flags: nothing written
    EXPECT_EQ(w.Bytes(), (Bytes{0xF3, 3, 0x2C, 0x01}));
    FormStreamReader p(w.Bytes());
    ObjectPrefix prefix = p.ReadPrefix();
    EXPECT_TRUE(prefix.present);
    EXPECT_EQ(prefix.flags, unsigned{ffInherited | ffChildPos});
    EXPECT_EQ(prefix.childPos, 300);
    EXPECT_TRUE(p.AtEnd());
    const Bytes className{6, 'T'};
    FormStreamReader plain(className);
    EXPECT_FALSE(plain.ReadPrefix().present);
    EXPECT_EQ(plain.Position(), 0u);
}

}  // namespace
