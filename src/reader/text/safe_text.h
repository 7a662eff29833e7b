#pragma once
// Texts from the machine made safe to show. A value name can carry characters that
// reorder or hide what is around them (right-to-left overrides, isolates, zero-width
// characters and the byte-order mark): "invoice<RLO>fdp.exe" reads as "invoiceexe.pdf".
// Every view (listing, CSV, page) shows each of them as its code, "<U+202E>", so what
// is read is what is stored. JSON keeps the stored text: it is for programs.

#include <string>

namespace Reader {

// text with every direction-control and zero-width character (U+200B to U+200F,
// U+202A to U+202E, U+2066 to U+2069, U+FEFF) written as "<U+XXXX>".
std::string VisibleMarks(const std::string& text);

// Whether a spreadsheet would read a cell starting so as a formula: "=", "+", "-",
// "@", a tab or a carriage return.
bool StartsLikeFormula(const std::string& text);

}  // namespace Reader
