// The readable text form of a form description and its conversion to and
// from the binary form.
//
// One object per block, one property per line:
//
//     # comment to the end of the line
//     object Form2: TForm2
//       Caption = "Тальмерин"
//       ClientHeight = 480                 # integer: smallest integer tag
//       Size.Width = 368.0                 # '.' or exponent: 80-bit extended
//       FormFactor.Devices = [Desktop]     # set
//       Sizes = (single(368), single(452)) # list
//       CustomIcon = <                     # collection
//         item
//         end
//       >
//       object Button1: TButton
//         Align = Top                      # identifier
//         OnClick = Button1Click
//         TextSettings.WordWrap = True     # True/False, nil, null are keywords
//       end
//     end
//
// A plain "..." string takes the tag the writer's rule picks; the rest of
// the value forms name their tag where the rule cannot decide:
//   int8(n) int16(n) int32(n) int64(n)      integer of that size
//   extended(x) single(x) double(x) date(x) floats; x may be {hex bytes}
//   currency(12.3400)                       fixed point, four decimals
//   string("..") lstring("..")              ANSI code page, short/long
//   wstring("..") utf8string("..")          UTF-16 / UTF-8
//   ident(name) ident("any text")           identifier that is not plain
//   {0A 0B}                                 binary
// Strings are UTF-8 with the escapes \\ \" \n \r \t \xHH (a raw byte) and
// \uXXXX. A name that is not a plain identifier is written as a string.
// Object headers: "object Name: Class", "inherited ..." and "inline ..."
// for the prefix flags, "[n]" after the class for a child position, and
// "prefix(n)" for prefix bits the keywords do not express.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exceptions.h"

namespace velmora {

// An error in a text description, with the 1-based line it was found on.
class EFormTextError : public EFilerError {
public:
    EFormTextError(int line, std::string message)
        : EFilerError(std::move(message), __builtin_return_address(0)), line_(line) {}
    const char* ClassName() const noexcept override { return "EFormTextError"; }
    int Line() const noexcept { return line_; }

private:
    int line_;
};

// Throws EFormTextError for any error in the text.
std::vector<std::uint8_t> FormTextToBinary(std::string_view text);

// Throws EReadError (its message names the byte offset) for a damaged binary.
std::string FormBinaryToText(std::span<const std::uint8_t> data);

}  // namespace velmora
