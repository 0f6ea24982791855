#include "BuildInfo.h"
#include "MainWindow.h"
#include "OrvaletApp.h"
#include "SingleInstance.h"

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

    // One process per user and store: a second start brings the first one's window forward. The
    // store is the one under the data folder (XDG_DATA_HOME on Linux), which tests set to their own.
    const QString storePath = orvalet::TagStore::defaultPath();
    orvalet::SingleInstance instance(storePath);
    switch (instance.claim()) {
    case orvalet::SingleInstance::Claim::first:
        break;
    case orvalet::SingleInstance::Claim::handedOver:
        return 0;
    case orvalet::SingleInstance::Claim::unanswered:
        std::fprintf(stderr, "Orvalet is already running over %s and did not answer.\n",
                     qPrintable(storePath));
        return 1;
    }

    QString error;
    auto app = orvalet::OrvaletApp::create(orvalet::Preferences::openUserSettings(), storePath, &error);
    if (!app) {
        std::fprintf(stderr, "Could not create ModelContainer: %s\n", qPrintable(error));
        return 1;
    }
    QObject::connect(&instance, &orvalet::SingleInstance::activationRequested, app.get(),
                     &orvalet::OrvaletApp::bringToFront);
    app->newMainWindow()->show();
    return QApplication::exec();
}
