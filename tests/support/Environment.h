#pragma once
// Sets an environment variable of the test process (an empty value removes
// it), on every platform.

#include <cstdlib>
#include <string>

namespace wdx::testsupport {

inline void SetEnv(const char* Name, const std::string& Value) {
#ifdef _WIN32
    _putenv_s(Name, Value.c_str());
#else
    if (Value.empty())
        unsetenv(Name);
    else
        setenv(Name, Value.c_str(), 1);
#endif
}

} // namespace wdx::testsupport
