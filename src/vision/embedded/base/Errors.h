// Error numbers and messages of the embedded vision library.
//
// Every failure is an HException with the vendor's error number and short
// message; a precise detail may follow the short message in parentheses. Format
// readers write their own message ("Invalid PNG file: ...") under the number of
// the closest vendor error.
#pragma once

#include <string>

#include "HBase.h"

namespace ixv {

namespace err {
constexpr Herror WrongParValue = 1301;    // 1301 + k: control parameter k + 1
constexpr Herror WrongParCount = 1401;    // 1401 + k: control parameter k + 1
constexpr Herror WrongObjectCount = 1501;  // 1501 + k: object parameter k + 1
constexpr Herror WrongObjectClass = 5279; // "Unexpected object detected"
constexpr Herror FileNotFound = 5200;
constexpr Herror FileRead = 5201;         // a file that cannot be opened or read
constexpr Herror FileWrite = 5202;        // a file that cannot be written
constexpr Herror FileFormat = 5280;       // a file whose content is not what its reader expects
constexpr Herror DictKeyMissing = 2894;
constexpr Herror WrongHandleType = 2404;
constexpr Herror NullHandle = 2453;
constexpr Herror HandleNotSerializable = 2455;
constexpr Herror WrongPixelType = 9007;
constexpr Herror OutOfMemory = 6001;       // also a size over a limit (base/Limits.h), with its own text
constexpr Herror TupleElementType = 4056;  // element read as a type it does not hold
constexpr Herror TupleIndex = 4057;        // element index outside the tuple
}  // namespace err

// The vendor's short message for a code; "Unknown error" for codes we never raise.
std::string errorText(Herror code);

// Throws HException(proc, code, errorText(code) [+ " (" + detail + ")"]).
[[noreturn]] void raise(const char* proc, Herror code, const std::string& detail = std::string());

// Throws HException with a message of the caller's own, used by the format
// readers: "Invalid PNG file: truncated IDAT chunk".
[[noreturn]] void raiseMessage(const char* proc, Herror code, std::string message);

// Wrong value / wrong number of values of the control parameter at 1-based position `position`.
[[noreturn]] void raiseParValue(const char* proc, int position, const std::string& detail = std::string());
[[noreturn]] void raiseParCount(const char* proc, int position, const std::string& detail = std::string());
[[noreturn]] void raiseObjectCount(const char* proc, int position, const std::string& detail = std::string());

}  // namespace ixv
