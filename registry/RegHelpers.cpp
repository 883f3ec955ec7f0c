// Single-transaction shortcuts over TRegTransaction.

#include "registry/Backend.h"

namespace wdx::registry {

namespace {

bool Done(bool Ok, const TRegTransaction& Tx, TRegError* Error) {
    if (Error)
        *Error = Ok ? TRegError::None : Tx.Error();
    return Ok;
}

template <typename F> bool ReadIn(TRegRoot Root, std::string_view Key, TRegError* Error, F&& Body) {
    TRegTransaction Tx(Root, TRegAccess::Read);
    TRegKey K;
    bool Ok = Tx.Ok() && Tx.OpenKey(Key, K) && Body(K);
    return Done(Ok, Tx, Error);
}

// The value's name is checked before its key is created: a back-end without
// transactions would keep the key of a write that is then refused.
template <typename F>
bool WriteIn(TRegRoot Root, std::string_view Key, std::string_view Name, TRegError* Error, F&& Body) {
    std::string Fold, Text;
    if (TRegError Problem = detail::ValueNameProblem(Name, Fold, Text); Problem != TRegError::None) {
        if (Error)
            *Error = Problem;
        return false;
    }
    TRegTransaction Tx(Root, TRegAccess::Write);
    TRegKey K;
    bool Ok = Tx.Ok() && Tx.CreateKey(Key, K) && Body(K) && Tx.Commit();
    return Done(Ok, Tx, Error);
}

} // namespace

bool ReadText(TRegRoot Root, std::string_view Key, std::string_view Name, std::string& Value,
              TRegError* Error) {
    return ReadIn(Root, Key, Error, [&](TRegKey& K) { return K.ReadText(Name, Value); });
}

bool ReadInt32(TRegRoot Root, std::string_view Key, std::string_view Name, std::int32_t& Value,
               TRegError* Error) {
    return ReadIn(Root, Key, Error, [&](TRegKey& K) { return K.ReadInt32(Name, Value); });
}

bool ReadValue(TRegRoot Root, std::string_view Key, std::string_view Name, TRegValue& Value,
               TRegError* Error) {
    return ReadIn(Root, Key, Error, [&](TRegKey& K) { return K.ReadValue(Name, Value); });
}

bool GetValueType(TRegRoot Root, std::string_view Key, std::string_view Name, TRegValueType& Type,
                  TRegError* Error) {
    return ReadIn(Root, Key, Error, [&](TRegKey& K) { return K.GetValueType(Name, Type); });
}

bool ListSubKeys(TRegRoot Root, std::string_view Key, std::vector<std::string>& Names, TRegError* Error) {
    Names.clear();
    return ReadIn(Root, Key, Error, [&](TRegKey& K) { return K.SubKeyNames(Names); });
}

bool KeyExists(TRegRoot Root, std::string_view Key) {
    return ReadIn(Root, Key, nullptr, [](TRegKey&) { return true; });
}

bool WriteText(TRegRoot Root, std::string_view Key, std::string_view Name, std::string_view Value,
               TRegError* Error) {
    return WriteIn(Root, Key, Name, Error, [&](TRegKey& K) { return K.WriteText(Name, Value); });
}

bool WriteInt32(TRegRoot Root, std::string_view Key, std::string_view Name, std::int32_t Value,
                TRegError* Error) {
    return WriteIn(Root, Key, Name, Error, [&](TRegKey& K) { return K.WriteInt32(Name, Value); });
}

bool DeleteValue(TRegRoot Root, std::string_view Key, std::string_view Name, TRegError* Error) {
    TRegTransaction Tx(Root, TRegAccess::Write);
    TRegKey K;
    bool Ok = Tx.Ok() && Tx.OpenKey(Key, K) && K.DeleteValue(Name) && Tx.Commit();
    return Done(Ok, Tx, Error);
}

bool DeleteKey(TRegRoot Root, std::string_view Key, TRegError* Error) {
    TRegTransaction Tx(Root, TRegAccess::Write);
    bool Ok = Tx.Ok() && Tx.DeleteKey(Key) && Tx.Commit();
    return Done(Ok, Tx, Error);
}

} // namespace wdx::registry
