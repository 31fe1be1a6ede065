// Feeds arbitrary bytes to the form reader (onto a small test root, and onto
// a real window with the toolkit's own control classes, whose setters then
// meet hostile values) and to the text printer. Any crash, leak, sanitizer report or broken invariant is
// a finding; the reader's own errors are expected.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "backends/headless/HeadlessPlatform.h"
#include "reader/ReaderTestClasses.h"
#include "toolkit/controls/RegisterControls.h"
#include "toolkit/controls/WBFactoryService.h"
#include "toolkit/core/ClassInfo.h"
#include "toolkit/description/FormReader.h"
#include "toolkit/description/FormText.h"
#include "toolkit/forms/CustomForm.h"

using namespace velmora;
using namespace readertest;

namespace {

void ReadOntoTestRoot(std::span<const std::uint8_t> bytes) {
    TTestRoot root(nullptr);
    std::vector<Component*> loaded;
    try {
        ReadComponentFromBytes(bytes, root, loaded);
    } catch (const Exception&) {
        return;
    }
    if (root.IsReading()) std::abort();
    for (Component* c : loaded) {
        // Every listed component must still be alive and owned by the root.
        if (c != &root && std::find(root.Components().begin(), root.Components().end(), c) == root.Components().end())
            std::abort();
        c->Loaded();
    }
    for (Component* c : root.Components())
        if (auto* control = dynamic_cast<TTestControl*>(c); control && control->OnClick) control->OnClick(control);
}

// A window the way the program builds one: native window first, then the
// description read onto it.
class TFuzzForm : public TForm {
public:
    using TForm::TForm;
    using TCustomForm::CreateHandle;
};

void ReadOntoRealWindow(std::span<const std::uint8_t> bytes) {
    static headless::HeadlessPlatform* host = [] {
        auto* h = new headless::HeadlessPlatform;
        platform::SetCurrentPlatform(h);
        RegisterWebBrowserService();
        return h;
    }();
    (void)host;
    TFuzzForm form(nullptr);
    form.CreateHandle();
    std::vector<Component*> loaded;
    try {
        ReadComponentFromBytes(bytes, form, loaded);
    } catch (const Exception&) {
        return;
    }
    for (Component* c : loaded) c->Loaded();
}

// Whatever the printer accepts, the text reader must turn back into the
// same bytes.
void CheckTextRoundTrip(std::span<const std::uint8_t> bytes) {
    std::string text;
    try {
        text = FormBinaryToText(bytes);
    } catch (const Exception&) {
        return;
    }
    std::vector<std::uint8_t> back;
    try {
        back = FormTextToBinary(text);
    } catch (const Exception&) {
        std::abort();
    }
    if (back.size() > bytes.size() || !std::equal(back.begin(), back.end(), bytes.begin())) std::abort();
}

// The same bytes as description text: the parser may refuse them, but what
// it accepts must print and parse back to the same binary.
void CheckTextParser(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> binary;
    try {
        binary = FormTextToBinary(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const Exception&) {
        return;
    }
    try {
        if (FormTextToBinary(FormBinaryToText(binary)) != binary) std::abort();
    } catch (const Exception&) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    // One set of classes at a time: a test class must not land on a real
    // window, nor a real control under the test root.
    ClassRegistry::Clear();
    RegisterTestClasses();
    ReadOntoTestRoot(bytes);
    if (TTestControl::Live() != 0) std::abort();  // a failed component was not freed
    ClassRegistry::Clear();
    RegisterControlClasses();
    ReadOntoRealWindow(bytes);
    CheckTextRoundTrip(bytes);
    CheckTextParser(bytes);
    return 0;
}
