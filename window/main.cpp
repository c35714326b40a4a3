// main.cpp -- `ostra-window [model-directory]`: the desktop window of Ostra.
//
// Opens the window on the model directory given, else on the current
// directory. The run itself starts with the window's run button.
#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <filesystem>

#include "model/constants.h"
#include "window/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("ostra-window");
    QApplication::setApplicationVersion("1.0");

    // Qt has taken its own options (-platform, ...) out of the arguments.
    const QStringList args = QApplication::arguments().mid(1);
    if (args.contains("--help") || args.contains("-h")) {
        std::printf("usage: ostra-window [model-directory]\n");
        return ostra::EXIT_DONE;
    }
    if (args.size() > 1) {
        std::fprintf(stderr, "usage: ostra-window [model-directory]\n");
        return ostra::EXIT_USAGE;
    }
    const std::filesystem::path dir =
        args.isEmpty() ? std::filesystem::current_path() : std::filesystem::path(args[0].toStdString());

    ostra::window::MainWindow window(dir);
    window.show();
    return QApplication::exec();
}
