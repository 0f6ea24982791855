// Reads the preferences file named on the command line in a process of its own and prints every
// value, one per line, so tests can see what a fresh start of the application would read.
#include "Preferences.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: preferences_probe FILE\n");
        return 2;
    }
    using namespace orvalet;
    Preferences preferences(
        std::make_unique<QSettings>(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat));
    std::printf("%s\n%d\n%d\n%d\n%.3f\n", qPrintable(TagSortOptions::rawValue(preferences.sortOption())),
                preferences.showRootTagsOnly(), preferences.showChildrenCounts(),
                preferences.showTodoCounts(), preferences.lastImportTimestamp());
    return 0;
}
