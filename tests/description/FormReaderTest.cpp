#include <gtest/gtest.h>

#include <limits>

#include <cstring>

#include "reader/ReaderTestClasses.h"
#include "toolkit/core/Resources.h"
#include "toolkit/description/FormReader.h"
#include "toolkit/description/FormStream.h"
#include "toolkit/description/FormText.h"

using namespace velmora;
using namespace readertest;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Form(const std::string& text) { return FormTextToBinary(text); }

class FormReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestClasses();
        LoadedLog().clear();
        liveBefore_ = TTestControl::Live();
    }
    void TearDown() override {
        root_.reset();
        EXPECT_EQ(TTestControl::Live(), liveBefore_) << "components leaked or freed twice";
    }

    void Read(const Bytes& bytes) { ReadComponentFromBytes(bytes, *root_, loaded_); }

    // The message of the error the read raises, or "" when it succeeds.
    std::string ReadMessage(const Bytes& bytes) {
        try {
            Read(bytes);
        } catch (const Exception& e) {
            return e.Message();
        }
        return "";
    }

    int Created() const { return TTestControl::Live() - liveBefore_; }

    std::unique_ptr<TTestRoot> root_ = std::make_unique<TTestRoot>(nullptr);
    std::vector<Component*> loaded_;
    int liveBefore_ = 0;
};

TEST_F(FormReaderTest, BuildsTreeWithOwnerParentFieldsAndLoadedOrder) {
    Read(Form(R"(
object Form1: TTestRoot
  Caption = "Window"
  Left = 0
  DesignerMasterStyle = 0
  object Panel1: TTestPanel
    object Inner: TTestPanel
      object Button1: TTestControl
        Tag = 3
      end
      object Deep: TTestLabel
      end
    end
  end
  object Other: TTestLabel
  end
end
)"));
    EXPECT_EQ(root_->Name(), "Form1");
    EXPECT_EQ(root_->caption, "Window");
    EXPECT_EQ(root_->designerMasterStyle, 0);
    ASSERT_NE(root_->Panel1, nullptr);
    ASSERT_NE(root_->Button1, nullptr);
    EXPECT_EQ(root_->Panel1->Name(), "Panel1");
    EXPECT_EQ(&root_->Panel1->GetClassInfo(), &TTestPanel::StaticClassInfo());
    EXPECT_EQ(&root_->FindComponent("Deep")->GetClassInfo(), &TTestLabel::StaticClassInfo());

    // Every component is owned by the root, however deep; its parent is the enclosing object.
    for (Component* c : root_->Components()) EXPECT_EQ(c->Owner(), root_.get());
    EXPECT_EQ(root_->Components().size(), 5u);
    auto* inner = static_cast<TTestControl*>(root_->FindComponent("Inner"));
    EXPECT_EQ(inner->parent, root_->Panel1);
    EXPECT_EQ(root_->Button1->parent, inner);
    // The parent is already set when properties are read.
    EXPECT_EQ(root_->Button1->parentWhenTagSet, inner);

    std::vector<std::string> order;
    for (Component* c : loaded_) order.push_back(c->Name());
    EXPECT_EQ(order, (std::vector<std::string>{"Form1", "Button1", "Deep", "Inner", "Panel1", "Other"}));
    for (Component* c : loaded_) {
        EXPECT_TRUE(c->IsLoading()) << c->Name();
        EXPECT_FALSE(c->IsReading()) << c->Name();
    }
}

TEST_F(FormReaderTest, DecodesEachPropertyKind) {
    Read(Form(R"(
object Form1: TTestRoot
  object Button1: TTestControl
    Align = Client
    Tag = int32(-70000)
    Big = int64(5)
    Ratio = 2.5
    Text = lstring("caf\u00E9")
    Visible = False
    Styles = [Bold, underline]
    Color = clGreen
  end
  object A: TTestControl
    Big = -1099511627776
    Ratio = double(0.25)
    Text = wstring("Оглавление")
    Visible = ident(tRUE)
    Styles = []
    Tag = int8(7)
  end
  object B: TTestControl
    Ratio = 7
    Text = string("x")
    Visible = True
    Align = ident(Top)
  end
  object C: TTestControl
    Text = utf8string("Зарождение")
    Ratio = int64(-3)
  end
end
)"));
    auto* b1 = root_->Button1;
    EXPECT_EQ(b1->align, TestAlign::Client);
    EXPECT_EQ(b1->tag, 2);  // Color wrote the constant's value after Tag
    EXPECT_EQ(b1->big, 5);
    EXPECT_EQ(b1->ratio, 2.5);
    EXPECT_EQ(b1->text, "caf\u00E9");
    EXPECT_FALSE(b1->visible);
    EXPECT_EQ(b1->styles, 0b101u);
    auto* a = static_cast<TTestControl*>(root_->FindComponent("A"));
    EXPECT_EQ(a->big, -1099511627776);
    EXPECT_EQ(a->ratio, 0.25);
    EXPECT_EQ(a->text, "Оглавление");
    EXPECT_TRUE(a->visible);
    EXPECT_EQ(a->styles, 0u);
    EXPECT_EQ(a->tag, 7);
    auto* b = static_cast<TTestControl*>(root_->FindComponent("B"));
    EXPECT_EQ(b->ratio, 7.0);
    EXPECT_EQ(b->text, "x");
    EXPECT_TRUE(b->visible);
    EXPECT_EQ(b->align, TestAlign::Top);
    auto* c = static_cast<TTestControl*>(root_->FindComponent("C"));
    EXPECT_EQ(c->text, "Зарождение");
    EXPECT_EQ(c->ratio, -3.0);
}

TEST_F(FormReaderTest, DottedPathsReachSubObjectsAndDefinedProperties) {
    Read(Form(R"(
object Form1: TTestRoot
  object Button1: TTestControl
    Size.Width = 368.0
    Size.Height = 50
    Size.PlatformDefault = False
    ExplicitSize.cx = 92.0
    explicitsize.CY = 28
    Pair = (single(368), 452)
    Sizes = (single(1), single(2))
  end
end
)"));
    auto* b = root_->Button1;
    EXPECT_EQ(b->size.width, 368.0f);
    EXPECT_EQ(b->size.height, 50.0f);
    EXPECT_FALSE(b->size.platformDefault);
    EXPECT_EQ(b->explicitCx, 92.0);
    EXPECT_EQ(b->explicitCy, 28.0);
    EXPECT_EQ(b->pair, (std::vector<float>{368, 452, 1, 2}));
}

TEST_F(FormReaderTest, CollectionIsReplacedOnlyWhenItemsFollow) {
    auto read = [&](const std::string& itemsValue, int preset) {
        root_ = std::make_unique<TTestRoot>(nullptr);
        loaded_.clear();
        auto* holder = new TTestControl(root_.get());
        holder->SetName("Holder");
        for (int i = 0; i < preset; ++i) holder->items.Add();
        holder->items.changes = 0;
        Read(Form("object Form1: TTestRoot\n inherited Holder: TTestControl\n Items = " + itemsValue + "\n end\nend\n"));
        return holder;
    };
    TTestControl* h = read("<\n item\n end\n>", 3);
    ASSERT_EQ(h->items.Count(), 1);
    EXPECT_EQ(static_cast<TTestItem&>(h->items.Item(0)).caption, "default");
    EXPECT_EQ(h->items.changes, 1) << "notifications are held back until the end";

    h = read("<\n item int16(9)\n Caption = \"one\"\n end\n item\n Caption = \"two\"\n end\n>", 1);
    ASSERT_EQ(h->items.Count(), 2);
    EXPECT_EQ(static_cast<TTestItem&>(h->items.Item(0)).caption, "one");
    EXPECT_EQ(static_cast<TTestItem&>(h->items.Item(1)).caption, "two");

    h = read("<>", 3);
    EXPECT_EQ(h->items.Count(), 3) << "an empty collection value keeps the items";
    EXPECT_EQ(h->items.changes, 0);
}

TEST_F(FormReaderTest, EventsBindToRootMethodsIgnoringCase) {
    Read(Form(R"(
object Form1: TTestRoot
  object Button1: TTestControl
    OnClick = bUTTON1cLICK
  end
  object B: TTestControl
    OnClick = nil
  end
end
)"));
    ASSERT_TRUE(root_->Button1->OnClick);
    root_->Button1->OnClick(root_->Button1);
    ASSERT_EQ(root_->clicks.size(), 1u);
    EXPECT_EQ(root_->clicks[0], root_->Button1);
    EXPECT_FALSE(static_cast<TTestControl*>(root_->FindComponent("B"))->OnClick);
}

TEST_F(FormReaderTest, ReferencesResolveAfterTheWholeTree) {
    Read(Form(R"(
object Form1: TTestRoot
  object Button1: TTestControl
    Buddy = later
  end
  object Later: TTestControl
    Buddy = Form1
  end
  object C: TTestControl
    Buddy = nil
  end
end
)"));
    auto* later = static_cast<TTestControl*>(root_->FindComponent("Later"));
    EXPECT_EQ(root_->Button1->buddy, later);
    EXPECT_EQ(later->buddy, root_.get());
}

TEST_F(FormReaderTest, PrefixFlagsInheritedChildPosInline) {
    auto* existing = new TTestControl(root_.get());
    existing->SetName("Old");
    auto* panel = new TTestPanel(root_.get());
    panel->SetName("Panel1");
    existing->SetParentComponent(panel);
    Read(Form(R"(
object Form1: TTestRoot
  inherited Old: TTestControl
    Tag = 5
    object Kid: TTestControl
    end
  end
  object Moved: TTestControl [2]
  end
  inline Nested: TTestControl
  end
end
)"));
    EXPECT_EQ(existing->tag, 5);
    EXPECT_EQ(existing->parent, panel) << "an inherited component keeps its own parent";
    EXPECT_EQ(static_cast<TTestControl*>(root_->FindComponent("Kid"))->parent, existing);
    EXPECT_EQ(static_cast<TTestControl*>(root_->FindComponent("Moved"))->childOrder, 2);
    EXPECT_NE(root_->FindComponent("Nested")->ComponentState() & csInline, 0u);
    EXPECT_EQ(TTestControl::Live() - liveBefore_, 5);
}

TEST_F(FormReaderTest, RootIsRenamedWhenItsOwnerHasTheName) {
    Component application(nullptr);
    auto first = new TTestRoot(&application);
    first->SetName("Form2");
    const Bytes bytes = Form("object Form2: TTestRoot\nend\n");
    auto* second = new TTestRoot(&application);
    ReadComponentFromBytes(bytes, *second, loaded_);
    EXPECT_EQ(second->Name(), "Form2_1");
    auto* third = new TTestRoot(&application);
    ReadComponentFromBytes(bytes, *third, loaded_);
    EXPECT_EQ(third->Name(), "Form2_2");
    // Reading again onto a root that has the name already keeps it.
    ReadComponentFromBytes(bytes, *first, loaded_);
    EXPECT_EQ(first->Name(), "Form2");
}

struct FailureCase {
    const char* what;
    std::string text;  // description text; empty when bytes are given
    Bytes bytes;
    std::string message;
    int survivors;  // components left after the failure
};

TEST_F(FormReaderTest, MalformedDescriptionsFailWithTheirMessageAndFreeTheFailedComponent) {
    auto child = [](const std::string& body) {
        return "object Form1: TTestRoot\n object Panel1: TTestPanel\n end\n object Button1: TTestControl\n" + body +
               "\n end\nend\n";
    };
    Bytes valid = Form(child("Tag = 1"));
    Bytes badTag = valid;
    // Replace the int8 tag of "Tag = 1" by a byte that is no value tag.
    for (std::size_t i = 0; i + 4 < badTag.size(); ++i)
        if (std::memcmp(&badTag[i], "\x03Tag\x02", 5) == 0) badTag[i + 4] = 0x30;
    Bytes badSignature = valid;
    badSignature[3] = '1';
    Bytes badItem = Form(child("Items = <\n item\n end\n >"));
    for (std::size_t i = 0; i + 2 < badItem.size(); ++i)
        if (badItem[i] == 14 && badItem[i + 1] == 1 && badItem[i + 2] == 0) badItem[i + 1] = 9;

    // A double property's eight bytes replaced by hostile values.
    auto withDouble = [&](double value) {
        Bytes b = Form(child("Ratio = double(0.25)"));
        const double quarter = 0.25;
        for (std::size_t i = 0; i + 8 <= b.size(); ++i)
            if (std::memcmp(&b[i], &quarter, 8) == 0) std::memcpy(&b[i], &value, 8);
        return b;
    };

    const FailureCase cases[] = {
        {"signature", "", badSignature, "Invalid stream format", 0},
        {"NaN for float", "", withDouble(std::numeric_limits<double>::quiet_NaN()),
         "Error reading Button1.Ratio: Invalid property value", 1},
        {"infinity for float", "", withDouble(-std::numeric_limits<double>::infinity()),
         "Error reading Button1.Ratio: Invalid property value", 1},
        {"float beyond single range", "", withDouble(1e300), "Error reading Button1.Ratio: Invalid property value", 1},
        {"huge size", "", Form(child("Size.Width = 2000000000")),
         "Error reading Button1.Size.Width: Invalid property value", 1},
        {"unknown class", "object Form1: TTestRoot\n object X: TNoSuchClass\n end\nend\n", {}, "Class TNoSuchClass not found", 0},
        {"not a component class", "object Form1: TTestRoot\n object X: TTestNotComponent\n end\nend\n", {},
         "Class TTestNotComponent not found", 0},
        {"invalid name", "object Form1: TTestRoot\n object \"1st\": TTestControl\n end\nend\n", {},
         "''1st'' is not a valid component name", 0},
        {"duplicate name", "object Form1: TTestRoot\n object Same: TTestControl\n end\n object SAME: TTestLabel\n end\nend\n", {},
         "A component named SAME already exists", 1},
        {"name of a field of another class", "object Form1: TTestRoot\n object Panel1: TTestLabel\n end\nend\n", {},
         "Field Panel1 cannot hold a component of class TTestLabel", 0},
        {"invalid root name", "object \"Form 1\": TTestRoot\nend\n", {}, "''Form 1'' is not a valid component name", 0},
        {"unknown property", "", Form(child("Nope = (1, [a], <>)\n Tag = 2")), "Error reading Button1.Nope: Property Nope does not exist", 1},
        {"unknown path head", "", Form(child("Foo.Bar = 1")), "Error reading Button1.Foo.Bar: Property Foo.Bar does not exist", 1},
        {"unknown path tail", "", Form(child("Size.Depth = 1")), "Error reading Button1.Size.Depth: Property Depth does not exist", 1},
        {"path through a value", "", Form(child("Tag.Low = 1")), "Error reading Button1.Tag.Low: Invalid property path", 1},
        {"read-only", "", Form(child("ReadOnlyValue = 1")), "Error reading Button1.ReadOnlyValue: Property is read-only", 1},
        {"string for integer", "", Form(child("Tag = \"1\"")), "Error reading Button1.Tag: Invalid property value", 1},
        {"int64 for integer", "", Form(child("Tag = int64(1)")), "Error reading Button1.Tag: Invalid property value", 1},
        {"unknown constant", "", Form(child("Color = clPurple")), "Error reading Button1.Color: Invalid property value", 1},
        {"integer for string", "", Form(child("Text = 5")), "Error reading Button1.Text: Invalid property value", 1},
        {"single for float", "", Form(child("Ratio = single(1)")), "Error reading Button1.Ratio: Invalid property value", 1},
        {"boolean for float", "", Form(child("Size.Width = True")), "Error reading Button1.Size.Width: Invalid property value", 1},
        {"integer for boolean", "", Form(child("Visible = 1")), "Error reading Button1.Visible: Invalid property value", 1},
        {"bad enum name", "", Form(child("Align = Sideways")), "Error reading Button1.Align: Invalid property value", 1},
        {"nil for enum", "", Form(child("Align = nil")), "Error reading Button1.Align: Invalid property value", 1},
        {"bad set element", "", Form(child("Styles = [Bold, Wavy]")), "Error reading Button1.Styles: Invalid property value", 1},
        {"ident for set", "", Form(child("Styles = Bold")), "Error reading Button1.Styles: Invalid property value", 1},
        {"missing handler", "", Form(child("OnClick = Button9Click")), "Error reading Button1.OnClick: Invalid property value", 1},
        {"string for handler", "", Form(child("OnClick = \"Button1Click\"")), "Error reading Button1.OnClick: Invalid property value", 1},
        {"list not ended", "", Form(child("Pair = (single(1), single(2), single(3))")),
         "Error reading Button1.Pair: Invalid property value", 1},
        {"list for defined float", "", Form(child("ExplicitSize.cx = (1)")),
         "Error reading Button1.ExplicitSize.cx: Invalid property value", 1},
        {"unresolved reference", "", Form(child("Buddy = Nobody")), "Error reading Button1.Buddy: Invalid property value", 2},
        {"integer for reference", "", Form(child("Buddy = 1")), "Error reading Button1.Buddy: Invalid property value", 1},
        {"collection for sub-object", "", Form(child("Size = <>")), "Error reading Button1.Size: Invalid property value", 1},
        {"item property", "", Form(child("Items = <\n item\n Nope = 1\n end\n >")),
         "Error reading TTestItem.Nope: Property Nope does not exist", 1},
        {"item start", "", badItem, "Error reading Button1.Items: Invalid property value", 1},
        {"unknown tag", "", badTag, "Error reading Button1.Tag: Invalid property value", 1},
        {"root property", "object Form1: TTestRoot\n Nope = 1\nend\n", {}, "Error reading Form1.Nope: Property Nope does not exist", 0},
        {"unnamed component", "object Form1: TTestRoot\n object \"\": TTestControl\n Nope = 1\n end\nend\n", {},
         "Error reading TTestControl.Nope: Property Nope does not exist", 0},
        {"inherited missing", "object Form1: TTestRoot\n inherited Ghost: TTestControl\n end\nend\n", {},
         "Ancestor for 'Ghost' not found", 0},
        {"child fails inside parent", "object Form1: TTestRoot\n object Outer: TTestPanel\n object Ok: TTestControl\n end\n"
                                      " object Bad: TTestControl\n Nope = 1\n end\n end\nend\n", {},
         "Error reading Bad.Nope: Property Nope does not exist", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        root_ = std::make_unique<TTestRoot>(nullptr);
        loaded_.clear();
        EXPECT_EQ(ReadMessage(c.text.empty() ? c.bytes : Form(c.text)), c.message);
        EXPECT_EQ(Created(), c.survivors);
        EXPECT_FALSE(root_->IsReading());
        for (Component* l : loaded_) {
            bool alive = l == root_.get() ||
                         std::find(root_->Components().begin(), root_->Components().end(), l) != root_->Components().end();
            EXPECT_TRUE(alive) << "a freed component is still listed for its loaded notification";
        }
    }
}

TEST_F(FormReaderTest, EveryTruncationIsACleanError) {
    const Bytes full = Form(R"(
object Form1: TTestRoot
  Caption = "Тальмерин"
  object Panel1: TTestPanel
    Items = <
      item 3
        Caption = "a"
      end
    >
    object Button1: TTestControl
      Size.Width = 368.0
      Pair = (single(1), single(2))
      Styles = [Bold]
      OnClick = Button1Click
      Buddy = Panel1
    end
  end
end
)");
    ReadComponentFromBytes(full, *root_, loaded_);
    ASSERT_EQ(Created(), 2);
    for (std::size_t n = 0; n < full.size(); ++n) {
        root_ = std::make_unique<TTestRoot>(nullptr);
        loaded_.clear();
        std::string message = ReadMessage(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
        EXPECT_FALSE(message.empty()) << "prefix of " << n << " bytes was accepted";
        EXPECT_LE(Created(), 2);
    }
}

TEST_F(FormReaderTest, HostileNestingIsRefused) {
    // Child records nested far deeper than any window needs.
    FormStreamWriter w;
    w.WriteSignature();
    const int depth = 5000;
    for (int i = 0; i < depth; ++i) {
        w.WriteShortString(i == 0 ? "TTestRoot" : "TTestPanel");
        w.WriteShortString("");
        w.WriteEndMark();
    }
    EXPECT_EQ(ReadMessage(w.Bytes()), "Invalid stream format");
    EXPECT_EQ(Created(), 0);
}

// Resources are looked up by class name along the class chain.
class FormResourcesTest : public FormReaderTest {
protected:
    void TearDown() override {
        for (const char* name : {"TTestRoot", "TTestRootDerived", "TTestRootDerived_Watch"}) UnregisterResource(name);
        FormReaderTest::TearDown();
    }
    void Register(const char* name, const std::string& text) {
        storage_.push_back(Form(text));
        RegisterResource(name, storage_.back());
    }
    std::vector<Bytes> storage_;
};

TEST_F(FormResourcesTest, AncestorsFirstAndOneRoundOfNotifications) {
    Register("ttestroot", "object Base: TTestRoot\n Caption = \"base\"\n Left = 1\n object Panel1: TTestPanel\n end\nend\n");
    Register("TTestRootDerived",
             "object Form1: TTestRootDerived\n Caption = \"derived\"\n object Button1: TTestControl\n end\nend\n");
    TTestRootDerived form(nullptr);
    ReadComponentResources(form, Component::StaticClassInfo());
    EXPECT_EQ(form.caption, "derived");
    EXPECT_EQ(form.left, 1);
    EXPECT_EQ(form.Name(), "Form1");
    EXPECT_NE(form.Panel1, nullptr);
    EXPECT_NE(form.Button1, nullptr);
    EXPECT_EQ(LoadedLog(), (std::vector<std::string>{"Form1", "Panel1", "Button1"}));
    EXPECT_FALSE(form.IsLoading());
    EXPECT_FALSE(form.Panel1->IsLoading());

    // Starting below TTestRoot skips its description.
    TTestRootDerived second(nullptr);
    ReadComponentResources(second, TTestRoot::StaticClassInfo());
    EXPECT_EQ(second.Panel1, nullptr);
    EXPECT_EQ(second.left, 0);
}

TEST_F(FormResourcesTest, MissingDescriptionAndPrescan) {
    TTestRootDerived form(nullptr);
    try {
        ReadComponentResources(form, Component::StaticClassInfo());
        FAIL() << "no error";
    } catch (const EResourceNotFound& e) {
        EXPECT_EQ(e.Message(), "Resource TTestRootDerived not found");
    }
    EXPECT_TRUE(PrescanRootProperties(TTestRootDerived::StaticClassInfo(), Component::StaticClassInfo(), {"X"}).empty());

    Register("TTestRoot",
             "object Base: TTestRoot\n BorderStyle = Single\n FormStyle = 1\n Quality = True\n Unwanted = (1, 2)\n"
             " object Panel1: TTestPanel\n BorderStyle = None\n end\nend\n");
    Register("TTestRootDerived", "object Form1: TTestRootDerived\n FormStyle = StayOnTop\n Border.Styling = -5\nend\n");
    auto values = PrescanRootProperties(TTestRootDerived::StaticClassInfo(), Component::StaticClassInfo(),
                                        {"FormStyle", "BorderStyle", "Border.Styling", "Quality", "EnableBorderStyling"});
    EXPECT_EQ(values, (std::map<std::string, std::string>{
                          {"BorderStyle", "Single"}, {"FormStyle", "StayOnTop"}, {"Border.Styling", "-5"}, {"Quality", "True"}}));
}

}  // namespace
