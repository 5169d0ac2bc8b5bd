// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the GUI test classes in one program: all of them, or the one named as first argument.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>

#include "UiTestSupport.h"
#include "ui/Look.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt wants a private runtime folder and complains about a shared or missing one.
    QTemporaryDir runtimeDir(QDir::tempPath() + QStringLiteral("/vireon-ui-tests-XXXXXX"));
    if (!runtimeDir.isValid() ||
        !QFile::setPermissions(runtimeDir.path(),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        std::fprintf(stderr, "Could not create a private runtime folder for the GUI tests.\n");
        return 2;
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));

    QApplication app(argc, argv);
    // The windows under test wear the program's look, which must leave their layout as it is.
    vireon::ui::applyLook(app);
    QStringList arguments = QApplication::arguments();
    QString only;
    if (arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-'))) {
        only = arguments.takeAt(1);
    }

    int failed = 0;
    bool ran = false;
    for (const auto& [name, make] : vireon::ui::test::suites()) {
        if (!only.isEmpty() && only != QLatin1String(name)) {
            continue;
        }
        ran = true;
        const std::unique_ptr<QObject> tests(make());
        failed += QTest::qExec(tests.get(), arguments);
    }
    if (!ran) {
        std::fprintf(stderr, "There is no GUI test class named \"%s\".\n", qPrintable(only));
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
