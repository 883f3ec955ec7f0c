// WDXReg: the settings store from the command line, in the manner of the
// Windows "reg" command. Exit status 0 on success, 1 when the operation
// failed (missing key, refused write, malformed .reg ...), 2 on bad arguments.

#include "WdxVersion.h"
#include "tools/RegFile.h"
#include "tools/platform/Platform.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace wdx;
using namespace wdx::tools;
using registry::TRegAccess;
using registry::TRegError;
using registry::TRegKey;
using registry::TRegRoot;
using registry::TRegTransaction;
using registry::TRegValue;
using registry::TRegValueType;

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int Failed(const std::string& Message) {
    std::cerr << "WDXReg: " << Message << "\n";
    return ExitFailed;
}

struct TTarget {
    bool User = false;
    bool System = false;
    std::string Key;
    TRegRoot Root = TRegRoot::User;
    std::string Path;
};

void AddTarget(CLI::App* Cmd, TTarget& T) {
    Cmd->add_option("KEY", T.Key, "HKCU\\path or HKLM\\path (or a path with --user / --system)")->required();
    auto* U = Cmd->add_flag("--user", T.User, "the User root (HKEY_CURRENT_USER)");
    auto* S = Cmd->add_flag("--system", T.System, "the System root (HKEY_LOCAL_MACHINE)");
    U->excludes(S);
}

// Root and path from the key argument and the root flags; false with a message.
bool Resolve(TTarget& T, std::string& Why) {
    TRegRoot Named;
    if (SplitRootedPath(T.Key, Named, T.Path)) {
        if ((T.User && Named != TRegRoot::User) || (T.System && Named != TRegRoot::System)) {
            Why = "the key names one root and the option the other: " + T.Key;
            return false;
        }
        T.Root = Named;
        return true;
    }
    if (!T.User && !T.System) {
        Why = "say which root: HKCU\\" + T.Key + ", HKLM\\" + T.Key + ", or --user / --system";
        return false;
    }
    T.Root = T.System ? TRegRoot::System : TRegRoot::User;
    T.Path = T.Key;
    return true;
}

// Asks on the terminal; without one the answer is no.
bool Confirm(const std::string& Question) {
    if (!platform::InputIsTerminal())
        return false;
    std::cout << Question << " (Yes/No)? " << std::flush;
    std::string Answer;
    std::getline(std::cin, Answer);
    return !Answer.empty() && (Answer[0] == 'y' || Answer[0] == 'Y');
}

std::string TypeName(const TRegValue& V) {
    switch (V.Kind) {
    case 0:
        return "REG_NONE";
    case 1:
        return "REG_SZ";
    case 2:
        return "REG_EXPAND_SZ";
    case 3:
        return "REG_BINARY";
    case 4:
        return "REG_DWORD";
    case 7:
        return "REG_MULTI_SZ";
    case 11:
        return "REG_QWORD";
    default:
        return "REG_TYPE_" + std::to_string(V.Kind);
    }
}

std::string DataText(const TRegValue& V) {
    if (V.Type == TRegValueType::Text)
        return V.Text;
    char Buf[32];
    if (V.Type == TRegValueType::Int32) {
        std::snprintf(Buf, sizeof Buf, "0x%x", static_cast<std::uint32_t>(V.Int));
        return Buf;
    }
    std::string Hex;
    for (unsigned char C : V.Bytes) {
        std::snprintf(Buf, sizeof Buf, "%02X", C);
        Hex += Buf;
    }
    return Hex;
}

void PrintValue(const TRegValue& V) {
    std::cout << "    " << (V.Name.empty() ? "(Default)" : V.Name) << "    " << TypeName(V) << "    "
              << DataText(V) << "\n";
}

std::string Join(const std::string& Path, const std::string& Name) {
    return Path.empty() ? Name : Path + "\\" + Name;
}

void PrintBlock(TRegRoot Root, const std::string& Path, const std::vector<TRegValue>& Values) {
    std::cout << "\n" << RootedPath(Root, Path) << "\n";
    for (const auto& V : Values)
        PrintValue(V);
}

// Prints one key: its values, then its sub-keys (or their blocks with Recurse).
bool PrintKey(TRegTransaction& Tx, TRegRoot Root, const std::string& Path, bool Recurse) {
    TRegKey Key;
    if (!Tx.OpenKey(Path, Key))
        return false;
    if (Recurse)
        return WalkKeyTree(Key, Path, [&](const std::string& P, const std::vector<TRegValue>& Values) {
            PrintBlock(Root, P, Values);
            return true;
        });
    std::vector<TRegValue> Values;
    std::vector<std::string> Subs;
    if (!Key.Values(Values) || !Key.SubKeyNames(Subs))
        return false;
    PrintBlock(Root, Path, Values);
    if (!Subs.empty())
        std::cout << "\n";
    for (const auto& S : Subs)
        std::cout << RootedPath(Root, Join(Path, S)) << "\n";
    return true;
}

std::string Describe(const TRegTransaction& Tx, TRegRoot Root, const std::string& Path) {
    if (Tx.Error() == TRegError::NotFound)
        return "not found: " + RootedPath(Root, Path) +
               (Tx.ErrorText().find("value") == 0 ? " (" + Tx.ErrorText() + ")" : "");
    return Tx.ErrorText();
}

bool ParseDword(const std::string& Text, std::int32_t& Value) {
    const char* B = Text.data();
    const char* E = B + Text.size();
    bool Hex = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
    if (Hex) {
        std::uint32_t U = 0;
        auto [P, Ec] = std::from_chars(B + 2, E, U, 16);
        Value = static_cast<std::int32_t>(U);
        return Ec == std::errc() && P == E;
    }
    long long N = 0;
    auto [P, Ec] = std::from_chars(B, E, N, 10);
    if (Ec != std::errc() || P != E || N < INT32_MIN || N > UINT32_MAX)
        return false;
    Value = static_cast<std::int32_t>(static_cast<std::uint32_t>(N));
    return true;
}

// Writes a file whole or not at all: a temporary file renamed into place.
bool WriteWhole(const std::string& File, const std::string& Bytes, std::string& Why) {
    std::string Tmp = File + ".tmp" + std::to_string(platform::ProcessId());
    std::error_code Ignored;
    {
        std::ofstream Out(platform::FilePath(Tmp), std::ios::binary | std::ios::trunc);
        Out << Bytes;
        Out.flush();
        if (!Out) {
            Why = "cannot write " + File + ": " + std::strerror(errno);
            std::filesystem::remove(platform::FilePath(Tmp), Ignored);
            return false;
        }
    }
    if (std::string Reason; !platform::MoveOver(Tmp, File, Reason)) {
        Why = "cannot write " + File + ": " + Reason;
        std::filesystem::remove(platform::FilePath(Tmp), Ignored);
        return false;
    }
    return true;
}

int RunQuery(TTarget& T, const std::string& ValueName, bool DefaultValue, bool Recurse) {
    TRegTransaction Tx(T.Root, TRegAccess::Read);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.OpenKey(T.Path, Key))
        return Failed(Describe(Tx, T.Root, T.Path));
    if (!ValueName.empty() || DefaultValue) {
        TRegValue V;
        if (!Key.ReadValue(ValueName, V))
            return Failed(Tx.Error() == TRegError::NotFound
                              ? "value not found: " + RootedPath(T.Root, T.Path) + " " +
                                    (DefaultValue ? "(Default)" : ValueName)
                              : Tx.ErrorText());
        std::cout << "\n" << RootedPath(T.Root, T.Path) << "\n";
        PrintValue(V);
        return 0;
    }
    if (!PrintKey(Tx, T.Root, T.Path, Recurse))
        return Failed(Tx.ErrorText());
    return 0;
}

int RunAdd(TTarget& T, const std::string& ValueName, bool DefaultValue, std::string Type,
           const std::string& Data, bool Force) {
    bool HasValue = !ValueName.empty() || DefaultValue;
    TRegValue V;
    V.Name = ValueName;
    for (auto& C : Type)
        C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    if (Type == "REG_SZ") {
        V.Text = Data;
    } else if (Type == "REG_DWORD") {
        V.Type = TRegValueType::Int32;
        V.Kind = registry::RegKindInt32;
        if (!ParseDword(Data, V.Int)) {
            std::cerr << "WDXReg: REG_DWORD data must be a number from -2147483648 to 4294967295 or 0x0 to "
                         "0xffffffff, not \""
                      << Data << "\"\n";
            return ExitUsage;
        }
    } else {
        std::cerr << "WDXReg: unsupported type " << Type << ": use REG_SZ or REG_DWORD\n";
        return ExitUsage;
    }
    if (HasValue && !Force) {
        TRegValue Old;
        bool Exists = registry::ReadValue(T.Root, T.Path, V.Name, Old);
        if (Exists &&
            !Confirm("Value " + (V.Name.empty() ? std::string("(Default)") : V.Name) + " exists, overwrite"))
            return Failed("value exists; nothing changed (add -f to overwrite)");
    }
    // The value's name is checked before the key is made: a store without
    // transactions (the Windows registry) could not take the new key back.
    std::string Why;
    if (TRegError Error; HasValue && !registry::CheckValueName(V.Name, Error, Why))
        return Failed(Why);
    TRegTransaction Tx(T.Root, TRegAccess::Write);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.CreateKey(T.Path, Key) || (HasValue && !Key.WriteValue(V)) || !Tx.Commit())
        return Failed(Tx.ErrorText());
    std::cout << "Saved " << RootedPath(T.Root, T.Path)
              << (HasValue ? " " + (V.Name.empty() ? std::string("(Default)") : V.Name) : "") << "\n";
    return 0;
}

int RunDelete(TTarget& T, const std::string& ValueName, bool DefaultValue, bool AllValues, bool Force) {
    bool OneValue = !ValueName.empty() || DefaultValue;
    {
        TRegTransaction Tx(T.Root, TRegAccess::Read);
        TRegKey Key;
        TRegValue V;
        if (!Tx.Ok() || !Tx.OpenKey(T.Path, Key))
            return Failed(Describe(Tx, T.Root, T.Path));
        if (OneValue && !Key.ReadValue(ValueName, V))
            return Failed(Tx.Error() == TRegError::NotFound
                              ? "value not found: " + RootedPath(T.Root, T.Path) + " " +
                                    (DefaultValue ? "(Default)" : ValueName)
                              : Tx.ErrorText());
    }
    std::string What = OneValue ? "the value " + (DefaultValue ? std::string("(Default)") : ValueName) +
                                      " of " + RootedPath(T.Root, T.Path)
                       : AllValues ? "all values of " + RootedPath(T.Root, T.Path)
                                   : "the key " + RootedPath(T.Root, T.Path) + " and everything below it";
    if (!Force && !Confirm("Delete " + What))
        return Failed("nothing deleted (add -f to delete without asking)");
    TRegTransaction Tx(T.Root, TRegAccess::Write);
    TRegKey Key;
    bool Ok = Tx.Ok();
    if (Ok && !OneValue && !AllValues) {
        Ok = Tx.DeleteKey(T.Path);
    } else if (Ok && Tx.OpenKey(T.Path, Key)) {
        std::vector<TRegValue> Values;
        if (OneValue)
            Ok = Key.DeleteValue(ValueName);
        else if ((Ok = Key.Values(Values)))
            for (const auto& V : Values)
                Ok = Ok && Key.DeleteValue(V.Name);
    } else {
        Ok = false;
    }
    if (!Ok || !Tx.Commit())
        return Failed(Describe(Tx, T.Root, T.Path));
    std::cout << "Deleted " << What << "\n";
    return 0;
}

int RunExport(TTarget& T, const std::string& File, bool Utf8, bool Yes) {
    std::string Text, Why;
    if (!ExportRegTree(T.Root, T.Path, Text, Why))
        return Failed(Why);
    std::string Bytes = Text;
    if (!Utf8 && !EncodeUtf16Le(Text, Bytes))
        return Failed("a text value is not valid UTF-8 and cannot be written as UTF-16; try --utf8");
    if (File == "-") {
        std::cout << Bytes << std::flush;
        return 0;
    }
    std::error_code Ignored;
    if (!Yes && std::filesystem::exists(platform::FilePath(File), Ignored) &&
        !Confirm("File " + File + " exists, overwrite"))
        return Failed("file exists; nothing written (add -y to overwrite)");
    if (!WriteWhole(File, Bytes, Why))
        return Failed(Why);
    std::cout << "Exported " << RootedPath(T.Root, T.Path) << " to " << File << "\n";
    return 0;
}

int RunImport(const std::string& File) {
    std::stringstream Buf;
    if (File == "-") {
        Buf << std::cin.rdbuf();
    } else {
        std::ifstream In(platform::FilePath(File), std::ios::binary);
        if (!In)
            return Failed("cannot read " + File + ": " + std::strerror(errno));
        Buf << In.rdbuf();
    }
    std::string Text, Why;
    std::vector<TRegFileKey> Keys;
    if (!DecodeRegBytes(Buf.str(), Text, Why) || !ParseRegText(Text, Keys, Why) || !ImportRegKeys(Keys, Why))
        return Failed(File + ": " + Why);
    std::cout << "Imported " << Keys.size() << " key(s) from " << File << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Exports to standard output and imports from standard input are .reg
    // files byte for byte (UTF-16 ones too), on every platform.
    platform::UseUtf8StandardStreams();
    CLI::App App{"Query and change the settings store: the User root (HKCU) and the System root (HKLM).\n"
                 "Store files: $WDX_USER_STORE and $WDX_SYSTEM_STORE, or the default places.",
                 "WDXReg"};
    App.require_subcommand(1);
    // The same options on every platform: CLI11 would read "/x" as an option on
    // Windows, and a file name may begin with '/'.
    App.allow_windows_style_options(false);
    App.set_version_flag("--version", std::string("WDXReg ") + wdx::Version, "show the version and exit");
    TTarget T;
    std::string ValueName, Type = "REG_SZ", Data, File;
    bool DefaultValue = false, Recurse = false, Force = false, AllValues = false, Utf8 = false, Yes = false;

    auto* Query = App.add_subcommand("query", "show a key's values (with their types) and its sub-keys");
    AddTarget(Query, T);
    auto* QV = Query->add_option("-v,--value", ValueName, "show only this value");
    Query->add_flag("--ve", DefaultValue, "show only the default (unnamed) value")->excludes(QV);
    Query->add_flag("-s,--recursive", Recurse, "show every key below as well");

    auto* Add = App.add_subcommand("add", "create a key, or write a value into it (creating it as needed)");
    AddTarget(Add, T);
    auto* AV = Add->add_option("-v,--value", ValueName, "the value's name");
    Add->add_flag("--ve", DefaultValue, "the default (unnamed) value")->excludes(AV);
    Add->add_option("-t,--type", Type, "REG_SZ (text, the default) or REG_DWORD (32-bit integer)");
    Add->add_option("-d,--data", Data, "the data: text, or a number (decimal or 0x hexadecimal)");
    Add->add_flag("-f,--force", Force, "overwrite an existing value without asking");

    auto* Del = App.add_subcommand("delete",
                                   "delete a value, all values of a key, or a key with everything below it");
    AddTarget(Del, T);
    auto* DV = Del->add_option("-v,--value", ValueName, "delete only this value");
    auto* DE = Del->add_flag("--ve", DefaultValue, "delete only the default (unnamed) value")->excludes(DV);
    Del->add_flag("--va", AllValues, "delete all values of the key, keeping its sub-keys")
        ->excludes(DV)
        ->excludes(DE);
    Del->add_flag("-f,--force", Force, "do not ask");

    auto* Exp =
        App.add_subcommand("export", "write a key tree to a .reg file (UTF-16LE, as the Windows editor)");
    AddTarget(Exp, T);
    Exp->add_option("FILE", File, "the .reg file to write, - for standard output")->required();
    Exp->add_flag("--utf8", Utf8, "write UTF-8 instead of UTF-16LE");
    Exp->add_flag("-y,--yes", Yes, "overwrite an existing file without asking");

    auto* Imp = App.add_subcommand("import",
                                   "apply a .reg file (UTF-16LE or UTF-8): all of it or, on any error, none");
    Imp->add_option("FILE", File, "the .reg file, - for standard input")->required();

    // UTF-8 on every platform: key names and texts beyond ASCII arrive whole.
    std::vector<std::string> Args = platform::Arguments(argc, argv);
    std::vector<char*> ArgPtrs;
    for (std::string& A : Args)
        ArgPtrs.push_back(A.data());
    try {
        App.parse(static_cast<int>(ArgPtrs.size()), ArgPtrs.data());
    } catch (const CLI::ParseError& E) {
        return App.exit(E) == 0 ? 0 : ExitUsage;
    }
    if (Imp->parsed())
        return RunImport(File);
    std::string Why;
    if (!Resolve(T, Why)) {
        std::cerr << "WDXReg: " << Why << "\n";
        return ExitUsage;
    }
    if (Query->parsed())
        return RunQuery(T, ValueName, DefaultValue, Recurse);
    if (Add->parsed())
        return RunAdd(T, ValueName, DefaultValue, Type, Data, Force);
    if (Del->parsed())
        return RunDelete(T, ValueName, DefaultValue, AllValues, Force);
    return RunExport(T, File, Utf8, Yes);
}
