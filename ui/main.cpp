#include <QApplication>

#include "ui/App.h"

// Set by the build (cmake/Install.cmake): the base name of the installed desktop entry.
#ifndef REKKON_APP_ID
#define REKKON_APP_ID "io.github.rekkon.Rekkon"
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Ties the windows to the desktop entry, whose icon and name the desktop shows.
    rekkon::ui::setUpApplication(app, QStringLiteral(REKKON_APP_ID));
    return rekkon::ui::runApp(app);
}
