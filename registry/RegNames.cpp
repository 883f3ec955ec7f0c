// Names and texts of the contract, the same on every platform.

#include "registry/Backend.h"

namespace wdx::registry {

bool FoldName(std::string_view Name, std::string& Fold) {
    Fold.clear();
    Fold.reserve(Name.size());
    bool Ascii = true;
    for (char C : Name)
        if (static_cast<unsigned char>(C) >= 0x80) {
            Ascii = false;
            break;
        }
    if (Ascii) {
        for (char C : Name)
            Fold.push_back(C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C);
        return true;
    }
    return detail::FoldNonAscii(Name, Fold);
}

std::size_t Utf16Length(std::string_view Utf8) {
    std::size_t N = 0;
    for (char C : Utf8) {
        auto B = static_cast<unsigned char>(C);
        if ((B & 0xC0) != 0x80) // not a continuation byte: a character starts
            N += B >= 0xF0 ? 2 : 1;
    }
    return N;
}

const char* RootName(TRegRoot Root) {
    return Root == TRegRoot::User ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

const char* ErrorName(TRegError Error) {
    switch (Error) {
    case TRegError::None:
        return "no error";
    case TRegError::NotFound:
        return "not found";
    case TRegError::WrongType:
        return "wrong value type";
    case TRegError::InvalidName:
        return "invalid name";
    case TRegError::TooLong:
        return "over a registry limit";
    case TRegError::AccessDenied:
        return "access denied";
    case TRegError::Busy:
        return "store busy";
    case TRegError::Damaged:
        return "damaged store file";
    case TRegError::IoError:
        return "input/output error";
    case TRegError::Closed:
        return "transaction closed";
    }
    return "unknown error";
}

} // namespace wdx::registry
