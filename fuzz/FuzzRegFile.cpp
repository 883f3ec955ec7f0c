// libFuzzer target: the ".reg" reader (DecodeRegBytes, ParseRegText). Beyond
// "no crash, no hang, no sanitizer report" it checks that whatever the reader
// accepts comes back unchanged when written out again (FormatRegValue, the
// key lines, UTF-16LE as the export writes it) and read once more, so the
// reader and the writer cannot drift apart; and that every refusal says which
// line is wrong.

#include "tools/RegFile.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace wdx::tools;
using wdx::registry::TRegValue;

namespace {

// Show with control characters as \xNN, so that a NUL does not end it.
void Check(bool Ok, const std::string& Show = "") {
    if (Ok)
        return;
    for (unsigned char C : Show)
        if (C < 0x20 && C != '\n')
            std::fprintf(stderr, "\\x%02x", C);
        else
            std::fputc(C, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

bool Same(const TRegValue& A, const TRegValue& B) {
    return A.Name == B.Name && A.Type == B.Type && A.Kind == B.Kind && A.Text == B.Text && A.Int == B.Int &&
           A.Bytes == B.Bytes;
}

// Empty when A and B hold the same keys, else what differs first.
std::string Differ(const std::vector<TRegFileKey>& A, const std::vector<TRegFileKey>& B) {
    if (A.size() != B.size())
        return std::to_string(A.size()) + " keys, then " + std::to_string(B.size());
    for (size_t I = 0; I < A.size(); ++I) {
        if (A[I].Root != B[I].Root || A[I].Path != B[I].Path || A[I].Delete != B[I].Delete ||
            A[I].Values.size() != B[I].Values.size())
            return "key " + A[I].Path + ", then " + B[I].Path;
        for (size_t J = 0; J < A[I].Values.size(); ++J) {
            const TRegFileValue &X = A[I].Values[J], &Y = B[I].Values[J];
            if (X.Delete != Y.Delete || X.Value.Name != Y.Value.Name ||
                (!X.Delete && !Same(X.Value, Y.Value)))
                return "value \"" + X.Value.Name + "\" of " + A[I].Path + ": \"" + FormatRegValue(X.Value) +
                       "\", then \"" + FormatRegValue(Y.Value) + "\"";
        }
    }
    return "";
}

// The keys as a .reg file, the way an export writes them.
std::string Write(const std::vector<TRegFileKey>& Keys) {
    std::string Text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const auto& K : Keys) {
        Text += std::string("[") + (K.Delete ? "-" : "") + RootedPath(K.Root, K.Path) + "]\r\n";
        for (const auto& V : K.Values) {
            if (V.Delete) {
                TRegValue Named;
                Named.Name = V.Value.Name;
                std::string Line = FormatRegValue(Named); // "name"="" or @=""
                Text += Line.substr(0, Line.size() - 2) + "-\r\n";
            } else {
                Text += FormatRegValue(V.Value) + "\r\n";
            }
        }
        Text += "\r\n";
    }
    return Text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    std::string Bytes(reinterpret_cast<const char*>(Data), Size);
    std::string Text, Error;
    if (!DecodeRegBytes(Bytes, Text, Error)) {
        Check(!Error.empty());
        return 0;
    }
    std::vector<TRegFileKey> Keys;
    if (!ParseRegText(Text, Keys, Error)) {
        Check(Keys.empty() && (Error.rfind("line ", 0) == 0 || Error.rfind("empty file", 0) == 0));
        return 0;
    }
    std::string Again = Write(Keys), Utf16, Decoded;
    std::vector<TRegFileKey> Reread;
    Check(ParseRegText(Again, Reread, Error), "written again, not read: " + Error + "\n" + Again);
    std::string Diff = Differ(Keys, Reread);
    Check(Diff.empty(), "written again, read differently: " + Diff);
    // And through UTF-16LE, as the export writes it by default.
    Check(EncodeUtf16Le(Again, Utf16) && DecodeRegBytes(Utf16, Decoded, Error) && Decoded == Again);
    return 0;
}
