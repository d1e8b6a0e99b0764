#include "ui/AboutBox.h"

#include "ui/Texts.h"

namespace rekkon::ui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kProductTitle);
}

}  // namespace rekkon::ui
