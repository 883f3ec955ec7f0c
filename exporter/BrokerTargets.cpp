#include "exporter/BrokerTargets.h"

#include "registry/Registry.h"

#include <unordered_map>
#include <unordered_set>

namespace wdx::exporter {

using brokerstore::TBrokerScope;

namespace {

std::string Folded(const std::string& Name) {
    std::string Fold;
    // A name that is not UTF-8 cannot be stored; it stays as it is and
    // simply matches nothing.
    return registry::FoldName(Name, Fold) ? Fold : Name;
}

} // namespace

const char* ScopeLabel(TBrokerScope Scope) {
    return Scope == brokerstore::scSystem ? "System" : "User";
}

std::string StoreProblem(TBrokerScope Scope) {
    registry::TRegTransaction Tx(Scope == brokerstore::scSystem ? registry::TRegRoot::System
                                                                : registry::TRegRoot::User,
                                 registry::TRegAccess::Read);
    if (Tx.Ok())
        return {};
    return std::string("The ") + ScopeLabel(Scope) + " settings (" + Tx.FilePath() +
           ") cannot be read: " + Tx.ErrorText();
}

std::vector<TBrokerTarget> ListBrokerTargets(const std::vector<std::string>& Only) {
    std::vector<TBrokerTarget> Defined;
    std::unordered_map<std::string, std::size_t> ByName; // folded name -> index in Defined
    for (TBrokerScope Scope : {brokerstore::scUser, brokerstore::scSystem})
        for (std::string& Name : brokerstore::ListBrokerNames(Scope))
            if (ByName.emplace(Folded(Name), Defined.size()).second)
                Defined.push_back({std::move(Name), Scope});
    if (Only.empty())
        return Defined;

    std::vector<TBrokerTarget> Chosen;
    std::unordered_set<std::string> Seen;
    for (const std::string& Name : Only) {
        std::string Fold = Folded(Name);
        if (!Seen.insert(Fold).second)
            continue;
        auto It = ByName.find(Fold);
        Chosen.push_back(It != ByName.end() ? Defined[It->second] : TBrokerTarget{Name, std::nullopt});
    }
    return Chosen;
}

} // namespace wdx::exporter
