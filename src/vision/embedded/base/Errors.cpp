#include "base/Errors.h"

#include "base/Access.h"

namespace ixv {

std::string errorText(Herror code) {
    if (code >= err::WrongParValue && code < err::WrongParValue + 20)
        return "Wrong value of control parameter: " + std::to_string(code - err::WrongParValue + 1);
    if (code >= err::WrongParCount && code < err::WrongParCount + 20)
        return "Wrong number of values of ctrl.par.: " + std::to_string(code - err::WrongParCount + 1);
    if (code >= err::WrongObjectCount && code < err::WrongObjectCount + 20)
        return "Wrong number of values of object parameter: " + std::to_string(code - err::WrongObjectCount + 1);
    switch (code) {
    case err::WrongObjectClass: return "Unexpected object detected";
    case err::FileNotFound: return "File not found";
    case err::FileRead: return "Error while reading file";
    case err::FileWrite: return "Error while writing file";
    case err::FileFormat: return "Wrong file format";
    case err::DictKeyMissing: return "Dict does not contain requested key";
    case err::WrongHandleType: return "Wrong handle type";
    case err::NullHandle: return "Handle is NULL";
    case err::HandleNotSerializable: return "Handle type does not serialize";
    case err::WrongPixelType: return "Wrong pixel type for this operation";
    case err::OutOfMemory: return "Not enough memory available";
    case err::TupleElementType: return "Wrong type of tuple element";
    case err::TupleIndex: return "Tuple index out of range";
    default: return "Unknown error";
    }
}

void raise(const char* proc, Herror code, const std::string& detail) {
    std::string message = errorText(code);
    if (!detail.empty()) message += " (" + detail + ")";
    raiseMessage(proc, code, std::move(message));
}

// Messages are one line of text: a control byte quoted from a file (a NUL,
// which would end the text early, a line end) is written as \xNN.
void raiseMessage(const char* proc, Herror code, std::string message) {
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < message.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(message[i]);
        if (c >= 0x20 && c != 0x7f) continue;
        message.replace(i, 1, {'\\', 'x', kHex[c >> 4], kHex[c & 15]});
        i += 3;
    }
    throw Access::exception(proc, code, std::move(message));
}

void raiseParValue(const char* proc, int position, const std::string& detail) {
    raise(proc, err::WrongParValue + static_cast<Herror>(position - 1), detail);
}

void raiseParCount(const char* proc, int position, const std::string& detail) {
    raise(proc, err::WrongParCount + static_cast<Herror>(position - 1), detail);
}

void raiseObjectCount(const char* proc, int position, const std::string& detail) {
    raise(proc, err::WrongObjectCount + static_cast<Herror>(position - 1), detail);
}

}  // namespace ixv
