// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest main for the application tests: a QApplication on the offscreen platform (unless
// the environment names another) with a private runtime folder, as Qt expects.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ui/Look.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir runtimeDir(QDir::tempPath() + QStringLiteral("/vireon-app-tests-XXXXXX"));
    if (!runtimeDir.isValid() ||
        !QFile::setPermissions(runtimeDir.path(),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        return 2;
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    QApplication application(argc, argv);
    vireon::ui::applyLook(application);
    return RUN_ALL_TESTS();
}
