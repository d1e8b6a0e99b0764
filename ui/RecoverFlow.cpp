#include "ui/RecoverFlow.h"

namespace rekkon::ui {

void recoverSelected(QWidget* parent, ScanContext& context, const QString& sourcePath,
                     const std::vector<const DeletedFileEntry*>& entries) {
    recoverSelected(parent, context, sourcePath, entries, RecoverFlowHooks{});
}

std::vector<RecoveryOutcome> recoverSelected(QWidget*, ScanContext&, const QString&,
                                             const std::vector<const DeletedFileEntry*>&,
                                             const RecoverFlowHooks&) {
    return {};
}

}  // namespace rekkon::ui
