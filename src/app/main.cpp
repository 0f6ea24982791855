#include "BuildInfo.h"
#include "MainWindow.h"
#include "OrvaletApp.h"

#include <QApplication>
#include <cstdio>

namespace {

// Without a display Qt would abort with a multi-line complaint; say it in one line instead.
bool hasDisplay() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char** argv) {
    if (!hasDisplay()) {
        std::fprintf(stderr,
                     "Orvalet needs a desktop session: no display found (DISPLAY and WAYLAND_DISPLAY are "
                     "unset).\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvalet"));
    QApplication::setApplicationVersion(orvalet::BuildInfo::version());
    QApplication::setOrganizationDomain(QStringLiteral("orvalet.app"));
    // Matches the installed desktop entry, so desktops show its name and icon for the windows.
    QGuiApplication::setDesktopFileName(QStringLiteral("app.orvalet.Orvalet"));

    QString error;
    auto app = orvalet::OrvaletApp::create(orvalet::Preferences::openUserSettings(),
                                           orvalet::TagStore::defaultPath(), &error);
    if (!app) {
        std::fprintf(stderr, "Could not create ModelContainer: %s\n", qPrintable(error));
        return 1;
    }
    app->newMainWindow()->show();
    return QApplication::exec();
}
