#include "tools/RegFile.h"

#include "unicode/Utf.h"

#include <cstdio>

namespace wdx::tools {

using registry::TRegRoot;
using registry::TRegValue;
using registry::TRegValueType;

namespace {

constexpr std::string_view Header5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view Header4 = "REGEDIT4";

bool IEquals(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (size_t I = 0; I < A.size(); ++I) {
        char X = A[I], Y = B[I];
        if (X >= 'a' && X <= 'z')
            X = static_cast<char>(X - 32);
        if (Y >= 'a' && Y <= 'z')
            Y = static_cast<char>(Y - 32);
        if (X != Y)
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view S) {
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t'))
        S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r'))
        S.remove_suffix(1);
    return S;
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

// UTF-16LE bytes (no BOM) to UTF-8; false for odd length or lone surrogates.
bool Utf16LeToUtf8(std::string_view Bytes, std::string& Out) {
    if (Bytes.size() % 2)
        return false;
    std::u16string U(Bytes.size() / 2, u'\0');
    for (size_t I = 0; I < U.size(); ++I)
        U[I] = static_cast<char16_t>(static_cast<unsigned char>(Bytes[2 * I]) |
                                     static_cast<unsigned char>(Bytes[2 * I + 1]) << 8);
    for (size_t I = 0; I < U.size(); ++I) {
        bool Lead = U[I] >= 0xD800 && U[I] <= 0xDBFF;
        bool Trail = U[I] >= 0xDC00 && U[I] <= 0xDFFF;
        if (Trail)
            return false;
        if (Lead && (I + 1 == U.size() || U[I + 1] < 0xDC00 || U[I + 1] > 0xDFFF))
            return false;
        if (Lead)
            ++I;
    }
    Out = unicode::Utf16ToUtf8(U);
    return true;
}

bool Utf8ToUtf16Le(std::string_view Text, std::string& Bytes) {
    if (!unicode::IsValidUtf8(Text))
        return false;
    std::u16string U = unicode::Utf8ToUtf16(Text);
    Bytes.clear();
    for (char16_t C : U) {
        Bytes.push_back(static_cast<char>(C & 0xff));
        Bytes.push_back(static_cast<char>(C >> 8));
    }
    return true;
}

std::string Quote(std::string_view S) {
    std::string Out = "\"";
    for (char C : S) {
        if (C == '\\' || C == '"')
            Out.push_back('\\');
        Out.push_back(C);
    }
    Out.push_back('"');
    return Out;
}

// Reads a quoted text at S[Pos] ('"' there); Pos ends after the closing quote.
bool ReadQuoted(std::string_view S, size_t& Pos, std::string& Out, std::string& Why) {
    Out.clear();
    for (++Pos; Pos < S.size(); ++Pos) {
        char C = S[Pos];
        if (C == '"') {
            ++Pos;
            return true;
        }
        if (C == '\\') {
            if (Pos + 1 >= S.size() || (S[Pos + 1] != '\\' && S[Pos + 1] != '"')) {
                Why = "unknown escape in quoted text (write \\\\ for a backslash, \\\" for a quote)";
                return false;
            }
            C = S[++Pos];
        }
        Out.push_back(C);
    }
    Why = "quoted text is not closed";
    return false;
}

// The data after "=": a quoted text, dword:, hex:, hex(n): or "-".
bool ParseData(std::string_view D, TRegFileValue& V, std::string& Why) {
    TRegValue& R = V.Value;
    if (D == "-") {
        V.Delete = true;
        return true;
    }
    if (!D.empty() && D.front() == '"') {
        size_t Pos = 0;
        if (!ReadQuoted(D, Pos, R.Text, Why))
            return false;
        if (!Trim(D.substr(Pos)).empty()) {
            Why = "unexpected text after the closing quote";
            return false;
        }
        R.Type = TRegValueType::Text;
        R.Kind = registry::RegKindText;
        return true;
    }
    if (D.size() >= 6 && IEquals(D.substr(0, 6), "dword:")) {
        std::string_view Digits = D.substr(6);
        if (Digits.empty() || Digits.size() > 8) {
            Why = "dword: needs 1 to 8 hexadecimal digits";
            return false;
        }
        std::uint32_t N = 0;
        for (char C : Digits) {
            int H = HexDigit(C);
            if (H < 0) {
                Why = "dword: needs 1 to 8 hexadecimal digits";
                return false;
            }
            N = N << 4 | static_cast<std::uint32_t>(H);
        }
        R.Type = TRegValueType::Int32;
        R.Kind = registry::RegKindInt32;
        R.Int = static_cast<std::int32_t>(N);
        return true;
    }
    std::uint32_t Kind = 3;
    std::string_view Rest;
    if (D.size() >= 4 && IEquals(D.substr(0, 4), "hex:")) {
        Rest = D.substr(4);
    } else if (D.size() >= 4 && IEquals(D.substr(0, 4), "hex(")) {
        size_t Close = D.find("):");
        if (Close == std::string_view::npos || Close == 4 || Close > 12) {
            Why = "hex(n): needs a hexadecimal type number";
            return false;
        }
        Kind = 0;
        for (char C : D.substr(4, Close - 4)) {
            int H = HexDigit(C);
            if (H < 0) {
                Why = "hex(n): needs a hexadecimal type number";
                return false;
            }
            Kind = Kind << 4 | static_cast<std::uint32_t>(H);
        }
        Rest = D.substr(Close + 2);
    } else {
        Why = "value data must be a quoted text, dword:, hex: or hex(n):";
        return false;
    }
    std::string Bytes;
    Rest = Trim(Rest);
    while (!Rest.empty()) {
        std::string_view Item = Trim(Rest.substr(0, Rest.find(',')));
        if (Item.size() != 2 || HexDigit(Item[0]) < 0 || HexDigit(Item[1]) < 0) {
            Why = "hex data must be two-digit hexadecimal bytes separated by commas";
            return false;
        }
        Bytes.push_back(static_cast<char>(HexDigit(Item[0]) << 4 | HexDigit(Item[1])));
        size_t Comma = Rest.find(',');
        Rest = Comma == std::string_view::npos ? std::string_view() : Trim(Rest.substr(Comma + 1));
        if (Comma != std::string_view::npos && Rest.empty()) {
            Why = "hex data ends with a comma";
            return false;
        }
    }
    // Text and 32-bit integers written in hex form are still those types.
    if (Kind == registry::RegKindText) {
        while (Bytes.size() >= 2 && Bytes[Bytes.size() - 1] == 0 && Bytes[Bytes.size() - 2] == 0)
            Bytes.resize(Bytes.size() - 2);
        if (!Utf16LeToUtf8(Bytes, R.Text)) {
            Why = "hex(1): data is not UTF-16 text";
            return false;
        }
        R.Type = TRegValueType::Text;
        R.Kind = Kind;
        return true;
    }
    if (Kind == registry::RegKindInt32) {
        if (Bytes.size() != 4) {
            Why = "hex(4): data must be 4 bytes";
            return false;
        }
        std::uint32_t N = 0;
        for (int I = 3; I >= 0; --I)
            N = N << 8 | static_cast<unsigned char>(Bytes[static_cast<size_t>(I)]);
        R.Type = TRegValueType::Int32;
        R.Kind = Kind;
        R.Int = static_cast<std::int32_t>(N);
        return true;
    }
    R.Type = TRegValueType::Other;
    R.Kind = Kind;
    R.Bytes = std::move(Bytes);
    return true;
}

bool ParseValueLine(std::string_view L, TRegFileValue& V, std::string& Why) {
    size_t Pos = 0;
    if (L.front() == '@') {
        Pos = 1;
    } else if (!ReadQuoted(L, Pos, V.Value.Name, Why)) {
        return false;
    }
    std::string_view Rest = Trim(L.substr(Pos));
    if (Rest.empty() || Rest.front() != '=') {
        Why = "expected = after the value name";
        return false;
    }
    return ParseData(Trim(Rest.substr(1)), V, Why);
}

} // namespace

bool SplitRootedPath(std::string_view Text, TRegRoot& Root, std::string& Path) {
    size_t Sep = Text.find('\\');
    std::string_view First = Text.substr(0, Sep);
    if (IEquals(First, "HKCU") || IEquals(First, "HKEY_CURRENT_USER"))
        Root = TRegRoot::User;
    else if (IEquals(First, "HKLM") || IEquals(First, "HKEY_LOCAL_MACHINE"))
        Root = TRegRoot::System;
    else
        return false;
    Path.assign(Sep == std::string_view::npos ? std::string_view() : Text.substr(Sep + 1));
    return true;
}

std::string RootedPath(TRegRoot Root, std::string_view Path) {
    std::string S = registry::RootName(Root);
    if (!Path.empty())
        S.append("\\").append(Path);
    return S;
}

bool DecodeRegBytes(const std::string& Bytes, std::string& Text, std::string& Error) {
    auto Starts = [&](std::string_view P) { return Bytes.compare(0, P.size(), P) == 0; };
    if (Starts("\xff\xfe")) {
        if (!Utf16LeToUtf8(std::string_view(Bytes).substr(2), Text)) {
            Error = "the file is not valid UTF-16LE text";
            return false;
        }
        // As in UTF-8 below: a NUL has no place in a .reg file (data that
        // holds one is written as hex).
        if (Text.find('\0') != std::string::npos) {
            Error = "the file holds a NUL character, which a .reg file cannot have outside hex data";
            return false;
        }
        return true;
    }
    if (Starts("\xfe\xff")) {
        Error = "UTF-16 big-endian files are not supported; save it as UTF-16LE or UTF-8";
        return false;
    }
    Text = Starts("\xef\xbb\xbf") ? Bytes.substr(3) : Bytes;
    std::string Fold;
    if (Text.find('\0') != std::string::npos || !registry::FoldName(Text, Fold)) {
        Error = "the file is neither UTF-8 text nor UTF-16LE text with a byte-order mark";
        return false;
    }
    return true;
}

bool EncodeUtf16Le(std::string_view Text, std::string& Bytes) {
    if (!Utf8ToUtf16Le(Text, Bytes))
        return false;
    Bytes.insert(0, "\xff\xfe");
    return true;
}

bool ParseRegText(std::string_view Text, std::vector<TRegFileKey>& Keys, std::string& Error) {
    Keys.clear();
    bool HeaderSeen = false;
    int LineNo = 0;
    size_t Pos = 0;
    while (Pos < Text.size()) {
        // One logical line: a line ending in "\" goes on in the next one.
        int First = ++LineNo;
        std::string Line;
        for (;;) {
            size_t End = Text.find('\n', Pos);
            std::string_view Part =
                Trim(Text.substr(Pos, End == std::string_view::npos ? Text.npos : End - Pos));
            Pos = End == std::string_view::npos ? Text.size() : End + 1;
            bool More = !Part.empty() && Part.back() == '\\';
            Line.append(More ? Part.substr(0, Part.size() - 1) : Part);
            if (!More || Pos >= Text.size())
                break;
            ++LineNo;
        }
        auto Fail = [&](const std::string& Why) {
            Error = "line " + std::to_string(First) + ": " + Why;
            Keys.clear();
            return false;
        };
        std::string_view L = Trim(Line);
        if (L.empty() || L.front() == ';')
            continue;
        if (!HeaderSeen) {
            if (L != Header5 && L != Header4)
                return Fail("not a .reg file: expected \"" + std::string(Header5) + "\"");
            HeaderSeen = true;
            continue;
        }
        if (L.front() == '[') {
            if (L.back() != ']')
                return Fail("key line must end with ]");
            std::string_view Inner = L.substr(1, L.size() - 2);
            TRegFileKey Key;
            Key.Line = First;
            if (!Inner.empty() && Inner.front() == '-') {
                Key.Delete = true;
                Inner.remove_prefix(1);
            }
            if (!SplitRootedPath(Inner, Key.Root, Key.Path))
                return Fail("unsupported root in [" + std::string(Inner) +
                            "]: only HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE");
            Keys.push_back(std::move(Key));
            continue;
        }
        if (L.front() != '"' && L.front() != '@')
            return Fail("expected [key], \"name\"=data or @=data");
        if (Keys.empty())
            return Fail("value before the first [key]");
        if (Keys.back().Delete)
            return Fail("value under a key that is being deleted");
        TRegFileValue V;
        std::string Why;
        if (!ParseValueLine(L, V, Why))
            return Fail(Why);
        Keys.back().Values.push_back(std::move(V));
    }
    if (!HeaderSeen) {
        Error = "empty file: expected \"" + std::string(Header5) + "\"";
        return false;
    }
    return true;
}

std::string FormatRegValue(const TRegValue& V) {
    std::string Line = V.Name.empty() ? std::string("@") : Quote(V.Name);
    Line.push_back('=');
    std::string Bytes;
    std::uint32_t Kind = V.Kind;
    if (V.Type == TRegValueType::Text) {
        // Line breaks and NULs cannot stand in a quoted text: hex(1) carries them.
        if (V.Text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos)
            return Line + Quote(V.Text);
        Utf8ToUtf16Le(V.Text, Bytes);
        Bytes.append(2, '\0');
    } else if (V.Type == TRegValueType::Int32) {
        char Buf[16];
        std::snprintf(Buf, sizeof Buf, "dword:%08x", static_cast<std::uint32_t>(V.Int));
        return Line + Buf;
    } else {
        Bytes = V.Bytes;
    }
    if (Kind == 3) {
        Line += "hex:";
    } else {
        char Buf[24];
        std::snprintf(Buf, sizeof Buf, "hex(%x):", Kind);
        Line += Buf;
    }
    // Wrapped near 80 columns as the Windows editor does.
    size_t Col = Line.size();
    for (size_t I = 0; I < Bytes.size(); ++I) {
        char Buf[4];
        std::snprintf(Buf, sizeof Buf, "%02x", static_cast<unsigned char>(Bytes[I]));
        Line += Buf;
        Col += 2;
        if (I + 1 < Bytes.size()) {
            Line.push_back(',');
            ++Col;
            if (Col > 75) {
                Line += "\\\r\n  ";
                Col = 2;
            }
        }
    }
    return Line;
}

} // namespace wdx::tools
