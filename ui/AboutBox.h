#pragma once

#include <QDialog>

namespace rekkon::ui {

// The About box: the banner, the product title, the copyright line and an OK button.
class AboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace rekkon::ui
