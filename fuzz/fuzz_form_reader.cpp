// Feeds arbitrary bytes to the form reader (onto a small test root) and to
// the text printer. Any crash, leak, sanitizer report or broken invariant is
// a finding; the reader's own errors are expected.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "reader/ReaderTestClasses.h"
#include "toolkit/description/FormReader.h"
#include "toolkit/description/FormText.h"

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
    static const bool registered = (RegisterTestClasses(), true);
    (void)registered;
    std::span<const std::uint8_t> bytes(data, size);
    ReadOntoTestRoot(bytes);
    if (TTestControl::Live() != 0) std::abort();  // a failed component was not freed
    CheckTextRoundTrip(bytes);
    CheckTextParser(bytes);
    return 0;
}
