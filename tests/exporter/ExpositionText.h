#pragma once
// Reading the exposition the exporter serves, for the tests: the samples
// with their labels unescaped, and promtool's verdict on the whole text.
// The parser is the tests' own, so a fault in the exporter's escaping is
// not hidden by the same fault in the reader.

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace wdx::testing {

struct TSample {
    std::string Name;
    std::map<std::string, std::string> Labels;
    double Value = 0;
};

// One sample line, "name{a="x",b="y"} value"; throws on anything else.
inline TSample ParseSampleLine(const std::string& Line) {
    TSample S;
    std::size_t I = Line.find_first_of("{ ");
    if (I == std::string::npos)
        throw std::runtime_error("no value: " + Line);
    S.Name = Line.substr(0, I);
    if (Line[I] == '{') {
        ++I;
        while (I < Line.size() && Line[I] != '}') {
            std::size_t Eq = Line.find("=\"", I);
            if (Eq == std::string::npos)
                throw std::runtime_error("bad label: " + Line);
            std::string Name = Line.substr(I, Eq - I), Value;
            for (I = Eq + 2; I < Line.size() && Line[I] != '"'; ++I) {
                if (Line[I] != '\\') {
                    Value += Line[I];
                    continue;
                }
                if (++I == Line.size())
                    throw std::runtime_error("bad escape: " + Line);
                if (Line[I] == 'n')
                    Value += '\n';
                else if (Line[I] == '\\' || Line[I] == '"')
                    Value += Line[I];
                else
                    throw std::runtime_error("unknown escape: " + Line);
            }
            if (I == Line.size())
                throw std::runtime_error("open label value: " + Line);
            S.Labels[Name] = Value;
            ++I;
            if (I < Line.size() && Line[I] == ',')
                ++I;
        }
        if (I == Line.size())
            throw std::runtime_error("open labels: " + Line);
        ++I;
    }
    if (I >= Line.size() || Line[I] != ' ')
        throw std::runtime_error("no value: " + Line);
    S.Value = std::stod(Line.substr(I + 1));
    return S;
}

struct TExposition {
    std::string Text;
    std::vector<TSample> Samples;
    std::map<std::string, std::string> Help, Type; // by family name

    explicit TExposition(std::string Body) : Text(std::move(Body)) {
        std::size_t At = 0;
        while (At < Text.size()) {
            std::size_t End = Text.find('\n', At);
            if (End == std::string::npos)
                End = Text.size();
            std::string Line = Text.substr(At, End - At);
            At = End + 1;
            if (Line.rfind("# HELP ", 0) == 0 || Line.rfind("# TYPE ", 0) == 0) {
                std::size_t Blank = Line.find(' ', 7);
                (Line[2] == 'H' ? Help : Type)[Line.substr(7, Blank - 7)] =
                    Blank == std::string::npos ? "" : Line.substr(Blank + 1);
            } else if (!Line.empty() && Line[0] != '#') {
                Samples.push_back(ParseSampleLine(Line));
            }
        }
    }

    // Samples of Name whose labels include all of Want.
    std::vector<TSample> Find(const std::string& Name,
                              const std::map<std::string, std::string>& Want = {}) const {
        std::vector<TSample> R;
        for (const TSample& S : Samples) {
            if (S.Name != Name)
                continue;
            bool All = true;
            for (const auto& [K, V] : Want) {
                auto It = S.Labels.find(K);
                All = All && It != S.Labels.end() && It->second == V;
            }
            if (All)
                R.push_back(S);
        }
        return R;
    }
    // The value of the one sample that matches; nullopt when none or several do.
    std::optional<double> Value(const std::string& Name,
                                const std::map<std::string, std::string>& Want) const {
        auto R = Find(Name, Want);
        return R.size() == 1 ? std::optional<double>(R[0].Value) : std::nullopt;
    }
};

// GET Path from 127.0.0.1:Port; throws when no answer came within 30 s.
inline httplib::Result Get(int Port, const std::string& Path) {
    httplib::Client C("127.0.0.1", Port);
    C.set_connection_timeout(5);
    C.set_read_timeout(30);
    auto R = C.Get(Path);
    if (!R)
        throw std::runtime_error("no answer from 127.0.0.1:" + std::to_string(Port) + Path);
    return R;
}

inline TExposition Scrape(int Port) {
    auto R = Get(Port, "/metrics");
    if (R->status != 200)
        throw std::runtime_error("/metrics answered " + std::to_string(R->status));
    return TExposition(R->body);
}

// What promtool check metrics says about Text: its exit status and output.
inline std::pair<int, std::string> PromtoolCheckMetrics(const std::string& Text) {
    char Path[] = "/tmp/wdx-exposition-XXXXXX";
    int Fd = mkstemp(Path);
    if (Fd < 0 || write(Fd, Text.data(), Text.size()) != static_cast<ssize_t>(Text.size()))
        throw std::runtime_error("cannot write a temporary file");
    close(Fd);
    std::string Command = std::string(WDX_PROMTOOL) + " check metrics < " + Path + " 2>&1";
    FILE* P = popen(Command.c_str(), "r");
    std::string Out;
    char Buf[512];
    while (P && fgets(Buf, sizeof Buf, P))
        Out += Buf;
    int Status = P ? pclose(P) : -1;
    unlink(Path);
    return {Status, Out};
}

} // namespace wdx::testing
