// The real program, started with a server that cannot be reached, tells why and
// ends with exit status 1. The offscreen platform has no screen, so the message
// goes to stderr only and nothing waits for a click.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

TEST(VexcounterBinary, UnreachableServerEndsWithStatusOne) {
    // The program is built beside the tests; VFC_BIN_DIR names the place
    // when the test runs from elsewhere.
    QString binDir = qEnvironmentVariable("VFC_BIN_DIR");
    if (binDir.isEmpty()) binDir = QCoreApplication::applicationDirPath();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    // Nothing listens on port 1 of the loopback address.
    program.start(binDir + "/vexcounter", {"server=127.0.0.1:1"});
    ASSERT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();
    const bool finished = program.waitForFinished(30000);
    if (!finished) program.kill();
    ASSERT_TRUE(finished) << "vexcounter did not end";

    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("Failed to connect to server (127.0.0.1) on port 1"))
        << err.toStdString();
}
