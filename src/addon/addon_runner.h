// AddOns: ".def" files in the plugins folder that describe checks of their
// own. Each line is one of
//
//   FILE;<folder>;<mask>;<days>;<size>;<md5>;<option>;
//   REGKEY;<root>\<key path>;<option>;
//   OUTPUT;<text>
//
// decided by its first characters in any letter case; every other line is
// ignored. The character after the keyword is skipped unseen (";" by
// convention).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "main/scan_context.h"

namespace tarnscan {

// EConvertError of StrToInt: "'<text>' is not a valid integer value".
class IntegerConversionError : public std::runtime_error {
 public:
  explicit IntegerConversionError(std::string_view text);
};

// The days and size fields: optional leading blanks, then an optional sign
// and decimal digits, or a hexadecimal number after "$" or "0x" (any case);
// nothing may follow, and the value must fit 32 signed bits. Throws
// IntegerConversionError otherwise.
int32_t ParseAddOnInteger(std::string_view text);

// The lines of an AddOn file: a carriage return (with a line feed right
// after it) ends a line, a line feed alone is an ordinary character, and
// Ctrl-Z ends the file. Nothing is trimmed.
std::vector<std::string> SplitAddOnLines(std::string_view bytes);

// Runs the lines of one AddOn file, appending the report lines. A days or
// size field that is not a number ends the run with
// IntegerConversionError; registry read errors pass through.
void InterpretAddOnLines(ScanContext& context, const std::vector<std::string>& lines);

// Runs each ticked AddOn in list order, each after the line
// ">>>>Output for AddOn file <name><<<<". A ticked file that cannot be
// read throws platform::FileError before its header line.
void RunAddOns(ScanContext& context);

}  // namespace tarnscan
