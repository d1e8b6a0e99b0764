#include "recovery/SourceSelect.h"

namespace rekkon {

SelectedSource selectSource(const std::string& path, const SourceChoice& /*choice*/,
                            const SourceOpener& open) {
    SelectedSource selected;
    selected.device = open(path, selected.error);
    selected.status = selected.device ? SourceStatus::Opened : SourceStatus::CannotOpen;
    return selected;
}

}  // namespace rekkon
