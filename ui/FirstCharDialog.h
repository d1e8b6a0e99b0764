#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "recovery/FirstChar.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace rekkon::ui {

// What the first-character dialog tells about the file it asks for.
struct FirstCharFile {
    QString folder;    // where it was found ("\DOCS"); empty: not shown
    QString longName;  // empty when none is known
    std::optional<std::uint64_t> size;
};

// Asks for the lost first character of one deleted 8.3 name ("?ILE.TXT"), with the choice of
// using it for every further such file of the same recovery. OK refuses a character that cannot
// stand first in a name and says so; the dialog then stays open. A `suggestion` (the character
// the long-name checksum proves) is filled in instead of '?', selected so typing replaces it.
// Below, the file's folder, long name and size tell which file is meant. The character field is
// wide enough for any character in the dialog's font.
class FirstCharDialog : public QDialog {
    Q_OBJECT

  public:
    explicit FirstCharDialog(const QString& fileName, QWidget* parent = nullptr,
                             const QString& suggestion = {}, const FirstCharFile& file = {});

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
    // The file the next questions are about.
    void setFile(const FirstCharFile& file) { file_ = file; }

  private:
    QWidget* parent_;
    FirstCharFile file_;
};

}  // namespace rekkon::ui
