#include "common/help/HelpService.h"

#include "common/help/ChmHelpService.h"

namespace wdx::common {

namespace {
struct TEngineState {
    bool Loaded = false;
    bool Bound = false;
};

TEngineState& EngineState() {
    static TEngineState state;
    return state;
}

THelpService*& InstalledService() {
    static THelpService* service = nullptr;
    return service;
}

// The platform's own service lives until the program ends; the engine it
// loaded is released then.
struct TPlatformService {
    std::unique_ptr<TChmHelpService> Service = std::make_unique<TChmHelpService>();
    ~TPlatformService() {
        if (EngineState().Loaded && InstalledService() == nullptr)
            Service->FreeHtmlHelpLibrary();
    }
};
} // namespace

THelpService& HelpService() {
    if (THelpService* s = InstalledService())
        return *s;
    static TPlatformService platform;
    return *platform.Service;
}

THelpServiceScope::THelpServiceScope(THelpService& Service) : FPrevious(InstalledService()) {
    // Each scope starts with the engine not loaded, as a fresh program does.
    SetHtmlHelpState(false, false);
    InstalledService() = &Service;
}

THelpServiceScope::~THelpServiceScope() {
    if (EngineState().Loaded)
        InstalledService()->FreeHtmlHelpLibrary();
    SetHtmlHelpState(false, false);
    InstalledService() = FPrevious;
}

bool HtmlHelpLibraryLoaded() {
    return EngineState().Loaded;
}
bool HtmlHelpBound() {
    return EngineState().Bound;
}

void SetHtmlHelpState(bool Loaded, bool Bound) {
    EngineState().Loaded = Loaded;
    EngineState().Bound = Bound;
}

} // namespace wdx::common
