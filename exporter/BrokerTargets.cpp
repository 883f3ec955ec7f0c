#include "exporter/BrokerTargets.h"

#include <unordered_map>
#include <unordered_set>

namespace wdx::exporter {

using brokerstore::TBrokerScope;

std::string StoreProblem(TBrokerScope Scope) {
    std::string Problem = brokerstore::ScopeReadProblem(Scope);
    if (!Problem.empty())
        Problem[0] = 'T'; // a sentence of its own here
    return Problem;
}

std::vector<TBrokerTarget> ListBrokerTargets(const std::vector<std::string>& Only) {
    std::vector<TBrokerTarget> Defined;
    std::unordered_map<std::string, std::size_t> ByName; // folded name -> index in Defined
    for (brokerstore::TClientDefinition& D : brokerstore::ListClientDefinitions().Definitions)
        if (D.Used) {
            ByName.emplace(brokerstore::BrokerNameKey(D.Name), Defined.size());
            Defined.push_back({std::move(D.Name), D.Scope});
        }
    if (Only.empty())
        return Defined;

    std::vector<TBrokerTarget> Chosen;
    std::unordered_set<std::string> Seen;
    for (const std::string& Name : Only) {
        std::string Fold = brokerstore::BrokerNameKey(Name);
        if (!Seen.insert(Fold).second)
            continue;
        auto It = ByName.find(Fold);
        Chosen.push_back(It != ByName.end() ? Defined[It->second] : TBrokerTarget{Name, std::nullopt});
    }
    return Chosen;
}

} // namespace wdx::exporter
