// Tessarin desktop application.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_core.h"
#include "tessarin_app.h"

namespace {

bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;  // the user chose a platform (offscreen, vnc, ...)
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    // A plain file name on the command line opens nothing, as it always has;
    // "--open MODE PATH" opens PATH as the open command of that OpenMode
    // would (the demo and scripted sessions use it).
    int quitAfterMs = -1;
    int openMode = -1;
    const char* openPath = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--quit-after") == 0) quitAfterMs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--open") == 0 && i + 2 < argc) {
            openMode = std::atoi(argv[i + 1]);
            openPath = argv[i + 2];
        }
    }

    if (!haveDisplay()) {
        std::printf("Tessarin: no display available (DISPLAY and WAYLAND_DISPLAY are unset); "
                    "nothing to show. Use tessarin-cli, or set QT_QPA_PLATFORM=offscreen.\n");
        return 0;
    }

    QApplication qapp(argc, argv);
    tessarin::app::TessarinApp app;
    if (!app.initInstance()) return 1;
    if (openPath) {
        QTimer::singleShot(0, &qapp, [&app, openMode, openPath] {
            app.core()->linkBlock().writeOpenMode(openMode);
            app.core()->openDocument(openPath);
        });
    }
    if (quitAfterMs >= 0) QTimer::singleShot(quitAfterMs, &qapp, &QApplication::quit);
    QApplication::exec();
    return app.exitInstance();
}
