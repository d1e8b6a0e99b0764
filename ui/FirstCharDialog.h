#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

#include "recovery/FirstChar.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace rekkon::ui {

// Asks for the lost first character of one deleted 8.3 name ("?ILE.TXT"), with the choice of
// using it for every further such file of the same recovery. OK refuses a character that cannot
// stand first in a name and says so; the dialog then stays open. A `suggestion` (the character
// the long-name checksum proves) is filled in instead of '?', selected so typing replaces it.
class FirstCharDialog : public QDialog {
    Q_OBJECT

  public:
    explicit FirstCharDialog(const QString& fileName, QWidget* parent = nullptr,
                             const QString& suggestion = {});

    // The accepted answer; nullopt until OK has accepted a character.
    std::optional<FirstCharAnswer> answer() const { return answer_; }

    QLineEdit* characterEdit() const { return edit_; }
    QCheckBox* useForAllBox() const { return useForAll_; }
    QPushButton* okButton() const { return ok_; }

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLineEdit* edit_ = nullptr;
    QCheckBox* useForAll_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::optional<FirstCharAnswer> answer_;
};

// The first-character rule's questions, asked with FirstCharDialog (modal, on the UI thread).
class DialogFirstCharAsker : public FirstCharAsker {
  public:
    explicit DialogFirstCharAsker(QWidget* parent);
    std::optional<FirstCharAnswer> ask(const std::string& name,
                                       const std::optional<std::string>& suggestion) override;

  private:
    QWidget* parent_;
};

}  // namespace rekkon::ui
