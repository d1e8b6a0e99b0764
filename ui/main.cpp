#include <QApplication>

#include "ui/App.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return rekkon::ui::runApp(app);
}
