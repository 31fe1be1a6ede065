// The real control classes read from a damaged description: sizes and
// positions that are not numbers or far beyond any screen fail the read with
// the reader's own error, before a setter or the layout sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "controls/FormFixture.h"
#include "toolkit/controls/RegisterControls.h"
#include "toolkit/description/FormReader.h"
#include "toolkit/description/FormText.h"

namespace velmora::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class HostileValueTest : public HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        RegisterControlClasses();
    }

    // Reads the description onto a fresh window; the error's message, or
    // empty when the read succeeded.
    std::string ReadOntoWindow(const Bytes& bytes) {
        TestForm& window = MakeForm();
        window.CreateHandle();
        std::vector<Component*> loaded;
        try {
            ReadComponentFromBytes(bytes, window, loaded);
        } catch (const EReadError& e) {
            return e.Message();
        }
        for (Component* c : loaded) c->Loaded();
        return {};
    }
};

Bytes ButtonWith(const std::string& property) {
    return FormTextToBinary("object Form1: TForm\n object Button1: TButton\n " + property + "\n end\nend\n");
}

// The description with the eight bytes of the double 0.5 replaced.
Bytes WithDouble(Bytes bytes, double value) {
    const double half = 0.5;
    for (std::size_t i = 0; i + 8 <= bytes.size(); ++i)
        if (std::memcmp(&bytes[i], &half, 8) == 0) std::memcpy(&bytes[i], &value, 8);
    return bytes;
}

TEST_F(HostileValueTest, NonNumbersAndHugeSizesFailTheRead) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        Bytes bytes;
        std::string message;
    };
    const Case cases[] = {
        {"NaN width", WithDouble(ButtonWith("Size.Width = double(0.5)"), nan),
         "Error reading Button1.Size.Width: Invalid property value"},
        {"infinite height", WithDouble(ButtonWith("Size.Height = double(0.5)"), inf),
         "Error reading Button1.Size.Height: Invalid property value"},
        {"NaN position", WithDouble(ButtonWith("Position.X = double(0.5)"), nan),
         "Error reading Button1.Position.X: Invalid property value"},
        {"huge width", ButtonWith("Size.Width = 2000000000"), "Error reading Button1.Size.Width: Invalid property value"},
        {"beyond single range", WithDouble(ButtonWith("Position.Y = double(0.5)"), -1e300),
         "Error reading Button1.Position.Y: Invalid property value"},
        {"huge margin", WithDouble(ButtonWith("Margins.Left = double(0.5)"), 3e38),
         "Error reading Button1.Margins.Left: Invalid property value"},
        {"NaN client height", WithDouble(FormTextToBinary("object Form1: TForm\n ClientHeight = double(0.5)\nend\n"), nan),
         "Error reading Form1.ClientHeight: Invalid property value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadOntoWindow(c.bytes), c.message);
    }
}

TEST_F(HostileValueTest, LargeButSaneValuesStillRead) {
    EXPECT_EQ(ReadOntoWindow(ButtonWith("Size.Width = 100000\n Position.X = -5000.5")), "");
}

}  // namespace
}  // namespace velmora::testing
