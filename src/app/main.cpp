// Tessarin desktop application.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    int quitAfterMs = -1;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--quit-after") == 0) quitAfterMs = std::atoi(argv[i + 1]);

    if (!haveDisplay()) {
        std::printf("Tessarin: no display available (DISPLAY and WAYLAND_DISPLAY are unset); "
                    "nothing to show. Use tessarin-cli, or set QT_QPA_PLATFORM=offscreen.\n");
        return 0;
    }

    QApplication qapp(argc, argv);
    tessarin::app::TessarinApp app;
    if (!app.initInstance()) return 1;
    if (quitAfterMs >= 0) QTimer::singleShot(quitAfterMs, &qapp, &QApplication::quit);
    QApplication::exec();
    return app.exitInstance();
}
