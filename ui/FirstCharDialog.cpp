#include "ui/FirstCharDialog.h"

namespace rekkon::ui {

FirstCharDialog::FirstCharDialog(const QString&, QWidget* parent) : QDialog(parent) {}

void FirstCharDialog::accept() {
    QDialog::accept();
}

DialogFirstCharAsker::DialogFirstCharAsker(QWidget* parent) : parent_(parent) {}

std::optional<FirstCharAnswer> DialogFirstCharAsker::ask(const std::string&) {
    return std::nullopt;
}

}  // namespace rekkon::ui
