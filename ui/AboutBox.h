#pragma once

#include <QDialog>

namespace rekkon::ui {

// The About box: a banner, the program icon, the product title, the maker's notice, the maker's
// web address as plain text, a legal notice and an OK button. It keeps no state: every opening
// shows the same texts.
class AboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* parent = nullptr);

    static const QString kMakerNotice;
    static const QString kWebAddress;
    static const QString kLegalNotice;
};

}  // namespace rekkon::ui
