#include "ui/App.h"

#include <QApplication>

namespace rekkon::ui {

int runApp(QApplication& app) {
    return app.exec();
}

}  // namespace rekkon::ui
