#pragma once

#include <QWidget>

#include "ui/RowFilter.h"

class QComboBox;
class QLineEdit;

namespace rekkon::ui {

// The line above the results list that narrows it: text matched against the name, long name,
// folder and type, and a choice of the estimates shown. Every change is applied at once.
class FilterBar : public QWidget {
    Q_OBJECT

  public:
    explicit FilterBar(QWidget* parent = nullptr);

    RowFilter filter() const;
    QLineEdit* textField() const { return text_; }
    QComboBox* statusChoice() const { return status_; }

  signals:
    void filterChanged(const rekkon::ui::RowFilter& filter);
    // Enter in the text field: the filter is typed (Enter goes no further, so it never presses
    // the window's default button).
    void entered();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* text_ = nullptr;
    QComboBox* status_ = nullptr;
};

}  // namespace rekkon::ui
