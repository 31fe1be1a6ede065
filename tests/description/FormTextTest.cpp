#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "toolkit/description/FormStream.h"
#include "toolkit/description/FormText.h"

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Text in the printer's own layout, so that text -> binary -> text is exact too.
const char* const kEveryForm = R"(object Root: TThing
  Small = 1
  Medium = -300
  Large = 70000
  Huge = 1099511627776
  Sized = (-1, int16(5), int32(5), int64(5))
  Ext = 368.0
  NegZero = -0.0
  Tiny = 5e-324
  Odd = extended({01 00 00 00 00 00 00 80 FF 3F})
  Floats = (single(368), single(-0.5), single({00 00 C0 7F}), double(0.1), date(45000.25), currency(-12.3456))
  Auto = "plain"
  AutoLong = "@LONG@"
  Wide = "Тальмерин"
  Utf8 = "Зарождение и развитие"
  Empty = ""
  Escaped = "a\"b\\c\n\t\u0001"
  Forced = (string("café"), lstring("x"), wstring("abc"), utf8string("é"), wstring("\uD800"), utf8string("\xFF"))
  Names = (Client, ident(True), ident(""), ident("two words"), ident(end), Form1.Button1)
  Flags = (True, False, nil)
  Nothing = null
  Set = [Desktop, "i Pad"]
  NoSet = []
  Blob = {00 01 FE FF}
  Nested = ((1, 2), (), <>)
  Items = <
    item
    end
    item int16(3)
      Caption = "x"
      Sub = <
        item 1
        end
      >
    end
  >
  "odd name" = 0
  "end" = 0
  object Child: TThing [int16(2)]
    Tag = 0
  end
  inherited Old: TThing
  end
  inherited inline Both: TThing [1]
  end
  object Zero: TThing prefix(0)
  end
  inline "": "" prefix(8)
  end
end
)";

TEST(FormText, EveryValueFormRoundTripsExactly) {
    std::string form = kEveryForm;
    form.replace(form.find("@LONG@"), 6, std::string(300, 'a'));  // too long for vaString
    Bytes binary = FormTextToBinary(form);
    std::string text = FormBinaryToText(binary);
    EXPECT_EQ(text, form);
    EXPECT_EQ(FormTextToBinary(text), binary);
}

TEST(FormText, ValuesGetTheWritersTags) {
    Bytes b = FormTextToBinary(R"(
object F: T   # a comment
  A = 480      # vaInt16
  B = 368.0
  C = [Desktop]
  D = (single(452))
  E = <
    item
    end
  >
  G = Button1Click
end)");
    const Bytes expected = {
        'T', 'P', 'F', '0', 1, 'T', 1, 'F',
        1, 'A', 3, 0xE0, 0x01,
        1, 'B', 5, 0, 0, 0, 0, 0, 0, 0, 0xB8, 0x07, 0x40,
        1, 'C', 11, 7, 'D', 'e', 's', 'k', 't', 'o', 'p', 0,
        1, 'D', 1, 15, 0x00, 0x00, 0xE2, 0x43, 0,
        1, 'E', 14, 1, 0, 0,
        1, 'G', 7, 12, 'B', 'u', 't', 't', 'o', 'n', '1', 'C', 'l', 'i', 'c', 'k',
        0, 0};
    EXPECT_EQ(b, expected);
}

TEST(FormText, PrinterMakesNonDefaultEncodingsExplicit) {
    FormStreamWriter w;
    w.WriteSignature();
    w.WriteShortString("T");
    w.WriteShortString("F");
    auto property = [&](const char* name) { w.WriteShortString(name); };
    property("a"); w.WriteIntegerAs(ValueType::vaInt32, 1);
    property("b"); w.WriteStringAs(ValueType::vaLString, "short");
    property("c"); w.WriteStringAs(ValueType::vaWString, "ascii");
    property("d"); w.WriteIdent("nil");
    property("e"); w.WriteExtendedBytes({1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F});
    property("f"); w.WriteStringAs(ValueType::vaString, "\u20AC");
    w.WriteEndMark();
    w.WriteEndMark();
    w.WriteByte(0x55);  // trailing byte: reported, not printed as data
    std::string text = FormBinaryToText(w.Bytes());
    for (const char* expected : {"a = int32(1)", "b = lstring(\"short\")", "c = wstring(\"ascii\")", "d = ident(nil)",
                                 "e = extended({01 00 00 00 00 00 00 80 FF 3F})", "f = string(\"\u20AC\")",
                                 "# 1 bytes after the description"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    Bytes back = FormTextToBinary(text);
    Bytes original = w.Bytes();
    original.pop_back();
    EXPECT_EQ(back, original);
}

TEST(FormText, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        int line;
        const char* message;
    } cases[] = {
        {"", 1, "no object in the description"},
        {"object F: T\n  A = 1\n", 3, "missing 'end' of object F"},
        {"object F: T\n  A = \"open\nend\n", 2, "unterminated string"},
        {"object F: T\n  A = 1\n  A 2\nend\n", 3, "expected '=' before '2'"},
        {"object F: T\n\n  A = int8(300)\nend\n", 3, "integer does not fit int8"},
        {"object F: T\n  A = 99999999999999999999\nend\n", 2, "integer out of range"},
        {"object F: T\n  A = frob(1)\nend\n", 2, "unknown value form frob()"},
        {"object F: T\n  A = string(\"\u0416\")\nend\n", 2, "Text has characters outside the ANSI code page"},
        {"object F: T\n  object C: T\n  end\n  A = 1\nend\n", 4, "property after a child object"},
        {"object F: T\nend\nobject G: T\nend\n", 3, "text after the end of the top object"},
        {"object F: T\n  A = {0A 0}\nend\n", 2, "odd number of hex digits"},
        {"object F: T\n  A = \"\\q\"\nend\n", 2, "unknown escape \\q"},
        {"object F: T\n  A = single({00})\nend\n", 2, "expected 4 bytes"},
        {"object F: T\n  A = currency(1.23456)\nend\n", 2, "currency takes at most four decimals"},
        {"object F: T\n  A = <\n    thing\n  >\nend\n", 3, "expected 'item' or '>' before 'thing'"},
        {"object F: T\n  A = 1.5.2\nend\n", 2, "malformed number"},
        {"object F: T\n  A = @\nend\n", 2, "unexpected character '@'"},
        {"object F: T\n  A = (1,\n  null)\nend\n", 3, "null cannot be a list element"},
    };
    for (const auto& c : cases) {
        try {
            FormTextToBinary(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const EFormTextError& e) {
            EXPECT_EQ(e.Line(), c.line) << c.text;
            EXPECT_EQ(e.Message(), c.message) << c.text;
        }
    }
}

TEST(FormText, DamagedBinaryNamesTheOffset) {
    Bytes b = FormTextToBinary("object F: T\n  A = 1\nend\n");
    b.resize(b.size() - 1);
    try {
        FormBinaryToText(b);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "at byte " + std::to_string(b.size()) + ": Stream read error");
    }
}

}  // namespace

namespace {

// The printer and the parser share their nesting limit, so whatever one
// accepts the other accepts as well.
TEST(FormText, DeepestNestingRoundTrips) {
    std::string text = "object O: T\n  A = " + std::string(kMaxNestingDepth, '(') + "1" +
                       std::string(kMaxNestingDepth, ')') + "\n";
    for (int i = 1; i <= kMaxNestingDepth; ++i) text += "object O" + std::to_string(i) + ": T\n";
    text += "A = 1\n";
    for (int i = 0; i <= kMaxNestingDepth; ++i) text += "end\n";
    Bytes binary = FormTextToBinary(text);
    EXPECT_EQ(FormTextToBinary(FormBinaryToText(binary)), binary);

    std::string deeper = "object O: T\n  A = " + std::string(kMaxNestingDepth + 1, '(') + "1" +
                         std::string(kMaxNestingDepth + 1, ')') + "\nend\n";
    EXPECT_THROW(FormTextToBinary(deeper), EFormTextError);
}

}  // namespace
